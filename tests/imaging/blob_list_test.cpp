// Labelling: the edge cases of the scan-and-fill walk and invariants on random images.
#include "imaging/blob_list.hpp"

#include <gtest/gtest.h>

#include <map>
#include <opencv2/imgproc.hpp>
#include <random>
#include <set>

using karvona::imaging::CBlobList;

namespace {

int LabelOf(const cv::Mat& binary, int minArea, CBlobList& list) {
    list.SetImage(binary, minArea);
    return list.Label();
}

cv::Mat Blank(int rows, int cols) {
    return cv::Mat(rows, cols, CV_8UC1, cv::Scalar(0));
}

void Square(cv::Mat& m, int x, int y, int w, int h) {
    m(cv::Rect(x, y, w, h)).setTo(255);
}

}  // namespace

TEST(Label, EmptyAndUnlabelledStates) {
    CBlobList list;
    EXPECT_EQ(list.count, CBlobList::kUnlabelled);
    EXPECT_EQ(list.Size(), 0);
    EXPECT_EQ(LabelOf(Blank(10, 10), 10, list), 0);
    EXPECT_EQ(list.count, 0);
    EXPECT_GE(list.rects.capacity(), 20u);

    // A new image drops the old labelling.
    list.SetImage(Blank(5, 5), 10);
    EXPECT_EQ(list.count, CBlobList::kUnlabelled);
}

TEST(Label, ColourOrEmptyImagesGiveNoEntries) {
    CBlobList list;
    EXPECT_EQ(LabelOf(cv::Mat(10, 10, CV_8UC3, cv::Scalar(255, 255, 255)), 0, list), 0);
    EXPECT_EQ(list.count, 0);
    EXPECT_EQ(LabelOf(cv::Mat(), 0, list), 0);
    list.KeepLastBlobs(3);
    list.SortBlobs(0);
    list.MergeBrokenBlobs(0);
    EXPECT_EQ(list.count, 0);
}

TEST(Label, SizeTestLeavesOutTheLastRowAndColumn) {
    CBlobList list;
    cv::Mat img = Blank(30, 60);
    Square(img, 2, 2, 4, 4);    // counts 9: erased at minArea 10
    Square(img, 20, 2, 5, 5);   // counts 16: kept
    Square(img, 2, 20, 50, 1);  // a line one pixel high counts 0
    Square(img, 55, 5, 1, 20);  // a line one pixel wide counts 0
    EXPECT_EQ(LabelOf(img, 10, list), 1);
    // The erased square did not use up a label: the kept one is 1 and stands first.
    EXPECT_EQ(list.ids[0], 1);
    // Its rect covers the last row and column although the size test did not count them.
    EXPECT_EQ(list.rects[0], cv::Rect(20, 2, 5, 5));
    EXPECT_EQ(cv::countNonZero(list.image), 25);
    EXPECT_EQ(list.image.at<uchar>(3, 3), 0);

    EXPECT_EQ(LabelOf(img, 9, list), 2);  // 9 is not below 9
}

TEST(Label, CornerTouchingPixelsAreSeparateComponents) {
    CBlobList list;
    cv::Mat img = Blank(4, 4);
    img.at<uchar>(0, 0) = 255;
    img.at<uchar>(1, 1) = 255;
    img.at<uchar>(2, 2) = 255;
    EXPECT_EQ(LabelOf(img, 0, list), 3);
}

TEST(Label, EntriesFollowTheRasterOrderOfFirstPixels) {
    CBlobList list;
    cv::Mat img = Blank(20, 40);
    Square(img, 0, 5, 4, 4);   // first row 5, left edge
    Square(img, 36, 2, 4, 4);  // first row 2, right edge
    ASSERT_EQ(LabelOf(img, 0, list), 2);
    EXPECT_EQ(list.rects[0].x, 36);
    EXPECT_EQ(list.rects[1].x, 0);
}

