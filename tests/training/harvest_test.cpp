// Harvest on drawn photographs: which readings count as lined up, where the crops go, and that
// nothing already in the sample folder is overwritten.
#include "training/harvest.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "drawn_photos.hpp"
#include "handmade_codebook.hpp"
#include "training/box_harvest.hpp"
#include "training/sample_folder.hpp"

using namespace karvona::training;
using karvona::recognition::BoxReading;
using karvona::recognition::Reading;
namespace fs = std::filesystem;

namespace {

// A harvest without codebooks: every photograph's reading must line up with its label.
HarvestOptions Unchecked(const fs::path& photos, const fs::path& samples) {
    HarvestOptions options;
    options.photos = photos;
    options.samples = samples;
    options.minAgreement = 0;
    return options;
}

fs::path FreshFolder(const std::string& name) {
    const fs::path path = fs::temp_directory_path() / ("karvona_harvest_" + name);
    fs::remove_all(path);
    fs::create_directories(path);
    return path;
}

Reading ElevenBoxes() {
    Reading reading;
    reading.code = "-----------";
    for (int i = 0; i < 11; ++i) {
        BoxReading box;
        box.letterPosition = i < 4;
        box.crop = cv::Mat(10, 6, CV_8UC1, cv::Scalar(255));
        reading.characters.push_back(box);
    }
    return reading;
}

int CountFiles(const fs::path& folder) {
    int n = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        n += entry.is_regular_file() && entry.path().extension() == ".bmp";
    return n;
}

}  // namespace

TEST(Harvest, OnlyElevenBoxesWithFourLettersLineUp) {
    EXPECT_TRUE(LinesUp(ElevenBoxes()));
    Reading shortList = ElevenBoxes();
    shortList.characters.pop_back();  // ten boxes and a gap mark
    EXPECT_FALSE(LinesUp(shortList));
    Reading threeLetters = ElevenBoxes();
    threeLetters.characters[3].letterPosition = false;
    EXPECT_FALSE(LinesUp(threeLetters));
    EXPECT_FALSE(LinesUp(Reading{}));
}

TEST(Harvest, LabelsSkipBadLines) {
    const fs::path folder = FreshFolder("labels");
    std::ofstream(folder / "labels.csv") << "file,code,layout\r\n"
                                            "a.jpg,CSQU3054383,0\r\n"
                                            "b.jpg,CSQU305438,0\n"
                                            ",CSQU3054383,0\n"
                                            "c.bmp, MSKU1234565 ,3\n"
                                            "d.jpg,MSKU1234566,1\n";
    std::vector<LabelledPhoto> rows;
    std::vector<std::string> problems;
    ASSERT_TRUE(ReadLabels(folder / "labels.csv", rows, problems));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].file, "c.bmp");
    EXPECT_EQ(rows[1].code, "MSKU1234565");
    // A wrong check digit names another container: reported, not harvested.
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_NE(problems[2].find("d.jpg"), std::string::npos);
    EXPECT_FALSE(ReadLabels(folder / "missing.csv", rows, problems));
    fs::remove_all(folder);
}

// Labels were split at every comma, so a quoted name or note holding one broke its line.
TEST(Harvest, LabelsAreReadAsCsvWithQuotesAndCrlf) {
    const fs::path folder = FreshFolder("quoted");
    std::ofstream(folder / "labels.csv", std::ios::binary)
        << "file,code,layout,notes\r\n"
           "\"door, rear.jpg\",CSQU3054383,0,\"a \"\"clear\"\" one, at noon\"\r\n"
           "\r\n"
           "plain.bmp,MSKU1234565,3,\"two\r\nlines\"\r\n"
           "\" spaced name.jpg \",\"CSQU3054383\",\"1\"\r\n"
           "last.jpg,CSQU3054383,2";  // no line end at all
    std::vector<LabelledPhoto> rows;
    std::vector<std::string> problems;
    ASSERT_TRUE(ReadLabels(folder / "labels.csv", rows, problems));
    EXPECT_TRUE(problems.empty()) << problems.front();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].file, "door, rear.jpg");
    EXPECT_EQ(rows[0].code, "CSQU3054383");
    EXPECT_EQ(rows[0].layout, "0");
    EXPECT_EQ(rows[1].file, "plain.bmp");
    EXPECT_EQ(rows[1].layout, "3");
    EXPECT_EQ(rows[2].file, " spaced name.jpg ");  // quoted blanks belong to the name
    EXPECT_EQ(rows[2].layout, "1");
    EXPECT_EQ(rows[3].file, "last.jpg");
    fs::remove_all(folder);
}

