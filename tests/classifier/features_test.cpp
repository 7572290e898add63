#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "classifier/lvq_cluster.hpp"

using namespace karvona::classifier;

namespace {

// Every block on, 40 x 40, 10 x 10 grid: 100 + 40 x 6 + 4 + 1 = 345 values.
CLvqCluster StandardCodebook() {
    CLvqCluster c;
    c.featureLength = 345;
    c.gridWidth = c.gridHeight = 10;
    return c;
}

// Offsets of the blocks in the 345-value layout.
enum : int { kGrid = 0, kRows = 100, kCols = 140, kLeft = 180, kRight = 220, kTop = 260 };
enum : int { kBottom = 300, kCross = 340, kAspect = 344 };

void ExpectRange(const std::vector<double>& v, int from, int to, double value) {
    for (int i = from; i < to; ++i) {
        EXPECT_EQ(v[i], value) << "position " << i;
    }
}

CLvqCluster OnlyBlocks(int featureLength) {
    CLvqCluster c;
    c.featureLength = featureLength;
    c.useGrid = c.useRowInk = c.useColumnInk = c.useLeftProfile = c.useRightProfile = 0;
    c.useTopProfile = c.useBottomProfile = c.useCentreCross = c.useAspect = 0;
    return c;
}

}  // namespace

TEST(Features, AllWhiteAndAllBlackFillTheLayoutInBlockOrder) {
    const CLvqCluster c = StandardCodebook();
    ASSERT_EQ(c.EnabledFeatureLength(), 345);

    const std::vector<double> white = c.ComputeFeatures(cv::Mat(50, 30, CV_8UC1, cv::Scalar(255)));
    ASSERT_EQ(white.size(), 345u);
    ExpectRange(white, kGrid, kRows, 1.0);
    ExpectRange(white, kRows, kLeft, 0.0);
    ExpectRange(white, kLeft, kCross, 1.0);
    EXPECT_EQ(white[kCross + 0], 21.0 / 20);  // up, centre pixel included
    EXPECT_EQ(white[kCross + 1], 20.0 / 20);  // right
    EXPECT_EQ(white[kCross + 2], 20.0 / 20);  // down
    EXPECT_EQ(white[kCross + 3], 21.0 / 20);  // left
    EXPECT_EQ(white[kAspect], 30.0 / 50);     // of the crop, before resizing

    const std::vector<double> black = c.ComputeFeatures(cv::Mat(50, 30, CV_8UC1, cv::Scalar(0)));
    ASSERT_EQ(black.size(), 345u);
    ExpectRange(black, kGrid, kRows, 0.0);
    ExpectRange(black, kRows, kLeft, 1.0);
    ExpectRange(black, kLeft, kAspect, 0.0);
    EXPECT_EQ(black[kAspect], 0.6);
}

TEST(Features, InkCountsZerosWhileProfilesRunOverStrokes) {
    // A 40 x 40 crop passes the resize unchanged: a full-height bar in columns 0..8 and a
    // cross whose arms are uneven around the centre (20, 20).
    cv::Mat img(40, 40, CV_8UC1, cv::Scalar(0));
    img(cv::Rect(0, 0, 9, 40)).setTo(255);
    img(cv::Rect(15, 20, 16, 1)).setTo(255);  // row 20, columns 15..30
    img(cv::Rect(20, 10, 1, 16)).setTo(255);  // column 20, rows 10..25
    const std::vector<double> v = StandardCodebook().ComputeFeatures(img);

    EXPECT_EQ(v[kRows + 0], 31.0 / 40);
    EXPECT_EQ(v[kRows + 20], (31.0 - 16) / 40);
    EXPECT_EQ(v[kCols + 0], 0.0);
    EXPECT_EQ(v[kCols + 20], (40.0 - 16) / 40);
    EXPECT_EQ(v[kCols + 39], 1.0);
    EXPECT_EQ(v[kLeft + 0], 9.0 / 40);
    EXPECT_EQ(v[kRight + 0], 0.0);
    EXPECT_EQ(v[kTop + 5], 1.0);
    EXPECT_EQ(v[kTop + 20], 0.0);
    EXPECT_EQ(v[kBottom + 8], 1.0);
    EXPECT_EQ(v[kBottom + 9], 0.0);
    EXPECT_EQ(v[kCross + 0], 11.0 / 20);  // rows 20 .. 10
    EXPECT_EQ(v[kCross + 1], 11.0 / 20);  // columns 20 .. 30
    EXPECT_EQ(v[kCross + 2], 6.0 / 20);   // rows 20 .. 25
    EXPECT_EQ(v[kCross + 3], 6.0 / 20);   // columns 20 .. 15
    EXPECT_EQ(v[kAspect], 1.0);

    // The grid reduces the normalised image bilinearly: the bar covers grid columns 0..1.
    for (int y = 0; y < 10; ++y) {
        EXPECT_EQ(v[kGrid + 10 * y + 0], 1.0);
        EXPECT_EQ(v[kGrid + 10 * y + 1], 1.0);
        EXPECT_EQ(v[kGrid + 10 * y + 2], 0.0);
    }
}

