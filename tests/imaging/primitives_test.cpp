#include "imaging/primitives.hpp"

#include <gtest/gtest.h>

using namespace karvona::imaging;

TEST(TermCriteria, EpsilonIsStoredAtSinglePrecision) {
    const cv::TermCriteria c = MakeTermCriteria(3, 10, 0.1);
    EXPECT_EQ(c.type, 3);
    EXPECT_EQ(c.maxCount, 10);
    EXPECT_EQ(c.epsilon, 0.10000000149011612);
    EXPECT_NE(c.epsilon, 0.1);
}

TEST(IntegerPower, PowersOfTwoAndNegativeExponents) {
    EXPECT_EQ(IntegerPower(2.0f, 0), 1.0f);
    EXPECT_EQ(IntegerPower(2.0f, 10), 1024.0f);
    EXPECT_EQ(IntegerPower(2.0f, -1), 0.5f);
    EXPECT_EQ(IntegerPower(3.0f, 5), 243.0f);
    EXPECT_EQ(IntegerPower(2.0f, -3), 0.125f);
}

TEST(FirstChannelSum, CountsBlueOnlyAndClipsTheRectangle) {
    cv::Mat colour(4, 5, CV_8UC3, cv::Scalar(1, 2, 3));
    EXPECT_EQ(SumFirstChannel(colour), 20.0);
    EXPECT_EQ(SumFirstChannel(colour, cv::Rect(3, 2, 10, 10)), 4.0);  // 2 x 2 inside
    EXPECT_EQ(SumFirstChannel(colour, cv::Rect(-5, -5, 2, 2)), 0.0);   // misses the image
    EXPECT_EQ(SumFirstChannel(cv::Mat()), 0.0);
}

TEST(FillRect, SaturatesAndClipsAndIgnoresColourImages) {
    cv::Mat grey(4, 4, CV_8UC1, cv::Scalar(0));
    FillRect(grey, cv::Rect(2, 2, 10, 10), 300.0);
    EXPECT_EQ(cv::countNonZero(grey), 4);
    EXPECT_EQ(grey.at<uchar>(3, 3), 255);
    FillRect(grey, cv::Rect(-3, 0, 4, 1), -7.0);  // only (0,0) is inside; saturates to 0
    EXPECT_EQ(grey.at<uchar>(0, 0), 0);
    FillRect(grey, cv::Rect(10, 10, 3, 3), 255.0);  // outside: nothing
    EXPECT_EQ(cv::countNonZero(grey), 4);

    cv::Mat colour(2, 2, CV_8UC3, cv::Scalar(0, 0, 0));
    FillRect(colour, cv::Rect(0, 0, 2, 2), 255.0);
    EXPECT_EQ(cv::countNonZero(colour.reshape(1)), 0);
}

TEST(CopyInto, ClipsAtEveryBorder) {
    cv::Mat src(3, 3, CV_8UC1, cv::Scalar(9));
    cv::Mat dst(4, 4, CV_8UC1, cv::Scalar(0));
    CopyInto(src, dst, cv::Rect(-1, -1, 3, 3));  // lands as 2 x 2 at the top-left
    EXPECT_EQ(cv::countNonZero(dst), 4);
    EXPECT_EQ(dst.at<uchar>(1, 1), 9);
    dst.setTo(0);
    CopyInto(src, dst, cv::Rect(2, 2, 3, 3));  // 2 x 2 at the bottom-right
    EXPECT_EQ(cv::countNonZero(dst), 4);
    EXPECT_EQ(dst.at<uchar>(3, 3), 9);
    CopyInto(src, dst, cv::Rect(7, 7, 3, 3));  // nothing
    EXPECT_EQ(cv::countNonZero(dst), 4);
}

TEST(IsBinaryImage, AnyOtherValueAnywhereOrAnotherTypeIsNot) {
    cv::Mat image(3, 21, CV_8UC1, cv::Scalar(0));  // rows of two words and a tail of five
    image(cv::Rect(3, 1, 15, 2)).setTo(255);
    EXPECT_TRUE(karvona::imaging::IsBinaryImage(image));
    EXPECT_TRUE(karvona::imaging::IsBinaryImage(image(cv::Rect(1, 0, 19, 3))));  // a view
    for (const uchar value : {1, 127, 128, 254}) {
        for (const cv::Point at : {cv::Point(0, 0), cv::Point(7, 1), cv::Point(8, 2),
                                   cv::Point(20, 2), cv::Point(17, 1)}) {
            cv::Mat other = image.clone();
            other.at<uchar>(at) = value;
            EXPECT_FALSE(karvona::imaging::IsBinaryImage(other)) << int(value) << " at " << at;
        }
    }
    EXPECT_FALSE(karvona::imaging::IsBinaryImage(cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(0))));
}