TEST(Label, WalkFillsSpiralsAndCombs) {
    // Shapes that force the walk to backtrack a long way.
    CBlobList list;
    cv::Mat img = Blank(40, 40);
    for (int x = 0; x < 40; x += 2)
        Square(img, x, 0, 1, 39);  // comb teeth
    Square(img, 0, 39, 40, 1);     // joined by the last row
    ASSERT_EQ(LabelOf(img, 0, list), 1);
    EXPECT_EQ(list.rects[0], cv::Rect(0, 0, 40, 40));
    EXPECT_EQ(cv::countNonZero(list.image == 1), cv::countNonZero(img));
}

TEST(Label, LabelsStopAtTheByteRangeWithCountZero) {
    // 16 x 16 = 256 kept squares: the 255th would need label 255, which marks unlabelled pixels.
    CBlobList list;
    cv::Mat img = Blank(16 * 6, 16 * 6);
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < 16; ++c)
            Square(img, c * 6, r * 6, 4, 4);
    EXPECT_EQ(LabelOf(img, 0, list), 0);
    EXPECT_EQ(list.count, 0);
    double maxValue = 0;
    cv::minMaxLoc(list.image, nullptr, &maxValue);
    EXPECT_LE(maxValue, 255.0);

    // 254 components still fit.
    cv::Mat fits = Blank(16 * 6, 16 * 6);
    for (int k = 0; k < 254; ++k)
        Square(fits, (k % 16) * 6, (k / 16) * 6, 4, 4);
    EXPECT_EQ(LabelOf(fits, 0, list), 254);
    EXPECT_EQ(list.ids[253], 254);
}

TEST(Label, ManyErasedComponentsAfter250LabelsStopTheScan) {
    CBlobList list;
    cv::Mat img = Blank(17 * 6, 16 * 6);
    for (int k = 0; k < 252; ++k)
        Square(img, (k % 16) * 6, (k / 16) * 6, 4, 4);
    Square(img, 0, 16 * 6, 1, 1);  // a speck after 252 kept ones
    EXPECT_EQ(LabelOf(img, 5, list), 0);
}

// For random binary images with minArea 0 the components are exactly OpenCV's 4-connected ones.
TEST(LabelInvariant, MatchesOpenCvComponentsOnRandomImages) {
    std::mt19937 rng(1234);
    for (int trial = 0; trial < 40; ++trial) {
        const int rows = 5 + static_cast<int>(rng() % 40);
        const int cols = 5 + static_cast<int>(rng() % 40);
        cv::Mat img = Blank(rows, cols);
        const int density = 20 + static_cast<int>(rng() % 30);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < cols; ++x)
                if (static_cast<int>(rng() % 100) < density)
                    img.at<uchar>(y, x) = 255;

        cv::Mat reference;
        const int expected = cv::connectedComponents(img, reference, 4, CV_32S) - 1;
        if (expected > CBlobList::kMaxLabel)
            continue;

        CBlobList list;
        ASSERT_EQ(LabelOf(img, 0, list), expected) << "trial " << trial;
        // Label image holds only 0 and 1..count, and foreground stays foreground.
        std::map<int, int> mapping;  // our label -> opencv label
        std::set<int> used;
        for (int y = 0; y < rows; ++y) {
            for (int x = 0; x < cols; ++x) {
                const int ours = list.image.at<uchar>(y, x);
                const int theirs = reference.at<int>(y, x);
                ASSERT_EQ(ours == 0, theirs == 0);
                if (ours == 0)
                    continue;
                ASSERT_LE(ours, list.count);
                auto [it, fresh] = mapping.emplace(ours, theirs);
                ASSERT_EQ(it->second, theirs) << "label " << ours << " spans two components";
                if (fresh) {
                    ASSERT_TRUE(used.insert(theirs).second);
                }
            }
        }
        // Every rect is the tight box of its label, ids are 1..count in order.
        for (int i = 0; i < list.count; ++i) {
            ASSERT_EQ(list.ids[i], i + 1);
            std::vector<cv::Point> points;
            cv::findNonZero(list.image == (i + 1), points);
            EXPECT_EQ(cv::boundingRect(points), list.rects[i]);
        }
        // Areas sum to the white pixel count.
        int area = 0;
        for (int i = 0; i < list.count; ++i)
            area += cv::countNonZero(list.image == (i + 1));
        EXPECT_EQ(area, cv::countNonZero(img));
    }
}

