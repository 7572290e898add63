#include "cli/read_command.hpp"

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/data_option.hpp"
#include "cli/pass_output.hpp"
#include "cli/progress.hpp"
#include "cli/standard_input.hpp"
#include "imaging/step_view.hpp"
#include "recognition/folders.hpp"
#include "recognition/read_code.hpp"
#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"
#include "shell/batch.hpp"
#include "shell/file_list.hpp"
#include "shell/messages.hpp"
#include "shell/passes.hpp"
#include "shell/pixel_budget.hpp"
#include "shell/samples.hpp"

namespace karvona::cli {
namespace {

namespace fs = std::filesystem;
using recognition::LoadStatus;
using recognition::Winner;

// Ctrl-C asks the run to stop between photographs, as releasing the run button does. The handler
// fires once: the default action comes back with it, so a second Ctrl-C ends the process.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the stop flag is set from a signal handler");

extern "C" void OnInterrupt(int) {
    stopRequested.store(true);
    static const char kNote[] =
        "\nkarvona: stopping after the photographs under way (Ctrl-C again to quit at once)\n";
    const ssize_t ignored = write(STDERR_FILENO, kNote, sizeof kNote - 1);
    (void)ignored;
}

class InterruptStopsRun {
public:
    InterruptStopsRun() {
        stopRequested.store(false);
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        installed_ = sigaction(SIGINT, &action, &previous_) == 0;
    }
    ~InterruptStopsRun() {
        if (installed_) {
            sigaction(SIGINT, &previous_, nullptr);
        }
    }
    InterruptStopsRun(const InterruptStopsRun&) = delete;
    InterruptStopsRun& operator=(const InterruptStopsRun&) = delete;

private:
    struct sigaction previous_ {};
    bool installed_ = false;
};

// The files written for a photograph start with its row number (from 1) and the stem of its
// name, so photographs of the same name from different folders never meet.
std::string PhotoTag(int row, const shell::FileRow& photo) {
    std::string stem = fs::path(photo.name).stem().string();
    if (stem.empty()) {
        stem = photo.name;
    }
    char number[16];
    std::snprintf(number, sizeof number, "%06d_", row + 1);
    return number + stem;
}

void WritePng(const fs::path& path, const cv::Mat& image) {
    if (image.empty()) {
        return;
    }
    try {
        if (!cv::imwrite(path.string(), image)) {
            std::fprintf(stderr, "karvona: could not write %s\n", path.c_str());
        }
    } catch (const cv::Exception&) {
        std::fprintf(stderr, "karvona: could not write %s\n", path.c_str());
    }
}

struct Settings {
    OutputFormat format = OutputFormat::kText;
    bool colour = false;
    fs::path swatchFolder;
    fs::path stepsFolder;
    fs::path annotateFolder;
    shell::PixelBudget* pixels = nullptr;  ///< shared by the workers
    bool saveSamples = false;
};

// Decoded pixels at once over all workers: two photographs of the largest size, or many small
// ones. With each worker's working images a photograph costs about eight bytes a pixel.
constexpr std::int64_t kPixelBudget = 2 * recognition::kMaxPixels;

// Reads one photograph and writes the pictures asked for. Only the photograph's own images are
// written: a panel or swatch is written only when the photograph has one (a winner, a colour).
shell::RecognitionResult ReadOne(const karvona::ReferenceData& data,
                                 const karvona::ReadOptions& given, const Settings& settings,
                                 const shell::FileRow& photo, int row, int processedCount) {
    const std::string tag = PhotoTag(row, photo);
    std::optional<shell::PixelBudget::Hold> pixels;
    if (settings.pixels != nullptr)
        pixels.emplace(*settings.pixels, shell::DeclaredPixels(photo.path));
    karvona::ReadOptions options = given;
    std::optional<imaging::PngStepViewer> steps;
    if (!settings.stepsFolder.empty()) {
        steps.emplace(settings.stepsFolder / tag);
        options.steps = &*steps;
    }
    std::optional<shell::SampleFiles> samples;
    if (settings.saveSamples) {
        samples.emplace(recognition::CharactersFolder(), processedCount);
        options.samples = &*samples;
    }
    karvona::ReadingPictures pictures;
    if (!settings.annotateFolder.empty() || !settings.swatchFolder.empty())
        options.pictures = &pictures;

    cv::Mat image;
    const LoadStatus status = recognition::LoadPhotograph(photo.path, image);
    const karvona::CodeReading read = karvona::ReadCode(image, data, options);
    image.release();  // the photograph's pixels go with its share of the budget
    shell::RecognitionResult result = recognition::ResultOf(read, status);
    const bool loaded = result.status == LoadStatus::Ok;
    if (!(loaded && settings.colour))
        result.hue = -1.0f;

    if (!settings.annotateFolder.empty() && loaded) {
        WritePng(settings.annotateFolder / (tag + "-display.png"), pictures.annotated);
        if (result.reader != Winner::None) {
            WritePng(settings.annotateFolder / (tag + "-panel.png"), pictures.panel);
        }
    }
    if (!settings.swatchFolder.empty() && result.hue >= 0) {
        WritePng(settings.swatchFolder / (tag + "-swatch.png"), pictures.swatch);
    }
    return result;
}

// Why an archive copy failed; a failed copy names its cause ("copy failed: No space left on
// device").
std::string ArchiveFailureText(shell::FileOpStatus status, int error) {
    switch (status) {
        case shell::FileOpStatus::kTargetExists:
            return "no free name";
        case shell::FileOpStatus::kSourceMissing:
            return "the photograph cannot be opened";
        default:
            return error != 0 ? std::string("copy failed: ") + std::strerror(error) : "copy failed";
    }
}

bool CreateOutputFolder(const fs::path& folder) {
    if (folder.empty() || shell::CreateFolder(folder)) {
        return true;
    }
    std::fprintf(stderr, "karvona read: cannot create the folder %s\n", folder.c_str());
    return false;
}

// Where to start, and what to file: the archive copies and the character samples.
void AddRunOptions(CLI::App& command, ReadOptions& read) {
    command
        .add_option("--start", read.startRow,
                    "First row to read, counted from 1 as the row column and the archive "
                    "numbers are; earlier rows are skipped")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    CLI::Option* backup =
        command.add_flag("--backup", read.backup,
                         "Copy each photograph into the archive under the root folder "
                         "(recognized/perpect, mistake, trymore, un, and review unless --strict), "
                         "named NNNNNN_[CODE].ext; "
                         "an existing file is never replaced");
    command
        .add_flag("--keep-names", read.keepNames,
                  "With --backup: archive copies keep their own names (un: NNNNNN_name)")
        ->needs(backup);
    command.add_flag("--save-samples", read.saveSamples,
                     "Save every classified character as characters/C/C_NNNNN_II_.bmp under "
                     "the root folder (NNNNN: photographs before it in the run)");
}

// The pictures a run writes besides its lines.
void AddPictureOptions(CLI::App& command, ReadOptions& read) {
    command.add_flag(
        "--colour", read.colour,
        "Print the dominant hue of each photograph (a hue column or key; -1 or '-' when "
        "there is none)");
    command.add_option("--swatches", read.swatchFolder,
                       "With --colour: write each 5x5 colour swatch as NNNNNN_name-swatch.png "
                       "into this folder (default: the --annotate folder, if any)");
    command.add_option("--steps", read.stepsFolder,
                       "Write every step view as PNG files, one subfolder NNNNNN_name per "
                       "photograph");
    command.add_option("--annotate", read.annotateFolder,
                       "Write what the window shows: NNNNNN_name-display.png (the photograph "
                       "with the code region pasted in its corner) and NNNNNN_name-panel.png "
                       "(the winning reader's characters, when a reader won)");
}

// How the lines are written, and how the photographs are read.
void AddOutputOptions(CLI::App& command, ReadOptions& read) {
    CLI::Option* format =
        command.add_option("--format", read.format, "Output lines: text, csv or json")
            ->check(CLI::IsMember({"text", "csv", "json"}))
            ->capture_default_str();
    command.add_flag("--json", read.json, "The same as --format json")->excludes(format);
    command
        .add_option("--jobs", read.jobs,
                    "Photographs read at once, 1 to 64; results, archive and sample names are "
                    "those of --jobs 1")
        ->check(CLI::Range(1, kMaxJobs))
        ->capture_default_str();
    command
        .add_option("--lang", read.language,
                    "Language of the statistics and notes: ko or en (default: from LC_ALL, "
                    "LC_MESSAGES or LANG; ko... is Korean, anything else English)")
        ->check(CLI::IsMember({"ko", "en"}));
    command.add_option("--passes", read.passes,
                       "One answer per truck pass instead of per photograph: the photographs "
                       "are grouped by the first capture group of this regular expression in "
                       "the file name (such as '1-(\\d+)-OCR'), or by folder with 'folder'");
    command.add_flag("--strict", read.strict,
                     "Only the single pass on each photograph as given, as the program always "
                     "read: no working scale, no second look, no check-digit choice; every "
                     "validated code is perfect and no confidence or pass is printed");
}

// What the outcomes, the reasons and the names in the output mean.
void AddReadFooter(CLI::App& command) {
    command.footer(
        "Folders are scanned with their subfolders for .jpg, .jpeg, .png and .bmp files (in any "
        "case) in name order. Lines come in row order. The fixed folders live under "
        "$KARVONA_ROOT (default ~/karvona).\n\n"
        "Outcomes (the archive folder of each photograph, and the outcome column or key):\n"
        "  perpect  the code was read completely: 11 characters, check digit and owner prefix "
        "valid, and sure; counted as perfect and ticked\n"
        "  review   validated like perpect but not sure (its confidence is below the "
        "threshold); counted as read on a line of its own, not ticked; never with --strict\n"
        "  mistake  11 characters that did not validate; counted as partial\n"
        "  trymore  7 to 10 characters; counted as partial\n"
        "  un       fewer than 7 characters, no code region, or a photograph not read; not "
        "counted\n"
        "An archive name that an earlier run took gets a counter before its extension "
        "(NNNNNN_[CODE]_2.jpg); no archive file is ever replaced.\n\n"
        "Why a photograph was not read (the reason column or key; status keeps the coarse ok, "
        "too-large or unreadable): ok, missing, not-a-file, cannot-read, unsupported-format, "
        "too-large, cannot-decode. The statistics count the reasons.\n\n"
        "JSON file names keep every byte: a backslash in a name is written doubled, and a byte "
        "that is not valid UTF-8 as \\xNN (two lower-case hex digits); undo the two to get "
        "the name back.\n\n"
        "At the end the statistics of the run are printed (stdout for text, else stderr); "
        "Ctrl-C stops after the photographs under way and still prints them. A progress bar "
        "is drawn on stderr when it is a terminal. Exit code: 0 when every photograph was "
        "read, 1 when some could not be, an archive copy failed or the run was stopped, 2 on "
        "bad usage.");
}

}  // namespace

CLI::App* AddReadCommand(CLI::App& app, ReadOptions& read) {
    CLI::App* command = app.add_subcommand(
        "read", "Read the code of each photograph: a batch run over files and folders");
    AddDataOption(*command, read.dataFolder);
    AddRunOptions(*command, read);
    AddPictureOptions(*command, read);
    AddOutputOptions(*command, read);
    command
        ->add_option("paths", read.paths,
                     "Photographs (JPEG, PNG or BMP), folders to scan, or - for one photograph "
                     "read from standard input")
        ->required();
    AddReadFooter(*command);
    return command;
}

namespace {

// The output format and the picture folders the options ask for.
Settings SettingsFrom(const ReadOptions& options) {
    Settings settings;
    settings.format = options.json               ? OutputFormat::kJson
                      : options.format == "csv"  ? OutputFormat::kCsv
                      : options.format == "json" ? OutputFormat::kJson
                                                 : OutputFormat::kText;
    settings.colour = options.colour || !options.swatchFolder.empty();
    settings.stepsFolder = options.stepsFolder;
    settings.annotateFolder = options.annotateFolder;
    if (settings.colour) {
        settings.swatchFolder =
            !options.swatchFolder.empty() ? options.swatchFolder : options.annotateFolder;
    }
    settings.saveSamples = options.saveSamples;
    return settings;
}

// The photographs of the paths in the order given, folders scanned, "-" kept as a file of its
// own (its row in standardInputRow). False when standard input cannot be kept.
bool ListPhotographs(const ReadOptions& options, StandardInputPhotograph& standardInput,
                     shell::FileList& list, int& standardInputRow) {
    for (const std::string& path : options.paths) {
        std::error_code ec;
        if (path == "-") {
            if (!standardInput.Read())
                return false;
            standardInputRow = static_cast<int>(list.size());
            list.Append(standardInput.name(), standardInput.file());
        } else if (fs::is_directory(path, ec)) {
            if (list.AddFolder(path, shell::IsAnyPhotographName) == 0) {
                std::fprintf(stderr, "karvona read: no photographs in %s\n", path.c_str());
            }
        } else {
            list.AddFile(path);
        }
    }
    return true;
}

// Switching an option on tells the operator where its files go and makes the folders.
void PrepareArchiveAndSamples(const ReadOptions& options, FILE* notes, shell::Language language) {
    if (options.backup) {
        const fs::path archive = recognition::RecognizedFolder();
        std::fprintf(notes, "%s\n", shell::BackupMessage(archive, language).c_str());
        if (!shell::CreateArchiveFolders(archive, !options.strict)) {
            std::fprintf(stderr, "karvona read: cannot create the archive folders in %s\n",
                         archive.c_str());
        }
    }
    if (options.saveSamples) {
        const fs::path samples = recognition::CharactersFolder();
        std::fprintf(notes, "%s\n", shell::SamplesMessage(samples, language).c_str());
        if (!shell::CreateSampleFolders(samples)) {
            std::fprintf(stderr, "karvona read: cannot create the sample folders in %s\n",
                         samples.c_str());
        }
    }
    std::fflush(notes);
}

shell::BatchOptions BatchOptionsFrom(const ReadOptions& options) {
    shell::BatchOptions batch;
    batch.startRow = options.startRow - 1;
    batch.backupOn = options.backup;
    batch.keepFileName = options.keepNames;
    batch.jobs = options.jobs;
    batch.recognizedFolder = recognition::RecognizedFolder();
    return batch;
}

// Prints the line (or the finished passes) of each photograph as the batch hands it over, in row
// order, and counts the photographs that could not be read.
struct RowPrinter {
    const ReadOptions& options;
    const Settings& settings;
    const std::vector<shell::FileRow>& rows;
    int standardInputRow = -1;
    std::optional<shell::PassCollector>& passes;
    ProgressBar& progress;
    int unreadable = 0;

