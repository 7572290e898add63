// Layout templates: box sizes, pitches, anchors and kinds of the seven layouts.
#include "recognition/layout_template.hpp"

#include <gtest/gtest.h>

using namespace karvona::recognition;

namespace {

LayoutTemplate Make(int layout, int x0, int y0, int s, int b, int c) {
    LayoutTemplate t;
    MakeLayoutTemplate(layout, x0, y0, s, b, c, t);
    return t;
}

int CountKind(const LayoutTemplate& t, int kind) {
    int n = 0;
    for (int i = 0; i < t.count; ++i)
        n += t.kinds[i] == kind;
    return n;
}

}  // namespace

TEST(LayoutTemplate, BoxSizes) {
    // Vertical layouts: at least 15 wide, 1.7 times as high at single precision.
    const LayoutTemplate v = Make(2, 100, 100, 8, 4, 3);
    EXPECT_EQ(v.boxes[0].size(), cv::Size(15, 25));
    EXPECT_EQ(Make(4, 100, 100, 10, 4, 3).boxes[0].size(), cv::Size(15, 25));
    EXPECT_EQ(Make(2, 100, 100, 20, 4, 3).boxes[0].size(), cv::Size(20, 34));
    // Horizontal layouts: the seed height, half as wide.
    const LayoutTemplate h = Make(0, 100, 100, 21, 4, 3);
    EXPECT_EQ(h.boxes[0].size(), cv::Size(10, 21));
    for (int i = 1; i < h.count; ++i)
        EXPECT_EQ(h.boxes[i].size(), h.boxes[0].size());
}

TEST(LayoutTemplate, CountsAndCharacterPositions) {
    const int counts[kLayoutCount] = {33, 39, 33, 24, 21, 24, 48};
    const int characters[kLayoutCount] = {11, 11, 11, 12, 11, 11, 11};
    for (int layout = 0; layout < kLayoutCount; ++layout) {
        const LayoutTemplate t = Make(layout, 200, 200, 30, 6, 6);
        EXPECT_EQ(t.count, counts[layout]) << layout;
        EXPECT_EQ(CountKind(t, kCharacterBox), characters[layout]) << layout;
    }
    EXPECT_EQ(Make(7, 0, 0, 30, 4, 3).count, 0);
    EXPECT_EQ(Make(-1, 0, 0, 30, 4, 3).count, 0);
}

TEST(LayoutTemplate, AnchorsAndPitches) {
    // Layout 0: the seed is row 1, column 1; pitch w + b across and h + c down.
    const LayoutTemplate t0 = Make(0, 100, 200, 20, 4, 3);
    EXPECT_EQ(t0.boxes[12].tl(), cv::Point(100, 200));
    EXPECT_EQ(t0.boxes[0].tl(), cv::Point(86, 177));
    EXPECT_EQ(t0.kinds[0], kBlankBox);
    EXPECT_EQ(t0.kinds[22], kIgnoredBox);

    // Layout 2: the seed is row 5; the rows above lie at negative y near the top edge.
    const LayoutTemplate t2 = Make(2, 100, 10, 16, 4, 3);
    EXPECT_EQ(t2.boxes[5 * 3 + 1].tl(), cv::Point(100, 10));
    EXPECT_LT(t2.boxes[1].y, 0);
    EXPECT_EQ(t2.kinds[0], kBlankBox);
    EXPECT_EQ(t2.kinds[2], kBlankBox);

    // Layout 4: five gaps between the two columns.
    const LayoutTemplate t4 = Make(4, 300, 100, 16, 6, 3);
    EXPECT_EQ(t4.boxes[4].tl(), cv::Point(300, 100));
    EXPECT_EQ(t4.boxes[3].x, 300 - (16 + 30));
    EXPECT_EQ(t4.kinds[3 * 3 + 0], kCharacterBox);
    EXPECT_EQ(t4.kinds[4 * 3 + 0], kBlankBox);
    EXPECT_EQ(t4.kinds[2], kIgnoredBox);

    // Layout 1: columns 4 and 11 are blank in every row.
    const LayoutTemplate t1 = Make(1, 100, 100, 20, 4, 3);
    EXPECT_EQ(t1.kinds[13 + 4], kBlankBox);
    EXPECT_EQ(t1.kinds[2 * 13 + 11], kBlankBox);
    EXPECT_EQ(t1.kinds[13 + 12], kCharacterBox);
}

TEST(LayoutTemplate, ThreeLinesTruncateTheWholeCoordinate) {
    // w = 10, b = 5: column 0 lies at 100 - 17.5, truncated to 82 (not 100 - 17).
    const LayoutTemplate t = Make(5, 100, 100, 20, 5, 4);
    EXPECT_EQ(t.boxes[8].x, 82);
    EXPECT_EQ(t.boxes[8 + 1].tl(), cv::Point(100, 100));
    EXPECT_EQ(t.boxes[0].y, static_cast<int>(100 - (20 + 6.0)));
    EXPECT_EQ(t.boxes[2].x, static_cast<int>(100 + 17.5));  // 117
    EXPECT_EQ(t.kinds[8 + 2], kCharacterBox);
    EXPECT_EQ(t.kinds[8 + 3], kBlankBox);
    EXPECT_EQ(t.kinds[16 + 3], kCharacterBox);
}

TEST(LayoutTemplate, SpreadPrefixLayout) {
    const LayoutTemplate t = Make(6, 300, 100, 20, 4, 3);
    EXPECT_EQ(t.boxes[18].tl(), cv::Point(300, 100));  // row 1, column 2 is the anchor
    for (int col : {1, 3, 5, 7, 14})
        EXPECT_EQ(t.kinds[16 + col], kBlankBox) << col;
    for (int col : {0, 2, 4, 6, 8, 13, 15})
        EXPECT_EQ(t.kinds[16 + col], kCharacterBox) << col;
    for (int col = 8; col <= 11; ++col)
        EXPECT_EQ(t.kinds[32 + col], kIgnoredBox) << col;
    EXPECT_EQ(t.kinds[32 + 12], kBlankBox);
    EXPECT_EQ(t.kinds[0], kBlankBox);
}
