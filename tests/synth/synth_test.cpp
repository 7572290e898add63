#include "synth/synth.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <set>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using namespace karvona::synth;

namespace {

SynthSpec SmallSpec() {
    SynthSpec spec;
    // Two prefixes holding a Q and a malformed one must never be drawn.
    spec.prefixes = {"QQQU", "AQBU", "abcu", "MSCU", "TGHU", "CSQU"};
    return spec;
}

std::string ReadAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class SynthFolder : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ =
            fs::temp_directory_path() /
            ("karvona_synth_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
};

}  // namespace

TEST(IsoCode, CheckDigitAndShape) {
    EXPECT_TRUE(IsValidIsoCode("CSQU3054383"));
    EXPECT_TRUE(IsValidIsoCode("ABCU1234560"));
    EXPECT_FALSE(IsValidIsoCode("ABCU1234567"));
    // Remainder 10 stands for a check digit of 0.
    EXPECT_EQ(IsoCheckRemainder("ABCU123401"), 10);
    EXPECT_TRUE(IsValidIsoCode("ABCU1234010"));
    EXPECT_FALSE(IsValidIsoCode("ABCX1234560"));  // category letter
    EXPECT_FALSE(IsValidIsoCode("ABCU123456"));   // too short
    EXPECT_FALSE(IsValidIsoCode("ABCU12345A0"));
    EXPECT_EQ(IsoCheckRemainder("AB-U123456"), -1);
}

TEST(IsoCode, PrefixListDropsQAndMalformedLines) {
    const fs::path file = fs::temp_directory_path() / "karvona_synth_prefixes.txt";
    {
        std::ofstream out(file, std::ios::binary);
        out << "AAAU\r\nQQQU\nAQBU\nABC\n\n  XYZU  \nabcu\nABCDE\n";
    }
    std::vector<std::string> prefixes;
    ASSERT_TRUE(LoadOwnerPrefixes(file, &prefixes));
    EXPECT_EQ(prefixes, (std::vector<std::string>{"AAAU", "XYZU"}));
    fs::remove(file);
    EXPECT_FALSE(LoadOwnerPrefixes(file, &prefixes));
}

TEST(IsoCode, SharedRegistryLoadsWithoutQ) {
    const fs::path registry = KARVONA_PREFIX_REGISTRY;
    if (!fs::exists(registry)) {
        GTEST_SKIP() << "no shared owner-prefix registry here";
    }
    std::vector<std::string> prefixes;
    ASSERT_TRUE(LoadOwnerPrefixes(registry, &prefixes));
    EXPECT_GT(prefixes.size(), 3000u);
    for (const std::string& p : prefixes) {
        EXPECT_EQ(p.find('Q'), std::string::npos) << p;
    }
}

TEST(SynthOptions, LayoutListsAndFrameSizes) {
    std::vector<int> layouts;
    EXPECT_TRUE(ParseLayoutList("0,1,5", &layouts));
    EXPECT_EQ(layouts, (std::vector<int>{0, 1, 5}));
    EXPECT_TRUE(ParseLayoutList("2-4,6", &layouts));
    EXPECT_EQ(layouts, (std::vector<int>{2, 3, 4, 6}));
    EXPECT_TRUE(ParseLayoutList("all", &layouts));
    EXPECT_EQ(layouts.size(), 7u);
    for (const char* bad : {"", "7", "0,,1", "4-2", "a", "1;2", "-1"}) {
        EXPECT_FALSE(ParseLayoutList(bad, &layouts)) << bad;
    }
    cv::Size size;
    EXPECT_TRUE(ParseFrameSize("800x600", &size));
    EXPECT_EQ(size, cv::Size(800, 600));
    EXPECT_TRUE(ParseFrameSize("1024X768", &size));
    for (const char* bad : {"639x480", "1025x768", "800x479", "800x", "x600", "8a0x600", "800"}) {
        EXPECT_FALSE(ParseFrameSize(bad, &size)) << bad;
    }
}

