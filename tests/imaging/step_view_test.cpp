#include "imaging/step_view.hpp"

#include <gtest/gtest.h>

#include <filesystem>

using namespace karvona::imaging;
namespace fs = std::filesystem;

TEST(StepFileName, NumbersInOrderAndKeepsTitlesReadable) {
    EXPECT_EQ(StepFileName(1, "binary image #1/2"), "001-binary image #1_2.png");
    EXPECT_EQ(StepFileName(12, "Horizontal Mask"), "012-Horizontal Mask.png");
}

TEST(PngStepViewer, WritesOneFilePerViewInOrder) {
    const fs::path dir = fs::temp_directory_path() / "karvona-step-view-test";
    fs::remove_all(dir);
    PngStepViewer viewer(dir);
    viewer.Show("masked", cv::Mat(10, 10, CV_8UC1, cv::Scalar(255)));
    viewer.Show("find ISO characters", cv::Mat(10, 10, CV_8UC3, cv::Scalar(0, 0, 255)));
    EXPECT_EQ(viewer.Count(), 2);
    EXPECT_TRUE(fs::exists(dir / "001-masked.png"));
    EXPECT_TRUE(fs::exists(dir / "002-find ISO characters.png"));
    fs::remove_all(dir);
}
