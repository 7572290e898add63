#pragma once
// The batch run: every photograph of the list from the start row to the end is recognized, put
// into one of four outcome classes, counted, optionally copied into the result archive, and the
// run ends with a statistics message.
//
// Recognition and bookkeeping are kept apart: recognitions may run on several workers at once,
// while the outcomes are always recorded one after the other in row order on the thread that
// called RunBatch, so the counts and the archive names are those of a run one photograph at a
// time. The reader of a photograph is given its position in the run (0 for the first),
// which is the processed count the sample names use.

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "recognition/result.hpp"
#include "shell/file_ops.hpp"
#include "shell/folder_scan.hpp"
#include "shell/messages.hpp"

namespace karvona::shell {

/// What the recognition of one photograph yields: whether the code was read completely
/// (validated), the result text (possibly empty) and the rest of the reading.
using recognition::RecognitionResult;

/// Recognizes one photograph; `processedCount` is the number of photographs before it in the run.
using PhotoReader =
    std::function<RecognitionResult(const std::filesystem::path& photograph, int processedCount)>;
/// Makes the photograph reader of one worker (0 to jobs - 1), each with its own recognition
/// state.
/// Called on the thread that runs the batch, before any recognition starts.
using PhotoReaderFactory = std::function<PhotoReader(int worker)>;

/// How many threads the second looks of one photograph may take when `workers` photographs are
/// read at once: the cores the workers leave idle, 1 to 4.
int LookThreadsBeside(int workers);

using recognition::Outcome;
using recognition::OutcomeFolderName;
/// The outcome class of a reading (see recognition::OutcomeOf).
inline Outcome ClassifyOutcome(const RecognitionResult& reading) {
    return recognition::OutcomeOf(reading);
}

/// The archive folders in the order they are created: the archive itself, then "perpect",
/// "mistake", "trymore", "un", and "review" when the readings are judged (a run that is not
/// strict).
std::vector<std::filesystem::path> ArchiveFolders(const std::filesystem::path& recognizedFolder,
                                                  bool withReview = false);
/// Creates the archive folders (existing ones are no error); returns whether all exist.
bool CreateArchiveFolders(const std::filesystem::path& recognizedFolder, bool withReview = false);

/// The archive file name of row `row` (counted from 0). Named after the result,
/// "%06d_[%s]%s" with row + 1, the result and the photograph's extension with its dot; with
/// `keepFileName` the row's own name, except in "un" where it is "%06d_%s" with row + 1 and
/// the name.
std::string ArchiveFileName(Outcome outcome, bool keepFileName, int row, const std::string& result,
                            const FileRow& photograph);

/// A photograph whose archive copy could not be made.
struct ArchiveFailure {
    int row = 0;
    std::filesystem::path photograph;
    std::filesystem::path archivePath;  ///< the name tried first
    FileOpStatus status = FileOpStatus::kFailed;
};

struct BatchOptions {
    int startRow = 0;           ///< the selected row; 0 when none is selected
    bool backupOn = false;      ///< copy every photograph into the archive
    bool keepFileName = false;  ///< archive copies keep the photograph's name
    int jobs = 1;               ///< recognitions that may run at once
    /// The archive ("c:\recognized"); empty stands for recognition::RecognizedFolder().
    std::filesystem::path recognizedFolder;
};

/// What happened to one row; handed to the progress callback in row order.
struct RowOutcome {
    int row = 0;
    int processedCount = 0;  ///< photographs done in this run, this one included
    int total = 0;           ///< rows in the list when the run started
    RecognitionResult reading;
    Outcome outcome = Outcome::kUn;
    /// Without the backup option empty; else the copy's name: the archive file name, or a free
    /// name made from it when that was taken by an earlier run (see CopyToFreeName).
    std::filesystem::path archivePath;
    std::optional<FileOpStatus> archiveCopy;  ///< empty without the backup option
    int archiveError = 0;                     ///< errno of an archive copy that failed
    bool ticked() const { return outcome == Outcome::kPerfect; }
};

struct BatchCounts {
    int processedCount = 0;
    int perfect = 0;
    int review = 0;  ///< validated codes that were not sure
    int partial = 0;
    long long elapsedMs = 0;  ///< the whole loop: recognitions, copies and progress
    std::map<recognition::LoadStatus, int> notRead;  ///< photographs not loaded, by reason
    std::vector<ArchiveFailure> notArchived;         ///< failed archive copies, in row order
    int NotReadCount() const;
};

/// Records outcomes in row order: classifies, counts, and copies into the archive (never over an
/// existing file: a taken name gives a free one; a failed copy leaves the counts as they are
/// and is listed in notArchived).
class BatchRecorder {
public:
    BatchRecorder(const BatchOptions& options, int total);
    RowOutcome Record(int row, const FileRow& photograph, const RecognitionResult& reading);
    const BatchCounts& counts() const { return counts_; }

private:
    BatchOptions options_;
    int total_;
    BatchCounts counts_;
};

using RowCallback = std::function<void(const RowOutcome&)>;

/// Runs the batch over `rows` from options.startRow to the end. `stopRequested` is looked at
/// before each photograph: a photograph already started is finished, recorded and counted.
/// `onRow` (may be empty) is called on the calling thread after each row is recorded.
BatchCounts RunBatch(const std::vector<FileRow>& rows, const BatchOptions& options,
                     const PhotoReaderFactory& makeReader, const std::atomic<bool>& stopRequested,
                     const RowCallback& onRow = {});

/// The text of the statistics message (caption kStatisticsCaption); empty when no photograph
/// was processed, in which case no message is shown. Readings for review count as read, and a
/// line of their own follows when there were any. After the counts come, when there are any,
/// the photographs not read with their reasons, and the failed archive copies by name (at most
/// kNamesInStatistics of them).
std::string FormatStatistics(const BatchCounts& counts);
/// The same in the words of `texts` (a format whose conversions differ from the Korean one is
/// not used: the Korean text stands in for it).
std::string FormatStatistics(const BatchCounts& counts, const StatisticsTexts& texts);
inline constexpr int kNamesInStatistics = 10;

}  // namespace karvona::shell