TEST(Render, SameSeedSamePhotograph) {
    const SynthSpec spec = SmallSpec();
    const SynthPhoto a = RenderContainerPhoto(spec, 42);
    const SynthPhoto b = RenderContainerPhoto(spec, 42);
    ASSERT_FALSE(a.image.empty());
    EXPECT_EQ(a.code, b.code);
    EXPECT_EQ(a.layout, b.layout);
    EXPECT_EQ(a.codeRegion, b.codeRegion);
    ASSERT_EQ(a.image.size(), b.image.size());
    EXPECT_EQ(cv::norm(a.image, b.image, cv::NORM_INF), 0.0);

    const SynthPhoto c = RenderContainerPhoto(spec, 43);
    EXPECT_TRUE(c.code != a.code || c.image.size() != a.image.size() ||
                cv::norm(a.image, c.image, cv::NORM_INF) > 0.0);
}

TEST(Render, CodesAreValidAndNeverHoldQ) {
    const SynthSpec spec = SmallSpec();
    const std::set<std::string> allowed = {"MSCU", "TGHU"};
    std::set<int> layouts;
    for (std::uint64_t seed = 0; seed < 24; ++seed) {
        const SynthPhoto p = RenderContainerPhoto(spec, seed);
        EXPECT_TRUE(IsValidIsoCode(p.code)) << p.code;
        EXPECT_EQ(p.code.find('Q'), std::string::npos) << p.code;
        EXPECT_EQ(allowed.count(p.code.substr(0, 4)), 1u) << p.code;
        EXPECT_NE(IsoCheckRemainder(p.code), 10) << p.code;
        layouts.insert(p.layout);
    }
    EXPECT_GE(layouts.size(), 4u);  // layouts are drawn, not fixed
}

TEST(Render, EveryLayoutRendersInsideTheFrame) {
    SynthSpec spec = SmallSpec();
    for (int layout = 0; layout < kLayoutCount; ++layout) {
        spec.layouts = {layout};
        for (std::uint64_t seed = 0; seed < 3; ++seed) {
            SCOPED_TRACE("layout " + std::to_string(layout) + " seed " + std::to_string(seed));
            const SynthPhoto p = RenderContainerPhoto(spec, seed * 977 + 5);
            ASSERT_EQ(p.image.type(), CV_8UC3);
            EXPECT_EQ(p.layout, layout);
            EXPECT_GE(p.characterHeight, 13);  // a distant code
            EXPECT_LE(p.characterHeight, 80);
            EXPECT_LE(std::abs(p.tiltDegrees), 3.0);
            EXPECT_LE(std::abs(p.slopeDegrees), 15.0);
            const cv::Rect frame(0, 0, p.image.cols, p.image.rows);
            ASSERT_EQ(p.characterBoxes.size(), 11u);
            for (const cv::Rect& box : p.characterBoxes) {
                // Whole characters, none cut by the frame edge.
                EXPECT_GT(box.x, 0);
                EXPECT_GT(box.y, 0);
                EXPECT_LT(box.x + box.width, frame.width);
                EXPECT_LT(box.y + box.height, frame.height);
                EXPECT_EQ(box & p.codeRegion, box);
            }
            // Reading order: along the line or down the column.
            const cv::Rect& first = p.characterBoxes[0];
            const cv::Rect& last = p.characterBoxes[10];
            if (layout == 2 || layout == 4) {
                EXPECT_LT(first.y, last.y);
            } else if (layout == 0 || layout == 1 || layout == 6) {
                EXPECT_LT(first.x, last.x);
            } else {
                EXPECT_LT(first.y, last.y);
            }
            // Something is painted there: the region is far from flat (outlined characters
            // carry less paint than solid ones).
            cv::Mat grey;
            cv::cvtColor(p.image(p.codeRegion), grey, cv::COLOR_BGR2GRAY);
            cv::Scalar mean, stddev;
            cv::meanStdDev(grey, mean, stddev);
            EXPECT_GT(stddev[0], 8.0);
        }
    }
}

