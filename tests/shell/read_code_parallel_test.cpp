// ReadCode from several threads on one shared ReferenceData reads what one thread reads.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "drawn_photos.hpp"
#include "handmade_codebook.hpp"
#include "recognition/read_code.hpp"

namespace karvona {
namespace {

// The drawn glyphs' codebooks and two owner prefixes, shared as ReadCode takes them.
struct GlyphData {
    static classifier::COwnerPrefixList Prefixes(const char* fileName) {
        classifier::COwnerPrefixList prefixes;
        const auto file = std::filesystem::temp_directory_path() / fileName;
        std::ofstream(file) << "ABCU\nCSQU\n";
        prefixes.LoadPrefixFile(file.string());
        return prefixes;
    }
    explicit GlyphData(const char* fileName) : prefixes(Prefixes(fileName)) {}

    const classifier::CLvqCluster letters = test_support::DrawnGlyphCodebook(false);
    const classifier::CLvqCluster digits = test_support::DrawnGlyphCodebook(true);
    const classifier::COwnerPrefixList prefixes;
    const ReferenceData data = recognition::ShareReferenceData({&letters, &digits, &prefixes});
};

TEST(ReadCodeParallel, ThreadsOnSharedDataReadAsOneThreadDoes) {
    const GlyphData glyphs("karvona-parallel-prefixes.txt");
    const ReferenceData& data = glyphs.data;

    std::vector<cv::Mat> photos;
    for (const char* text : {"ABCU1234560", "ABCU7654323"}) {
        testing::CodeDrawing d;
        d.text = text;
        d.noiseSigma = 4.0;
        photos.push_back(testing::DrawCodePhoto(d).image);
    }
    std::vector<CodeReading> alone;
    for (const cv::Mat& photo : photos)
        alone.push_back(ReadCode(photo, data));

    constexpr int kThreads = 3;
    std::vector<std::vector<CodeReading>> read(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (size_t i = 0; i < photos.size(); ++i)
                read[t].push_back(ReadCode(photos[(i + t) % photos.size()], data));
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t) {
        for (size_t i = 0; i < photos.size(); ++i) {
            const CodeReading& expected = alone[(i + t) % photos.size()];
            EXPECT_EQ(read[t][i].code, expected.code);
            EXPECT_EQ(read[t][i].outcome, expected.outcome);
            EXPECT_EQ(read[t][i].look, expected.look);
            EXPECT_EQ(read[t][i].bounds, expected.bounds);
            EXPECT_EQ(read[t][i].confidence, expected.confidence);
        }
    }
}

// The second looks of one photograph read on several threads give what one thread gives.
TEST(ReadCodeParallel, LooksOnIdleCoresReadAsTheSerialPlan) {
    const GlyphData glyphs("karvona-look-threads-prefixes.txt");
    const ReferenceData& data = glyphs.data;
    // Small photographs without a code: every second look at a scale is read, in rounds of
    // three, and each costs little (the thread sanitizer's build runs this too).
    ReadOptions threaded;
    threaded.lookThreads = 3;
    cv::Mat noise(72, 96, CV_8UC3, cv::Scalar::all(90));
    cv::randn(noise, cv::Scalar::all(90), cv::Scalar::all(25));
    for (const cv::Mat& photo : {cv::Mat(72, 96, CV_8UC3, cv::Scalar::all(120)), noise}) {
        const CodeReading serial = ReadCode(photo, data);
        const CodeReading parallel = ReadCode(photo, data, threaded);
        EXPECT_EQ(parallel.code, serial.code);
        EXPECT_EQ(parallel.outcome, serial.outcome);
        EXPECT_EQ(parallel.look, serial.look);
        EXPECT_EQ(parallel.bounds, serial.bounds);
        EXPECT_EQ(parallel.confidence, serial.confidence);
    }
}

}  // namespace
}  // namespace karvona
