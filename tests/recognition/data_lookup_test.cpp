// Where the reference data is looked for, and loading it where every missing or unusable file is
// named.
#include "recognition/data_lookup.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "handmade_codebook.hpp"
#include "handmade_confidence.hpp"

namespace karvona::recognition {
namespace {

namespace fs = std::filesystem;

class DataLookup : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("karvona-data-" + std::to_string(getpid()) + "-" + info->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    const fs::path& dir() const { return dir_; }

    // A folder with the three files, as a package installs them.
    fs::path Complete(const fs::path& folder) {
        fs::create_directories(folder);
        EXPECT_TRUE(test_support::DrawnGlyphCodebook(false).SaveTrainingFile(
            (folder / "prefixes.trn").string()));
        EXPECT_TRUE(test_support::DrawnGlyphCodebook(true).SaveTrainingFile(
            (folder / "numbers.trn").string()));
        std::ofstream(folder / "prefix.txt") << "ABCU\n";
        test_support::WriteHandSetConfidence(folder);
        return folder;
    }

private:
    fs::path dir_;
};

TEST_F(DataLookup, GivenThenEnvironmentThenCurrentFolderThenBesideTheProgram) {
    const fs::path installed = Complete(dir() / "usr/share/karvona");
    fs::create_directories(dir() / "usr/bin");
    const fs::path current = dir() / "work";
    fs::create_directories(current);

    DataLookupContext context;
    context.program = dir() / "usr/bin/karvona";
    context.currentFolder = current;
    DataFolder found = FindReferenceData(context);
    EXPECT_EQ(found.source, DataSource::kBeside);
    EXPECT_EQ(found.folder, installed);

    // The current folder counts only when it holds all three files.
    Complete(current);
    EXPECT_EQ(FindReferenceData(context).source, DataSource::kCurrent);
    fs::remove(current / "prefix.txt");
    EXPECT_EQ(FindReferenceData(context).source, DataSource::kBeside);

    // A folder named by the operator is taken as it stands, even without the files, so that
    // loading can say which one is missing.
    context.environment = (dir() / "elsewhere").string();
    found = FindReferenceData(context);
    EXPECT_EQ(found.source, DataSource::kEnvironment);
    EXPECT_EQ(found.folder, dir() / "elsewhere");
    context.given = dir() / "given";
    EXPECT_EQ(FindReferenceData(context).source, DataSource::kGiven);
    EXPECT_EQ(FindReferenceData(context).folder, dir() / "given");

    // Nowhere: a build folder without share/karvona beside it.
    DataLookupContext nowhere;
    nowhere.currentFolder = current;
    nowhere.program = dir() / "build/src/cli/karvona";
    EXPECT_EQ(FindReferenceData(nowhere).source, DataSource::kNone);
    const std::string message = NoReferenceDataMessage(nowhere);
    EXPECT_NE(message.find("--data"), std::string::npos);
    EXPECT_NE(message.find(current.string()), std::string::npos);
    EXPECT_NE(message.find((dir() / "build/src/share/karvona").string()), std::string::npos);
}

TEST_F(DataLookup, EveryMissingOrUnusableFileIsNamed) {
    ReferenceDataSet data;
    std::vector<std::string> problems = LoadRequiredReferenceData(dir() / "none", data);
    ASSERT_EQ(problems.size(), 4u);
    EXPECT_NE(problems[3].find("confidence.txt does not exist"), std::string::npos);
    EXPECT_EQ(LoadRequiredReferenceData(dir() / "none", data, false).size(), 3u);
    EXPECT_NE(problems[0].find((dir() / "none/prefixes.trn").string() + " does not exist"),
              std::string::npos);
    EXPECT_NE(problems[1].find("numbers.trn does not exist"), std::string::npos);
    EXPECT_NE(problems[2].find("prefix.txt does not exist"), std::string::npos);
    EXPECT_FALSE(data.lettersLoaded || data.digitsLoaded || data.prefixesLoaded);

    const fs::path folder = Complete(dir() / "data");
    ReferenceDataSet good;
    EXPECT_TRUE(LoadRequiredReferenceData(folder, good).empty());
    EXPECT_TRUE(good.lettersLoaded && good.digitsLoaded && good.prefixesLoaded &&
                good.confidenceLoaded);
    EXPECT_NE(good.View().confidence, nullptr);

    // A codebook cut short, a prefix list without prefixes, a folder under a file's name.
    fs::resize_file(folder / "numbers.trn", 100);
    std::ofstream(folder / "prefix.txt", std::ios::trunc).flush();
    std::ofstream(folder / "confidence.txt", std::ios::trunc) << "karvona-confidence 1\nbias x\n";
    ReferenceDataSet broken;
    problems = LoadRequiredReferenceData(folder, broken);
    ASSERT_EQ(problems.size(), 3u);
    EXPECT_NE(problems[0].find("numbers.trn is not a usable training file"), std::string::npos);
    EXPECT_NE(problems[1].find("prefix.txt holds no owner prefixes"), std::string::npos);
    EXPECT_NE(problems[2].find((folder / "confidence.txt").string() + " is not usable (line 2"),
              std::string::npos)
        << problems[2];
    EXPECT_TRUE(broken.lettersLoaded);

    fs::remove(folder / "prefix.txt");
    fs::create_directories(folder / "prefix.txt");
    problems = LoadRequiredReferenceData(folder, broken, false);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[1].find("prefix.txt is not a regular file"), std::string::npos);
}

}  // namespace
}  // namespace karvona::recognition
