// Montages of crops: how many are drawn, where, and the file names of pairs.
#include "training/montage.hpp"

#include <gtest/gtest.h>

using namespace karvona::training;

TEST(Montage, LaysCropsOutInRowsUpToTheLimit) {
    const cv::Mat stroke(30, 10, CV_8UC1, cv::Scalar(255));
    const cv::Mat three = MakeMontage({stroke, cv::Mat(), stroke}, "caption", 40, 2);
    ASSERT_EQ(three.type(), CV_8UC3);
    // Two rows of cells under the caption; the empty crop is an empty (black) cell.
    EXPECT_EQ(three.rows, 18 + 2 * 41 + 1);
    const cv::Rect first(1, 19, 30, 40), second(32, 19, 30, 40);
    EXPECT_GT(cv::countNonZero(three(first).reshape(1)), 0);
    EXPECT_EQ(cv::countNonZero(three(second).reshape(1)), 0);

    const std::vector<cv::Mat> many(kMontageLimit + 50, stroke);
    const cv::Mat capped = MakeMontage(many, "many", 40, 30);
    EXPECT_EQ(capped.rows, 18 + (kMontageLimit + 29) / 30 * 41 + 1);
}

TEST(Montage, NamesAreSafeFileNames) {
    EXPECT_EQ(MontageName("A"), "A");
    EXPECT_EQ(MontageName("-"), "x2d");
    EXPECT_EQ(MontageName("7/"), "7x2f");
}
