// The line network's files: missing, corrupt or not matching what the reader feeds it, each
// refused with its reason; the greedy decoding merges repeats and drops blanks; the shipped model
// loads and reads a drawn line into a character for each one drawn.
#include "classifier/line_net.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <opencv2/imgproc.hpp>

#ifdef KARVONA_SHIPPED_DATA
namespace karvona::hardening {
namespace {

namespace fs = std::filesystem;
using classifier::LineNetModel;

class LineNetFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("karvona_linenet_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    void Describe(const std::string& text) { std::ofstream(dir_ / "linenet.txt") << text; }
    void Model(const char* shipped) {
        fs::copy_file(fs::path(KARVONA_SHIPPED_DATA) / shipped, dir_ / "linenet.onnx",
                      fs::copy_options::overwrite_existing);
    }
    std::string Refusal() {
        LineNetModel model;
        std::string error;
        EXPECT_FALSE(classifier::LoadLineNet(dir_, model, error));
        EXPECT_FALSE(model.loaded());
        return error;
    }
    fs::path dir_;
};

const std::string kClasses = "classes 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ\n";

TEST_F(LineNetFiles, MissingCorruptOrMismatchedFilesAreRefusedWithTheirReason) {
    EXPECT_NE(Refusal().find("linenet.txt does not exist"), std::string::npos);
    Describe("input 32x256\n" + kClasses + "blank 0\n");
    EXPECT_NE(Refusal().find("linenet.onnx does not exist"), std::string::npos);
    std::ofstream(dir_ / "linenet.onnx") << "not a model at all";
    EXPECT_NE(Refusal().find("linenet.onnx is not a usable ONNX model"), std::string::npos);
    Model("charnet.onnx");  // a model of another shape
    EXPECT_NE(Refusal().find("linenet.onnx"), std::string::npos);

    Model("linenet.onnx");
    Describe("input 32x128\n" + kClasses + "blank 0\n");
    EXPECT_NE(Refusal().find("reads 32x128, not the 32x256"), std::string::npos);
    Describe("input 32x256\nclasses 0123456789ABCDEFGHIJKLMNOPRSTUVWXYZ\nblank 0\n");
    EXPECT_NE(Refusal().find("names the classes 0123456789ABCDEFGHIJKLMNOPRSTUVWXYZ, not"),
              std::string::npos);
    Describe("input 32x256\n" + kClasses + "blank 36\n");
    EXPECT_NE(Refusal().find("puts the blank at 36, not at output 0"), std::string::npos);
    Describe("# comment\ninput 32x256\n" + kClasses + "blank 0\n");
    LineNetModel model;
    std::string error;
    EXPECT_TRUE(classifier::LoadLineNet(dir_, model, error)) << error;
}

TEST(LineNet, DecodingMergesRepeatsDropsBlanksAndTheShippedModelReads) {
    // Columns: A A blank A B blank, the second class of the B column close behind.
    cv::Mat logits(1 + classifier::kNetClassCount, 6, CV_32F, cv::Scalar(0));
    const int a = 1 + classifier::NetClassOf('A'), b = 1 + classifier::NetClassOf('B');
    for (int t : {0, 1, 3})
        logits.at<float>(a, t) = 8;
    logits.at<float>(0, 2) = logits.at<float>(0, 5) = 8;
    logits.at<float>(b, 4) = 8;
    logits.at<float>(1 + classifier::NetClassOf('8'), 4) = 7;
    const auto read = classifier::DecodeLine(logits);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(std::string({read[0].character, read[1].character, read[2].character}), "AAB");
    EXPECT_GT(read[2].probability, 0.5f);
    EXPECT_EQ(read[2].second, '8');
    EXPECT_GT(read[2].secondProbability, 0.1f);

    LineNetModel model;
    std::string error;
    ASSERT_TRUE(classifier::LoadLineNet(KARVONA_SHIPPED_DATA, model, error)) << error;
    classifier::LineNet net(model);
    EXPECT_TRUE(net.Read(cv::Mat()).empty());
    cv::Mat line(60, 420, CV_8UC3, cv::Scalar(40, 60, 90));
    cv::putText(line, "CSQU 305438 3", {20, 45}, cv::FONT_HERSHEY_SIMPLEX, 1.3,
                cv::Scalar(230, 230, 230), 3);
    const auto characters = net.Read(line);  // at most one character a column
    EXPECT_LE(characters.size(), size_t(classifier::kLineNetWidth / 4));
    // A model that reads gives a character for each one drawn (one stuck at the all-blank
    // plateau of CTC training gives one or two), even in a font it never learned.
    EXPECT_GE(characters.size(), 11u);
    for (const auto& c : characters)
        EXPECT_NE(classifier::NetClassOf(c.character), -1);
}

}  // namespace
}  // namespace karvona::hardening
#endif
