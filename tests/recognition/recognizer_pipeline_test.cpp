// The whole recognition of drawn photographs, with codebooks of rendered glyphs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "classifier/owner_prefix_list.hpp"
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

struct Data {
    // Codebooks of the glyphs the drawn photographs are painted with.
    classifier::CLvqCluster letters = test_support::DrawnGlyphCodebook(false);
    classifier::CLvqCluster digits = test_support::DrawnGlyphCodebook(true);
    classifier::COwnerPrefixList prefixes;
    Data() {
        const fs::path file = fs::temp_directory_path() / "karvona-pipeline-prefixes.txt";
        std::ofstream(file) << "ABCU\nCSQU\n";
        prefixes.LoadPrefixFile(file.string());
    }
    ReferenceData View() const { return {&letters, &digits, &prefixes}; }
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
        ASSERT_GE(recognizer.layoutCode, 0) << "layout " << layout;
        EXPECT_TRUE(complete) << "layout " << layout;
        EXPECT_EQ(recognizer.resultText, "ABCU1234560") << "layout " << layout;
        EXPECT_EQ(recognizer.winner, Winner::Morphology);
        EXPECT_EQ(recognizer.resultColour, (TextColour{200, 50, 50}));
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
    EXPECT_EQ(recognizer.status, LoadStatus::Unreadable);
    EXPECT_EQ(recognizer.resultText, "");
    EXPECT_EQ(recognizer.layoutCode, -1);
    EXPECT_EQ(recognizer.layoutText, "HORIZONTAL 2 LINES");  // unchanged without a region
    EXPECT_EQ(recognizer.resultColour, (TextColour{150, 150, 200}));

    // A flat photograph loads but holds no code.
    EXPECT_FALSE(recognizer.RecognizeLoaded(cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(0))));
    EXPECT_EQ(recognizer.status, LoadStatus::Ok);
    EXPECT_EQ(recognizer.winner, Winner::None);
}
