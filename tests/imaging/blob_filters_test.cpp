// Filters, sorts and repairs of the blob list, on lists set up by hand.
#include <gtest/gtest.h>

#include <vector>

#include "imaging/blob_list.hpp"

using karvona::imaging::CBlobList;

namespace {

// A labelled list whose entries are exactly the given rects (ids 1..n), drawn as solid boxes
// into a label image of the given size.
CBlobList ListOf(const std::vector<cv::Rect>& rects, cv::Size size = {400, 400}) {
    CBlobList list;
    list.SetImage(cv::Mat(size, CV_8UC1, cv::Scalar(0)), 0);
    list.Label();
    list.rects = rects;
    list.ids.clear();
    for (size_t i = 0; i < rects.size(); ++i) {
        list.ids.push_back(static_cast<int>(i) + 1);
        list.image(rects[i] & cv::Rect(0, 0, size.width, size.height))
            .setTo(static_cast<int>(i) + 1);
    }
    list.count = static_cast<int>(rects.size());
    return list;
}

std::vector<int> Widths(const CBlobList& l) {
    std::vector<int> w;
    for (int i = 0; i < l.count; ++i) w.push_back(l.rects[i].width);
    return w;
}

std::vector<int> Ids(const CBlobList& l) { return {l.ids.begin(), l.ids.begin() + l.count}; }

// Horizontal boxes of the given widths, one column apart.
std::vector<cv::Rect> Row(const std::vector<int>& widths, int height = 30) {
    std::vector<cv::Rect> rects;
    int x = 5;
    for (int w : widths) {
        rects.emplace_back(x, 5, w, height);
        x += w + 1;
    }
    return rects;
}

}  // namespace

TEST(Filters, SizeFiltersAreStrict) {
    CBlobList l = ListOf({{1, 1, 10, 20}, {20, 1, 11, 20}, {40, 1, 10, 21}});
    l.KeepBlobsSmallerThan(11, 21);
    EXPECT_EQ(Ids(l), (std::vector<int>{1}));
    l = ListOf({{1, 1, 10, 20}, {20, 1, 11, 21}});
    l.KeepBlobsLargerThan(10, 20);
    EXPECT_EQ(Ids(l), (std::vector<int>{2}));
}

TEST(Filters, AspectRatiosUseTheSinglePrecisionArgument) {
    CBlobList l = ListOf({{1, 1, 2, 20}, {10, 1, 0, 5}, {20, 1, 3, 20}});
    l.KeepAspectBelow(10.0f);  // 20/2 is exactly 10: dropped; width 0 dropped
    EXPECT_EQ(Ids(l), (std::vector<int>{3}));

    l = ListOf({{1, 1, 10, 9}, {20, 1, 0, 9}});
    l.KeepAspectAbove(0.9f);  // 9/10 is above 0.89999998
    EXPECT_EQ(Ids(l), (std::vector<int>{1}));
}

TEST(Filters, RemoveBorderBlobsDropsEveryEdgeToucher) {
    const cv::Rect frame(0, 0, 100, 50);
    CBlobList l = ListOf({{0, 20, 5, 5},
                          {30, 0, 5, 5},
                          {95, 20, 5, 5},
                          {30, 45, 5, 5},
                          {94, 44, 5, 5}},
                         {100, 50});
    l.RemoveBorderBlobs(frame);
    EXPECT_EQ(Ids(l), (std::vector<int>{5}));
}

TEST(Filters, KeepCentralBlobsBothDirections) {
    CBlobList l = ListOf({{5, 10, 5, 11}, {15, 0, 5, 20}}, {100, 41});
    l.KeepCentralBlobs(0);
    EXPECT_EQ(Ids(l), (std::vector<int>{1}));

    // W = 100: keep when x <= 75 and x + width >= 25.
    l = ListOf({{75, 5, 5, 5}, {76, 5, 5, 5}, {20, 5, 5, 5}, {19, 5, 5, 5}}, {100, 100});
    l.KeepCentralBlobs(1);
    EXPECT_EQ(Ids(l), (std::vector<int>{1, 3}));
}

