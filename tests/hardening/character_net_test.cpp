// The character network's files: missing, corrupt or not matching what the reader feeds it, each
// refused with its reason; the shipped model loads and reads a clean character.
#include "classifier/character_net.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <opencv2/imgproc.hpp>

#include "recognition/reading_pass.hpp"

#ifdef KARVONA_SHIPPED_DATA
namespace karvona::hardening {
namespace {

namespace fs = std::filesystem;
using classifier::CharacterNet;
using classifier::CharacterNetModel;
using classifier::LoadCharacterNet;

class CharacterNetFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("karvona_charnet_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    void Describe(const std::string& text) { std::ofstream(dir_ / "charnet.txt") << text; }
    std::string Refusal() {
        CharacterNetModel model;
        std::string error;
        EXPECT_FALSE(LoadCharacterNet(dir_, model, error));
        EXPECT_FALSE(model.loaded());
        return error;
    }
    fs::path dir_;
};

const std::string kGoodDescription =
    "# comment\ninput 32x32\nclasses 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ\n";

TEST_F(CharacterNetFiles, MissingCorruptOrMismatchedFilesAreRefusedWithTheirReason) {
    EXPECT_NE(Refusal().find("charnet.txt does not exist"), std::string::npos);
    Describe(kGoodDescription);
    EXPECT_NE(Refusal().find("charnet.onnx does not exist"), std::string::npos);
    std::ofstream(dir_ / "charnet.onnx") << "not a model at all";
    EXPECT_NE(Refusal().find("charnet.onnx is not a usable ONNX model"), std::string::npos);

    fs::copy_file(fs::path(KARVONA_SHIPPED_DATA) / "charnet.onnx", dir_ / "charnet.onnx",
                  fs::copy_options::overwrite_existing);
    Describe("input 28x28\nclasses 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ\n");
    EXPECT_NE(Refusal().find("reads 28x28, not the 32x32"), std::string::npos) << Refusal();
    Describe("input 32x32\nclasses 0123456789ABCDEFGHIJKLMNOPRSTUVWXYZ\n");
    EXPECT_NE(Refusal().find("names the classes 0123456789ABCDEFGHIJKLMNOPRSTUVWXYZ, not"),
              std::string::npos);
    Describe("input 32x32\n");
    EXPECT_NE(Refusal().find("names the classes (none)"), std::string::npos);
}

TEST(CharacterNet, ShippedModelReadsDrawnCharactersAsProbabilities) {
    CharacterNetModel model;
    std::string error;
    ASSERT_TRUE(LoadCharacterNet(KARVONA_SHIPPED_DATA, model, error)) << error;
    CharacterNet net(model);
    std::vector<cv::Mat> crops;
    const std::string drawn = "7A";
    for (char c : drawn) {
        cv::Mat canvas(60, 50, CV_8UC1, cv::Scalar(0));
        cv::putText(canvas, std::string(1, c), {5, 50}, cv::FONT_HERSHEY_SIMPLEX, 1.6,
                    cv::Scalar(255), 4);
        crops.push_back(recognition::TightCrop(canvas));
    }
    crops.emplace_back();  // an empty crop reads as nothing
    const auto read = net.Read(crops);
    ASSERT_EQ(read.size(), 3u);
    for (size_t i = 0; i < drawn.size(); ++i) {
        const auto best = std::max_element(read[i].begin(), read[i].end()) - read[i].begin();
        EXPECT_EQ(classifier::kNetClasses[best], drawn[i]);
        float sum = 0;
        for (float p : read[i])
            sum += p;
        EXPECT_NEAR(sum, 1.0f, 1e-4);
    }
    EXPECT_EQ(*std::max_element(read[2].begin(), read[2].end()), 0.0f);
}

}  // namespace
}  // namespace karvona::hardening
#endif
