// The locator: box sums, scoring, acceptance, and the whole search on drawn photographs.
#include "recognition/locator.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <opencv2/imgproc.hpp>
#include <random>

#include "drawn_photos.hpp"

using namespace karvona::recognition;
using karvona::testing::CharactersHeld;
using karvona::testing::CodeDrawing;
using karvona::testing::DrawCodePhoto;

namespace {

struct Located {
    cv::Mat region;
    int layout = -1;
    TemplateBoxes boxes{};
};

Located Locate(const cv::Mat& photo, const LocatorOptions& options = {}) {
    Located out;
    out.region = FindIsoCharacters(photo, nullptr, &out.boxes, &out.layout, options);
    return out;
}

// A template of n character boxes of 10 x 10 in a row, then blank and ignored boxes.
LayoutTemplate Boxes(int characters, int blanks = 0, int ignored = 0) {
    LayoutTemplate t;
    for (int i = 0; i < characters + blanks + ignored; ++i) {
        t.boxes[i] = cv::Rect(10 + 12 * i, 10, 10, 10);
        t.kinds[i] = i < characters            ? kCharacterBox
                     : i < characters + blanks ? kBlankBox
                                               : kIgnoredBox;
    }
    t.count = characters + blanks + ignored;
    return t;
}

}  // namespace

TEST(BoxSums, EqualThePixelSums) {
    cv::Mat image(97, 131, CV_8UC1);
    cv::randu(image, 0, 256);
    const BoxSums sums(image);
    std::mt19937 rng(3);
    for (int k = 0; k < 200; ++k) {
        const int x = static_cast<int>(rng() % 131), y = static_cast<int>(rng() % 97);
        const int w = static_cast<int>(rng() % (131 - x)) + 1;
        const int h = static_cast<int>(rng() % (97 - y)) + 1;
        const cv::Rect r(x, y, w, h);
        ASSERT_EQ(sums.Sum(r), cv::sum(image(r))[0]) << r;
    }
    EXPECT_EQ(sums.Sum(cv::Rect(0, 0, 131, 97)), cv::sum(image)[0]);
    EXPECT_EQ(sums.Sum(cv::Rect(5, 5, 0, 0)), 0.0);
}

TEST(ScoreTemplate, MassRules) {
    cv::Mat evidence(40, 400, CV_8UC1, cv::Scalar(0));
    LayoutTemplate t = Boxes(3, 2, 1);
    evidence(t.boxes[0]).setTo(255);                                  // full: +100, well filled
    evidence(cv::Rect(t.boxes[1].tl(), cv::Size(10, 1))).setTo(255);  // 10 pixels: +10
    evidence(cv::Rect(t.boxes[3].tl(), cv::Size(3, 1))).setTo(255);   // blank, 3 pixels: -6
    evidence(t.boxes[5]).setTo(255);                                  // ignored
    TemplateScore s = ScoreTemplate(BoxSums(evidence), t);
    EXPECT_DOUBLE_EQ(s.score, 100 + 10 - 6);
    EXPECT_EQ(s.wellFilled, 1);  // 10 / 100 is not above the single-precision 0.1

    // A mass below 0.2 is taken away at half weight; a grey value of 51 is exactly 0.2.
    cv::Mat faint(40, 400, CV_8UC1, cv::Scalar(0));
    faint.at<uchar>(t.boxes[0].y, t.boxes[0].x) = 25;  // m = 25 / 255 < 0.2
    faint.at<uchar>(t.boxes[3].y, t.boxes[3].x) = 40;  // blank below 0.2: no change
    s = ScoreTemplate(BoxSums(faint), t);
    EXPECT_DOUBLE_EQ(s.score, -25.0 / 255 / 2);
    faint.at<uchar>(t.boxes[2].y, t.boxes[2].x) = 52;  // above 0.2f: added
    EXPECT_DOUBLE_EQ(ScoreTemplate(BoxSums(faint), t).score, -25.0 / 255 / 2 + 52.0 / 255);
}

TEST(ScoreTemplate, BoxesCrossingTheFrameCountNothing) {
    cv::Mat evidence(20, 50, CV_8UC1, cv::Scalar(255));
    LayoutTemplate t = Boxes(2, 2);
    t.boxes[0] = cv::Rect(-1, 0, 10, 10);
    t.boxes[1] = cv::Rect(45, 0, 10, 10);
    t.boxes[2] = cv::Rect(0, 15, 10, 10);
    t.boxes[3] = cv::Rect(40, 10, 10, 10);  // ends exactly at the frame: counted
    const TemplateScore s = ScoreTemplate(BoxSums(evidence), t);
    EXPECT_DOUBLE_EQ(s.score, -200.0);
    EXPECT_EQ(s.wellFilled, 0);
}