TEST(Filters, KeepLastBlobsClampsItsArgument) {
    CBlobList l = ListOf(Row({5, 6, 7, 8}));
    l.KeepLastBlobs(2);
    EXPECT_EQ(Ids(l), (std::vector<int>{3, 4}));
    l.KeepLastBlobs(-3);
    EXPECT_EQ(l.count, 0);
    l = ListOf(Row({5, 6}));
    l.KeepLastBlobs(7);
    EXPECT_EQ(l.count, 2);
}

TEST(Sort, ExchangeSortOrderOfEqualKeys) {
    // Keys 5, 3, 5, 3: the exchange sort gives ids 2, 4, 3, 1 (a stable sort would give 1, 3).
    CBlobList l = ListOf({{5, 1, 2, 2}, {3, 10, 2, 2}, {5, 20, 2, 2}, {3, 30, 2, 2}});
    l.SortBlobs(0);
    EXPECT_EQ(Ids(l), (std::vector<int>{2, 4, 3, 1}));
    // A case where it is not stable: keys 2, 2, 1 give ids 3, 2, 1.
    l = ListOf({{2, 1, 2, 2}, {2, 10, 2, 2}, {1, 20, 2, 2}});
    l.SortBlobs(0);
    EXPECT_EQ(Ids(l), (std::vector<int>{3, 2, 1}));
}

TEST(Sort, RemoveOverlapsAlongBothAxes) {
    // Along x: a box starting at the previous end is dropped, one a column later is kept.
    CBlobList l = ListOf({{10, 1, 10, 5}, {20, 1, 5, 5}, {21, 1, 5, 5}});
    l.SortAndRemoveOverlaps(0);
    EXPECT_EQ(Ids(l), (std::vector<int>{1, 3}));
    // Along y: a box may start three rows before the previous one ends.
    l = ListOf({{1, 10, 5, 10}, {10, 17, 5, 10}, {20, 23, 5, 10}});
    l.SortAndRemoveOverlaps(1);
    EXPECT_EQ(Ids(l), (std::vector<int>{1, 2}));
}

TEST(PrefixBreak, CountsAndSpacings) {
    EXPECT_EQ(ListOf(Row({5, 5, 5, 5})).FindPrefixBreak(0), 4);
    EXPECT_EQ(ListOf(Row({5, 5, 5, 5, 5, 5, 5})).FindPrefixBreak(0), -1);
    EXPECT_EQ(ListOf(Row(std::vector<int>(11, 5))).FindPrefixBreak(0), 3);
    EXPECT_EQ(CBlobList().FindPrefixBreak(0), 0);

    auto spaced = [](const std::vector<int>& spacings) {
        std::vector<cv::Rect> rects;
        int x = 0;
        rects.emplace_back(x, 5, 10, 20);
        for (int s : spacings) {
            x += s;
            rects.emplace_back(x, 5, 10, 20);
        }
        while (rects.size() < 10) rects.emplace_back(rects.back().x + 20, 5, 10, 20);
        return ListOf(rects, {1000, 100});
    };
    EXPECT_EQ(spaced({20, 20, 40, 20}).FindPrefixBreak(0), 2);
    EXPECT_EQ(spaced({20, 22, 24, 21}).FindPrefixBreak(0), 3);
    EXPECT_EQ(spaced({40, 20, 20, 20}).FindPrefixBreak(0), 0);
}

TEST(Split, HorizontalPiecesAreTestedAgain) {
    CBlobList l = ListOf(Row({10, 10, 40}));
    l.SplitOversizedBlobs(0);
    EXPECT_EQ(Widths(l), (std::vector<int>{10, 10, 10, 10, 20}));
    EXPECT_EQ(Ids(l), (std::vector<int>{1, 2, 3, 3, 3}));
    EXPECT_EQ(l.rects[3].x, l.rects[2].x + 10);

    l = ListOf(Row({10, 10, 21}));  // 21 - 10 = 11 is not more than 12
    l.SplitOversizedBlobs(0);
    EXPECT_EQ(Widths(l), (std::vector<int>{10, 10, 21}));

    l = ListOf(Row({5, 5, 13}));  // rest of 8 is too narrow: only cut down
    l.SplitOversizedBlobs(0);
    EXPECT_EQ(Widths(l), (std::vector<int>{5, 5, 5}));
}