TEST(Harvest, SavesEveryCharacterOfDrawnPhotosUnderItsLabel) {
    const fs::path photos = FreshFolder("photos");
    const fs::path samples = FreshFolder("samples");
    std::ofstream labels(photos / "labels.csv");
    labels << "file,code,layout\n";
    const std::vector<std::pair<int, std::string>> drawn = {{0, "CSQU3054383"}, {3, "MSKU1234565"}};
    for (size_t n = 0; n < drawn.size(); ++n) {
        karvona::testing::CodeDrawing d;
        d.layout = drawn[n].first;
        d.text = drawn[n].second;
        const std::string file = "photo" + std::to_string(n) + (n == 0 ? ".jpg" : ".bmp");
        ASSERT_TRUE(
            cv::imwrite((photos / file).string(), karvona::testing::DrawCodePhoto(d).image));
        labels << file << ',' << d.text << ',' << d.layout << '\n';
    }
    labels << "missing.jpg,TGHU1234567,0\n";
    labels.close();

    std::ostringstream out, err;
    // A photograph that cannot be read is named, the others are harvested, and the exit code
    // tells that not all were read.
    ASSERT_EQ(RunHarvest(Unchecked(photos, samples), out, err), 1) << err.str();
    EXPECT_NE(err.str().find("missing.jpg (missing)"), std::string::npos);
    EXPECT_NE(out.str().find("lined up 2"), std::string::npos) << out.str();

    // The morphology reader's crops carry the export's names; the photograph's row numbers them.
    EXPECT_TRUE(fs::exists(samples / "C" / "C_00000_00_.bmp"));
    EXPECT_TRUE(fs::exists(samples / "3" / "3_00000_10_.bmp"));
    EXPECT_TRUE(fs::exists(samples / "U" / "U_00001_03_.bmp"));
    EXPECT_TRUE(fs::exists(samples / "5" / "5_00001_10_.bmp"));
    const cv::Mat crop =
        cv::imread((samples / "M" / "M_00001_00_.bmp").string(), cv::IMREAD_UNCHANGED);
    ASSERT_FALSE(crop.empty());
    EXPECT_EQ(crop.type(), CV_8UC1);
    EXPECT_EQ(crop.at<uchar>(0, 0) == 0 || crop.at<uchar>(0, 0) == 255, true);
    EXPECT_EQ(cv::countNonZero(crop.row(0)) > 0, true);  // cut tight to the strokes
    const int first = CountFiles(samples);
    EXPECT_GE(first, 22);

    // A second harvest into the same folder adds files beside the first ones.
    ASSERT_EQ(RunHarvest(Unchecked(photos, samples), out, err), 1);
    EXPECT_EQ(CountFiles(samples), 2 * first);
    EXPECT_TRUE(fs::exists(samples / "C" / "C_00000_00_-2.bmp"));

    SampleFolderContents contents;
    std::string error;
    ASSERT_TRUE(LoadSampleFolder(samples, contents, error));
    // The letter codebook has no Q: the two Q crops stay in their folder but are not trained on.
    EXPECT_EQ(static_cast<int>(contents.samples.size()), 2 * first - 2);
    ASSERT_EQ(contents.ignoredFolders.size(), 1u);
    EXPECT_EQ(fs::path(contents.ignoredFolders[0]).filename(), "Q");
    fs::remove_all(photos);
    fs::remove_all(samples);
}

