// The reading plan on drawn photographs: what the single pass cannot read (a photograph far
// larger than its frame, a sloping line) is read, the region refers to the photograph as given,
// and a photograph the first look reads sure gives the strict pass's reading.
#include "recognition/reading_plan.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <opencv2/imgproc.hpp>

#include "drawn_glyph_data.hpp"
#include "drawn_photos.hpp"
#include "handmade_codebook.hpp"
#include "recognition/line_crops.hpp"
#include "recognition/look.hpp"
#include "recognition/recognizer.hpp"

using namespace karvona;
using namespace karvona::recognition;
using karvona::testing::CodeDrawing;
using karvona::testing::DrawCodePhoto;
using karvona::testing::DrawnPhoto;
namespace fs = std::filesystem;

namespace {

struct Data : test_support::DrawnGlyphData {
    Data() : DrawnGlyphData("karvona-plan-prefixes.txt") {}
};

// Whether rect covers every character of the drawing, scaled by factor.
void ExpectCovers(const cv::Rect& rect, const DrawnPhoto& photo, double factor) {
    for (const cv::Rect& c : photo.characters) {
        const cv::Rect scaled(int(c.x * factor), int(c.y * factor), int(c.width * factor),
                              int(c.height * factor));
        // A pixel or two at the edges may go to rounding and resampling.
        const cv::Rect inner(scaled.x + 2, scaled.y + 2, scaled.width - 4, scaled.height - 4);
        EXPECT_EQ(inner & rect, inner) << "region " << rect << " character " << scaled;
    }
}

}  // namespace

