// Reference files at their extremes: every header word of a training file at its limits, and
// prefix lists with odd lines, odd bytes and very many lines.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>

#include "../classifier/training_bytes.hpp"
#include "bad_files.hpp"
#include "classifier/lvq_cluster.hpp"
#include "classifier/owner_prefix_list.hpp"

namespace karvona::hardening {
namespace {

using classifier::CLvqCluster;
using classifier::COwnerPrefixList;
using classifier::TrainingFileStatus;
namespace tb = classifier::testing;

// What a standard file (every block on, 25 classes x 3) loads as with one header word changed.
// Flags are words 5 to 13: any non-zero value is "on", and 0 switches a block off, which a
// featureLength of 345 still holds.
TrainingFileStatus Expected(int word, std::int32_t value) {
    if (word >= 5 && word <= 13)
        return TrainingFileStatus::Ok;
    if (word == 14 || word == 15)
        return value < 1 ? TrainingFileStatus::NoPrototypes
                         : TrainingFileStatus::Invalid;  // huge: no records
    return TrainingFileStatus::Invalid;                  // sizes out of range
}

TEST(TrainingFileExtremes, EveryHeaderWordNegativeZeroOrHuge) {
    tb::ScratchDir dir;
    const std::string path = dir.File("extreme.trn");
    for (int word = 0; word < 16; ++word) {
        for (const std::int32_t value : {INT_MIN, -1, 0, INT_MAX}) {
            SCOPED_TRACE("word " + std::to_string(word) + " = " + std::to_string(value));
            tb::Header h = tb::StandardHeader();
            h[word] = value;
            tb::WriteFile(path, tb::TrainingBytes(h, tb::NumberedPrototypes(75, 345, 3)));
            CLvqCluster codebook;
            const TrainingFileStatus status = codebook.LoadTrainingFile(path);
            EXPECT_EQ(status, Expected(word, value));
            if (status == TrainingFileStatus::Ok) {
                EXPECT_EQ(codebook.prototypeCount(), 75);
                EXPECT_EQ(codebook.featureLength, 345);
            } else {
                EXPECT_EQ(codebook.prototypeCount(), 0);
                EXPECT_EQ(codebook.featureLength, 0);
            }
        }
    }
    // Two negative counts whose product is positive are still refused.
    tb::Header h = tb::StandardHeader();
    h[14] = -25;
    h[15] = -3;
    tb::WriteFile(path, tb::TrainingBytes(h, tb::NumberedPrototypes(75, 345, 3)));
    CLvqCluster codebook;
    EXPECT_NE(codebook.LoadTrainingFile(path), TrainingFileStatus::Ok);
}

TEST(TrainingFileExtremes, FeatureLengthAgainstTheRecipe) {
    tb::ScratchDir dir;
    const std::string path = dir.File("recipe.trn");
    // 345 is exactly what the standard recipe fills; one less cannot hold it, more is padding.
    for (const auto& [length, expected] :
         {std::pair{344, TrainingFileStatus::Invalid}, std::pair{345, TrainingFileStatus::Ok},
          std::pair{400, TrainingFileStatus::Ok}}) {
        tb::Header h = tb::StandardHeader();
        h[0] = length;
        tb::WriteFile(path, tb::TrainingBytes(h, tb::NumberedPrototypes(75, length, 3)));
        CLvqCluster codebook;
        EXPECT_EQ(codebook.LoadTrainingFile(path), expected) << length;
    }
}

TEST(TrainingFileExtremes, FoldersAndPipesUnderTheNameAreNotLoaded) {
    Scratch dir;
    fs::create_directories(dir / "prefixes.trn");
    ASSERT_EQ(mkfifo((dir / "numbers.trn").c_str(), 0600), 0);
    CLvqCluster codebook;
    EXPECT_NE(codebook.LoadTrainingFile((dir / "prefixes.trn").string()), TrainingFileStatus::Ok);
    EXPECT_NE(codebook.LoadTrainingFile((dir / "numbers.trn").string()), TrainingFileStatus::Ok);
}

std::vector<std::string> LoadPrefixes(const Scratch& dir, const std::string& text) {
    WriteBytes(dir / "prefix.txt", Bytes(text.begin(), text.end()));
    COwnerPrefixList list;
    EXPECT_TRUE(list.LoadPrefixFile((dir / "prefix.txt").string()));
    return list.prefixes();
}

using Entries = std::vector<std::string>;

TEST(PrefixFileExtremes, LongLinesAndOddBytes) {
    Scratch dir;
    EXPECT_EQ(LoadPrefixes(dir, "ABCDEFGHIJ\nCSQU"), (Entries{"ABCDEFGHI", "J", "CSQU"}));
    const Entries thousand = LoadPrefixes(dir, std::string(1000, 'X') + "\r\nCSQU\r\n");
    ASSERT_EQ(thousand.size(), 113u);  // 111 pieces of nine, the last X, CSQU
    EXPECT_EQ(thousand[110], std::string(9, 'X'));
    EXPECT_EQ(thousand[111], "X");
    EXPECT_EQ(thousand[112], "CSQU");
    // A zero byte ends its entry; other bytes are kept as they are.
    EXPECT_EQ(LoadPrefixes(dir, std::string("AB\0CD\n\xff\xfe\x80U\n\r\r\n", 14)),
              (Entries{"AB", "\xff\xfe\x80U", "\r"}));
    EXPECT_EQ(LoadPrefixes(dir, "\n"), (Entries{""}));
    EXPECT_EQ(LoadPrefixes(dir, "\r\n\r\n"), (Entries{"", ""}));
}

TEST(PrefixFileExtremes, AHundredThousandLines) {
    Scratch dir;
    std::string text;
    for (int k = 0; k < 100000; ++k)
        text += std::to_string(100000 + k).substr(1) + "U\n";  // 00000U .. 99999U
    const Entries entries = LoadPrefixes(dir, text);
    ASSERT_EQ(entries.size(), 100000u);
    COwnerPrefixList list;
    ASSERT_TRUE(list.LoadPrefixFile((dir / "prefix.txt").string()));
    EXPECT_TRUE(list.Contains("99999U"));
    EXPECT_FALSE(list.Contains("99999"));
}

TEST(PrefixFileExtremes, FolderOrPipeUnderTheNameIsNotALoadedList) {
    Scratch dir;
    fs::create_directories(dir / "folder.txt");
    ASSERT_EQ(mkfifo((dir / "pipe.txt").c_str(), 0600), 0);
    COwnerPrefixList list;
    EXPECT_FALSE(list.LoadPrefixFile((dir / "folder.txt").string()));
    EXPECT_FALSE(list.LoadPrefixFile((dir / "pipe.txt").string()));
    EXPECT_EQ(list.prefixCount(), 0);
}

}  // namespace
}  // namespace karvona::hardening
