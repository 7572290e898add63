#include "shell/batch.hpp"

#include <map>
#include <mutex>
#include <thread>

#include "recognition/folders.hpp"
#include "shell/file_ops.hpp"
#include "shell/messages.hpp"
#include "shell_fixture.hpp"

namespace karvona::shell {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::ShellTest;
using testing::WriteFile;

const std::string kCode = "ABCU1234560";

class Batch : public ShellTest {
protected:
    // Rows p0.jpg, p1.jpg, ... whose content is their own name.
    std::vector<FileRow> MakeRows(int count) {
        std::vector<FileRow> rows;
        for (int i = 0; i < count; ++i) {
            const std::string name = "p" + std::to_string(i) + (i % 2 ? ".BMP" : ".jpg");
            WriteFile(dir() / "in" / name, name);
            rows.push_back({name, dir() / "in" / name, false});
        }
        return rows;
    }
    // A recognizer that reads what `readings` says for each file name (a perfect code otherwise)
    // and notes the processed count it was given.
    PhotoReaderFactory Reads(std::map<std::string, RecognitionResult> readings = {}) {
        return [this, readings](int) {
            return [this, readings](const fs::path& photo, int processed) {
                std::lock_guard<std::mutex> lock(seenMutex_);
                seen_[photo.filename().string()] = processed;
                const auto it = readings.find(photo.filename().string());
                return it != readings.end() ? it->second : RecognitionResult{true, kCode};
            };
        };
    }
    BatchOptions Backup(bool keepFileName = false) {
        BatchOptions options;
        options.backupOn = true;
        options.keepFileName = keepFileName;
        EXPECT_TRUE(CreateArchiveFolders(recognition::RecognizedFolder()));
        return options;
    }
    fs::path Archive(const char* folder) { return recognition::RecognizedFolder() / folder; }