TEST(Render, SomeCodesSlopeByPerspectiveAndStayWhole) {
    const SynthSpec spec = SmallSpec();
    int sloped = 0, steep = 0;
    for (std::uint64_t seed = 100; seed < 160; ++seed) {
        const SynthPhoto p = RenderContainerPhoto(spec, seed);
        ASSERT_LE(std::abs(p.slopeDegrees), 15.0);
        sloped += std::abs(p.slopeDegrees) >= 1.0 ? 1 : 0;
        steep += std::abs(p.slopeDegrees) >= 6.0 ? 1 : 0;
        const cv::Rect frame(0, 0, p.image.cols, p.image.rows);
        for (const cv::Rect& box : p.characterBoxes)
            EXPECT_EQ(box & frame, box) << "seed " << seed;
        if (std::abs(p.slopeDegrees) >= 6.0 && (p.layout == 0 || p.layout == 1)) {
            // Along a sloped line the characters climb or fall.
            EXPECT_NE(p.characterBoxes[0].y, p.characterBoxes[10].y) << "seed " << seed;
        }
    }
    // About three in ten are sloped, some of them steeply.
    EXPECT_GE(sloped, 8);
    EXPECT_LE(sloped, 30);
    EXPECT_GE(steep, 2);
}

TEST(Render, FrameSizesStayInRange) {
    SynthSpec spec = SmallSpec();
    std::set<int> widths;
    for (std::uint64_t seed = 100; seed < 130; ++seed) {
        const SynthPhoto p = RenderContainerPhoto(spec, seed);
        EXPECT_GE(p.image.cols, kMinFrameWidth);
        EXPECT_LE(p.image.cols, kMaxFrameWidth);
        EXPECT_GE(p.image.rows, kMinFrameHeight);
        EXPECT_LE(p.image.rows, kMaxFrameHeight);
        widths.insert(p.image.cols);
    }
    EXPECT_GE(widths.size(), 3u);
    spec.frameSize = cv::Size(704, 528);
    EXPECT_EQ(RenderContainerPhoto(spec, 7).image.size(), cv::Size(704, 528));
}

TEST(Render, AskedCharacterHeightIsPaintedOnHorizontalCodesOnly) {
    SynthSpec spec = SmallSpec();
    spec.characterHeight = 12;
    for (std::uint64_t seed = 300; seed < 306; ++seed) {
        spec.layouts = {static_cast<int>(seed % 2) * 5};
        const SynthPhoto p = RenderContainerPhoto(spec, seed);
        EXPECT_EQ(p.characterHeight, 12) << seed;
        for (const cv::Rect& box : p.characterBoxes)
            EXPECT_LE(box.height, 16) << seed;
    }
    spec.layouts = {2};
    EXPECT_GT(RenderContainerPhoto(spec, 300).characterHeight, 12);
}

TEST(Render, UnusableSpecGivesNoImage) {
    SynthSpec spec;
    spec.prefixes = {"QQQU", "ABC"};
    EXPECT_FALSE(CheckSynthSpec(spec).empty());
    EXPECT_TRUE(RenderContainerPhoto(spec, 1).image.empty());
    spec = SmallSpec();
    spec.layouts = {7};
    EXPECT_FALSE(CheckSynthSpec(spec).empty());
    spec = SmallSpec();
    spec.characterHeight = kMaxCharacterHeight + 1;
    EXPECT_FALSE(CheckSynthSpec(spec).empty());
    spec = SmallSpec();
    spec.fonts = {"/nonexistent/font.ttf"};
    EXPECT_FALSE(CheckSynthSpec(spec).empty());
    EXPECT_TRUE(CheckSynthSpec(SmallSpec()).empty());
}

