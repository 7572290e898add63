#include <sys/stat.h>

#include "shell/file_list.hpp"
#include "shell/file_ops.hpp"
#include "shell/messages.hpp"
#include "shell_fixture.hpp"

namespace karvona::shell {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::ShellTest;
using testing::WriteFile;

class FileMoves : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        target_ = dir() / "target";
        fs::create_directories(target_);
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
            WriteFile(dir() / "in" / name, name);
            list_.AddFile(dir() / "in" / name);
        }
    }
    // Files in a folder other than the hidden temporaries of a copy in progress.
    static int CountEntries(const fs::path& folder) {
        int count = 0;
        for (const auto& entry : fs::directory_iterator(folder)) {
            (void)entry;
            ++count;
        }
        return count;
    }
    fs::path target_;
    FileList list_;
};

TEST_F(FileMoves, TickedFilesMoveAndTheirRowsGo) {
    list_.SetTicked(0, true);
    list_.SetTicked(1, true);
    EXPECT_EQ(list_.MoveTicked(target_, true), 2);
    ASSERT_EQ(list_.size(), 1u);
    EXPECT_EQ(list_[0].name, "c.jpg");
    EXPECT_EQ(ReadFile(target_ / "a.jpg"), "a.jpg");
    EXPECT_EQ(ReadFile(target_ / "b.jpg"), "b.jpg");
    EXPECT_FALSE(fs::exists(dir() / "in" / "a.jpg"));
}

TEST_F(FileMoves, RowsStayWithNewPathsWhenNotRemoved) {
    list_.SetTicked(0, true);
    list_.SetTicked(2, true);
    EXPECT_EQ(list_.MoveTicked(target_, false), 2);
    ASSERT_EQ(list_.size(), 3u);
    EXPECT_EQ(list_[0].path, target_ / "a.jpg");
    EXPECT_EQ(list_[1].path, dir() / "in" / "b.jpg");
    EXPECT_EQ(list_[2].path, target_ / "c.jpg");
    EXPECT_TRUE(list_[0].ticked);
    EXPECT_FALSE(list_[1].ticked);
}

TEST_F(FileMoves, MoveNeverReplacesAndAFailedRowKeepsItsPath) {
    WriteFile(target_ / "a.jpg", "older");
    list_.SetTicked(0, true);
    list_.SetTicked(1, true);
    EXPECT_EQ(list_.MoveTicked(target_, true), 1);
    ASSERT_EQ(list_.size(), 2u);
    EXPECT_EQ(list_[0].path, dir() / "in" / "a.jpg");
    EXPECT_EQ(ReadFile(target_ / "a.jpg"), "older");
    EXPECT_EQ(ReadFile(dir() / "in" / "a.jpg"), "a.jpg");
    EXPECT_EQ(MoveNoReplace(dir() / "in" / "a.jpg", target_ / "a.jpg"),
              FileOpStatus::kTargetExists);
    EXPECT_EQ(MoveNoReplace(dir() / "in" / "none.jpg", target_ / "none.jpg"),
              FileOpStatus::kSourceMissing);
    EXPECT_EQ(MoveNoReplace(dir() / "in" / "c.jpg", dir() / "missing" / "c.jpg"),
              FileOpStatus::kFailed);
    EXPECT_TRUE(fs::exists(dir() / "in" / "c.jpg"));
}

TEST_F(FileMoves, MoveAcrossFileSystemsCopiesThenRemoves) {
    struct stat here, there;
    const fs::path other = "/dev/shm";
    if (stat(dir().c_str(), &here) != 0 || stat(other.c_str(), &there) != 0 ||
        here.st_dev == there.st_dev || access(other.c_str(), W_OK) != 0) {
        GTEST_SKIP() << "no second file system to move to";
    }
    const fs::path away = other / ("karvona-move-" + std::to_string(getpid()));
    fs::remove_all(away);
    fs::create_directories(away);
    WriteFile(away / "b.jpg", "older");

    EXPECT_EQ(MoveNoReplace(dir() / "in" / "a.jpg", away / "a.jpg"), FileOpStatus::kDone);
    EXPECT_EQ(ReadFile(away / "a.jpg"), "a.jpg");
    EXPECT_FALSE(fs::exists(dir() / "in" / "a.jpg"));

    EXPECT_EQ(MoveNoReplace(dir() / "in" / "b.jpg", away / "b.jpg"), FileOpStatus::kTargetExists);
    EXPECT_EQ(ReadFile(away / "b.jpg"), "older");
    EXPECT_TRUE(fs::exists(dir() / "in" / "b.jpg"));
    EXPECT_EQ(CountEntries(away), 2);  // no temporary left behind
    fs::remove_all(away);
}

TEST_F(FileMoves, CopyNeverReplacesAndLeavesNoTemporary) {
    const fs::path from = dir() / "in" / "a.jpg";
    EXPECT_EQ(CopyNoReplace(from, target_ / "x.jpg"), FileOpStatus::kDone);
    EXPECT_EQ(ReadFile(target_ / "x.jpg"), "a.jpg");
    EXPECT_EQ(CopyNoReplace(dir() / "in" / "b.jpg", target_ / "x.jpg"),
              FileOpStatus::kTargetExists);
    EXPECT_EQ(ReadFile(target_ / "x.jpg"), "a.jpg");
    EXPECT_EQ(CopyNoReplace(from, dir() / "missing" / "x.jpg"), FileOpStatus::kFailed);
    EXPECT_EQ(CountEntries(target_), 1);
    EXPECT_EQ(ReadFile(from), "a.jpg");
}

TEST_F(FileMoves, DeleteRemovesTheRowWhateverTheAnswer) {
    EXPECT_EQ(DeleteQuestion("b.jpg"), "b.jpg\n이 파일을 삭제하시겠습니까?");
    EXPECT_FALSE(list_.DeleteRow(1, false));
    EXPECT_TRUE(fs::exists(dir() / "in" / "b.jpg"));
    ASSERT_EQ(list_.size(), 2u);
    EXPECT_TRUE(list_.DeleteRow(0, true));
    EXPECT_FALSE(fs::exists(dir() / "in" / "a.jpg"));
    ASSERT_EQ(list_.size(), 1u);
    EXPECT_EQ(list_[0].name, "c.jpg");
    EXPECT_FALSE(list_.DeleteRow(5, true));
}

}  // namespace
}  // namespace karvona::shell
