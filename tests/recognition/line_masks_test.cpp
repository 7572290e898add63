// Line masks: row and column closing, the horizontal mask, the vertical stroke rules and the
// tilt correction.
#include "recognition/line_masks.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>
#include <random>

using namespace karvona::recognition;

namespace {

cv::Mat Evidence(int rows = 480, int cols = 640) {
    return cv::Mat(rows, cols, CV_8UC1, cv::Scalar(0));
}

void Fill(cv::Mat& m, const cv::Rect& r) {
    m(r).setTo(255);
}

// A row of boxes wide enough to make a horizontal mask.
void Row(cv::Mat& m, int x, int y) {
    for (int k = 0; k < 5; ++k)
        Fill(m, cv::Rect(x + 30 * k, y, 20, 20));
}

// Row closing as the rule reads, pixel by pixel with its look-ahead.
void CloseRowGapsAsWritten(cv::Mat& image, int limit) {
    for (int y = 0; y < image.rows; ++y) {
        for (int x = 1; x < image.cols - limit; ++x) {
            if (image.at<uchar>(y, x - 1) != 255 || image.at<uchar>(y, x) != 0)
                continue;
            for (int k = 0; k < limit; ++k) {
                if (image.at<uchar>(y, x + k) == 255) {
                    for (int i = x; i < x + k; ++i)
                        image.at<uchar>(y, i) = 255;
                    x += k;
                    break;
                }
            }
        }
    }
}

// Runs of 255 and gaps of every length around the limits, on frames narrower and wider than them.
cv::Mat RandomRuns(std::mt19937& rng, int rows, int cols, bool otherValues) {
    cv::Mat image(rows, cols, CV_8UC1, cv::Scalar(0));
    for (int y = 0; y < rows; ++y) {
        int x = static_cast<int>(rng() % 20);
        while (x < cols) {
            const int run = 1 + static_cast<int>(rng() % 12);
            image(cv::Rect(x, y, std::min(run, cols - x), 1)).setTo(255);
            x += run + 1 + static_cast<int>(rng() % 90);
        }
    }
    if (otherValues) {
        for (int k = 0; k < rows * cols / 50; ++k)
            image.at<uchar>(static_cast<int>(rng() % rows), static_cast<int>(rng() % cols)) =
                static_cast<uchar>(1 + rng() % 254);
    }
    return image;
}

}  // namespace

// Binary images are closed run by run (and columns row by row); the result is the rule's own.
TEST(LineClosing, RunByRunClosingEqualsTheRuleAsWritten) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 80; ++trial) {
        const int rows = 1 + static_cast<int>(rng() % 120);
        const int cols = 1 + static_cast<int>(rng() % 260);
        const bool otherValues = trial % 4 == 3;
        const int limit = trial % 2 == 0 ? kRowGapLimit : kColumnGapLimit;
        const cv::Mat image = RandomRuns(rng, rows, cols, otherValues);

        cv::Mat want = image.clone(), got = image.clone();
        CloseRowGapsAsWritten(want, limit);
        CloseRowGaps(got, limit);
        ASSERT_EQ(cv::countNonZero(want != got), 0) << "rows, trial " << trial;

        // Columns: the same rule on the transposed image.
        cv::Mat columns, wantColumns = RandomRuns(rng, cols, rows, otherValues);
        cv::transpose(wantColumns, columns);
        CloseRowGapsAsWritten(wantColumns, limit);
        cv::transpose(wantColumns, wantColumns);
        CloseColumnGaps(columns, limit);
        ASSERT_EQ(cv::countNonZero(wantColumns != columns), 0) << "columns, trial " << trial;
    }
}

TEST(LineClosing, GapsUpToTheLimitClose) {
    cv::Mat row(1, 300, CV_8UC1, cv::Scalar(0));
    Fill(row, cv::Rect(10, 0, 5, 1));
    Fill(row, cv::Rect(15 + 69, 0, 5, 1));  // a gap of 69
    Fill(row, cv::Rect(89 + 70, 0, 5, 1));  // a gap of 70
    CloseRowGaps(row, 70);
    EXPECT_EQ(cv::countNonZero(row(cv::Rect(15, 0, 69, 1))), 69);
    EXPECT_EQ(cv::countNonZero(row(cv::Rect(89, 0, 70, 1))), 0);

    // A gap that starts at or beyond width - 70 stays open.
    cv::Mat edge(1, 100, CV_8UC1, cv::Scalar(0));
    Fill(edge, cv::Rect(20, 0, 10, 1));
    Fill(edge, cv::Rect(40, 0, 5, 1));
    CloseRowGaps(edge, 70);
    EXPECT_EQ(cv::countNonZero(edge(cv::Rect(30, 0, 10, 1))), 0);

    cv::Mat column(200, 3, CV_8UC1, cv::Scalar(0));
    Fill(column, cv::Rect(1, 10, 1, 5));
    Fill(column, cv::Rect(1, 15 + 44, 1, 5));
    Fill(column, cv::Rect(1, 64 + 45, 1, 5));
    CloseColumnGaps(column, 45);
    EXPECT_EQ(cv::countNonZero(column(cv::Rect(1, 15, 1, 44))), 44);
    EXPECT_EQ(cv::countNonZero(column(cv::Rect(1, 64, 1, 45))), 0);
    EXPECT_EQ(cv::countNonZero(column.col(0)), 0);
}

