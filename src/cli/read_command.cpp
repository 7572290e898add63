#include "cli/read_command.hpp"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <optional>
#include <string>
#include <vector>

#include "cli/progress.hpp"
#include "imaging/step_view.hpp"
#include "recognition/folders.hpp"
#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"
#include "shell/batch.hpp"
#include "shell/file_list.hpp"
#include "shell/messages.hpp"
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
};

// Reads one photograph with one worker's recognizer and writes the pictures asked for. Only the
// photograph's own images are written: a panel or swatch that a previous photograph left behind
// (no winner, no colour) is not, so the files do not depend on which worker read what before.
shell::Reading ReadOne(recognition::Recognizer& recognizer, const Settings& settings,
                       const shell::FileRow& photo, int row, int processedCount) {
    const std::string tag = PhotoTag(row, photo);
    std::optional<imaging::PngStepViewer> steps;
    if (!settings.stepsFolder.empty()) {
        steps.emplace(settings.stepsFolder / tag);
        recognizer.options.viewer = &*steps;
    }
    recognizer.processedCount = processedCount;
    recognizer.RecognizeImage(photo.path);
    recognizer.options.viewer = nullptr;

    shell::Reading result = recognizer.result;
    const bool loaded = result.status == LoadStatus::Ok;
    if (!(loaded && settings.colour))
        result.hue = -1.0f;

    if (!settings.annotateFolder.empty() && loaded) {
        WritePng(settings.annotateFolder / (tag + "-display.png"), recognizer.displayImage);
        if (result.reader != Winner::None) {
            WritePng(settings.annotateFolder / (tag + "-panel.png"), recognizer.panelImage);
        }
    }
    if (!settings.swatchFolder.empty() && result.hue >= 0) {
        WritePng(settings.swatchFolder / (tag + "-swatch.png"), recognizer.swatchImage);
    }
    return result;
}

bool CreateOutputFolder(const fs::path& folder) {
    if (folder.empty() || shell::CreateFolder(folder)) {
        return true;
    }
    std::fprintf(stderr, "karvona read: cannot create the folder %s\n", folder.c_str());
    return false;
}

}  // namespace

CLI::App* AddReadCommand(CLI::App& app, ReadOptions& read) {
    CLI::App* command = app.add_subcommand(
        "read", "Read the code of each photograph: a batch run over files and folders");
    command
        ->add_option("--data", read.dataFolder,
                     "Folder of prefixes.trn, numbers.trn and prefix.txt")
        ->capture_default_str();
    command
        ->add_option("--start", read.startRow,
                     "First row to read, counted from 1 as the row column and the archive "
                     "numbers are; earlier rows are skipped")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    CLI::Option* backup =
        command->add_flag("--backup", read.backup,
                          "Copy each photograph into the archive under the root folder "
                          "(recognized/perpect, mistake, trymore, un, and review unless --strict), "
                          "named NNNNNN_[CODE].ext; "
                          "an existing file is never replaced");
    command
        ->add_flag("--keep-names", read.keepNames,
                   "With --backup: archive copies keep their own names (un: NNNNNN_name)")
        ->needs(backup);
    command->add_flag("--save-samples", read.saveSamples,
                      "Save every classified character as characters/C/C_NNNNN_II_.bmp under "
                      "the root folder (NNNNN: photographs before it in the run)");
    command->add_flag(
        "--colour", read.colour,
        "Print the dominant hue of each photograph (a hue column or key; -1 or '-' when "
        "there is none)");
    command->add_option("--swatches", read.swatchFolder,
                        "With --colour: write each 5x5 colour swatch as NNNNNN_name-swatch.png "
                        "into this folder (default: the --annotate folder, if any)");
    command->add_option("--steps", read.stepsFolder,
                        "Write every step view as PNG files, one subfolder NNNNNN_name per "
                        "photograph");
    command->add_option("--annotate", read.annotateFolder,
                        "Write what the window shows: NNNNNN_name-display.png (the photograph "
                        "with the code region pasted in its corner) and NNNNNN_name-panel.png "
                        "(the winning reader's characters, when a reader won)");
    CLI::Option* format =
        command->add_option("--format", read.format, "Output lines: text, csv or json")
            ->check(CLI::IsMember({"text", "csv", "json"}))
            ->capture_default_str();
    command->add_flag("--json", read.json, "The same as --format json")->excludes(format);
    command
        ->add_option("--jobs", read.jobs,
                     "Photographs read at once; results, archive and sample names are those "
                     "of --jobs 1")
        ->check(CLI::PositiveNumber)
        ->capture_default_str();
    command->add_flag("--strict", read.strict,
                      "Only the single pass on each photograph as given, as the program always "
                      "read: no working scale, no second look, no check-digit choice; every "
                      "validated code is perfect and no confidence or pass is printed");
    command->add_option("paths", read.paths, "Photographs (BMP or JPEG) and folders to scan")
        ->required();
    command->footer(
        "Folders are scanned with their subfolders for .jpg and .bmp files in name order. Lines "
        "come in row order. The fixed folders live under $KARVONA_ROOT (default ~/karvona). "
        "At the end the statistics of the run are printed (stdout for text, else stderr); "
        "Ctrl-C stops after the photographs under way and still prints them. A progress bar "
        "is drawn on stderr when it is a terminal. Exit code: 0 when every photograph was "
        "read, 1 when some could not be or the run was stopped, 2 on bad usage.");
    return command;
}