// The search scores hypotheses without building their templates; on evidence with grey values
// (as after the tilt correction) and seeds near every edge, both ways agree to the last bit.
TEST(ScoreLayout, EqualsTheScoreOfTheBuiltTemplate) {
    cv::Mat evidence(240, 320, CV_8UC1);
    cv::randu(evidence, 0, 256);
    cv::Mat sparse = evidence > 200;
    const BoxSums grey(evidence), binary(sparse);
    std::mt19937 rng(17);
    for (int k = 0; k < 3000; ++k) {
        const int layout = static_cast<int>(rng() % kLayoutCount);
        const int x0 = static_cast<int>(rng() % 360) - 20, y0 = static_cast<int>(rng() % 280) - 20;
        const int s = 5 + static_cast<int>(rng() % 60);
        const int b = 4 + 2 * static_cast<int>(rng() % 11), c = 3 + 3 * static_cast<int>(rng() % 6);
        LayoutTemplate t;
        MakeLayoutTemplate(layout, x0, y0, s, b, c, t);
        for (const BoxSums* sums : {&grey, &binary}) {
            const TemplateScore built = ScoreTemplate(*sums, t);
            const TemplateScore fused = ScoreLayout(*sums, layout, x0, y0, s, b, c);
            ASSERT_EQ(std::memcmp(&built.score, &fused.score, sizeof(double)), 0)
                << "layout " << layout << " at " << x0 << "," << y0 << " s " << s;
            ASSERT_EQ(built.wellFilled, fused.wellFilled);
        }
    }
}

TEST(BestHypothesis, Acceptance) {
    BestHypothesis best;
    EXPECT_FALSE(best.Found());
    // Seven well-filled boxes never win, whatever the score.
    EXPECT_FALSE(best.Offer(0, Boxes(11), {1e9, 7}));
    EXPECT_EQ(best.layout, -1);
    // A negative score above -10 is taken but finds no region.
    EXPECT_TRUE(best.Offer(1, Boxes(11), {-5.0, 8}));
    EXPECT_FALSE(best.Found());
    EXPECT_FALSE(best.Offer(2, Boxes(11), {-10.0, 11}));
    // Ties keep the hypothesis met first.
    EXPECT_TRUE(best.Offer(3, Boxes(11), {40.0, 9}));
    EXPECT_FALSE(best.Offer(4, Boxes(12), {40.0, 11}));
    EXPECT_EQ(best.layout, 3);
    EXPECT_EQ(best.boxes.count, 11);
    EXPECT_TRUE(best.Found());
    EXPECT_TRUE(best.Offer(5, Boxes(12), {40.5, 8}));
    EXPECT_EQ(best.boxes.count, 12);
}

class DrawnLayouts : public ::testing::TestWithParam<int> {};

TEST_P(DrawnLayouts, FoundWithAllElevenCharacters) {
    struct Variant {
        bool lightOnDark;
        double noise;
        int height, gapAcross, gapDown;
    };
    const Variant variants[] = {{true, 0, 31, 8, 9},   {false, 0, 31, 8, 9},
                                {true, 6, 29, 24, 6},  {false, 6, 29, 24, 6},
                                {true, 6, 27, 16, 12}, {false, 6, 27, 16, 12}};
    for (const Variant& v : variants) {
        CodeDrawing d;
        d.layout = GetParam();
        d.lightOnDark = v.lightOnDark;
        if (!v.lightOnDark) {
            d.background = 200;
            d.paint = 40;
        }
        d.noiseSigma = v.noise;
        d.seed = 2;
        d.charHeight = v.height;
        d.charWidth = (v.height - 1) / 2;  // vertical layouts: 1.7 times as high
        d.gapAcross = v.gapAcross;
        d.gapDown = v.gapDown;
        const auto photo = DrawCodePhoto(d);
        const Located found = Locate(photo.image);
        SCOPED_TRACE(testing::Message() << "light " << v.lightOnDark << " noise " << v.noise
                                        << " gaps " << v.gapAcross << "/" << v.gapDown);
        ASSERT_FALSE(found.region.empty());
        EXPECT_EQ(found.layout, d.layout);
        EXPECT_EQ(CharactersHeld(found.region, photo), 11);
        EXPECT_EQ(found.region.type(), CV_8UC3);
    }
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, DrawnLayouts, ::testing::Range(0, 7));