TEST(Harvest, BadInputIsNamedAndSkippedAndAddsNoSample) {
    const fs::path photos = FreshFolder("bad_photos");
    const fs::path samples = FreshFolder("bad_samples");
    std::ostringstream out, err;
    // No labels.csv: the harvest says so and saves nothing.
    EXPECT_EQ(RunHarvest(Unchecked(photos, samples), out, err), 1);
    EXPECT_NE(err.str().find("labels.csv"), std::string::npos) << err.str();

    // A photograph that is no image and a label that is no valid code: both named, neither
    // stops the harvest or gives a sample; the exit code tells that not every photograph was
    // read.
    std::ofstream(photos / "broken.jpg") << "not a photograph";
    karvona::testing::CodeDrawing d;
    d.layout = 0;
    d.text = "MSKU1234565";
    ASSERT_TRUE(
        cv::imwrite((photos / "good.bmp").string(), karvona::testing::DrawCodePhoto(d).image));
    std::ofstream(photos / "labels.csv") << "file,code\nbroken.jpg,CSQU3054383\n"
                                            "good.bmp,MSKU1234566\n";
    err.str("");
    EXPECT_EQ(RunHarvest(Unchecked(photos, samples), out, err), 1);
    EXPECT_NE(err.str().find("broken.jpg"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("MSKU1234566"), std::string::npos) << err.str();
    EXPECT_EQ(CountFiles(samples), 0);
    fs::remove_all(photos);
    fs::remove_all(samples);
}

TEST(Harvest, EmptyFrameIsNoSample) {
    const cv::Size cell(20, 34);
    cv::Mat frame(cell, CV_8UC1, cv::Scalar(0));
    cv::rectangle(frame, cv::Rect(0, 0, cell.width, cell.height), cv::Scalar(255), 2);
    EXPECT_TRUE(IsEmptyFrame(frame));
    // Speckles inside a frame are still no digit.
    frame.at<uchar>(17, 10) = 255;
    EXPECT_TRUE(IsEmptyFrame(frame));

    // A framed digit is a sample: the readers cut the check digit with its frame.
    cv::Mat framed = frame.clone();
    karvona::testing::GlyphMask('7', {12, 24}).copyTo(framed(cv::Rect(4, 5, 12, 24)));
    EXPECT_FALSE(IsEmptyFrame(framed));

    // Digits with a hole are no frames, nor is solid paint or a crop too small to tell.
    for (char c : std::string("0123456789"))
        EXPECT_FALSE(IsEmptyFrame(karvona::testing::GlyphMask(c, cell))) << c;
    EXPECT_FALSE(IsEmptyFrame(cv::Mat(cell, CV_8UC1, cv::Scalar(255))));
    EXPECT_FALSE(IsEmptyFrame(cv::Mat(5, 5, CV_8UC1, cv::Scalar(255))));
    EXPECT_FALSE(IsEmptyFrame(cv::Mat()));
}

TEST(Harvest, WithCodebooksACropMustRankItsLabel) {
    karvona::testing::CodeDrawing d;
    d.layout = 0;
    d.text = "ABCU1234560";
    const cv::Mat photo = karvona::testing::DrawCodePhoto(d).image;
    const karvona::classifier::CLvqCluster letters =
        karvona::test_support::DrawnGlyphCodebook(false);
    const karvona::classifier::CLvqCluster digits = karvona::test_support::DrawnGlyphCodebook(true);
    const karvona::recognition::ReferenceData data{&letters, &digits, nullptr};

    // The drawn code itself: every position ranks its own character first.
    const PhotoHarvest right = HarvestPhoto(photo, d.text, data, 9, 1);
    ASSERT_TRUE(right.linedUp[0]);
    EXPECT_EQ(right.unlike, 0);

    // A label wrong at one serial position still lines up (nine of ten agree), but the crop of
    // that position is not saved under the wrong character.
    const PhotoHarvest wrong = HarvestPhoto(photo, "ABCU1834560", data, 9, 1);
    ASSERT_TRUE(wrong.linedUp[0]);
    EXPECT_GE(wrong.unlike, 1);
    for (const HarvestedCharacter& c : wrong.characters)
        EXPECT_FALSE(c.index == 5 && c.character == '8');
    EXPECT_EQ(wrong.characters.size() + wrong.unlike, right.characters.size());

    // Without a rank limit the wrong crop is kept, as without codebooks.
    const PhotoHarvest any = HarvestPhoto(photo, "ABCU1834560", data, 9, 0);
    EXPECT_EQ(any.characters.size(), right.characters.size());
}

namespace {

// The crops of a code as drawn glyphs, in order.
std::vector<cv::Mat> GlyphCrops(const std::string& text) {
    std::vector<cv::Mat> crops;
    for (char c : text)
        crops.push_back(karvona::testing::GlyphMask(c, {16, 30}));
    return crops;
}

}  // namespace

TEST(Harvest, AlignmentPairsCropsWithTheirPositionsPastMissingAndExtraBoxes) {
    const karvona::classifier::CLvqCluster letters =
        karvona::test_support::DrawnGlyphCodebook(false);
    const karvona::classifier::CLvqCluster digits = karvona::test_support::DrawnGlyphCodebook(true);
    const karvona::recognition::ReferenceData data{&letters, &digits, nullptr};
    const std::string code = "MSKU1234565";

    // A reader that lost the "S" and cut a speck after the "3": every other crop still finds
    // its own position, the speck none.
    std::vector<cv::Mat> crops = GlyphCrops("MKU123");
    crops.push_back(cv::Mat(4, 4, CV_8UC1, cv::Scalar(255)));
    for (const cv::Mat& c : GlyphCrops("4565"))
        crops.push_back(c);
    int firstRank = 0;
    const std::vector<int> position = AlignCrops(crops, code, data, 3, firstRank);
    const std::vector<int> expected = {0, 2, 3, 4, 5, 6, -1, 7, 8, 9, 10};
    EXPECT_EQ(position, expected);
    EXPECT_EQ(firstRank, 9);  // all ten but the category letter, less the lost S

    // Crops that read nothing like the label pair with nothing.
    const std::vector<int> none = AlignCrops(GlyphCrops("XYZ"), "AAAA0000000", data, 1, firstRank);
    EXPECT_EQ(none, std::vector<int>(3, -1));
    EXPECT_EQ(firstRank, 0);
    // Without codebooks there is nothing to align with.
    EXPECT_EQ(AlignCrops(crops, code, {}, 3, firstRank), std::vector<int>(crops.size(), -1));
}

TEST(BoxHarvest, CutsLabelledBoxesAsTheReadersDoAndNamesBadRecords) {
    const fs::path photos = FreshFolder("box_photos");
    const fs::path samples = FreshFolder("box_samples");
    const fs::path read = FreshFolder("box_read");
    karvona::testing::CodeDrawing d;
    d.layout = 0;
    d.text = "MSKU1234565";
    const karvona::testing::DrawnPhoto drawn = karvona::testing::DrawCodePhoto(d);
    ASSERT_TRUE(cv::imwrite((photos / "a.png").string(), drawn.image));
    std::ofstream(photos / "labels.csv") << "file,code\na.png," << d.text << '\n';
    std::ofstream boxes(photos / "boxes.csv");
    boxes << "file,index,char,x0,y0,x1,y1\n";
    for (int k = 0; k < 11; ++k) {
        const cv::Rect& r = drawn.characters[k];
        boxes << "a.png," << k << ',' << d.text[k] << ',' << r.x - 0.5 << ',' << r.y << ','
              << r.x + r.width << ',' << r.y + r.height + 0.5 << '\n';
    }
    boxes << "a.png,4,7,10,10,20,20\n"                      // not the label's character
          << "a.png,5,2,10,10,20," << drawn.image.rows + 3  // outside the photograph
          << "\nother.png,0,M,1,1,9,9\n"                    // no label
          << "a.png,x,M,1,1,9,9\n";                         // not a record
    boxes.close();

    HarvestOptions options = Unchecked(photos, samples);
    options.boxes = true;
    std::ostringstream out, err;
    ASSERT_EQ(RunBoxHarvest(options, out, err), 0) << err.str();
    EXPECT_NE(err.str().find("record 13 (a.png position 4): '7' does not spell the label"),
              std::string::npos)
        << err.str();
    EXPECT_NE(err.str().find("record 14 (a.png position 5): box outside"), std::string::npos);
    EXPECT_NE(err.str().find("other.png has no valid label"), std::string::npos);
    EXPECT_NE(err.str().find("record 16: not file,index,char"), std::string::npos);
    EXPECT_EQ(CountFiles(samples), 11) << out.str();

    // The crop of a box is the crop the morphology reader classifies for that character.
    ASSERT_EQ(RunHarvest(Unchecked(photos, read), out, err), 0) << err.str();
    for (const char* name : {"M/M_00000_00_", "U/U_00000_03_", "5/5_00000_10_"}) {
        const cv::Mat cut =
            cv::imread((samples / (std::string(name) + "b.bmp")).string(), cv::IMREAD_UNCHANGED);
        const cv::Mat readerCut =
            cv::imread((read / (std::string(name) + ".bmp")).string(), cv::IMREAD_UNCHANGED);
        ASSERT_FALSE(cut.empty()) << name;
        ASSERT_EQ(cut.size(), readerCut.size()) << name;
        EXPECT_EQ(cv::countNonZero(cut != readerCut), 0) << name;
    }
    fs::remove_all(photos);
    fs::remove_all(samples);
    fs::remove_all(read);
}
