// The reading pass on box lists made by hand from rendered glyphs and a codebook of the same
// glyphs, so that every character classifies exactly and the rules of the pass are what is tested.
#include "recognition/reading_pass.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <opencv2/imgproc.hpp>

#include "classifier/owner_prefix_list.hpp"
#include "handmade_codebook.hpp"

using namespace karvona;
using namespace karvona::recognition;
namespace fs = std::filesystem;

namespace {

struct Fixture {
    classifier::CLvqCluster letters = test_support::GlyphCodebook(false);
    classifier::CLvqCluster digits = test_support::GlyphCodebook(true);
    classifier::COwnerPrefixList prefixes;
    cv::Mat strip{150, 1100, CV_8UC3, cv::Scalar::all(0)};

    Fixture() {
        const fs::path file = fs::temp_directory_path() / "karvona-pass-prefixes.txt";
        std::ofstream(file) << "abcu\nABCU\n";
        prefixes.LoadPrefixFile(file.string());
    }
    ReferenceData Data() const { return {&letters, &digits, &prefixes}; }
};

// Draws the characters at the given x positions (a '|' is a one-pixel-wide stroke) and labels
// them in reading order.
imaging::CBlobList Boxes(const std::string& text, const std::vector<int>& xs, cv::Mat& region) {
    const int width = xs.back() + 60;
    cv::Mat binary(70, width, CV_8UC1, cv::Scalar(0));
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '|') {
            binary(cv::Rect(xs[i] + 10, 20, 1, 30)).setTo(255);
            continue;
        }
        const cv::Mat glyph = test_support::GlyphImage(text[i]);
        glyph.copyTo(binary(cv::Rect(xs[i], 15, glyph.cols, glyph.rows)));
    }
    imaging::CBlobList list;
    list.SetImage(binary, 0);
    list.Label();
    list.SortBlobs(0);
    cv::cvtColor(binary, region, cv::COLOR_GRAY2BGR);
    return list;
}

std::vector<int> Spaced(int count, int step = 40, int at = -1, int extra = 0) {
    std::vector<int> xs;
    int x = 10;
    for (int i = 0; i < count; ++i) {
        xs.push_back(x);
        x += step + (i == at ? extra : 0);
    }
    return xs;
}

Reading Read(const Fixture& f, imaging::CBlobList& boxes, cv::Mat& region, int layout = 0,
             const ReaderOptions& options = {}) {
    Reading out;
    cv::Mat strip = f.strip.clone();
    const int score = ReadCharacterBoxes(region, boxes, 0, layout, {200, cv::Scalar(0, 255, 255)},
                                         strip, f.Data(), options, out);
    EXPECT_EQ(score, out.score);
    return out;
}

}  // namespace

TEST(ReadingPass, ElevenBoxesValidateWithTheCategoryLetterAndCheckDigit) {
    Fixture f;
    cv::Mat region;
    auto boxes = Boxes("ABCX1234560", Spaced(11), region);
    ASSERT_EQ(boxes.Size(), 11);
    const Reading r = Read(f, boxes, region);
    EXPECT_EQ(r.code, "ABCU1234560");
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.score, 11);  // the glyphs are solid: no thin characters
    ASSERT_EQ(r.characters.size(), 11u);
    EXPECT_TRUE(r.characters[3].letterPosition);
    EXPECT_FALSE(r.characters[4].letterPosition);
    EXPECT_EQ(r.characters[3].ranks.ranks[0].character, 'X');  // the ranks show the classifier's

    auto wrong = Boxes("ABCX1234567", Spaced(11), region);
    const Reading w = Read(f, wrong, region);
    EXPECT_EQ(w.code, "ABCU1234567");
    EXPECT_FALSE(w.complete);
}

TEST(ReadingPass, WideSpacingAmongTheDigitsInsertsAMark) {
    Fixture f;
    cv::Mat region;
    auto boxes = Boxes("ABCU123456", Spaced(10, 40, 6, 40), region);
    ASSERT_EQ(boxes.Size(), 10);
    const Reading r = Read(f, boxes, region);
    EXPECT_EQ(r.code, "ABCU123-456");
    EXPECT_FALSE(r.complete);  // no check digit was read
    EXPECT_EQ(r.score, 11);    // ten boxes and one mark
}

