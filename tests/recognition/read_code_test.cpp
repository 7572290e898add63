// ReadCode: the same reading as the recognizer it wraps, as one value; input it cannot take gives
// a typed error, never an exception; reference data that did not load is never handed out.
#include "karvona/read_code.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "drawn_glyph_data.hpp"
#include "drawn_photos.hpp"
#include "handmade_codebook.hpp"
#include "recognition/read_code.hpp"

using namespace karvona;
using karvona::testing::CodeDrawing;
using karvona::testing::DrawCodePhoto;
namespace fs = std::filesystem;

namespace {

struct Data : test_support::DrawnGlyphData {
    Data() : DrawnGlyphData("karvona-read-code-prefixes.txt") {}
};

cv::Mat Photo(const std::string& text, double lean = 0.0) {
    CodeDrawing d;
    d.text = text;
    d.noiseSigma = 4.0;
    d.leanDegrees = lean;
    return DrawCodePhoto(d).image;
}

}  // namespace

TEST(ReadCode, GivesTheRecognizersReadingAsOneValue) {
    Data data;
    const ReferenceData shared = recognition::ShareReferenceData(data.View());
    for (const bool strict : {true, false}) {
        for (const auto& [text, lean] :
             {std::pair<std::string, double>{"ABCU1234560", 0.0}, {"ABCU1234560", 6.0}}) {
            SCOPED_TRACE(text + (strict ? " strict" : " plan") + " lean " + std::to_string(lean));
            const cv::Mat photo = Photo(text, lean);
            recognition::Recognizer recognizer(data.View());
            recognizer.options.strict = strict;
            recognizer.RecognizeLoaded(photo);
            const recognition::RecognitionResult& expected = recognizer.result;

            ReadOptions options;
            options.strict = strict;
            ReadingPictures pictures;
            options.pictures = &pictures;
            const CodeReading reading = ReadCode(photo, shared, options);
            EXPECT_EQ(reading.code, expected.code);
            EXPECT_EQ(reading.validated, expected.complete);
            EXPECT_EQ(reading.look, expected.pass);
            EXPECT_EQ(reading.confidence, expected.confidence);
            EXPECT_EQ(static_cast<int>(reading.layout), expected.layoutCode);
            EXPECT_EQ(reading.bounds, expected.region);
            EXPECT_EQ(reading.characters.size(), recognizer.WinningReading().characters.size());
            EXPECT_EQ(reading.error == ReadError::kNone, expected.complete);
            EXPECT_EQ(cv::norm(pictures.annotated, recognizer.displayImage, cv::NORM_INF), 0.0);
            // The corners span the bounding box (a turned look gives a turned box inside it).
            const cv::Rect spanned = cv::boundingRect(
                std::vector<cv::Point2f>(reading.corners.begin(), reading.corners.end()));
            EXPECT_LE((spanned | reading.bounds).area(), spanned.area() + 4 * spanned.height)
                << spanned << " " << reading.bounds;
            // Printed as the front ends print the recognizer's reading.
            const recognition::RecognitionResult back = recognition::ResultOf(reading);
            EXPECT_EQ(back.code, expected.code);
            EXPECT_EQ(back.pass, expected.pass);
            EXPECT_EQ(back.review, expected.review);
            EXPECT_EQ(back.reader, expected.reader);
            EXPECT_EQ(recognition::OutcomeOf(back), recognition::OutcomeOf(expected));
        }
    }
}

TEST(ReadCode, SaysWhyNoCodeWasRead) {
    Data data;
    const ReferenceData shared = recognition::ShareReferenceData(data.View());
    ReadOptions strict;
    strict.strict = true;
    // A valid check digit under an owner the registry does not hold, and a known owner whose
    // check digit is wrong.
    const CodeReading unknown = ReadCode(Photo("XYZU1234562"), shared, strict);
    if (unknown.code.size() == 11 && unknown.code.find('-') == std::string::npos) {
        EXPECT_EQ(unknown.error, ReadError::kUnknownOwner) << unknown.code;
    }
    const CodeReading wrong = ReadCode(Photo("ABCU1234561"), shared, strict);
    ASSERT_EQ(wrong.code, "ABCU1234561");
    EXPECT_EQ(wrong.error, ReadError::kCheckDigit);
    EXPECT_EQ(wrong.outcome, Outcome::kMistake);
    EXPECT_STREQ(ToText(wrong.outcome), "mistake");

    const CodeReading blank =
        ReadCode(cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(90)), shared, strict);
    EXPECT_EQ(blank.error, ReadError::kNoRegion);
    EXPECT_EQ(blank.layout, Layout::kNone);
    EXPECT_STREQ(ToText(Layout::kVerticalTwoLines), "VERTICAL   2 LINES");
}