TEST(ReadingPlan, FirstLookThatIsSureGivesTheStrictReading) {
    Data data;
    CodeDrawing d;
    d.text = "ABCU1234560";
    d.noiseSigma = 4.0;
    const DrawnPhoto photo = DrawCodePhoto(d);

    Recognizer strict(data.View());
    strict.options.strict = true;
    ASSERT_TRUE(strict.RecognizeLoaded(photo.image));
    EXPECT_FALSE(strict.result.judged());
    EXPECT_EQ(strict.result.pass, "");

    Recognizer planned(data.View());
    ASSERT_TRUE(planned.RecognizeLoaded(photo.image));
    const RecognitionResult& r = planned.result;
    EXPECT_EQ(r.code, strict.result.code);
    EXPECT_EQ(r.region, strict.result.region);
    EXPECT_EQ(r.layoutCode, strict.result.layoutCode);
    EXPECT_EQ(r.reader, strict.result.reader);
    EXPECT_EQ(r.score, strict.result.score);
    EXPECT_EQ(r.pass, "first");
    EXPECT_FLOAT_EQ(r.confidence, 1.0f);
    EXPECT_EQ(OutcomeOf(r), Outcome::kPerfect);
    EXPECT_TRUE(IsSureReading(r));
    // One look only, and the window shows the same pictures.
    ASSERT_NE(planned.plan(), nullptr);
    EXPECT_EQ(planned.plan()->records().size(), 1u);
    EXPECT_EQ(cv::norm(planned.displayImage, strict.displayImage, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(planned.panelImage, strict.panelImage, cv::NORM_INF), 0.0);
    EXPECT_EQ(planned.resultColour, strict.resultColour);
    EXPECT_EQ(planned.layoutText, strict.layoutText);
}

TEST(ReadingPlan, LargePhotographIsReadAtItsWorkingScale) {
    Data data;
    CodeDrawing d;
    d.text = "ABCU1234560";
    d.frame = {1024, 768};
    const DrawnPhoto drawn = DrawCodePhoto(d);
    cv::Mat large;  // 3584 x 2688: characters 105 pixels tall, beyond the locator's limits
    cv::resize(drawn.image, large, {}, 3.5, 3.5, cv::INTER_NEAREST);

    Recognizer strict(data.View());
    strict.options.strict = true;
    EXPECT_FALSE(strict.RecognizeLoaded(large));

    Recognizer planned(data.View());
    ASSERT_TRUE(planned.RecognizeLoaded(large));
    EXPECT_EQ(planned.result.code, "ABCU1234560");
    EXPECT_EQ(planned.result.pass, "first");
    EXPECT_EQ(OutcomeOf(planned.result), Outcome::kPerfect);
    // The region and the display refer to the photograph as given.
    ExpectCovers(planned.result.region, drawn, 3.5);
    EXPECT_EQ(planned.displayImage.size(), large.size());
    const cv::Rect corner(large.cols - planned.pastedRegion.cols,
                          large.rows - planned.pastedRegion.rows, planned.pastedRegion.cols,
                          planned.pastedRegion.rows);
    EXPECT_EQ(cv::norm(planned.displayImage(corner), planned.pastedRegion, cv::NORM_INF), 0.0);
}

TEST(ReadingPlan, SlopingLineIsReadByASecondLook) {
    Data data;
    CodeDrawing d;
    d.text = "ABCU1234560";
    d.leanDegrees = 10.0;
    const DrawnPhoto photo = DrawCodePhoto(d);

    Recognizer strict(data.View());
    strict.options.strict = true;
    strict.RecognizeLoaded(photo.image);
    EXPECT_NE(OutcomeOf(strict.result), Outcome::kPerfect) << strict.result.code;

    Recognizer planned(data.View());
    ASSERT_TRUE(planned.RecognizeLoaded(photo.image));
    EXPECT_EQ(planned.result.code, "ABCU1234560");
    EXPECT_NE(planned.result.pass, "first");
    EXPECT_NE(planned.result.pass.find_first_of("rs"), std::string::npos);  // rotate or shear
    ExpectCovers(planned.result.region, photo, 1.0);
    // At most every look, then the looks at the working scale on each line crop.
    size_t atWorkingScale = 1;
    for (const Look& look : SecondLooks())
        atWorkingScale += look.scale == 1.0 ? 1 : 0;
    EXPECT_LE(planned.plan()->records().size(),
              1 + SecondLooks().size() + kMaxLineCrops * atWorkingScale);
    // The time covers every look.
    int looks = 0;
    for (const LookRecord& record : planned.plan()->records())
        looks += record.ms;
    EXPECT_GE(planned.result.ms + 1, looks);
}

TEST(ReadingPlan, CropLooksReadInParallelTakeTheLooksOfTheSerialPlan) {
    // An owner that is not listed never validates: after every look at the whole photograph the
    // crops around its region are read, here in rounds of three.
    Data data;
    CodeDrawing d;
    d.text = "MSKU1234565";
    d.noiseSigma = 4.0;
    const DrawnPhoto photo = DrawCodePhoto(d);
    Recognizer serial(data.View());
    Recognizer parallel(data.View());
    parallel.options.lookThreads = 3;
    serial.RecognizeLoaded(photo.image);
    parallel.RecognizeLoaded(photo.image);
    std::vector<std::string> inSeries, atOnce;
    for (const LookRecord& record : serial.plan()->records())
        inSeries.push_back(record.name + " " + record.morphology.code);
    for (const LookRecord& record : parallel.plan()->records())
        atOnce.push_back(record.name + " " + record.morphology.code);
    EXPECT_EQ(atOnce, inSeries);
    EXPECT_TRUE(std::any_of(inSeries.begin(), inSeries.end(),
                            [](const std::string& name) { return name.rfind("crop", 0) == 0; }));
    EXPECT_EQ(parallel.result.code, serial.result.code);
    EXPECT_EQ(parallel.result.pass, serial.result.pass);
    EXPECT_EQ(parallel.result.region, serial.result.region);
}

TEST(ReadingPlan, NothingToReadIsJudgedAndCostsTheScalesOnly) {
    Data data;
    Recognizer planned(data.View());
    planned.layoutText = "HORIZONTAL 2 LINES";
    EXPECT_FALSE(planned.RecognizeLoaded(cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(60))));
    EXPECT_TRUE(planned.result.judged());
    EXPECT_EQ(planned.result.pass, "none");
    EXPECT_FLOAT_EQ(planned.result.confidence, 0.0f);
    EXPECT_EQ(planned.result.reader, Winner::None);
    EXPECT_EQ(planned.layoutText, "HORIZONTAL 2 LINES");
    // No look at any scale found a region: turning, shearing, taking a frame or a bar away have
    // nothing to mend.
    std::vector<std::string> taken;
    for (const LookRecord& record : planned.plan()->records())
        taken.push_back(record.name);
    EXPECT_EQ(taken,
              (std::vector<std::string>{"first", "scale 0.75", "scale 1.5", "scale 2", "equalised",
                                        "equalised 1.5", "narrowed 1.5", "narrowed 1.75"}));

    // A file that does not load: no look at all.
    EXPECT_FALSE(planned.RecognizeImage("/no/such/photo.jpg"));
    EXPECT_EQ(planned.result.status, LoadStatus::Missing);
    EXPECT_EQ(planned.result.pass, "none");
    EXPECT_TRUE(planned.plan()->records().empty());
}

