#include "recognition/reading_doubts.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

using namespace karvona::recognition;

namespace {

// A region (grey panel) with eleven dark boxes 20 x 30, 30 pixels apart from x = 20, and a
// reading of them.
struct Line {
    cv::Mat region{80, 520, CV_8UC3, cv::Scalar::all(170)};
    Reading reading;
    Line() {
        reading.code = "ABCU1234565";
        for (int i = 0; i < 11; ++i) {
            const cv::Rect box(20 + 30 * i, 25, 20, 30);
            cv::rectangle(region, box, cv::Scalar::all(40), -1);
            BoxReading b;
            b.box = box;
            b.letterPosition = i < 4;
            b.character = reading.code[static_cast<size_t>(i)];
            reading.characters.push_back(b);
        }
    }
};

}  // namespace

TEST(ReadingDoubts, TheLineGoesOnWhenACharacterFollowsTheLastBox) {
    Line line;
    EXPECT_FALSE(CodeLineGoesOn(line.region, line.reading, 0));
    // A smaller mark (a size-type code) and a much larger one (a logo) do not continue it.
    cv::rectangle(line.region, cv::Rect(370, 35, 12, 18), cv::Scalar::all(40), -1);
    cv::rectangle(line.region, cv::Rect(420, 5, 40, 70), cv::Scalar::all(40), -1);
    EXPECT_FALSE(CodeLineGoesOn(line.region, line.reading, 1));
    // A character of the line's height one gap on, or a frame around one, does.
    Line more;
    cv::rectangle(more.region, cv::Rect(380, 25, 20, 30), cv::Scalar::all(40), -1);
    EXPECT_TRUE(CodeLineGoesOn(more.region, more.reading, 0));
    Line framed;
    cv::rectangle(framed.region, cv::Rect(372, 18, 28, 42), cv::Scalar::all(40), 2);
    cv::rectangle(framed.region, cv::Rect(378, 24, 16, 30), cv::Scalar::all(40), -1);
    EXPECT_TRUE(CodeLineGoesOn(framed.region, framed.reading, 5));
    // Columns are not lines; a reading without eleven boxes says nothing.
    EXPECT_FALSE(CodeLineGoesOn(more.region, more.reading, 2));
    more.reading.characters.pop_back();
    EXPECT_FALSE(CodeLineGoesOn(more.region, more.reading, 0));
}

TEST(ReadingDoubts, ACropReadingShiftedByAStrokeIsUnevenlySpaced) {
    Line line;
    EXPECT_FALSE(UnevenlySpaced(line.reading, 0));
    // A serial in two groups of three with a wider gap between them is still even.
    Line grouped;
    for (size_t i = 7; i < 11; ++i)
        grouped.reading.characters[i].box.x += 25;
    EXPECT_FALSE(UnevenlySpaced(grouped.reading, 1));
    // The owner's last letter split in two, its right stroke taken for the first digit.
    Line shifted;
    shifted.reading.characters[4].box.x = 116;
    EXPECT_TRUE(UnevenlySpaced(shifted.reading, 0));
    // A layout the test cannot judge, and a reading without eleven boxes, say nothing.
    EXPECT_FALSE(UnevenlySpaced(shifted.reading, 6));
    shifted.reading.characters.pop_back();
    EXPECT_FALSE(UnevenlySpaced(shifted.reading, 0));
}

TEST(ReadingDoubts, AnEmptyFrameIsNoCheckDigitAndATallBoxStandsOut) {
    cv::Mat empty(40, 28, CV_8UC1, cv::Scalar(0));
    cv::rectangle(empty, cv::Rect(0, 0, 28, 40), cv::Scalar(255), 3);
    EXPECT_TRUE(IsEmptyFrame(empty));

    cv::Mat held = empty.clone();
    cv::rectangle(held, cv::Rect(9, 8, 10, 24), cv::Scalar(255), 3);
    EXPECT_FALSE(IsEmptyFrame(held));

    cv::Mat zero(40, 28, CV_8UC1, cv::Scalar(0));
    cv::ellipse(zero, {14, 20}, {11, 17}, 0, 0, 360, cv::Scalar(255), 6);
    EXPECT_FALSE(IsEmptyFrame(zero));
    EXPECT_FALSE(IsEmptyFrame(cv::Mat()));

    Line line;
    for (BoxReading& box : line.reading.characters)
        box.crop = zero;
    EXPECT_FALSE(CheckDigitIsEmptyFrame(line.reading));
    line.reading.characters.back().crop = empty;
    EXPECT_TRUE(CheckDigitIsEmptyFrame(line.reading));

    // A box that took in a streak above its character stands out by its height.
    EXPECT_FALSE(HasTallBox(line.reading));
    line.reading.characters[6].box.height = 40;
    EXPECT_TRUE(HasTallBox(line.reading));
}

TEST(ReadingDoubts, TheNetworkProbabilityOfWhatTheChoiceChanged) {
    Line line;
    for (BoxReading& box : line.reading.characters) {
        box.netRead = true;
        box.net.fill(0.01f);
        box.net[static_cast<size_t>(karvona::classifier::NetClassOf(box.character))] = 0.9f;
    }
    EXPECT_FLOAT_EQ(GuidedNetProbability(line.reading, line.reading.code), 1.0f);
    std::string changed = line.reading.code;
    changed[6] = '7';
    EXPECT_FLOAT_EQ(GuidedNetProbability(line.reading, changed), 0.01f);
}