TEST(LabelInvariant, MinAreaOnlyErasesAndKeepsTheRest) {
    std::mt19937 rng(99);
    cv::Mat img = Blank(60, 80);
    for (int k = 0; k < 40; ++k) {
        const int w = 1 + static_cast<int>(rng() % 8), h = 1 + static_cast<int>(rng() % 8);
        Square(img, static_cast<int>(rng() % (80 - w)), static_cast<int>(rng() % (60 - h)), w, h);
    }
    CBlobList all, big;
    LabelOf(img, 0, all);
    LabelOf(img, 12, big);
    EXPECT_LE(big.count, all.count);
    for (int i = 0; i < big.count; ++i) {
        const cv::Rect& r = big.rects[i];
        cv::Mat mask = big.image(r) == big.ids[i];
        cv::Mat inner = mask(cv::Rect(0, 0, r.width - 1, r.height - 1));
        EXPECT_GE(cv::countNonZero(inner), 12);
    }
}

namespace {

// The labelling as its algorithm reads, pixel by pixel: the scan-and-fill walk with a visit
// table, the size test over the box without its last row and column, then the box pass. The
// list labels images of 0 and 255 by their runs instead; both must give the same bytes.
struct ReferenceLabelling {
    cv::Mat image;
    int count = 0;
    std::vector<cv::Rect> rects;
};

ReferenceLabelling LabelAsWritten(const cv::Mat& input, int minArea) {
    ReferenceLabelling out;
    out.image = input.clone();
    const int W = input.cols, H = input.rows;
    cv::Mat& b = out.image;
    std::vector<int> visited(static_cast<size_t>(W) * H, 0), px(visited.size()), py(visited.size());
    int L = 0;
    bool failed = false;
    for (int y = 0; y < H && !failed; ++y) {
        for (int x = 0; x < W && !failed; ++x) {
            if (b.at<uchar>(y, x) != 255)
                continue;
            if (L == CBlobList::kMaxLabel) {
                failed = true;
                break;
            }
            ++L;
            b.at<uchar>(y, x) = static_cast<uchar>(L);
            int minX = x, maxX = x, minY = y, maxY = y;
            int cx = x, cy = y;
            visited[cy * W + cx] = 1;
            px[cy * W + cx] = cx;
            py[cy * W + cx] = cy;
            for (;;) {
                const int dx[4] = {-1, 1, 0, 0}, dy[4] = {0, 0, -1, 1};
                bool moved = false;
                for (int k = 0; k < 4 && !moved; ++k) {
                    const int nx = cx + dx[k], ny = cy + dy[k];
                    if (nx < 0 || ny < 0 || nx >= W || ny >= H)
                        continue;
                    if (b.at<uchar>(ny, nx) != 255 || visited[ny * W + nx])
                        continue;
                    b.at<uchar>(ny, nx) = static_cast<uchar>(L);
                    visited[ny * W + nx] = 1;
                    px[ny * W + nx] = cx;
                    py[ny * W + nx] = cy;
                    minX = std::min(minX, nx), maxX = std::max(maxX, nx);
                    minY = std::min(minY, ny), maxY = std::max(maxY, ny);
                    cx = nx, cy = ny;
                    moved = true;
                }
                if (moved)
                    continue;
                const int i = cy * W + cx;
                if (px[i] == cx && py[i] == cy)
                    break;
                const int ox = px[i];
                cy = py[i];
                cx = ox;
            }
            int area = 0;
            for (int yy = minY; yy < maxY; ++yy)
                for (int xx = minX; xx < maxX; ++xx)
                    area += b.at<uchar>(yy, xx) == L;
            if (area < minArea) {
                for (int yy = minY; yy <= maxY; ++yy)
                    for (int xx = minX; xx <= maxX; ++xx)
                        if (b.at<uchar>(yy, xx) == L)
                            b.at<uchar>(yy, xx) = 0;
                --L;
                if (L > 250)
                    failed = true;
            }
        }
    }
    out.count = failed ? 0 : L;
    std::map<int, cv::Rect> boxes;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const int v = b.at<uchar>(y, x);
            if (v == 0)
                continue;
            auto [it, fresh] = boxes.emplace(v, cv::Rect(x, y, 1, 1));
            if (!fresh)
                it->second |= cv::Rect(x, y, 1, 1);
        }
    }
    for (int i = 1; i <= out.count; ++i)
        out.rects.push_back(boxes[i]);
    return out;
}