TEST(ReadingPass, TenBoxesWithAKnownPrefixAreCompletedToEleven) {
    Fixture f;
    cv::Mat region;
    auto boxes = Boxes("ABCU123456", Spaced(10), region);
    const Reading r = Read(f, boxes, region);
    EXPECT_EQ(r.code, "ABCU123456-");
    EXPECT_FALSE(r.complete);
}

TEST(ReadingPass, LayoutSixForcesFourLetters) {
    Fixture f;
    cv::Mat region;
    // The largest early spacing follows the third box: the break would be 2.
    const std::vector<int> xs = {10, 50, 90, 160, 200, 240, 280, 320, 360, 400};
    auto boxes = Boxes("ABCU123456", xs, region);
    const Reading normal = Read(f, boxes, region, 0);
    EXPECT_FALSE(normal.characters[3].letterPosition);
    auto again = Boxes("ABCU123456", xs, region);
    const Reading spaced = Read(f, again, region, 6);
    EXPECT_TRUE(spaced.characters[3].letterPosition);
    EXPECT_EQ(spaced.code.substr(0, 4), "ABCU");
}

TEST(ReadingPass, DegenerateBoxReadsAsAMarkWithoutClassification) {
    Fixture f;
    cv::Mat region;
    auto boxes = Boxes("ABCU1|34560", Spaced(11), region);
    ASSERT_EQ(boxes.Size(), 11);
    const Reading r = Read(f, boxes, region);
    EXPECT_EQ(r.code, "ABCU1-34560");
    EXPECT_EQ(r.characters.size(), 10u);
    EXPECT_FALSE(r.complete);
}

TEST(ReadingPass, ShortListsReadLettersOrNothing) {
    Fixture f;
    cv::Mat region;
    auto one = Boxes("A", Spaced(1), region);
    const Reading r1 = Read(f, one, region);
    EXPECT_EQ(r1.code, "");
    EXPECT_EQ(r1.score, 0);

    auto four = Boxes("ABCU", Spaced(4), region);
    const Reading r4 = Read(f, four, region);
    EXPECT_EQ(r4.code, "BCU");  // the first of four boxes is dropped, the rest are letters
    EXPECT_FALSE(r4.complete);

    imaging::CBlobList empty;
    empty.SetImage(cv::Mat(40, 40, CV_8UC1, cv::Scalar(0)), 0);
    empty.Label();
    cv::Mat blank(40, 40, CV_8UC3, cv::Scalar::all(0));
    const Reading r0 = Read(f, empty, blank);
    EXPECT_EQ(r0.code, "");
    EXPECT_EQ(r0.score, 0);
}

TEST(ReadingPass, NoCodebookReadsEveryCharacterAsAMark) {
    Fixture f;
    cv::Mat region;
    auto boxes = Boxes("ABCX1234560", Spaced(11), region);
    Reading out;
    cv::Mat strip = f.strip.clone();
    ReadCharacterBoxes(region, boxes, 0, 0, {200, cv::Scalar(0, 255, 255)}, strip,
                       ReferenceData{nullptr, nullptr, &f.prefixes}, {}, out);
    EXPECT_EQ(out.code, "---U-------");
    EXPECT_FALSE(out.complete);
}

TEST(ReadingPass, SamplesAreSavedPerCharacterWithTheirIndex) {
    Fixture f;
    const fs::path folder = fs::temp_directory_path() / "karvona-pass-samples";
    fs::remove_all(folder);
    for (char c : std::string("ABCU0123456"))
        fs::create_directories(folder / std::string(1, c));
    ReaderOptions options;
    options.saveSamples = true;
    options.processedCount = 7;
    options.samplesFolder = folder;
    cv::Mat region;
    auto boxes = Boxes("ABCX12|4560", Spaced(11), region);
    Read(f, boxes, region, 0, options);
    EXPECT_TRUE(fs::exists(folder / "A" / "A_00007_00_.bmp"));
    EXPECT_TRUE(fs::exists(folder / "U" / "U_00007_03_.bmp"));
    EXPECT_TRUE(fs::exists(folder / "0" / "0_00007_09_.bmp"));  // the degenerate box saved none
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        files += entry.is_regular_file();
    EXPECT_EQ(files, 10);
    EXPECT_EQ(SampleFilePath("/c", 'A', 1, 0), fs::path("/c/A/A_00001_00_.bmp"));
    fs::remove_all(folder);
}