    std::atomic<bool> noStop_{false};
    std::mutex seenMutex_;
    std::map<std::string, int> seen_;
};

TEST(BatchOutcome, ClassesByValidationAndLength) {
    EXPECT_EQ(ClassifyOutcome({true, kCode}), Outcome::kPerfect);
    EXPECT_EQ(ClassifyOutcome({false, kCode}), Outcome::kMistake);
    EXPECT_EQ(ClassifyOutcome({true, "ABCU123456"}), Outcome::kTryMore);
    EXPECT_EQ(ClassifyOutcome({false, "ABCU123"}), Outcome::kTryMore);
    EXPECT_EQ(ClassifyOutcome({false, "ABCU12"}), Outcome::kUn);
    EXPECT_EQ(ClassifyOutcome({false, ""}), Outcome::kUn);
    EXPECT_STREQ(OutcomeFolderName(Outcome::kPerfect), "perpect");
    EXPECT_STREQ(OutcomeFolderName(Outcome::kTryMore), "trymore");
}

TEST(BatchOutcome, ArchiveNamesInBothModes) {
    const FileRow row{"IMG 7.JPG", "/photos/IMG 7.JPG", false};
    EXPECT_EQ(ArchiveFileName(Outcome::kMistake, false, 0, kCode, row), "000001_[ABCU1234560].JPG");
    EXPECT_EQ(ArchiveFileName(Outcome::kUn, false, 41, "", row), "000042_[].JPG");
    EXPECT_EQ(ArchiveFileName(Outcome::kTryMore, true, 41, "ABCU123", row), "IMG 7.JPG");
    EXPECT_EQ(ArchiveFileName(Outcome::kUn, true, 41, "", row), "000042_IMG 7.JPG");
    EXPECT_EQ(ArchiveFileName(Outcome::kUn, false, 0, "A/../B", row), "000001_[A-..-B].JPG");
}

TEST_F(Batch, ThreePerfectRowsAreTickedArchivedAndSummarised) {
    const std::vector<FileRow> rows = MakeRows(3);
    std::vector<RowOutcome> done;
    const BatchCounts counts = RunBatch(rows, Backup(), Reads(), noStop_,
                                        [&](const RowOutcome& row) { done.push_back(row); });
    EXPECT_EQ(counts.processedCount, 3);
    EXPECT_EQ(counts.perfect, 3);
    EXPECT_EQ(counts.partial, 0);
    ASSERT_EQ(done.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(done[i].row, i);
        EXPECT_EQ(done[i].processedCount, i + 1);
        EXPECT_TRUE(done[i].ticked());
        EXPECT_EQ(done[i].archiveCopy, FileOpStatus::kDone);
    }
    EXPECT_EQ(ReadFile(Archive("perpect") / "000001_[ABCU1234560].jpg"), "p0.jpg");
    EXPECT_EQ(ReadFile(Archive("perpect") / "000002_[ABCU1234560].BMP"), "p1.BMP");
    EXPECT_EQ(ReadFile(Archive("perpect") / "000003_[ABCU1234560].jpg"), "p2.jpg");
    EXPECT_TRUE(fs::exists(rows[0].path));
    EXPECT_EQ(seen_["p2.jpg"], 2);
}

TEST_F(Batch, StartRowFiveOfTenNumbersSixToTen) {
    const std::vector<FileRow> rows = MakeRows(10);
    BatchOptions options = Backup();
    options.startRow = 5;
    const BatchCounts counts = RunBatch(rows, options, Reads(), noStop_);
    EXPECT_EQ(counts.processedCount, 5);
    EXPECT_EQ(counts.perfect, 5);
    EXPECT_EQ(seen_.count("p4.jpg"), 0u);
    EXPECT_EQ(seen_["p5.BMP"], 0);
    EXPECT_EQ(seen_["p9.BMP"], 4);
    for (int number = 6; number <= 10; ++number) {
        const std::string extension = number % 2 ? ".jpg" : ".BMP";
        char name[64];
        std::snprintf(name, sizeof name, "%06d_[%s]%s", number, kCode.c_str(), extension.c_str());
        EXPECT_TRUE(fs::exists(Archive("perpect") / name)) << name;
    }
    EXPECT_FALSE(fs::exists(Archive("perpect") / "000005_[ABCU1234560].jpg"));
}

TEST_F(Batch, OutcomeClassesFillTheirFoldersAndCounts) {
    const std::vector<FileRow> rows = MakeRows(4);
    const BatchCounts counts = RunBatch(rows, Backup(true),
                                        Reads({{"p0.jpg", {false, kCode}},
                                               {"p1.BMP", {true, "ABCU123456"}},
                                               {"p2.jpg", {false, "ABCU12"}}}),
                                        noStop_);
    EXPECT_EQ(counts.perfect, 1);
    EXPECT_EQ(counts.partial, 2);
    EXPECT_TRUE(fs::exists(Archive("mistake") / "p0.jpg"));
    EXPECT_TRUE(fs::exists(Archive("trymore") / "p1.BMP"));
    EXPECT_TRUE(fs::exists(Archive("un") / "000003_p2.jpg"));
    EXPECT_TRUE(fs::exists(Archive("perpect") / "p3.BMP"));
}

TEST_F(Batch, ReviewReadingsAreFiledAndCountedApartAndNeverTicked) {
    const std::vector<FileRow> rows = MakeRows(3);
    RecognitionResult unsure{true, kCode};
    unsure.confidence = 0.3f;
    unsure.pass = "shear 10";
    unsure.review = true;
    RecognitionResult sure{true, kCode};
    sure.confidence = 0.9f;
    sure.pass = "first";
    BatchOptions options;
    options.backupOn = true;
    EXPECT_TRUE(CreateArchiveFolders(recognition::RecognizedFolder(), true));
    std::vector<RowOutcome> done;
    const BatchCounts counts =
        RunBatch(rows, options, Reads({{"p0.jpg", unsure}, {"p1.BMP", sure}}), noStop_,
                 [&](const RowOutcome& row) { done.push_back(row); });
    EXPECT_EQ(counts.perfect, 2);
    EXPECT_EQ(counts.review, 1);
    EXPECT_EQ(counts.partial, 0);
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[0].outcome, Outcome::kReview);
    EXPECT_FALSE(done[0].ticked());
    EXPECT_TRUE(done[1].ticked());
    EXPECT_TRUE(IsSureReading(done[1].reading));
    EXPECT_FALSE(IsSureReading(done[0].reading));
    EXPECT_EQ(ReadFile(Archive("review") / "000001_[ABCU1234560].jpg"), "p0.jpg");
    EXPECT_EQ(ReadFile(Archive("perpect") / "000002_[ABCU1234560].BMP"), "p1.BMP");
    // The review folder is made only for runs that judge their readings.
    EXPECT_EQ(ArchiveFolders("/r").size(), 5u);
    EXPECT_EQ(ArchiveFolders("/r", true).back(), fs::path("/r/review"));
    EXPECT_STREQ(OutcomeFolderName(Outcome::kReview), "review");
    // A review reading needs eleven validated characters; otherwise its class is as before.
    RecognitionResult shortUnsure{true, "ABCU123456"};
    shortUnsure.review = true;
    EXPECT_EQ(ClassifyOutcome(shortUnsure), Outcome::kTryMore);
}

