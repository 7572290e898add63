// The blur of an image and of its inverse in one pass, against OpenCV's two blurs.
#include "imaging/gaussian_pair.hpp"

#include <gtest/gtest.h>

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#include <random>

using karvona::imaging::GaussianBlurPairIsOwn;
using karvona::imaging::GaussianBlurWithInverse;

namespace {

void ExpectOpenCvs(const cv::Mat& image, int size, const std::string& what) {
    cv::Mat inverse, want, wantInverse, got, gotInverse;
    cv::bitwise_not(image, inverse);
    cv::GaussianBlur(image, want, cv::Size(size, size), 0, 0, cv::BORDER_REPLICATE);
    cv::GaussianBlur(inverse, wantInverse, cv::Size(size, size), 0, 0, cv::BORDER_REPLICATE);
    GaussianBlurWithInverse(image, size, got, gotInverse);
    ASSERT_EQ(cv::countNonZero(want != got), 0) << what << ", size " << size;
    ASSERT_EQ(cv::countNonZero(wantInverse != gotInverse), 0) << what << ", size " << size;
}

}  // namespace

// The evidence image's blur is computed here, not by two OpenCV blurs (a fallback would keep
// the results but lose the time).
TEST(GaussianBlurWithInverse, TheLocatorsSizeIsComputedInOnePass) {
    EXPECT_TRUE(GaussianBlurPairIsOwn(31));
    EXPECT_TRUE(GaussianBlurPairIsOwn(15));
}

TEST(GaussianBlurWithInverse, EqualsOpenCvOnNoiseEdgesAndTinyFrames) {
    std::mt19937 rng(31);
    for (const cv::Size frame : {cv::Size(1, 1), cv::Size(1, 40), cv::Size(40, 1), cv::Size(7, 5),
                                 cv::Size(33, 17), cv::Size(131, 97), cv::Size(640, 48)}) {
        cv::Mat noise(frame, CV_8UC1);
        cv::randu(noise, 0, 256);
        cv::Mat strokes(frame, CV_8UC1, cv::Scalar(70));
        for (int k = 0; k < 20; ++k)
            cv::line(strokes, {static_cast<int>(rng() % frame.width), 0},
                     {static_cast<int>(rng() % frame.width), frame.height}, cv::Scalar(230), 3);
        for (const int size : {3, 5, 7, 9, 15, 31, 63}) {
            ExpectOpenCvs(noise, size, "noise " + std::to_string(frame.width));
            ExpectOpenCvs(strokes, size, "strokes " + std::to_string(frame.width));
        }
    }
}

// Sums that lie exactly half-way round the two blurs apart (255 - blur is one off there); a
// few million pixels hold dozens of them.
TEST(GaussianBlurWithInverse, EqualsOpenCvWhereTheSumLiesHalfWay) {
    cv::Mat noise(1200, 1600, CV_8UC1);
    cv::randu(noise, 0, 256);
    cv::Mat inverse, blurred, inverseBlurred;
    cv::bitwise_not(noise, inverse);
    cv::GaussianBlur(noise, blurred, cv::Size(31, 31), 0, 0, cv::BORDER_REPLICATE);
    cv::GaussianBlur(inverse, inverseBlurred, cv::Size(31, 31), 0, 0, cv::BORDER_REPLICATE);
    cv::Mat complement;
    cv::bitwise_not(blurred, complement);
    ASSERT_GT(cv::countNonZero(complement != inverseBlurred), 0) << "no half-way sums to test";
    ExpectOpenCvs(noise, 31, "noise 1600 x 1200");
}

TEST(GaussianBlurWithInverse, OutputMayBeTheInputAndViewsAreRead) {
    cv::Mat image(60, 90, CV_8UC1);
    cv::randu(image, 0, 256);
    cv::Mat want, wantInverse, inverse;
    cv::bitwise_not(image, inverse);
    cv::GaussianBlur(image, want, cv::Size(31, 31), 0, 0, cv::BORDER_REPLICATE);
    cv::GaussianBlur(inverse, wantInverse, cv::Size(31, 31), 0, 0, cv::BORDER_REPLICATE);
    cv::Mat same = image.clone(), other;
    GaussianBlurWithInverse(same, 31, same, other);
    EXPECT_EQ(cv::countNonZero(want != same), 0);
    EXPECT_EQ(cv::countNonZero(wantInverse != other), 0);

    // OpenCV blurs a view with the pixels around it; so does the pair.
    cv::Mat big(100, 150, CV_8UC1);
    cv::randu(big, 0, 256);
    const cv::Mat view = big(cv::Rect(20, 10, 90, 60));
    ExpectOpenCvs(view, 31, "view");
}

TEST(GaussianBlurReplicate, EqualsOpenCvsBlurOfTheReaders) {
    cv::Mat region(90, 700, CV_8UC1);
    cv::randu(region, 0, 256);
    cv::Mat want, got;
    cv::GaussianBlur(region, want, cv::Size(15, 15), 0, 0, cv::BORDER_REPLICATE);
    karvona::imaging::GaussianBlurReplicate(region, 15, got);
    EXPECT_EQ(cv::countNonZero(want != got), 0);
}

// The pair runs in bands of rows on OpenCV's threads; every band count gives OpenCV's result.
TEST(GaussianBlurWithInverse, EveryNumberOfBandsGivesTheSameImages) {
    const int threads = cv::getNumThreads();
    cv::Mat noise(517, 203, CV_8UC1);
    cv::randu(noise, 0, 256);
    for (const int n : {1, 2, 3, 7}) {
        cv::setNumThreads(n);
        ExpectOpenCvs(noise, 31, std::to_string(n) + " threads");
        ExpectOpenCvs(noise, 15, std::to_string(n) + " threads");
    }
    cv::setNumThreads(threads);
}
