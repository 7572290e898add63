// The evidence image: the shape filters, the cleared rectangles and whole photographs.
#include "recognition/evidence.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

using namespace karvona::recognition;

namespace {

cv::Mat Binary(int rows = 480, int cols = 640) {
    return cv::Mat(rows, cols, CV_8UC1, cv::Scalar(0));
}

void Fill(cv::Mat& m, const cv::Rect& r) {
    m(r).setTo(255);
}

bool Kept(const cv::Mat& m, const cv::Rect& r) {
    return cv::countNonZero(m(r)) > 0;
}

}  // namespace

TEST(CharacterShapes, AspectAndSizeLimits) {
    cv::Mat m = Binary();
    const cv::Rect flat(20, 20, 10, 9);     // 9 / 10 passes the bound 0.9f
    const cv::Rect flatter(60, 20, 10, 8);  // 0.8
    const cv::Rect tall(100, 20, 10, 60);   // ratio 6 is not below 6
    const cv::Rect slim(140, 20, 10, 59);   // 5.9
    const cv::Rect wide(200, 20, 50, 60);   // width must be below 50
    const cv::Rect large(300, 20, 49, 99);  // kept
    const cv::Rect high(400, 20, 30, 100);  // height must be below 100
    const cv::Rect small(500, 20, 6, 8);    // 5 x 7 = 35 pixels counted, below 50
    for (const cv::Rect& r : {flat, flatter, tall, slim, wide, large, high, small})
        Fill(m, r);
    KeepCharacterShapedBlobs(m);
    EXPECT_TRUE(Kept(m, flat));
    EXPECT_FALSE(Kept(m, flatter));
    EXPECT_FALSE(Kept(m, tall));
    EXPECT_TRUE(Kept(m, slim));
    EXPECT_FALSE(Kept(m, wide));
    EXPECT_TRUE(Kept(m, large));
    EXPECT_FALSE(Kept(m, high));
    EXPECT_FALSE(Kept(m, small));
    // Kept blobs keep exactly their own pixels.
    EXPECT_EQ(cv::countNonZero(m(large)), 49 * 99);
}

TEST(CharacterShapes, ClearedRectangles) {
    cv::Mat m = Binary();
    const cv::Rect inFirst(100, 390, 15, 30);
    const cv::Rect inSecond(10, 462, 12, 15);
    const cv::Rect rightOfSecond(250, 462, 10, 15);
    const cv::Rect across(260, 390, 20, 30);  // half inside the first rectangle: its right part
    for (const cv::Rect& r : {inFirst, inSecond, rightOfSecond, across})
        Fill(m, r);
    KeepCharacterShapedBlobs(m);
    EXPECT_FALSE(Kept(m, inFirst));
    EXPECT_FALSE(Kept(m, inSecond));
    EXPECT_TRUE(Kept(m, rightOfSecond));
    EXPECT_EQ(cv::countNonZero(m(across)), 10 * 30);
    EXPECT_EQ(SecondClearedRect(m.size()), cv::Rect(0, 460, 240, 20));
}

TEST(CharacterShapes, FramesSmallerThanTheClearedRectangles) {
    EXPECT_TRUE(SecondClearedRect(cv::Size(640, 460)).empty());
    EXPECT_TRUE(SecondClearedRect(cv::Size(640, 300)).empty());
    EXPECT_EQ(FirstClearedRect(cv::Size(100, 400)), cv::Rect(50, 385, 50, 15));
    EXPECT_TRUE(FirstClearedRect(cv::Size(50, 480)).empty());
    EXPECT_EQ(SecondClearedRect(cv::Size(50, 470)), cv::Rect(0, 460, 50, 10));
    for (const cv::Size size : {cv::Size(1, 1), cv::Size(40, 30), cv::Size(300, 200)}) {
        cv::Mat m = Binary(size.height, size.width);
        Fill(m, cv::Rect(0, 0, std::min(10, size.width), std::min(20, size.height)));
        KeepCharacterShapedBlobs(m);
        const cv::Mat photo(size, CV_8UC3, cv::Scalar(10, 200, 30));
        EXPECT_EQ(cv::countNonZero(BuildCharacterEvidence(photo)), 0);
    }
}

TEST(Evidence, UniformPhotographsHoldNothing) {
    for (int level : {0, 128, 255}) {
        const cv::Mat photo(480, 640, CV_8UC3, cv::Scalar::all(level));
        const cv::Mat evidence = BuildCharacterEvidence(photo);
        ASSERT_EQ(evidence.size(), photo.size());
        ASSERT_EQ(evidence.type(), CV_8UC1);
        EXPECT_EQ(cv::countNonZero(evidence), 0) << level;
    }
    EXPECT_TRUE(BuildCharacterEvidence(cv::Mat()).empty());
    EXPECT_TRUE(BuildCharacterEvidence(cv::Mat(10, 10, CV_8UC1, cv::Scalar(0))).empty());
}

TEST(Evidence, CharacterSizedMarksOfEitherPolarity) {
    for (const bool light : {true, false}) {
        cv::Mat photo(480, 640, CV_8UC3, cv::Scalar::all(light ? 40 : 210));
        const cv::Scalar paint = cv::Scalar::all(light ? 220 : 30);
        const cv::Rect mark(100, 100, 16, 30);
        const cv::Rect bar(300, 100, 120, 30);  // far wider than any character
        cv::rectangle(photo, mark, paint, cv::FILLED);
        cv::rectangle(photo, bar, paint, cv::FILLED);
        const cv::Mat evidence = BuildCharacterEvidence(photo);
        EXPECT_GT(cv::countNonZero(evidence(mark)), 0) << light;
        EXPECT_EQ(cv::countNonZero(evidence(bar)), 0) << light;
        const std::vector<uchar> levels(evidence.begin<uchar>(), evidence.end<uchar>());
        for (uchar v : levels)
            ASSERT_TRUE(v == 0 || v == 255);
    }
}