// An archive name taken by an earlier run used to leave the photograph out of the archive.
TEST_F(Batch, TakenArchiveNameGivesAFreeNameAndTheOlderFileStays) {
    const std::vector<FileRow> rows = MakeRows(2);
    const BatchOptions options = Backup();
    WriteFile(Archive("perpect") / "000001_[ABCU1234560].jpg", "older");
    WriteFile(Archive("perpect") / "000001_[ABCU1234560]_2.jpg", "older too");
    std::vector<RowOutcome> done;
    const BatchCounts counts = RunBatch(rows, options, Reads(), noStop_,
                                        [&](const RowOutcome& row) { done.push_back(row); });
    EXPECT_EQ(counts.perfect, 2);
    EXPECT_TRUE(counts.notArchived.empty());
    EXPECT_EQ(ReadFile(Archive("perpect") / "000001_[ABCU1234560].jpg"), "older");
    EXPECT_EQ(ReadFile(Archive("perpect") / "000001_[ABCU1234560]_2.jpg"), "older too");
    EXPECT_EQ(done[0].archiveCopy, FileOpStatus::kDone);
    EXPECT_EQ(done[0].archivePath, Archive("perpect") / "000001_[ABCU1234560]_3.jpg");
    EXPECT_EQ(ReadFile(done[0].archivePath), "p0.jpg");
    EXPECT_EQ(done[1].archiveCopy, FileOpStatus::kDone);
    EXPECT_EQ(done[1].archivePath, Archive("perpect") / "000002_[ABCU1234560].BMP");

    // Kept names, any outcome folder: the counter goes before the extension.
    BatchOptions keep = Backup(true);
    const std::map<std::string, RecognitionResult> readings{
        {"p0.jpg", RecognitionResult{false, "ABCU12345"}}};
    RunBatch(rows, keep, Reads(readings), noStop_);
    done.clear();
    RunBatch(rows, keep, Reads(readings), noStop_,
             [&](const RowOutcome& row) { done.push_back(row); });
    EXPECT_EQ(done[0].archivePath, Archive("trymore") / "p0_2.jpg");
    EXPECT_EQ(done[1].archivePath, Archive("perpect") / "p1_2.BMP");
}

TEST(FreeName, CounterBeforeTheExtension) {
    EXPECT_EQ(NumberedName("/a/b/x.jpg", 2), fs::path("/a/b/x_2.jpg"));
    EXPECT_EQ(NumberedName("/a/b/x.y.JPEG", 10), fs::path("/a/b/x.y_10.JPEG"));
    EXPECT_EQ(NumberedName("/a/b/000001_un", 3), fs::path("/a/b/000001_un_3"));
    EXPECT_EQ(NumberedName("/a/.jpg", 2), fs::path("/a/.jpg_2"));
}

// Failed copies used to be left out silently: the run now lists them, and the summary names them.
TEST_F(Batch, FailedArchiveCopiesAreListedAndNamedInTheSummary) {
    const std::vector<FileRow> rows = MakeRows(2);
    const BatchOptions options = Backup();
    fs::remove_all(recognition::RecognizedFolder());  // a run after the folders were removed
    const BatchCounts counts = RunBatch(rows, options, Reads(), noStop_);
    EXPECT_EQ(counts.perfect, 2);  // counted all the same
    ASSERT_EQ(counts.notArchived.size(), 2u);
    EXPECT_EQ(counts.notArchived[0].row, 0);
    EXPECT_EQ(counts.notArchived[0].photograph, rows[0].path);
    EXPECT_EQ(counts.notArchived[1].status, FileOpStatus::kFailed);
    EXPECT_FALSE(fs::exists(recognition::RecognizedFolder()));
    const std::string text = FormatStatistics(counts);
    EXPECT_NE(text.find("\n\n백업하지 못한 파일 2장:\n  " + rows[0].path.string() + "\n  " +
                        rows[1].path.string()),
              std::string::npos)
        << text;
}