TEST(ReadingPlan, GivesUpWhereTheLooksReadTooFewCharacters) {
    Data data;
    // A code of which seven characters are left: a region every look reads seven boxes of.
    const DrawnPhoto drawn = DrawCodePhoto(CodeDrawing{});
    cv::Mat photo = drawn.image.clone();
    for (size_t c = 7; c < drawn.characters.size(); ++c)
        photo(drawn.characters[c] + cv::Size(2, 2) - cv::Point(1, 1)).setTo(cv::Scalar::all(70));
    Recognizer planned(data.View());
    EXPECT_FALSE(planned.RecognizeLoaded(photo));
    // Seven looks, then no more turns, shears or repairs of the photograph: the larger and the
    // narrowed scales still, and the looks at the crop around the region.
    const std::vector<LookRecord>& records = planned.plan()->records();
    const size_t taken = records.size();
    ASSERT_GT(taken, 7u);
    for (size_t k = 7; k < taken; ++k)
        EXPECT_TRUE(records[k].name.rfind("scale", 0) == 0 ||
                    records[k].name.rfind("narrowed", 0) == 0 ||
                    records[k].name.rfind("crop", 0) == 0)
            << records[k].name;
    // Measuring reads every look all the same.
    planned.options.everyLook = true;
    planned.RecognizeLoaded(photo);
    EXPECT_GT(planned.plan()->records().size(), taken);
}

TEST(ReadingPlan, ParallelLooksGiveTheSerialReading) {
    Data data;
    CodeDrawing sloping;
    sloping.text = "ABCU1234560";
    sloping.leanDegrees = 10.0;
    const DrawnPhoto drawn = DrawCodePhoto(CodeDrawing{});
    cv::Mat sevenLeft = drawn.image.clone();
    for (size_t c = 7; c < drawn.characters.size(); ++c)
        sevenLeft(drawn.characters[c] + cv::Size(2, 2) - cv::Point(1, 1))
            .setTo(cv::Scalar::all(70));
    Recognizer serial(data.View());
    Recognizer parallel(data.View());
    parallel.options.lookThreads = 3;
    for (const cv::Mat& photo : {DrawCodePhoto(sloping).image, sevenLeft}) {
        serial.RecognizeLoaded(photo);
        parallel.RecognizeLoaded(photo);
        const RecognitionResult& a = serial.result;
        const RecognitionResult& b = parallel.result;
        EXPECT_EQ(b.code, a.code);
        EXPECT_EQ(b.pass, a.pass);
        EXPECT_EQ(b.confidence, a.confidence);
        EXPECT_EQ(b.review, a.review);
        EXPECT_EQ(b.region, a.region);
        EXPECT_EQ(b.layoutCode, a.layoutCode);
        ASSERT_EQ(parallel.plan()->records().size(), serial.plan()->records().size());
        for (size_t k = 0; k < serial.plan()->records().size(); ++k) {
            const LookRecord& x = serial.plan()->records()[k];
            const LookRecord& y = parallel.plan()->records()[k];
            EXPECT_EQ(y.name, x.name);
            EXPECT_EQ(y.morphology.code, x.morphology.code);
            EXPECT_EQ(y.cluster.code, x.cluster.code);
        }
        EXPECT_EQ(parallel.plan()->candidates().size(), serial.plan()->candidates().size());
        EXPECT_EQ(cv::norm(parallel.displayImage, serial.displayImage, cv::NORM_INF), 0.0);
    }
}
