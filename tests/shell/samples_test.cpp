#include "shell/samples.hpp"

#include "recognition/folders.hpp"
#include "shell/batch.hpp"
#include "shell/messages.hpp"
#include "shell_fixture.hpp"

namespace karvona::shell {
namespace {

namespace fs = std::filesystem;
using testing::ShellTest;

TEST(SampleNames, CharacterCountAndIndex) {
    EXPECT_EQ(SampleFileName('A', 1, 0), "A_00001_00_.bmp");
    EXPECT_EQ(SampleFileName('1', 1, 4), "1_00001_04_.bmp");
    EXPECT_EQ(SamplePath("/c", 'Z', 123456, 10), fs::path("/c/Z/Z_123456_10_.bmp"));
    EXPECT_EQ(SamplePath("/c", '-', 0, 0), fs::path());
    EXPECT_EQ(SamplePath("/c", '/', 0, 0), fs::path());
}

TEST_F(ShellTest, OptionMessagesNameTheRealFoldersWhichAreCreated) {
    const fs::path characters = recognition::CharactersFolder();
    EXPECT_EQ(SamplesMessage(characters),
              "추출된 문자는 " + (dir() / "root" / "characters").string() + " 에 저장됩니다.  ");
    EXPECT_EQ(BackupMessage(recognition::RecognizedFolder()),
              "인식된 영상은 " + (dir() / "root" / "recognized").string() + " 에 저장됩니다.  ");

    EXPECT_TRUE(CreateSampleFolders(characters));
    EXPECT_TRUE(CreateSampleFolders(characters));  // existing folders are no error
    int folders = 0;
    for (const auto& entry : fs::directory_iterator(characters)) {
        folders += entry.is_directory();
    }
    EXPECT_EQ(folders, 36);
    EXPECT_TRUE(fs::is_directory(characters / "Q"));
    EXPECT_TRUE(fs::is_directory(characters / "0"));

    EXPECT_TRUE(CreateArchiveFolders(recognition::RecognizedFolder()));
    EXPECT_TRUE(fs::is_directory(recognition::RecognizedFolder() / "un"));
}

}  // namespace
}  // namespace karvona::shell
