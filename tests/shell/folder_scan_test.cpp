#include "shell/folder_scan.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include "shell_fixture.hpp"

namespace karvona::shell {
namespace {

namespace fs = std::filesystem;
using testing::ShellTest;
using testing::WriteFile;

std::vector<std::string> Names(const std::vector<FileRow>& rows) {
    std::vector<std::string> names;
    for (const FileRow& row : rows) {
        names.push_back(row.name);
    }
    return names;
}

TEST(FileExtension, LastDotNotInFirstPlace) {
    EXPECT_EQ(ExtensionOf("a.jpg"), "jpg");
    EXPECT_EQ(ExtensionOf("a.b.BMP"), "BMP");
    EXPECT_EQ(ExtensionOf(".jpg"), "");
    EXPECT_EQ(ExtensionOf(".hidden.jpg"), "jpg");
    EXPECT_EQ(ExtensionOf("noext"), "");
    EXPECT_EQ(ExtensionOf("trailing."), "");
    EXPECT_TRUE(IsPhotographName("X.JpG"));
    EXPECT_FALSE(IsPhotographName("x.jpeg"));
    EXPECT_FALSE(IsPhotographName("x.jpg.png"));
    EXPECT_FALSE(IsPhotographName("jpg"));
    // The command-line tool's scan takes every format the loader reads.
    for (const char* name : {"x.jpeg", "X.JPEG", "x.png", "x.PnG", "x.jpg", "x.bmp"})
        EXPECT_TRUE(IsAnyPhotographName(name)) << name;
    for (const char* name : {".png", "x.tif", "x.png.txt", "png", "x.jpe"})
        EXPECT_FALSE(IsAnyPhotographName(name)) << name;
}

TEST(FileNameOrder, IgnoresCaseAndPutsUnderscoreAfterLetters) {
    std::vector<std::string> names{"b.jpg", "_z.jpg", "A.jpg", "a.jpg", "B1.jpg", "1.jpg"};
    std::sort(names.begin(), names.end(), NameOrderLess);
    EXPECT_EQ(names,
              (std::vector<std::string>{"1.jpg", "A.jpg", "a.jpg", "b.jpg", "B1.jpg", "_z.jpg"}));
}

TEST_F(ShellTest, ScanTakesPhotographsAndSubfoldersInNameOrder) {
    const fs::path top = dir() / "photos";
    for (const char* name : {"c.png", ".jpg", "a.jpg", "b.BMP", "e.jpeg"}) {
        WriteFile(top / name, "x");
    }
    WriteFile(top / "sub" / "d.jpg", "x");
    WriteFile(top / "Z.bmp", "x");
    const fs::path before = fs::current_path();

    std::vector<FileRow> rows{{"kept.jpg", "/somewhere/kept.jpg", true}};
    EXPECT_EQ(ScanFolder(top, rows), 4);

    EXPECT_EQ(Names(rows),
              (std::vector<std::string>{"kept.jpg", "a.jpg", "b.BMP", "d.jpg", "Z.bmp"}));
    EXPECT_EQ(rows[3].path, top / "sub" / "d.jpg");
    EXPECT_FALSE(rows[1].ticked);
    EXPECT_EQ(fs::current_path(), before);
}

TEST_F(ShellTest, ScanOfMissingOrEmptyFolderAddsNothing) {
    std::vector<FileRow> rows;
    EXPECT_EQ(ScanFolder(dir() / "missing", rows), 0);
    fs::create_directories(dir() / "empty");
    EXPECT_EQ(ScanFolder(dir() / "empty", rows), 0);
    WriteFile(dir() / "file.jpg", "x");
    EXPECT_EQ(ScanFolder(dir() / "file.jpg", rows), 0);
    EXPECT_TRUE(rows.empty());
}

TEST_F(ShellTest, ScanEndsOnLinkLoopsAndSkipsWhatCannotBeRead) {
    const fs::path top = dir() / "photos";
    WriteFile(top / "a.jpg", "x");
    WriteFile(top / "sub" / "b.jpg", "x");
    fs::create_directory_symlink(top, top / "sub" / "loop");
    fs::create_directory_symlink(top / "sub", top / "again");
    fs::create_symlink(top / "gone.jpg", top / "dangling.jpg");
    ASSERT_EQ(mkfifo((top / "pipe.jpg").c_str(), 0600), 0);

    std::vector<FileRow> rows;
    EXPECT_EQ(ScanFolder(top, rows), 2);
    EXPECT_EQ(Names(rows), (std::vector<std::string>{"a.jpg", "b.jpg"}));
    // Through "again" the folder "sub" is met first, so its rows carry that path.
    EXPECT_EQ(rows[1].path, top / "again" / "b.jpg");
}

TEST_F(ShellTest, ScanSkipsUnreadableSubfolder) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "the superuser reads every folder";
    }
    const fs::path top = dir() / "photos";
    WriteFile(top / "a.jpg", "x");
    WriteFile(top / "locked" / "b.jpg", "x");
    fs::permissions(top / "locked", fs::perms::none);
    std::vector<FileRow> rows;
    EXPECT_EQ(ScanFolder(top, rows), 1);
    fs::permissions(top / "locked", fs::perms::owner_all);
}

}  // namespace
}  // namespace karvona::shell