TEST(ReadCode, InputItCannotTakeIsATypedError) {
    Data data;
    const ReferenceData shared = recognition::ShareReferenceData(data.View());
    std::vector<unsigned char> pixel(3);
    // A header that declares more pixels than the limit; its pixels are never looked at.
    const cv::Mat huge(10000, 10000, CV_8UC3, pixel.data());
    const cv::Mat grey = cv::Mat(Photo("ABCU1234560").rows, 640, CV_8UC1, cv::Scalar(90));
    cv::Mat deep;
    Photo("ABCU1234560").convertTo(deep, CV_16UC3, 256);
    for (const bool strict : {true, false}) {
        ReadOptions options;
        options.strict = strict;
        for (const auto& [photo, error] :
             {std::pair<cv::Mat, ReadError>{cv::Mat(), ReadError::kBadInput},
              {grey, ReadError::kBadInput},
              {deep, ReadError::kBadInput},
              {cv::Mat(4, 4, CV_8UC4), ReadError::kBadInput},
              {huge, ReadError::kTooLarge}}) {
            CodeReading reading;
            EXPECT_NO_THROW(reading = ReadCode(photo, shared, options));
            EXPECT_EQ(reading.error, error) << ToText(reading.error);
            EXPECT_EQ(reading.outcome, Outcome::kUnread);
            EXPECT_TRUE(reading.code.empty());
        }
    }
}

TEST(ReadCode, AnObserverThatThrowsEndsInAnInternalErrorNotAnException) {
    struct Throwing : StepViewer {
        void Show(const std::string&, const cv::Mat&) override { throw std::runtime_error("x"); }
    } viewer;
    Data data;
    const ReferenceData shared = recognition::ShareReferenceData(data.View());
    ReadOptions options;
    options.steps = &viewer;
    CodeReading reading;
    EXPECT_NO_THROW(reading = ReadCode(Photo("ABCU1234560"), shared, options));
    EXPECT_EQ(reading.error, ReadError::kInternal);
    EXPECT_STREQ(ToText(reading.error), "internal");
    // The data is still good for the next reading.
    EXPECT_EQ(ReadCode(Photo("ABCU1234560"), shared).code, "ABCU1234560");
}

TEST(LoadReferenceData, GivesDataOnlyWhenEveryFileLoaded) {
    const fs::path folder = fs::temp_directory_path() / "karvona-read-code-data";
    fs::remove_all(folder);
    fs::create_directories(folder);
    ReferenceDataLoad load = LoadReferenceData(folder / "absent");
    EXPECT_FALSE(load);
    EXPECT_FALSE(load.data.has_value());
    EXPECT_GE(load.problems.size(), 3u);

    // The three files of a strict reading: enough for strictOnly, not for the plan.
    Data data;
    data.letters.SaveTrainingFile((folder / "prefixes.trn").string());
    data.digits.SaveTrainingFile((folder / "numbers.trn").string());
    std::ofstream(folder / "prefix.txt") << "ABCU\n";
    EXPECT_FALSE(LoadReferenceData(folder));
    ReferenceDataOptions strictOnly;
    strictOnly.strictOnly = true;
    load = LoadReferenceData(folder, strictOnly);
    ASSERT_TRUE(load) << (load.problems.empty() ? "" : load.problems.front());
    EXPECT_FALSE(load.data->forReadingPlan());
    EXPECT_EQ(load.data->folder(), folder);
    ReadOptions strict;
    strict.strict = true;
    EXPECT_EQ(ReadCode(Photo("ABCU1234560"), *load.data, strict).code, "ABCU1234560");
    fs::remove_all(folder);
}
