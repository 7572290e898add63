#include "classifier/owner_prefix_list.hpp"

#include <gtest/gtest.h>

#include "training_bytes.hpp"

using namespace karvona::classifier;
using namespace karvona::classifier::testing;

namespace {

std::vector<std::string> Load(const ScratchDir& dir, const std::string& text) {
    WriteFile(dir.File("prefix.txt"), text);
    COwnerPrefixList list;
    EXPECT_TRUE(list.LoadPrefixFile(dir.File("prefix.txt")));
    return list.prefixes();
}

using Entries = std::vector<std::string>;

}  // namespace

TEST(OwnerPrefixList, LineFeedAndCarriageReturnLineFeedGiveTheSameEntries) {
    ScratchDir dir;
    EXPECT_EQ(Load(dir, "ABCU\nMSCU\nTGHU\n"), (Entries{"ABCU", "MSCU", "TGHU"}));
    EXPECT_EQ(Load(dir, "ABCU\r\nMSCU\r\nTGHU\r\n"), (Entries{"ABCU", "MSCU", "TGHU"}));
    EXPECT_EQ(Load(dir, "ABCU\nMSCU"), (Entries{"ABCU", "MSCU"}));  // no final terminator
    EXPECT_EQ(Load(dir, "ABCU\r\nMSCU"), (Entries{"ABCU", "MSCU"}));
    EXPECT_EQ(Load(dir, "ABCDEFGH\r\nMSCU\r\n"), (Entries{"ABCDEFGH", "MSCU"}));  // one read
    EXPECT_EQ(Load(dir, "AB\rCU\n"), (Entries{"AB\rCU"}));  // a lone carriage return stays
    EXPECT_EQ(Load(dir, "ABCU\n\nMSCU\n"), (Entries{"ABCU", "", "MSCU"}));
}

TEST(OwnerPrefixList, LongLinesComeInPiecesOfNineCharacters) {
    ScratchDir dir;
    EXPECT_EQ(Load(dir, "ABCDEFGHIJKLMNOPQRST\nMSCU\n"),
              (Entries{"ABCDEFGHI", "JKLMNOPQR", "ST", "MSCU"}));
    EXPECT_EQ(Load(dir, "ABCDEFGHI\nMSCU\n"), (Entries{"ABCDEFGHI", "", "MSCU"}));
}

TEST(OwnerPrefixList, LookupIsExactAndCaseSensitive) {
    ScratchDir dir;
    WriteFile(dir.File("prefix.txt"), "ABCU\nmscu\nTGHU \nXY\n");
    COwnerPrefixList list;
    ASSERT_TRUE(list.LoadPrefixFile(dir.File("prefix.txt")));
    EXPECT_TRUE(list.Contains("ABCU"));
    EXPECT_FALSE(list.Contains("abcu"));
    EXPECT_FALSE(list.Contains("MSCU"));  // the entry is lower case
    EXPECT_FALSE(list.Contains("TGHU"));  // the entry has a trailing blank
    EXPECT_FALSE(list.Contains("XYZU"));
    EXPECT_FALSE(list.Contains("ABC"));
    EXPECT_FALSE(list.Contains("ABCU1"));
}

TEST(OwnerPrefixList, EmptyAndMissingFiles) {
    ScratchDir dir;
    EXPECT_TRUE(Load(dir, "").empty());

    WriteFile(dir.File("prefix.txt"), "ABCU\n");
    COwnerPrefixList list;
    ASSERT_TRUE(list.LoadPrefixFile(dir.File("prefix.txt")));
    EXPECT_FALSE(list.LoadPrefixFile(dir.File("absent.txt")));
    EXPECT_EQ(list.prefixCount(), 1);  // left as it was
    ASSERT_TRUE(list.LoadPrefixFile(dir.File("prefix.txt")));
    EXPECT_EQ(list.prefixes(), (Entries{"ABCU", "ABCU"}));  // loading appends
}

TEST(OwnerPrefixList, KeepsEveryLineOfALongFile) {
    ScratchDir dir;
    std::string text;
    for (int k = 0; k < 3000; ++k) {
        text += std::string{char('A' + k / 676), char('A' + k / 26 % 26), char('A' + k % 26), 'U'};
        text += "\r\n";
    }
    WriteFile(dir.File("prefix.txt"), text);
    COwnerPrefixList list;
    ASSERT_TRUE(list.LoadPrefixFile(dir.File("prefix.txt")));
    EXPECT_EQ(list.prefixCount(), 3000);
    EXPECT_TRUE(list.Contains("EKJU"));  // entry 2999
}

TEST(OwnerPrefixList, RealRegistry) {
    const std::string path = KARVONA_SHARED_DATA "/owner-prefixes.txt";
    COwnerPrefixList list;
    if (!list.LoadPrefixFile(path)) {
        GTEST_SKIP() << "no owner registry beside the project";
    }
    EXPECT_EQ(list.prefixCount(), 3458);
    for (const std::string& entry : list.prefixes()) {
        ASSERT_EQ(entry.size(), 4u) << entry;
        ASSERT_TRUE(list.Contains(entry)) << entry;
    }
}
