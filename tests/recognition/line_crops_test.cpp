// The crops along a code line that the plan reads again when no look gave a sure code.
#include "recognition/line_crops.hpp"

#include <gtest/gtest.h>

using namespace karvona::recognition;

TEST(LineCrops, GrowAlongTheLineSkipShortReadingsAndRepeats) {
    const cv::Size photo(960, 540);
    const std::vector<FoundRegion> found = {
        {{200, 200, 200, 150}, 3},   // a logo: too few characters
        {{500, 240, 260, 160}, 10},  // the code
        {{520, 260, 200, 120}, 11},  // the same code again: its centre lies in the first crop
        {{800, 400, 200, 200}, 8},   // at the edge: clipped
        {{10, 10, 100, 50}, 9},      // beyond the most crops read
    };
    const std::vector<cv::Rect> crops = LineCrops(found, photo);
    ASSERT_EQ(crops.size(), 2u);
    EXPECT_EQ(crops[0], cv::Rect(370, 220, 520, 200));
    EXPECT_EQ(crops[1], cv::Rect(700, 375, 260, 165));
    EXPECT_TRUE(LineCrops({{{0, 0, 0, 0}, 11}}, photo).empty());
}

TEST(LineCrops, ScaleFillsTheWorkingFrameAtMostTwice) {
    EXPECT_DOUBLE_EQ(LineCropScale({256, 100}, 1.0), 2.0);
    EXPECT_DOUBLE_EQ(LineCropScale({640, 200}, 1.0), 1.6);
    EXPECT_DOUBLE_EQ(LineCropScale({2000, 800}, 1.0), 1.0);  // never smaller
    EXPECT_DOUBLE_EQ(LineCropScale({1280, 400}, 0.5), 1.6);  // the photograph's scale counted
}

TEST(LineCrops, NearVariantsAreOtherCodesAFewCharactersApart) {
    EXPECT_TRUE(IsNearVariant("EHSU5247413", "CHSU5247411"));
    EXPECT_TRUE(IsNearVariant("EHSU5247413", "CHSU5207411"));
    EXPECT_FALSE(IsNearVariant("EHSU5247413", "EHSU5247413"));
    EXPECT_FALSE(IsNearVariant("EHSU5247413", "CHSU5201411"));
    EXPECT_FALSE(IsNearVariant("EHSU524741", "EHSU5247413"));
}
