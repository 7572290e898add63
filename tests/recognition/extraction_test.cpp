// Character-set extraction: piece geometry, clamping and joining.
#include "recognition/extraction.hpp"

#include <gtest/gtest.h>

using namespace karvona::recognition;

namespace {

LayoutTemplate Make(int layout, int x0, int y0, int s, int b, int c) {
    LayoutTemplate t;
    MakeLayoutTemplate(layout, x0, y0, s, b, c, t);
    return t;
}

}  // namespace

TEST(Extraction, OneLineMarginClampedAtTheLeftEdge) {
    // W = 10, H = 20, m = 13; the first character (box 11) at x = 50.
    const LayoutTemplate t = Make(0, 50 + 14, 100, 20, 4, 3);
    ASSERT_EQ(t.boxes[11].x, 50);
    const auto pieces = CharacterSetPieces(cv::Size(640, 480), 0, t.count, t.boxes);
    ASSERT_EQ(pieces.size(), 1u);
    // 50 - 90 becomes 0 and the computed width stays: it ends 40 pixels further right.
    const int width = (t.boxes[21].x + 10 - 50) + 130;
    EXPECT_EQ(pieces[0], cv::Rect(0, 100 - 13, width, 20 + 26));
}

TEST(Extraction, TwoLinesSideBySide) {
    cv::Mat photo(300, 640, CV_8UC3, cv::Scalar(200, 200, 200));
    // Serial line (row 1) at y = 270, cut by the bottom edge.
    const LayoutTemplate t = Make(3, 100, 270, 30, 6, 6);
    const auto pieces = CharacterSetPieces(photo.size(), 3, t.count, t.boxes);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_LT(pieces[1].height, pieces[0].height);
    const cv::Mat region = ExtractCharacterSet(photo, 3, t.count, t.boxes);
    EXPECT_EQ(region.size(), cv::Size(pieces[0].width + pieces[1].width, pieces[0].height));
    // The serial piece covers only its upper rows; below it the output stays black.
    const cv::Vec3b below = region.at<cv::Vec3b>(region.rows - 1, pieces[0].width + 1);
    EXPECT_EQ(below, cv::Vec3b(0, 0, 0));
    EXPECT_EQ(region.at<cv::Vec3b>(0, pieces[0].width + 1), cv::Vec3b(200, 200, 200));
}

TEST(Extraction, TwoColumnsStacked) {
    cv::Mat photo(480, 640, CV_8UC3, cv::Scalar(90, 90, 90));
    // The serial column reaches past the right edge, so piece B is narrower than piece A.
    const LayoutTemplate t = Make(4, 630 - 16, 100, 16, 6, 3);
    const auto pieces = CharacterSetPieces(photo.size(), 4, t.count, t.boxes);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_LT(pieces[1].width, pieces[0].width);
    const cv::Mat region = ExtractCharacterSet(photo, 4, t.count, t.boxes);
    EXPECT_EQ(region.size(), cv::Size(pieces[0].width, pieces[0].height + pieces[1].height));
    EXPECT_EQ(region.at<cv::Vec3b>(region.rows - 1, region.cols - 1), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(region.at<cv::Vec3b>(region.rows - 1, 0), cv::Vec3b(90, 90, 90));
}

TEST(Extraction, ThreeLinesLeaveOutAPieceBelowThePhotograph) {
    cv::Mat photo(480, 640, CV_8UC3, cv::Scalar(50, 60, 70));
    const LayoutTemplate inside = Make(5, 300, 100, 30, 6, 6);
    const auto four = CharacterSetPieces(photo.size(), 5, inside.count, inside.boxes);
    ASSERT_EQ(four.size(), 4u);
    const cv::Mat joined = ExtractCharacterSet(photo, 5, inside.count, inside.boxes);
    int width = 0;
    for (const auto& p : four)
        width += p.width;
    EXPECT_EQ(joined.size(), cv::Size(width, four[0].height));

    // Third line at y = 470: piece D starts at 470 + 60 - 40, below the photograph, and is
    // left out.
    const LayoutTemplate low = Make(5, 300, 470 - 39, 30, 6, 6);
    const auto pieces = CharacterSetPieces(photo.size(), 5, low.count, low.boxes);
    ASSERT_EQ(pieces.size(), 4u);
    EXPECT_LE(pieces[3].height, 0);
    const cv::Mat region = ExtractCharacterSet(photo, 5, low.count, low.boxes);
    EXPECT_EQ(region.cols, pieces[0].width + pieces[1].width + pieces[2].width);
}

TEST(Extraction, RejectsWhatItCannotCut) {
    const cv::Mat photo(100, 100, CV_8UC3, cv::Scalar::all(0));
    const LayoutTemplate t = Make(0, 50, 50, 20, 4, 3);
    EXPECT_TRUE(ExtractCharacterSet(cv::Mat(), 0, t.count, t.boxes).empty());
    EXPECT_TRUE(ExtractCharacterSet(photo, 9, t.count, t.boxes).empty());
    EXPECT_TRUE(ExtractCharacterSet(photo, 6, t.count, t.boxes).empty());  // 33 < 48 boxes
}