int RunRead(const ReadOptions& options) {
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
    FILE* notes = settings.format == OutputFormat::kText ? stdout : stderr;

    shell::FileList list;
    for (const std::string& path : options.paths) {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            if (list.AddFolder(path) == 0) {
                std::fprintf(stderr, "karvona read: no photographs in %s\n", path.c_str());
            }
        } else {
            list.AddFile(path);
        }
    }
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
    if (!CreateOutputFolder(settings.annotateFolder) ||
        !CreateOutputFolder(settings.swatchFolder) || !CreateOutputFolder(settings.stepsFolder)) {
        return 1;
    }

    recognition::ReferenceDataSet data;
    std::vector<std::string> messages;
    recognition::LoadReferenceData(options.dataFolder, data, messages);
    for (const std::string& message : messages) {
        std::fprintf(stderr, "%s\n", message.c_str());
    }

    // Switching an option on tells the operator where its files go and makes the folders.
    if (options.backup) {
        const fs::path archive = recognition::RecognizedFolder();
        std::fprintf(notes, "%s\n", shell::BackupMessage(archive).c_str());
        if (!shell::CreateArchiveFolders(archive, !options.strict)) {
            std::fprintf(stderr, "karvona read: cannot create the archive folders in %s\n",
                         archive.c_str());
        }
    }
    if (options.saveSamples) {
        const fs::path samples = recognition::CharactersFolder();
        std::fprintf(notes, "%s\n", shell::SamplesMessage(samples).c_str());
        if (!shell::CreateSampleFolders(samples)) {
            std::fprintf(stderr, "karvona read: cannot create the sample folders in %s\n",
                         samples.c_str());
        }
    }
    std::fflush(notes);

    shell::BatchOptions batch;
    batch.startRow = options.startRow - 1;
    batch.backupOn = options.backup;
    batch.keepFileName = options.keepNames;
    batch.jobs = options.jobs;
    batch.recognizedFolder = recognition::RecognizedFolder();
    if (options.jobs > 1) {
        // The workers fill the cores; the library's own threads inside one photograph would
        // only compete with them.
        cv::setNumThreads(1);
    }

    const std::vector<shell::FileRow>& rows = list.rows();
    const recognition::ReferenceData view = data.View();
    auto makeRecognizer = [&](int) -> shell::Recognizer {
        auto recognizer = std::make_shared<recognition::Recognizer>(view);
        recognizer->options.strict = options.strict;
        recognizer->options.colourPass = settings.colour;
        recognizer->options.saveSamples = options.saveSamples;
        recognizer->options.locatorStepView = !settings.stepsFolder.empty();
        recognizer->options.readerStepView = !settings.stepsFolder.empty();
        const int start = batch.startRow;
        return [recognizer, start, &settings, &rows](const fs::path&, int processedCount) {
            const int row = start + processedCount;
            return ReadOne(*recognizer, settings, rows[static_cast<size_t>(row)], row,
                           processedCount);
        };
    };

    if (settings.format == OutputFormat::kCsv) {
        std::printf("%s\n", CsvHeader(settings.colour, !options.strict).c_str());
        std::fflush(stdout);
    }
    const int toRead = total - batch.startRow;
    int unreadable = 0;
    shell::BatchCounts counts;
    {
        InterruptStopsRun interruptible;
        ProgressBar progress(toRead, ProgressBar::StderrIsTerminal());
        counts = shell::RunBatch(
            rows, batch, makeRecognizer, stopRequested, [&](const shell::RowOutcome& done) {
                const shell::FileRow& photo = rows[static_cast<size_t>(done.row)];
                if (done.reading.status != LoadStatus::Ok) {
                    ++unreadable;
                }
                progress.Clear();
                const ReadingRow where{done.row + 1, photo.path.string()};
                shell::Reading reading = done.reading;
                if (!options.strict && !reading.judged()) {
                    // A recognition that failed outright still gets the columns of its run.
                    reading.confidence = 0.0f;
                    reading.pass = "none";
                }
                std::printf("%s\n",
                            ReadingLine(settings.format, where, reading, settings.colour).c_str());
                std::fflush(stdout);
                if (done.archiveCopy && *done.archiveCopy != shell::FileOpStatus::kDone) {
                    std::fprintf(stderr, "karvona read: not archived (%s): %s\n",
                                 *done.archiveCopy == shell::FileOpStatus::kTargetExists
                                     ? "the name is taken"
                                     : "copy failed",
                                 done.archivePath.c_str());
                }
                progress.Update(done.processedCount);
            });
    }

    const std::string statistics = shell::FormatStatistics(counts);
    if (!statistics.empty()) {
        std::fprintf(notes, "\n%s\n%s\n", shell::kStatisticsCaption, statistics.c_str());
        std::fflush(notes);
    }
    const bool stopped = counts.processedCount < toRead;
    return unreadable > 0 || stopped ? 1 : 0;
}

}  // namespace karvona::cli
