// The whole recognition of drawn photographs, with codebooks of rendered glyphs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "classifier/owner_prefix_list.hpp"
#include "drawn_glyph_data.hpp"
#include "drawn_photos.hpp"
#include "handmade_codebook.hpp"
#include "recognition/recognizer.hpp"

using namespace karvona;
using namespace karvona::recognition;
using karvona::testing::CodeDrawing;
using karvona::testing::DrawCodePhoto;
using karvona::testing::DrawnPhoto;
namespace fs = std::filesystem;

namespace {

struct Data : test_support::DrawnGlyphData {
    Data() : DrawnGlyphData("karvona-pipeline-prefixes.txt") {}
};

}  // namespace

TEST(Pipeline, DrawnLayoutsAreLocatedAndReadCompletely) {
    Data data;
    for (int layout = 0; layout <= 6; ++layout) {
        CodeDrawing d;
        d.layout = layout;
        d.text = "ABCU1234560";
        const DrawnPhoto photo = DrawCodePhoto(d);
        Recognizer recognizer(data.View());
        const bool complete = recognizer.RecognizeLoaded(photo.image);
        ASSERT_GE(recognizer.result.layoutCode, 0) << "layout " << layout;
        EXPECT_TRUE(complete) << "layout " << layout;
        EXPECT_EQ(recognizer.resultText, "ABCU1234560") << "layout " << layout;
        EXPECT_EQ(recognizer.result.reader, Winner::Morphology);
        EXPECT_EQ(recognizer.resultColour, (TextColour{200, 50, 50}));
        // The result value says the same, and its region holds every painted character.
        const RecognitionResult& result = recognizer.result;
        EXPECT_EQ(result.code, recognizer.resultText);
        EXPECT_EQ(result.layoutCode, recognizer.result.layoutCode);
        EXPECT_EQ(OutcomeOf(result), Outcome::kPerfect);
        EXPECT_EQ(result.score, recognizer.morphologyReading.score);
        for (const cv::Rect& character : photo.characters) {
            EXPECT_EQ(character & result.region, character)
                << "layout " << layout << " region " << result.region;
        }
        EXPECT_LE(result.times.locate + result.times.read, result.ms + 1);
        // The region sits in the bottom-right corner of the display image (when it fits).
        if (recognizer.region.cols > photo.image.cols || recognizer.region.rows > photo.image.rows)
            continue;
        const cv::Rect corner(photo.image.cols - recognizer.region.cols,
                              photo.image.rows - recognizer.region.rows, recognizer.region.cols,
                              recognizer.region.rows);
        const cv::Mat changed = recognizer.displayImage(corner) != photo.image(corner);
        EXPECT_GT(cv::countNonZero(changed.reshape(1)), 0);
    }
}

TEST(Pipeline, UnreadablePhotographsHaveNoRegion) {
    Data data;
    Recognizer recognizer(data.View());
    recognizer.layoutText = "HORIZONTAL 2 LINES";
    EXPECT_FALSE(recognizer.RecognizeImage("/no/such/photo.jpg"));
    EXPECT_EQ(recognizer.result.status, LoadStatus::Missing);
    EXPECT_EQ(recognizer.resultText, "");
    EXPECT_EQ(recognizer.result.layoutCode, -1);
    EXPECT_EQ(recognizer.layoutText, "HORIZONTAL 2 LINES");  // unchanged without a region
    EXPECT_EQ(recognizer.resultColour, (TextColour{150, 150, 200}));

    // A flat photograph loads but holds no code.
    EXPECT_FALSE(recognizer.RecognizeLoaded(cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(0))));
    EXPECT_EQ(recognizer.result.status, LoadStatus::Ok);
    EXPECT_EQ(recognizer.result.reader, Winner::None);
}

TEST(Pipeline, ResultOutcomeFollowsCompletenessAndLength) {
    const auto outcome = [](bool complete, const char* code) {
        return OutcomeOf(RecognitionResult{complete, code});
    };
    EXPECT_EQ(outcome(true, "ABCU1234560"), Outcome::kPerfect);
    EXPECT_EQ(outcome(false, "ABCU1234567"), Outcome::kMistake);
    EXPECT_EQ(outcome(true, "ABCU123456"), Outcome::kTryMore);  // validated yet 10 characters
    EXPECT_EQ(outcome(false, "ABCU123"), Outcome::kTryMore);
    EXPECT_EQ(outcome(false, "ABCU12"), Outcome::kUn);
    EXPECT_EQ(outcome(false, ""), Outcome::kUn);
}

TEST(Pipeline, LoadStatusSaysWhyAPhotographWasNotRead) {
    Data data;
    Recognizer recognizer(data.View());
    const fs::path folder = fs::temp_directory_path() / "karvona-load-status";
    fs::create_directories(folder / "folder.jpg");
    std::ofstream(folder / "text.jpg") << "not a photograph at all";
    std::ofstream(folder / "cut.jpg", std::ios::binary) << "\xFF\xD8\xFF\xE0";

    recognizer.RecognizeImage(folder / "none.jpg");
    EXPECT_EQ(recognizer.result.status, LoadStatus::Missing);
    recognizer.RecognizeImage(folder / "folder.jpg");
    EXPECT_EQ(recognizer.result.status, LoadStatus::NotRegularFile);
    recognizer.RecognizeImage(folder / "text.jpg");
    EXPECT_EQ(recognizer.result.status, LoadStatus::UnsupportedFormat);
    recognizer.RecognizeImage(folder / "cut.jpg");
    EXPECT_EQ(recognizer.result.status, LoadStatus::CannotDecode);
    EXPECT_STREQ(LoadStatusName(recognizer.result.status), "cannot-decode");
    fs::remove_all(folder);
}