TEST(LineMasks, HorizontalMaskFromBoxesAGapApart) {
    for (const int gap : {69, 70}) {
        cv::Mat evidence = Evidence();
        Fill(evidence, cv::Rect(100, 100, 20, 20));
        Fill(evidence, cv::Rect(120 + gap, 100, 20, 20));
        const LineMasks masks = BuildLineMasks(evidence, nullptr);
        EXPECT_EQ(masks.horizontal, gap == 69) << gap;
        EXPECT_FALSE(masks.vertical);
        EXPECT_EQ(masks.horizontalMask.at<uchar>(110, 150), gap == 69 ? 255 : 0);
        EXPECT_EQ(cv::countNonZero(masks.masked), gap == 69 ? 800 : 0);
    }
}

TEST(LineMasks, VerticalStrokeRules) {
    struct Case {
        cv::Size stroke;
        bool vertical;
    };
    for (const Case& c : {Case{{25, 151}, true}, Case{{25, 150}, false}, Case{{26, 151}, false},
                          Case{{10, 300}, true}}) {
        cv::Mat evidence = Evidence();
        Fill(evidence, cv::Rect(cv::Point(300, 100), c.stroke));
        const LineMasks masks = BuildLineMasks(evidence, nullptr);
        EXPECT_EQ(masks.vertical, c.vertical) << c.stroke;
        EXPECT_EQ(masks.strokeHeight, c.vertical ? c.stroke.height : 0);
        EXPECT_EQ(cv::countNonZero(masks.masked), c.vertical ? c.stroke.area() : 0);
        EXPECT_FALSE(masks.rotated);  // upright: dx = 0 gives just under 90 degrees
    }
}

TEST(LineMasks, TallStrokeLeftOf550ClearsTheHorizontalMask) {
    for (const int x : {549, 550}) {
        cv::Mat evidence = Evidence(480, 700);
        Row(evidence, 50, 20);
        Fill(evidence, cv::Rect(x, 60, 25, 300));
        const LineMasks masks = BuildLineMasks(evidence, nullptr);
        EXPECT_TRUE(masks.vertical);
        EXPECT_EQ(masks.horizontal, x == 550) << x;
        // Both masks: the row and the stroke are kept; the stroke alone otherwise.
        EXPECT_EQ(cv::countNonZero(masks.masked), 25 * 300 + (x == 550 ? 5 * 400 : 0));
    }
    // A stroke of 250 rows never clears it.
    cv::Mat evidence = Evidence();
    Row(evidence, 50, 20);
    Fill(evidence, cv::Rect(300, 60, 25, 250));
    EXPECT_TRUE(BuildLineMasks(evidence, nullptr).horizontal);
}

TEST(LineMasks, TallestStrokeIsTheFirstOfEqualHeight) {
    cv::Mat evidence = Evidence();
    Fill(evidence, cv::Rect(400, 100, 20, 200));
    Fill(evidence, cv::Rect(200, 120, 30, 200));  // same height, met later in raster order
    const LineMasks masks = BuildLineMasks(evidence, nullptr);
    EXPECT_EQ(masks.stroke, cv::Rect(400, 100, 20, 200));
}

namespace {

// A column of ten character boxes, each shifted 2 pixels right of the one above.
cv::Mat LeaningColumn() {
    cv::Mat evidence = Evidence();
    for (int k = 0; k < 10; ++k)
        Fill(evidence, cv::Rect(300 + 2 * k, 60 + 34 * k, 16, 27));
    return evidence;
}

}  // namespace

TEST(LineMasks, LeaningColumnIsTurnedUpright) {
    cv::Mat evidence = LeaningColumn();
    const cv::Mat before = evidence.clone();
    cv::Mat display(480, 640, CV_8UC3, cv::Scalar::all(0));
    const LineMasks masks = BuildLineMasks(evidence, &display);
    ASSERT_TRUE(masks.vertical);
    // The stroke spans rows 60 to 392: xt = 300 in row 65, xb = 318 in row 388, so
    // a = atan(323 / 18) and the tilt is a - 90.
    const double a = std::atan(323.0 / 18.0) * 180.0 / CV_PI;
    EXPECT_NEAR(masks.tilt, a - 90.0, 1e-9);
    EXPECT_TRUE(masks.rotated);
    EXPECT_GT(cv::norm(evidence, before, cv::NORM_L1), 0.0);
    // Grey values appear along the warped strokes.
    cv::Mat grey = (evidence > 0) & (evidence < 255);
    EXPECT_GT(cv::countNonZero(grey), 0);
    // The measurement is drawn on the display: the stroke segment in (255, 255, 0).
    cv::Mat cyan;
    cv::inRange(display, cv::Scalar(255, 255, 0), cv::Scalar(255, 255, 0), cyan);
    EXPECT_GT(cv::countNonZero(cyan), 200);
    // The masked image is not turned.
    EXPECT_EQ(cv::countNonZero(masks.masked), cv::countNonZero(before));
}

TEST(LineMasks, HalvedAngleNeverTurns) {
    cv::Mat evidence = LeaningColumn();
    const cv::Mat before = evidence.clone();
    LocatorOptions options;
    options.tiltAngleFactor = kHalvedTiltAngle;
    const LineMasks masks = BuildLineMasks(evidence, nullptr, options);
    ASSERT_TRUE(masks.vertical);
    EXPECT_GE(std::fabs(masks.tilt), 45.0);
    EXPECT_FALSE(masks.rotated);
    EXPECT_EQ(cv::norm(evidence, before, cv::NORM_L1), 0.0);
}

TEST(LineMasks, NothingPresentAndOddInputs) {
    cv::Mat evidence = Evidence();
    const LineMasks none = BuildLineMasks(evidence, nullptr);
    EXPECT_FALSE(none.horizontal);
    EXPECT_FALSE(none.vertical);
    EXPECT_EQ(cv::countNonZero(none.masked), 0);
    cv::Mat empty;
    EXPECT_TRUE(BuildLineMasks(empty, nullptr).masked.empty());
}