void ExpectSameLabelling(const cv::Mat& img, int minArea, const std::string& what) {
    const ReferenceLabelling want = LabelAsWritten(img, minArea);
    CBlobList list;
    ASSERT_EQ(LabelOf(img, minArea, list), want.count) << what;
    ASSERT_EQ(cv::countNonZero(list.image != want.image), 0) << what << ": label image differs";
    for (int i = 0; i < want.count; ++i) {
        ASSERT_EQ(list.rects[i], want.rects[i]) << what << ", entry " << i;
        ASSERT_EQ(list.ids[i], i + 1) << what;
    }
}

cv::Mat RandomBinary(std::mt19937& rng, int rows, int cols, int density) {
    cv::Mat img = Blank(rows, cols);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            if (static_cast<int>(rng() % 100) < density)
                img.at<uchar>(y, x) = 255;
    return img;
}

}  // namespace

// Speckle, dense noise, blocks of every size (wider than a word, across word boundaries),
// and the minimum areas the stages use.
TEST(LabelInvariant, BinaryImagesLabelExactlyAsTheWalkDoes) {
    std::mt19937 rng(2024);
    for (int trial = 0; trial < 60; ++trial) {
        const int rows = 1 + static_cast<int>(rng() % 70);
        const int cols = 1 + static_cast<int>(rng() % 90);
        cv::Mat img = RandomBinary(rng, rows, cols, static_cast<int>(rng() % 70));
        for (int k = static_cast<int>(rng() % 12); k > 0; --k) {
            const int w = 1 + static_cast<int>(rng() % 30), h = 1 + static_cast<int>(rng() % 30);
            cv::rectangle(
                img, cv::Rect(static_cast<int>(rng() % cols), static_cast<int>(rng() % rows), w, h),
                cv::Scalar(rng() % 2 ? 255 : 0), cv::FILLED);
        }
        for (const int minArea : {0, 10, 25, 50, 100})
            ExpectSameLabelling(img, minArea, "trial " + std::to_string(trial));
    }
}

TEST(LabelInvariant, LabelFailuresLeaveTheSameImageAsTheWalk) {
    std::mt19937 rng(7);
    // Hundreds of separate squares and specks on a grid of 6 x 6 cells: the 255th label, and
    // erasures after 250 labels, at several minimum areas.
    for (int trial = 0; trial < 12; ++trial) {
        cv::Mat img = Blank(120, 162);
        for (int y = 0; y + 6 <= img.rows; y += 6) {
            for (int x = 0; x + 6 <= img.cols; x += 6) {
                const int pick = static_cast<int>(rng() % 10);
                const int side = pick < 4 ? 3 : pick < 7 ? 4 : pick < 9 ? 1 : 0;
                if (side > 0)
                    Square(img, x + 1, y + 1, side, side);
            }
        }
        for (const int minArea : {0, 2, 5, 9, 10})
            ExpectSameLabelling(img, minArea, "trial " + std::to_string(trial));
    }
}

// Values other than 0 and 255 are labelled by the walk itself, as the algorithm reads.
TEST(LabelInvariant, ImagesWithOtherValuesLabelAsTheWalkDoes) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 20; ++trial) {
        cv::Mat img = RandomBinary(rng, 30, 40, 45);
        for (int k = 0; k < 6; ++k)
            img.at<uchar>(static_cast<int>(rng() % 30), static_cast<int>(rng() % 40)) =
                static_cast<uchar>(1 + rng() % 254);
        for (const int minArea : {0, 10})
            ExpectSameLabelling(img, minArea, "trial " + std::to_string(trial));
    }
}