TEST_F(SynthFolder, CountZeroWritesHeaderOnly) {
    std::string error;
    ASSERT_TRUE(WriteSynthFolder(SmallSpec(), 1, 0, dir_, &error)) << error;
    EXPECT_EQ(ReadAll(dir_ / "labels.csv"), "file,code,layout\n");
    EXPECT_EQ(ReadAll(dir_ / "boxes.csv"), "file,index,char,x0,y0,x1,y1\n");
    EXPECT_EQ(ReadAll(dir_ / "cases.csv"), "file,rod_across,outline,distant,size_type_beside\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 3);
}

TEST_F(SynthFolder, PhotographsMatchTheirLabels) {
    std::string error;
    ASSERT_TRUE(WriteSynthFolder(SmallSpec(), 9, 4, dir_, &error)) << error;
    std::ifstream labels(dir_ / "labels.csv");
    std::string line;
    std::getline(labels, line);
    EXPECT_EQ(line, "file,code,layout");
    int rows = 0;
    while (std::getline(labels, line)) {
        std::stringstream fields(line);
        std::string file, code, layout;
        std::getline(fields, file, ',');
        std::getline(fields, code, ',');
        std::getline(fields, layout, ',');
        EXPECT_TRUE(IsValidIsoCode(code)) << line;
        EXPECT_GE(std::stoi(layout), 0);
        EXPECT_LT(std::stoi(layout), kLayoutCount);
        const cv::Mat image = cv::imread((dir_ / file).string(), cv::IMREAD_COLOR);
        EXPECT_FALSE(image.empty()) << file;
        ++rows;
    }
    EXPECT_EQ(rows, 4);
    // Photograph i does not depend on the count.
    const fs::path again = dir_ / "again";
    ASSERT_TRUE(WriteSynthFolder(SmallSpec(), 9, 2, again, &error)) << error;
    const std::string all = ReadAll(dir_ / "labels.csv");
    const std::string two = ReadAll(again / "labels.csv");
    EXPECT_EQ(all.substr(0, two.size()), two);
}

TEST_F(SynthFolder, WithoutCodeTheSceneStaysAndTheLabelIsEmpty) {
    SynthSpec spec = SmallSpec();
    const SynthPhoto coded = RenderContainerPhoto(spec, 42);
    spec.withoutCode = true;
    const SynthPhoto blank = RenderContainerPhoto(spec, 42);
    EXPECT_TRUE(blank.code.empty());
    EXPECT_EQ(blank.layout, -1);
    EXPECT_TRUE(blank.characterBoxes.empty());
    ASSERT_EQ(blank.image.size(), coded.image.size());
    // Where the coded photograph has its characters, the other has plain panel.
    cv::Mat a, b;
    cv::cvtColor(coded.image(coded.codeRegion), a, cv::COLOR_BGR2GRAY);
    cv::cvtColor(blank.image(coded.codeRegion), b, cv::COLOR_BGR2GRAY);
    cv::Scalar meanA, sdA, meanB, sdB;
    cv::meanStdDev(a, meanA, sdA);
    cv::meanStdDev(b, meanB, sdB);
    EXPECT_LT(sdB[0], sdA[0]);

    std::string error;
    spec.bmpShare = 0.0;
    ASSERT_TRUE(WriteSynthFolder(spec, 5, 1, dir_, &error)) << error;
    EXPECT_EQ(ReadAll(dir_ / "labels.csv"), "file,code,layout\nsynth_000000.jpg,,\n");
    EXPECT_EQ(ReadAll(dir_ / "cases.csv"),
              "file,rod_across,outline,distant,size_type_beside\nsynth_000000.jpg,0,0,0,0\n");
}

TEST_F(SynthFolder, BadRequestsWriteNothing) {
    std::string error;
    EXPECT_FALSE(WriteSynthFolder(SmallSpec(), 1, -1, dir_, &error));
    EXPECT_FALSE(error.empty());
    SynthSpec none;
    EXPECT_FALSE(WriteSynthFolder(none, 1, 3, dir_, &error));
    EXPECT_FALSE(fs::exists(dir_ / "labels.csv"));
    // A folder that cannot be made: a plain file stands in its way.
    fs::create_directories(dir_);
    std::ofstream(dir_ / "blocker") << "x";
    EXPECT_FALSE(WriteSynthFolder(SmallSpec(), 1, 1, dir_ / "blocker" / "out", &error));
}