TEST_F(Batch, StopTakesEffectBetweenPhotographs) {
    const std::vector<FileRow> rows = MakeRows(6);
    std::atomic<bool> stop{false};
    const BatchCounts counts = RunBatch(rows, BatchOptions{}, Reads(), stop,
                                        [&](const RowOutcome& row) { stop = row.row == 1; });
    EXPECT_EQ(counts.processedCount, 2);
    EXPECT_EQ(counts.perfect, 2);

    std::atomic<bool> stopped{true};
    const BatchCounts none = RunBatch(rows, BatchOptions{}, Reads(), stopped);
    EXPECT_EQ(none.processedCount, 0);
    EXPECT_EQ(FormatStatistics(none), "");
    EXPECT_EQ(RunBatch({}, BatchOptions{}, Reads(), noStop_).processedCount, 0);
}

TEST_F(Batch, ParallelRunNamesAndCountsAsSerialRun) {
    const std::vector<FileRow> rows = MakeRows(12);
    // Readings differ per photograph and the slow ones come first, so workers finish out of order.
    auto factory = [](int) {
        return [](const fs::path& photo, int processed) {
            const int index = std::stoi(photo.filename().string().substr(1));
            if (index < 3) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            return RecognitionResult{
                index % 3 == 0, std::string(5 + index % 7, 'A') + "/" + std::to_string(processed)};
        };
    };
    std::vector<std::pair<int, fs::path>> serial, parallel;
    BatchOptions options = Backup();
    options.startRow = 1;
    const BatchCounts one = RunBatch(rows, options, factory, noStop_, [&](const RowOutcome& row) {
        serial.emplace_back(row.row, row.archivePath.filename());
    });
    fs::remove_all(recognition::RecognizedFolder());
    options = Backup();
    options.startRow = 1;
    options.jobs = 3;
    const BatchCounts three = RunBatch(rows, options, factory, noStop_, [&](const RowOutcome& row) {
        parallel.emplace_back(row.row, row.archivePath.filename());
    });
    EXPECT_EQ(serial, parallel);
    EXPECT_EQ(one.perfect, three.perfect);
    EXPECT_EQ(one.partial, three.partial);
    EXPECT_EQ(three.processedCount, 11);
}

TEST(BatchStatistics, TextOfAKnownRun) {
    BatchCounts counts;
    counts.processedCount = 8;
    counts.perfect = 5;
    counts.partial = 2;
    counts.elapsedMs = 12345;
    EXPECT_EQ(FormatStatistics(counts),
              "총 파일 수     8장 中     7장(87.5%) 인식\n\n:     5장(62.5%)을 완벽히 "
              "인식하였으며,  \n      2장(25.0%)을 10자 이상 인식하였음.  \n\n"
              "수행시간은 12sec(장당 1543 ms)임.  ");
    EXPECT_STREQ(kStatisticsCaption, " [ 모든 파일 인식 결과 ]");

    // Readings for review count as read, and get a line of their own.
    counts.review = 1;
    EXPECT_EQ(FormatStatistics(counts),
              "총 파일 수     8장 中     8장(100.0%) 인식\n\n:     5장(62.5%)을 완벽히 "
              "인식하였으며,  \n      2장(25.0%)을 10자 이상 인식하였음.  \n\n"
              "수행시간은 12sec(장당 1543 ms)임.  \n\n    1장(12.5%)은 검증되었으나 확실하지 "
              "않아 확인이 필요함.  ");
}

// Every photograph not read used to be "unreadable" alone; the summary now counts the reasons.
TEST_F(Batch, NotReadPhotographsAreCountedByReason) {
    const std::vector<FileRow> rows = MakeRows(4);
    auto notRead = [](recognition::LoadStatus status) {
        RecognitionResult reading;
        reading.status = status;
        return reading;
    };
    const BatchCounts counts =
        RunBatch(rows, BatchOptions{},
                 Reads({{"p0.jpg", notRead(recognition::LoadStatus::Missing)},
                        {"p1.BMP", notRead(recognition::LoadStatus::CannotDecode)},
                        {"p2.jpg", notRead(recognition::LoadStatus::Missing)}}),
                 noStop_);
    EXPECT_EQ(counts.NotReadCount(), 3);
    EXPECT_EQ(counts.notRead.at(recognition::LoadStatus::Missing), 2);
    const std::string korean = FormatStatistics(counts);
    EXPECT_NE(korean.find("\n\n읽지 못한 파일 3장: 파일 없음 2, 손상되었거나 잘림 1"),
              std::string::npos)
        << korean;
    const std::string english = FormatStatistics(counts, StatisticsTextsFor(Language::kEnglish));
    EXPECT_NE(english.find("\n\nNot read: 3 files: missing 2, damaged or cut short 1"),
              std::string::npos)
        << english;
}