    void operator()(const shell::RowOutcome& done) {
        const shell::FileRow& photo = rows[static_cast<size_t>(done.row)];
        if (done.reading.status != LoadStatus::Ok) {
            ++unreadable;
        }
        progress.Clear();
        const ReadingRow where{done.row + 1,
                               done.row == standardInputRow ? "-" : photo.path.string()};
        if (passes) {
            for (const shell::PassResult& pass : passes->Record(done.row, done.reading))
                std::printf("%s\n", PassLines(settings.format, pass).c_str());
        } else {
            shell::RecognitionResult reading = done.reading;
            if (!options.strict && !reading.judged()) {
                // A recognition that failed outright still gets the columns of its run.
                reading.confidence = 0.0f;
                reading.pass = "none";
            }
            std::printf("%s\n",
                        ReadingLine(settings.format, where, reading, settings.colour).c_str());
        }
        std::fflush(stdout);
        if (done.archiveCopy && *done.archiveCopy != shell::FileOpStatus::kDone) {
            std::fprintf(stderr, "karvona read: not archived (%s): %s -> %s\n",
                         ArchiveFailureText(*done.archiveCopy, done.archiveError).c_str(),
                         where.file.c_str(), done.archivePath.c_str());
        }
        progress.Update(done.processedCount);
    }
};

// The passes still open at the end, and the statistics message.
void FinishRun(std::optional<shell::PassCollector>& passes, const Settings& settings,
               shell::BatchCounts& counts, int standardInputRow, FILE* notes,
               shell::Language language) {
    if (passes) {
        for (const shell::PassResult& pass : passes->Finish())
            std::printf("%s\n", PassLines(settings.format, pass).c_str());
        std::fflush(stdout);
    }
    // The photograph of standard input is named "-" in the statistics as in the lines.
    for (shell::ArchiveFailure& failure : counts.notArchived) {
        if (failure.row == standardInputRow)
            failure.photograph = "-";
    }
    const shell::StatisticsTexts texts = shell::StatisticsTextsFor(language);
    const std::string statistics = shell::FormatStatistics(counts, texts);
    if (!statistics.empty()) {
        std::fprintf(notes, "\n%s\n%s\n", texts.caption.c_str(), statistics.c_str());
        std::fflush(notes);
    }
}

// Checks the list against the options and makes the picture folders; the exit code of a run
// that cannot start, else 0.
int CheckList(const ReadOptions& options, const Settings& settings, const shell::FileList& list,
              const std::optional<shell::PassGrouping>& grouping) {
    if (list.empty()) {
        std::fprintf(stderr, "karvona read: no photographs to read\n");
        return 1;
    }
    const int total = static_cast<int>(list.size());
    if (options.startRow > total) {
        std::fprintf(stderr, "karvona read: --start %d is past the last of %d photographs\n",
                     options.startRow, total);
        return 2;
    }
    if (grouping &&
        std::none_of(list.rows().begin(), list.rows().end(),
                     [&](const shell::FileRow& row) { return grouping->Groups(row.path); })) {
        std::fprintf(stderr,
                     "karvona read: --passes: the pattern matches no file name; every photograph "
                     "is read as a pass of its own\n");
    }
    if (!CreateOutputFolder(settings.annotateFolder) ||
        !CreateOutputFolder(settings.swatchFolder) || !CreateOutputFolder(settings.stepsFolder)) {
        return 1;
    }
    return 0;
}

/// The options read before any file is touched: the language of the notes, the passes'
/// grouping, and standard input given at most once. False (with the reason on stderr) when one
/// is refused.
bool ParseRunOptions(const ReadOptions& options, shell::Language& language,
                     std::optional<shell::PassGrouping>& grouping) {
    if (!options.language.empty() && !shell::ParseLanguage(options.language, language)) {
        std::fprintf(stderr, "karvona read: --lang takes ko or en\n");
        return false;
    }
    if (!options.passes.empty()) {
        std::string error;
        grouping = shell::PassGrouping::FromOption(options.passes, error);
        if (!grouping) {
            std::fprintf(stderr, "karvona read: --passes: %s\n", error.c_str());
            return false;
        }
    }
    if (std::count(options.paths.begin(), options.paths.end(), "-") > 1) {
        std::fprintf(stderr, "karvona read: standard input (-) can be given once\n");
        return false;
    }
    return true;
}

}  // namespace

int RunRead(const ReadOptions& options) {
    Settings settings = SettingsFrom(options);
    shell::PixelBudget pixelBudget(kPixelBudget);
    settings.pixels = &pixelBudget;
    FILE* notes = settings.format == OutputFormat::kText ? stdout : stderr;
    shell::Language language = shell::LanguageFromEnvironment();
    std::optional<shell::PassGrouping> grouping;
    if (!ParseRunOptions(options, language, grouping))
        return 2;
    StandardInputPhotograph standardInput;
    recognition::ReferenceDataSet data;
    if (!LoadReferenceDataOrReport(options.dataFolder, "read", data, nullptr, options.strict)) {
        std::fprintf(stderr, "karvona read: nothing was read\n");
        return kNoReferenceDataExit;
    }

    shell::FileList list;
    int standardInputRow = -1;
    if (!ListPhotographs(options, standardInput, list, standardInputRow))
        return 1;
    if (const int refused = CheckList(options, settings, list, grouping); refused != 0)
        return refused;
    PrepareArchiveAndSamples(options, notes, language);

    const shell::BatchOptions batch = BatchOptionsFrom(options);
    if (options.jobs > 1) {
        // The workers fill the cores; the library's own threads inside one photograph would
        // only compete with them.
        cv::setNumThreads(1);
    }
    const std::vector<shell::FileRow>& rows = list.rows();
    const karvona::ReferenceData shared = recognition::ShareReferenceData(data.View());
    karvona::ReadOptions readOptions;
    readOptions.strict = options.strict;
    readOptions.colour = settings.colour;
    if (batch.jobs <= 1) {
        // One photograph at a time leaves the other cores to its second looks.
        readOptions.lookThreads = shell::LookThreadsBeside(1);
    }
    auto makeReader = [&](int) -> shell::PhotoReader {
        const int start = batch.startRow;
        return [&, start](const fs::path&, int processedCount) {
            const int row = start + processedCount;
            return ReadOne(shared, readOptions, settings, rows[static_cast<size_t>(row)], row,
                           processedCount);
        };
    };

    std::optional<shell::PassCollector> passes;
    if (grouping)
        passes.emplace(rows, batch.startRow, *grouping, data.prefixes, standardInputRow);
    if (settings.format == OutputFormat::kCsv) {
        std::printf("%s\n", passes ? PassCsvHeader().c_str()
                                   : CsvHeader(settings.colour, !options.strict).c_str());
        std::fflush(stdout);
    }
    const int toRead = static_cast<int>(list.size()) - batch.startRow;
    int unreadable = 0;
    shell::BatchCounts counts;
    {
        InterruptStopsRun interruptible;
        ProgressBar progress(toRead, ProgressBar::StderrIsTerminal());
        RowPrinter printer{options, settings, rows, standardInputRow, passes, progress};
        counts = shell::RunBatch(rows, batch, makeReader, stopRequested,
                                 [&printer](const shell::RowOutcome& done) { printer(done); });
        unreadable = printer.unreadable;
    }
    FinishRun(passes, settings, counts, standardInputRow, notes, language);
    const bool stopped = counts.processedCount < toRead;
    return unreadable > 0 || stopped || !counts.notArchived.empty() ? 1 : 0;
}

}  // namespace karvona::cli
