#include "recognition/look_repairs.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <opencv2/imgproc.hpp>

using namespace karvona::recognition;

namespace {

// A grey panel with a line of dark characters (boxes 20 x 30) from x = 100, 40 pixels apart.
cv::Mat PanelWithLine() {
    cv::Mat panel(480, 640, CV_8UC3, cv::Scalar::all(150));
    for (int i = 0; i < 11; ++i)
        cv::rectangle(panel, cv::Rect(100 + 40 * i, 200, 20, 30), cv::Scalar::all(30), -1);
    return panel;
}

cv::Mat Gray(const cv::Mat& image) {
    cv::Mat gray;
    cv::cvtColor(image, gray, cv::COLOR_BGR2GRAY);
    return gray;
}

}  // namespace

TEST(LookRepairs, ABarAcrossALineIsPaintedOverAndTheCharactersStay) {
    cv::Mat photo = PanelWithLine();
    // A bright rod with its shadow, top to bottom, in the gap after the third character.
    cv::rectangle(photo, cv::Rect(203, 0, 4, 480), cv::Scalar::all(90), -1);
    cv::rectangle(photo, cv::Rect(207, 0, 10, 480), cv::Scalar::all(230), -1);
    const std::vector<cv::Rect> bars = FindBars(Gray(photo));
    ASSERT_EQ(bars.size(), 1u);
    EXPECT_LE(bars[0].x, 204);
    EXPECT_GE(bars[0].br().x, 216);
    EXPECT_GE(bars[0].height, 400);

    const cv::Mat repaired = Repaired(photo, Repair::kUnbar);
    cv::Mat gray = Gray(repaired);
    double lo = 0, hi = 0;
    cv::minMaxLoc(gray(cv::Rect(201, 0, 18, 480)), &lo, &hi);
    EXPECT_GT(lo, 140);
    EXPECT_LT(hi, 160);
    // The characters on either side are as they were.
    for (const cv::Rect side : {cv::Rect(100, 200, 100, 30), cv::Rect(220, 200, 200, 30)})
        EXPECT_EQ(cv::norm(repaired(side), photo(side), cv::NORM_INF), 0.0);

    // Nothing to repair: the same pixels come back.
    const cv::Mat plain = PanelWithLine();
    EXPECT_TRUE(FindBars(Gray(plain)).empty());
    EXPECT_EQ(Repaired(plain, Repair::kUnbar).data, plain.data);
    EXPECT_EQ(Repaired(plain, Repair::kUnframe).data, plain.data);
}

TEST(LookRepairs, AThinFrameIsTakenAwayButNotARoundCharacterNorWhatTheFrameHolds) {
    cv::Mat photo(300, 400, CV_8UC3, cv::Scalar::all(60));
    // A bold 0 (its stroke thicker than a frame's, its corners round) and a framed 7.
    cv::putText(photo, "0", {50, 150}, cv::FONT_HERSHEY_SIMPLEX, 1.4, cv::Scalar::all(230), 6);
    cv::putText(photo, "7", {205, 150}, cv::FONT_HERSHEY_SIMPLEX, 1.4, cv::Scalar::all(230), 6);
    const cv::Rect frame(196, 104, 44, 58);
    cv::rectangle(photo, frame, cv::Scalar::all(230), 2);
    // And an empty frame.
    const cv::Rect empty(300, 104, 44, 58);
    cv::rectangle(photo, empty, cv::Scalar::all(230), 2);

    std::vector<cv::Rect> found = FindCharacterFrames(Gray(photo));
    ASSERT_EQ(found.size(), 2u);
    std::sort(found.begin(), found.end(), [](auto& a, auto& b) { return a.x < b.x; });
    EXPECT_LE(std::abs(found[0].x - frame.x), 1);
    EXPECT_LE(std::abs(found[0].height - frame.height), 2);

    const cv::Mat repaired = UnframedImage(photo);
    // The empty frame leaves plain panel; the 7 and the 0 keep their paint.
    double lo = 0, hi = 0;
    cv::minMaxLoc(Gray(repaired)(empty + cv::Size(4, 4) - cv::Point(2, 2)), &lo, &hi);
    EXPECT_LT(hi, 80);
    const cv::Rect seven(205, 110, 30, 42), zero(40, 100, 50, 60);
    EXPECT_EQ(cv::norm(repaired(seven), photo(seven), cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(repaired(zero), photo(zero), cv::NORM_INF), 0.0);
}

TEST(LookRepairs, EqualisingSpreadsFaintPaint) {
    cv::Mat photo = PanelWithLine();
    photo = photo * 0.1 + cv::Scalar::all(120);  // paint 12 grey levels from the panel
    const cv::Rect character(140, 205, 20, 20), gap(162, 205, 16, 20);
    auto contrast = [&](const cv::Mat& image) {
        const cv::Mat gray = Gray(image);
        return cv::mean(gray(gap))[0] - cv::mean(gray(character))[0];
    };
    EXPECT_GT(contrast(Repaired(photo, Repair::kEqualise)), 1.1 * contrast(photo));
}