TEST(FindIsoCharacters, NoRegionLeavesTheOutputsAlone) {
    const cv::Mat black(480, 640, CV_8UC3, cv::Scalar::all(0));
    const cv::Mat white(480, 640, CV_8UC3, cv::Scalar::all(255));
    const cv::Mat grey(480, 640, CV_8UC1, cv::Scalar::all(128));
    for (const cv::Mat& photo : {black, white, grey, cv::Mat()}) {
        TemplateBoxes boxes{};
        boxes[0] = cv::Rect(1, 2, 3, 4);
        int layout = 42;
        EXPECT_TRUE(FindIsoCharacters(photo, nullptr, &boxes, &layout).empty());
        EXPECT_EQ(layout, 42);
        EXPECT_EQ(boxes[0], cv::Rect(1, 2, 3, 4));
    }
}

TEST(FindIsoCharacters, SmallFramesNeverCrash) {
    CodeDrawing d;
    d.charHeight = 21;
    d.charWidth = 10;
    d.gapAcross = 4;
    for (const cv::Size size : {cv::Size(1, 1), cv::Size(50, 50), cv::Size(51, 460),
                                cv::Size(200, 100), cv::Size(400, 120), cv::Size(640, 461)}) {
        d.frame = size;
        const auto photo = DrawCodePhoto(d);
        const Located found = Locate(photo.image);
        if (!found.region.empty()) {
            EXPECT_GE(found.layout, 0);
        }
    }
    // A code cut by the frame edge.
    d.frame = cv::Size(300, 200);
    d.origin = cv::Point(-40, 20);
    Locate(DrawCodePhoto(d).image);
}

TEST(FindIsoCharacters, StepViewsInOrder) {
    struct Titles : karvona::imaging::StepViewer {
        std::vector<std::string> seen;
        void Show(const std::string& title, const cv::Mat& image) override {
            seen.push_back(title);
            EXPECT_FALSE(image.empty()) << title;
        }
    } viewer;
    CodeDrawing d;
    d.charHeight = 31;
    d.charWidth = 15;
    const Located found = Locate(DrawCodePhoto(d).image, {true, &viewer});
    ASSERT_EQ(found.layout, 0);
    const std::vector<std::string> first = {"binary image #1/2",
                                            "binary image #2/2",
                                            "extracted character image",
                                            "extracted character image 1",
                                            "extracted character image 2",
                                            "Horizontal Mask",
                                            "Horizontal Mask",
                                            "Vertical Mask",
                                            "masked",
                                            "find ISO characters"};
    ASSERT_GT(viewer.seen.size(), first.size());
    EXPECT_EQ(std::vector<std::string>(viewer.seen.begin(), viewer.seen.begin() + first.size()),
              first);
    EXPECT_EQ(viewer.seen.back(), "extracted character set");
    // Without the option nothing is shown.
    viewer.seen.clear();
    Locate(DrawCodePhoto(d).image, {false, &viewer});
    EXPECT_TRUE(viewer.seen.empty());
}

TEST(FindIsoCharacters, LeaningColumnsWholeAndHalvedTilt) {
    // Vertical codes leaning 2 to 4 degrees either way: the whole angle turns them upright and
    // locates at least as many as the halved reading, which never turns.
    int located[2] = {0, 0};
    int total = 0;
    for (const int layout : {2, 4}) {
        for (const double lean : {2.0, 3.0, 4.0, -2.5, -3.5}) {
            CodeDrawing d;
            d.layout = layout;
            d.charWidth = 16;
            d.gapDown = layout == 4 ? 3 : 9;
            d.leanDegrees = lean;
            const auto photo = DrawCodePhoto(d);
            ++total;
            for (int k = 0; k < 2; ++k) {
                LocatorOptions options;
                options.tiltAngleFactor = k == 0 ? kWholeTiltAngle : kHalvedTiltAngle;
                cv::Mat display = photo.image.clone();
                TemplateBoxes boxes;
                int found = -1;
                const cv::Mat region =
                    FindIsoCharacters(photo.image, &display, &boxes, &found, options);
                located[k] += found == layout && CharactersHeld(region, photo) == 11;
                // Only the whole angle draws the measurement.
                EXPECT_EQ(cv::norm(display, photo.image, cv::NORM_L1) > 0, k == 0) << lean;
            }
        }
    }
    EXPECT_GE(located[0], located[1]);
    EXPECT_GE(located[0], total - 1);
}
