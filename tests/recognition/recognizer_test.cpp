#include "recognition/recognizer.hpp"

#include <gtest/gtest.h>

using namespace karvona::recognition;

TEST(Driver, ChoiceBetweenTheReaders) {
    EXPECT_EQ(ChooseWinner(true, 3, false, 11), Winner::Morphology);  // validated wins
    EXPECT_EQ(ChooseWinner(false, 11, true, 3), Winner::Cluster);
    EXPECT_EQ(ChooseWinner(false, 5, false, 5), Winner::Morphology);  // tie
    EXPECT_EQ(ChooseWinner(false, 2, false, 3), Winner::None);        // B higher but below 4
    EXPECT_EQ(ChooseWinner(false, 0, false, 0), Winner::Morphology);
    EXPECT_EQ(ChooseWinner(false, 3, false, 4), Winner::Cluster);
}

TEST(Driver, LayoutTexts) {
    EXPECT_EQ(LayoutText(0, "x"), "HORIZONTAL 1 LINE");
    EXPECT_EQ(LayoutText(1, "x"), "HORIZONTAL 1 LINE");
    EXPECT_EQ(LayoutText(-1, "x"), "HORIZONTAL 1 LINE");
    EXPECT_EQ(LayoutText(2, "x"), "VERTICAL   1 LINE");
    EXPECT_EQ(LayoutText(3, "x"), "HORIZONTAL 2 LINES");
    EXPECT_EQ(LayoutText(4, "x"), "VERTICAL   2 LINES");
    EXPECT_EQ(LayoutText(5, "x"), "HORIZONTAL 3 LINES");
    EXPECT_EQ(LayoutText(6, "x"), "HORIZONTAL - WHLU");
    EXPECT_EQ(LayoutText(7, "before"), "before");
}

TEST(Driver, ResultColours) {
    EXPECT_EQ(ResultColour(true, 11), (TextColour{200, 50, 50}));
    EXPECT_EQ(ResultColour(false, 11), (TextColour{0, 0, 50}));
    EXPECT_EQ(ResultColour(false, 10), (TextColour{0, 0, 50}));
    EXPECT_EQ(ResultColour(false, 9), (TextColour{50, 50, 100}));
    EXPECT_EQ(ResultColour(false, 7), (TextColour{50, 50, 100}));
    EXPECT_EQ(ResultColour(false, 6), (TextColour{100, 100, 150}));
    EXPECT_EQ(ResultColour(false, 5), (TextColour{100, 100, 150}));
    EXPECT_EQ(ResultColour(false, 4), (TextColour{150, 150, 200}));
    EXPECT_EQ(ResultColour(false, 0), (TextColour{150, 150, 200}));
}

TEST(Driver, PasteGeometry) {
    cv::Mat display(100, 200, CV_8UC3, cv::Scalar::all(255));
    const cv::Mat region(30, 50, CV_8UC3, cv::Scalar(1, 2, 3));
    ASSERT_TRUE(PasteRegion(display, region));
    EXPECT_EQ(display.at<cv::Vec3b>(99, 199), cv::Vec3b(1, 2, 3));
    EXPECT_EQ(display.at<cv::Vec3b>(70, 150), cv::Vec3b(1, 2, 3));
    EXPECT_EQ(display.at<cv::Vec3b>(69, 150), cv::Vec3b(0, 0, 0));  // black edge above
    EXPECT_EQ(display.at<cv::Vec3b>(68, 148), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(display.at<cv::Vec3b>(67, 148), cv::Vec3b(255, 255, 255));

    // As wide as the photograph: the edge is clipped and the region lands at x = 0.
    cv::Mat narrow(100, 50, CV_8UC3, cv::Scalar::all(255));
    ASSERT_TRUE(PasteRegion(narrow, region));
    EXPECT_EQ(narrow.at<cv::Vec3b>(70, 0), cv::Vec3b(1, 2, 3));
    EXPECT_EQ(narrow.at<cv::Vec3b>(69, 0), cv::Vec3b(0, 0, 0));

    // Wider than the photograph: nothing is pasted.
    cv::Mat small(100, 40, CV_8UC3, cv::Scalar::all(255));
    EXPECT_FALSE(PasteRegion(small, region));
    EXPECT_EQ(cv::countNonZero(small.reshape(1) != 255), 0);
}