TEST(Split, VerticalUsesTheSmallestPlausibleHeight) {
    CBlobList l = ListOf({{5, 5, 20, 30}, {5, 40, 20, 30}, {5, 80, 20, 62}}, {100, 300});
    l.SplitOversizedBlobs(1);
    ASSERT_EQ(l.count, 4);
    EXPECT_EQ(l.rects[2], cv::Rect(5, 80, 20, 30));
    EXPECT_EQ(l.rects[3], cv::Rect(5, 112, 20, 30));
}

TEST(Split, NeverGrowsBeyondTwentyEntries) {
    std::vector<int> widths(19, 10);
    widths.push_back(100);
    CBlobList l = ListOf(Row(widths), {1000, 100});
    l.SplitOversizedBlobs(0);
    EXPECT_EQ(l.count, 20);
    l = ListOf(Row(std::vector<int>(21, 10)), {1000, 100});
    l.rects[0].width = 200;
    l.SplitOversizedBlobs(0);  // more than 20: nothing happens
    EXPECT_EQ(l.count, 21);
    EXPECT_EQ(l.rects[0].width, 200);
}

TEST(Merge, NothingJoinsWhenEveryUnionIsWide) {
    CBlobList l = ListOf({{0, 0, 30, 10}, {31, 0, 30, 10}, {62, 0, 30, 10}});
    l.MergeBrokenBlobs(0);
    EXPECT_EQ(l.count, 3);
}

TEST(Merge, HorizontalJoinRelabelsThePieceAndRetestsTheSameEntry) {
    // Characters 10 wide with a centre spacing of 16; the second is broken into 3 slivers.
    std::vector<cv::Rect> rects = {{0, 0, 10, 30}, {16, 0, 3, 30}, {19, 0, 3, 30},
                                   {23, 0, 3, 30}, {32, 0, 10, 30}, {48, 0, 10, 30},
                                   {64, 0, 10, 30}};
    CBlobList l = ListOf(rects, {100, 40});
    l.MergeBrokenBlobs(0);
    ASSERT_EQ(l.count, 5);
    EXPECT_EQ(l.rects[1], cv::Rect(16, 0, 11, 32));
    EXPECT_EQ(Ids(l), (std::vector<int>{1, 2, 5, 6, 7}));
    EXPECT_EQ(cv::countNonZero(l.image == 3), 0);
    EXPECT_EQ(cv::countNonZero(l.image == 4), 0);
    EXPECT_EQ(cv::countNonZero(l.image == 2), 3 * 30 * 3);
}

TEST(Merge, VerticalJoinKeepsEveryOtherEntryOnce) {
    std::vector<cv::Rect> rects = {{0, 0, 20, 30}, {0, 40, 20, 12}, {0, 54, 20, 14},
                                   {0, 80, 20, 30}, {0, 120, 20, 30}};
    CBlobList l = ListOf(rects, {40, 200});
    l.MergeBrokenBlobs(1);
    ASSERT_EQ(l.count, 4);
    EXPECT_EQ(Ids(l), (std::vector<int>{1, 2, 4, 5}));
    EXPECT_EQ(l.rects[1], cv::Rect(0, 40, 21, 29));
}

TEST(Paint, CopiesOnlyTheEntrysPixelsAndClips) {
    CBlobList l = ListOf({{2, 2, 4, 4}, {4, 4, 4, 4}}, {20, 20});
    // Entry 2 overwrote part of entry 1's box in the label image; paint entry 0.
    cv::Mat dst(4, 4, CV_8UC1, cv::Scalar(0));
    l.PaintBlob(dst, 0, 0, 0);
    EXPECT_EQ(cv::countNonZero(dst), 16 - 4);
    cv::Mat small(2, 2, CV_8UC1, cv::Scalar(0));
    l.PaintBlob(small, 1, -1, -1);  // clipped, never written outside
    EXPECT_EQ(cv::countNonZero(small), 4);
}