TEST(Features, NarrowCropFillsTheWidthAndKeepsItsAspect) {
    const CLvqCluster c = StandardCodebook();
    const std::vector<double> v = c.ComputeFeatures(cv::Mat(40, 2, CV_8UC1, cv::Scalar(255)));
    EXPECT_EQ(v[kAspect], 2.0 / 40);
    ExpectRange(v, kRows, kLeft, 0.0);
    ExpectRange(v, kLeft, kRight, 1.0);
}

TEST(Features, ACropViewGivesTheSameVectorAsItsCopy) {
    cv::Mat big(60, 60, CV_8UC1, cv::Scalar(0));
    cv::circle(big, {30, 30}, 12, cv::Scalar(255), 3);
    const cv::Mat view = big(cv::Rect(15, 10, 31, 41));
    const CLvqCluster c = StandardCodebook();
    EXPECT_EQ(c.ComputeFeatures(view), c.ComputeFeatures(view.clone()));
}

TEST(Features, SwitchedOffBlocksTakeNoRoomAndSpareRoomStaysZero) {
    CLvqCluster c = OnlyBlocks(45);
    c.useColumnInk = 1;
    c.useAspect = 1;
    cv::Mat img(40, 40, CV_8UC1, cv::Scalar(255));
    img.col(3).setTo(0);
    const std::vector<double> v = c.ComputeFeatures(img);
    ASSERT_EQ(v.size(), 45u);
    EXPECT_EQ(v[3], 1.0);
    EXPECT_EQ(v[4], 0.0);
    EXPECT_EQ(v[40], 1.0);  // aspect follows the columns directly
    ExpectRange(v, 41, 45, 0.0);
}

TEST(Features, NeverWritesPastTheVector) {
    // A recipe longer than its vector (only possible by setting the fields by hand): the vector
    // keeps its length and holds the first values of the layout.
    CLvqCluster c = StandardCodebook();
    c.featureLength = 105;
    const std::vector<double> v = c.ComputeFeatures(cv::Mat(20, 20, CV_8UC1, cv::Scalar(255)));
    ASSERT_EQ(v.size(), 105u);
    ExpectRange(v, 0, 100, 1.0);
    ExpectRange(v, 100, 105, 0.0);

    std::vector<double> small(30, -1.0);
    c.GridFeatures(cv::Mat(40, 40, CV_8UC1, cv::Scalar(255)), small, 25);
    ExpectRange(small, 0, 25, -1.0);
    ExpectRange(small, 25, 30, 1.0);
}

TEST(Features, UnusableImagesGiveNoVector) {
    const CLvqCluster c = StandardCodebook();
    EXPECT_TRUE(c.ComputeFeatures(cv::Mat()).empty());
    EXPECT_TRUE(c.ComputeFeatures(cv::Mat(10, 10, CV_8UC3, cv::Scalar::all(255))).empty());
    EXPECT_TRUE(c.ComputeFeatures(cv::Mat(10, 10, CV_32FC1, cv::Scalar(1))).empty());
    EXPECT_EQ(c.ComputeFeatures(cv::Mat(1, 1, CV_8UC1, cv::Scalar(255))).size(), 345u);
}
