#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "imaging/primitives.hpp"
#include "recognition/colour.hpp"
#include "recognition/kmeans.hpp"

using namespace karvona::recognition;

TEST(KMeans, FlatChannelLeavesTheOtherClustersEmpty) {
    const cv::Mat flat(40, 60, CV_8UC1, cv::Scalar(77));
    const auto crit = karvona::imaging::MakeTermCriteria(3, 5, 1.0);
    for (std::uint64_t seed = 0; seed < 20; ++seed) {
        const KMeansResult r = ClusterValues(flat, 3, crit, seed);
        int nonEmpty = 0;
        for (int c = 0; c < 3; ++c)
            nonEmpty += r.counts[c] > 0;
        EXPECT_EQ(nonEmpty, 1);
        EXPECT_EQ(r.counts[r.labelOfValue[77]], 40 * 60);
        EXPECT_FLOAT_EQ(r.centres[r.labelOfValue[77]], 77.0f);
    }
}

TEST(KMeans, SeparatesThreeLevelsAndIsReproducible) {
    cv::Mat img(30, 90, CV_8UC1);
    img.colRange(0, 30).setTo(10);
    img.colRange(30, 60).setTo(120);
    img.colRange(60, 90).setTo(240);
    const auto crit = karvona::imaging::MakeTermCriteria(3, 10, 1.0);
    const std::uint64_t seed = SeedFromPixels(img);
    const KMeansResult a = ClusterValues(img, 3, crit, seed);
    const KMeansResult b = ClusterValues(img, 3, crit, seed);
    EXPECT_EQ(a.labelOfValue, b.labelOfValue);
    EXPECT_EQ(a.centres, b.centres);
    // The same photograph gives the same seed; a different one (almost surely) another.
    EXPECT_EQ(SeedFromPixels(img.clone()), seed);
    cv::Mat other = img.clone();
    other.at<uchar>(0, 0) = 11;
    EXPECT_NE(SeedFromPixels(other), seed);
}

TEST(KMeans, EveryValueBelongsToExactlyOneCluster) {
    cv::Mat img(50, 50, CV_8UC1);
    cv::randu(img, 0, 256);
    const KMeansResult r =
        ClusterValues(img, 4, karvona::imaging::MakeTermCriteria(3, 10, 1.0), 42);
    int total = 0;
    for (int c : r.counts)
        total += c;
    EXPECT_EQ(total, 50 * 50);
    for (int v = 0; v < 256; ++v) {
        EXPECT_GE(r.labelOfValue[v], 0);
        EXPECT_LT(r.labelOfValue[v], 4);
    }
}

TEST(Colour, FlatPhotographGivesItsHueAndSwatch) {
    // BGR (0, 0, 200) is read as red 0, green 0, blue 200 by the RGB conversion: hue 120.
    const cv::Mat photo(80, 80, CV_8UC3, cv::Scalar(0, 0, 200));
    const float hue = ExtractDominantHue(photo);
    EXPECT_FLOAT_EQ(hue, 120.0f);
    const cv::Mat swatch = MakeColourSwatch(hue);
    ASSERT_EQ(swatch.size(), cv::Size(5, 5));
    ASSERT_EQ(swatch.type(), CV_8UC3);
    cv::Mat back;
    cv::cvtColor(swatch, back, cv::COLOR_RGB2HSV);
    const cv::Vec3b px = back.at<cv::Vec3b>(2, 2);
    EXPECT_NEAR(px[0], 120, 1);
    EXPECT_NEAR(px[1], 200, 2);
    EXPECT_NEAR(px[2], 200, 1);
}

TEST(Colour, HueZeroStillMakesASwatchNegativeDoesNot) {
    EXPECT_FALSE(MakeColourSwatch(0.0f).empty());
    EXPECT_TRUE(MakeColourSwatch(-1.0f).empty());
    EXPECT_EQ(ExtractDominantHue(cv::Mat()), -1.0f);
    EXPECT_EQ(ExtractDominantHue(cv::Mat(3, 3, CV_8UC3, cv::Scalar::all(9))), -1.0f);
}

TEST(Colour, LargestClusterWins) {
    cv::Mat photo(80, 80, CV_8UC3, cv::Scalar(0, 0, 200));       // hue 120
    photo(cv::Rect(0, 0, 80, 20)).setTo(cv::Scalar(200, 0, 0));  // red: hue 0, a quarter
    EXPECT_FLOAT_EQ(ExtractDominantHue(photo), 120.0f);
}