TEST(BatchStatistics, EnglishTextOfAKnownRunAndALongListOfFailures) {
    BatchCounts counts;
    counts.processedCount = 12;
    counts.perfect = 5;
    counts.partial = 2;
    counts.elapsedMs = 12345;
    for (int row = 0; row < 12; ++row)
        counts.notArchived.push_back({row, "/p/" + std::to_string(row) + ".jpg", {}, {}});
    const StatisticsTexts english = StatisticsTextsFor(Language::kEnglish);
    EXPECT_EQ(FormatStatistics(counts, english),
              "   12 files in all,     7 (58.3%) recognized\n\n:     5 (41.7%) recognized "
              "perfectly,  \n      2 (16.7%) recognized with 10 or more characters.  \n\n"
              "Time taken: 12 sec (1028 ms per file).  \n\nNot copied into the archive: 12 "
              "files:\n  /p/0.jpg\n  /p/1.jpg\n  /p/2.jpg\n  /p/3.jpg\n  /p/4.jpg\n  /p/5.jpg\n"
              "  /p/6.jpg\n  /p/7.jpg\n  /p/8.jpg\n  /p/9.jpg\n  and 2 more");
    EXPECT_EQ(english.caption, " [ Results of recognizing all files ]");
}

TEST(BatchStatistics, AFormatWithOtherConversionsIsNotUsed) {
    BatchCounts counts;
    counts.processedCount = 1;
    counts.notRead[recognition::LoadStatus::TooLarge] = 1;
    StatisticsTexts texts = StatisticsTextsFor(Language::kEnglish);
    texts.format = "%s %s %s";     // would read strings where numbers are
    texts.notRead = "%d %d lost";  // would read an argument that is not there
    EXPECT_EQ(FormatStatistics(counts, texts),
              FormatStatistics(counts).substr(0, FormatStatistics(counts).find("\n\n읽지")) +
                  "\n\n읽지 못한 파일 1장: too large 1");
    EXPECT_TRUE(SameConversions("%5d (%.1f%%) %d", "x%5d y%.1f%% z%d"));
    EXPECT_FALSE(SameConversions("%5d %d", "%d %5d"));
    EXPECT_FALSE(SameConversions("%d %*d", "%d %5d"));
}

TEST(Languages, EnvironmentAndOptionNames) {
    Language language = Language::kKorean;
    EXPECT_TRUE(ParseLanguage("en", language));
    EXPECT_EQ(language, Language::kEnglish);
    EXPECT_TRUE(ParseLanguage("ko", language));
    EXPECT_EQ(language, Language::kKorean);
    EXPECT_FALSE(ParseLanguage("fr", language));
    EXPECT_FALSE(ParseLanguage("EN", language));

    struct Case {
        const char *all, *messages, *lang;
        Language expected;
    };
    for (const Case& c : {Case{nullptr, nullptr, nullptr, Language::kEnglish},
                          Case{nullptr, nullptr, "en_GB.UTF-8", Language::kEnglish},
                          Case{nullptr, nullptr, "ko_KR.UTF-8", Language::kKorean},
                          Case{nullptr, nullptr, "de_DE.UTF-8", Language::kEnglish},
                          Case{nullptr, nullptr, "C.UTF-8", Language::kEnglish},
                          Case{"POSIX", nullptr, "ko_KR.UTF-8", Language::kEnglish},
                          Case{nullptr, "ko", "en_US.UTF-8", Language::kKorean},
                          Case{nullptr, "en_US.UTF-8", "ko_KR.UTF-8", Language::kEnglish},
                          Case{"ko_KR.UTF-8", "en_US.UTF-8", "en_US", Language::kKorean},
                          Case{"", "", "en", Language::kEnglish}}) {
        for (const auto& [name, value] :
             {std::pair{"LC_ALL", c.all}, std::pair{"LC_MESSAGES", c.messages},
              std::pair{"LANG", c.lang}}) {
            if (value != nullptr)
                setenv(name, value, 1);
            else
                unsetenv(name);
        }
        EXPECT_EQ(LanguageFromEnvironment(), c.expected)
            << (c.all ? c.all : "-") << " " << (c.messages ? c.messages : "-") << " "
            << (c.lang ? c.lang : "-");
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        unsetenv(name);
}

}  // namespace
}  // namespace karvona::shell
