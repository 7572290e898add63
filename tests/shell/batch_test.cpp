#include "shell/batch.hpp"

#include <map>
#include <mutex>
#include <thread>

#include "recognition/folders.hpp"
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
    RecognizerFactory Reads(std::map<std::string, Reading> readings = {}) {
        return [this, readings](int) {
            return [this, readings](const fs::path& photo, int processed) {
                std::lock_guard<std::mutex> lock(seenMutex_);
                seen_[photo.filename().string()] = processed;
                const auto it = readings.find(photo.filename().string());
                return it != readings.end() ? it->second : Reading{true, kCode};
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
    Reading unsure{true, kCode};
    unsure.confidence = 0.3f;
    unsure.pass = "shear 10";
    unsure.review = true;
    Reading sure{true, kCode};
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
    Reading shortUnsure{true, "ABCU123456"};
    shortUnsure.review = true;
    EXPECT_EQ(ClassifyOutcome(shortUnsure), Outcome::kTryMore);
}

TEST_F(Batch, ExistingArchiveNameIsKeptAndCountsDoNotChange) {
    const std::vector<FileRow> rows = MakeRows(2);
    const BatchOptions options = Backup();
    WriteFile(Archive("perpect") / "000001_[ABCU1234560].jpg", "older");
    std::vector<RowOutcome> done;
    const BatchCounts counts = RunBatch(rows, options, Reads(), noStop_,
                                        [&](const RowOutcome& row) { done.push_back(row); });
    EXPECT_EQ(counts.perfect, 2);
    EXPECT_EQ(ReadFile(Archive("perpect") / "000001_[ABCU1234560].jpg"), "older");
    EXPECT_EQ(done[0].archiveCopy, FileOpStatus::kTargetExists);
    EXPECT_EQ(done[1].archiveCopy, FileOpStatus::kDone);

    // With the archive folders gone the run copies nothing and still counts.
    fs::remove_all(recognition::RecognizedFolder());
    const BatchCounts again = RunBatch(rows, options, Reads(), noStop_);
    EXPECT_EQ(again.perfect, 2);
    EXPECT_FALSE(fs::exists(recognition::RecognizedFolder()));
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
            return Reading{index % 3 == 0,
                           std::string(5 + index % 7, 'A') + "/" + std::to_string(processed)};
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

}  // namespace
}  // namespace karvona::shell
