#include "shell/batch.hpp"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "recognition/folders.hpp"
#include "shell/messages.hpp"

namespace karvona::shell {
namespace {

namespace fs = std::filesystem;

// The result text goes into a file name; a path separator in it must not lead elsewhere.
std::string FileNameSafe(std::string text) {
    std::replace(text.begin(), text.end(), '/', '-');
    std::replace(text.begin(), text.end(), '\0', '-');
    return text;
}

std::string Numbered(const char* format, int number, const std::string& a, const std::string& b) {
    const int size = std::snprintf(nullptr, 0, format, number, a.c_str(), b.c_str());
    std::string text(static_cast<size_t>(std::max(size, 0)) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, number, a.c_str(), b.c_str());
    text.resize(text.size() - 1);
    return text;
}

RecognitionResult RecognizeSafely(const PhotoReader& recognize, const fs::path& photograph,
                                  int processed) {
    try {
        return recognize ? recognize(photograph, processed) : RecognitionResult{};
    } catch (...) {
        return RecognitionResult{};  // a photograph that cannot be read is one without a code
    }
}

long long ElapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

}  // namespace

int LookThreadsBeside(int workers) {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return std::clamp(cores / std::max(1, workers), 1, 4);
}

std::vector<fs::path> ArchiveFolders(const fs::path& recognizedFolder, bool withReview) {
    std::vector<fs::path> folders{recognizedFolder};
    for (Outcome outcome :
         {Outcome::kPerfect, Outcome::kMistake, Outcome::kTryMore, Outcome::kUn}) {
        folders.push_back(recognizedFolder / OutcomeFolderName(outcome));
    }
    if (withReview)
        folders.push_back(recognizedFolder / OutcomeFolderName(Outcome::kReview));
    return folders;
}

bool CreateArchiveFolders(const fs::path& recognizedFolder, bool withReview) {
    bool all = true;
    for (const fs::path& folder : ArchiveFolders(recognizedFolder, withReview)) {
        all = CreateFolder(folder) && all;
    }
    return all;
}

std::string ArchiveFileName(Outcome outcome, bool keepFileName, int row, const std::string& result,
                            const FileRow& photograph) {
    const std::string name = fs::path(photograph.name).filename().string();
    if (keepFileName) {
        return outcome == Outcome::kUn ? Numbered("%06d_%s%s", row + 1, name, "") : name;
    }
    const std::string fileName = photograph.path.filename().string();
    const std::string_view extension = ExtensionOf(fileName);
    const std::string dotted = extension.empty() ? "" : "." + std::string(extension);
    return Numbered("%06d_[%s]%s", row + 1, FileNameSafe(result), dotted);
}

BatchRecorder::BatchRecorder(const BatchOptions& options, int total)
    : options_(options), total_(total) {
    if (options_.recognizedFolder.empty()) {
        options_.recognizedFolder = recognition::RecognizedFolder();
    }
}

RowOutcome BatchRecorder::Record(int row, const FileRow& photograph,
                                 const RecognitionResult& reading) {
    RowOutcome done;
    done.row = row;
    done.total = total_;
    done.reading = reading;
    done.outcome = ClassifyOutcome(reading);
    if (done.outcome == Outcome::kPerfect) {
        ++counts_.perfect;
    } else if (done.outcome == Outcome::kReview) {
        ++counts_.review;
    } else if (done.outcome != Outcome::kUn) {
        ++counts_.partial;
    }
    if (options_.backupOn) {
        done.archivePath =
            options_.recognizedFolder / OutcomeFolderName(done.outcome) /
            ArchiveFileName(done.outcome, options_.keepFileName, row, reading.code, photograph);
        const fs::path wanted = done.archivePath;
        done.archiveCopy = CopyToFreeName(photograph.path, done.archivePath);
        done.archiveError = LastCopyError();
        if (*done.archiveCopy != FileOpStatus::kDone) {
            counts_.notArchived.push_back({row, photograph.path, wanted, *done.archiveCopy});
        }
    }
    if (reading.status != recognition::LoadStatus::Ok) {
        ++counts_.notRead[reading.status];
    }
    done.processedCount = ++counts_.processedCount;
    return done;
}

BatchCounts RunBatch(const std::vector<FileRow>& rows, const BatchOptions& options,
                     const PhotoReaderFactory& makeReader, const std::atomic<bool>& stopRequested,
                     const RowCallback& onRow) {
    const int total = static_cast<int>(rows.size());
    const int start = std::clamp(options.startRow, 0, total);
    BatchRecorder recorder(options, total);
    const auto t0 = std::chrono::steady_clock::now();

    auto record = [&](int row, const RecognitionResult& reading) {
        const RowOutcome done = recorder.Record(row, rows[row], reading);
        if (onRow) {
            onRow(done);
        }
    };

    const int jobs = std::clamp(options.jobs, 1, std::max(1, total - start));
    if (jobs == 1) {
        const PhotoReader recognize = makeReader ? makeReader(0) : PhotoReader{};
        for (int row = start; row < total && !stopRequested.load(); ++row) {
            record(row, RecognizeSafely(recognize, rows[row].path, row - start));
        }
    } else {
        std::vector<PhotoReader> recognizers;
        for (int worker = 0; worker < jobs; ++worker) {
            recognizers.push_back(makeReader ? makeReader(worker) : PhotoReader{});
        }
        std::mutex mutex;
        std::condition_variable changed;
        std::vector<std::optional<RecognitionResult>> readings(static_cast<size_t>(total - start));
        int next = start;  // the next row a worker takes; rows are taken in order
        int finishedWorkers = 0;

        auto work = [&](int worker) {
            for (;;) {
                int row;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    if (next >= total || stopRequested.load()) {
                        break;
                    }
                    row = next++;
                }
                RecognitionResult reading =
                    RecognizeSafely(recognizers[worker], rows[row].path, row - start);
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    readings[row - start] = std::move(reading);
                }
                changed.notify_all();
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                ++finishedWorkers;
            }
            changed.notify_all();
        };

        std::vector<std::thread> workers;
        for (int worker = 0; worker < jobs; ++worker) {
            workers.emplace_back(work, worker);
        }
        // Every row taken by a worker is finished, and rows are taken in order, so the rows
        // recorded here are always the first ones of the run, whatever the stop.
        for (int row = start; row < total; ++row) {
            RecognitionResult reading;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] {
                    return readings[row - start].has_value() || finishedWorkers == jobs;
                });
                if (!readings[row - start].has_value()) {
                    break;
                }
                reading = std::move(*readings[row - start]);
            }
            record(row, reading);
        }
        for (std::thread& worker : workers) {
            worker.join();
        }
    }

    BatchCounts counts = recorder.counts();
    counts.elapsedMs = ElapsedMs(t0);
    return counts;
}

int BatchCounts::NotReadCount() const {
    int total = 0;
    for (const auto& [status, count] : notRead) {
        total += count;
    }
    return total;
}

std::string FormatStatistics(const BatchCounts& counts) {
    return FormatStatistics(counts, StatisticsTextsFor(Language::kKorean));
}

std::string FormatStatistics(const BatchCounts& counts, const StatisticsTexts& given) {
    const int processed = counts.processedCount;
    if (processed <= 0) {
        return {};
    }
    // The formats come from a translation; one that would read other arguments is not used.
    const StatisticsTexts korean = StatisticsTextsFor(Language::kKorean);
    auto format = [&](const std::string& text, const std::string& reference) {
        return SameConversions(text, reference) ? text.c_str() : reference.c_str();
    };
    const int read = counts.perfect + counts.review + counts.partial;
    const int seconds = static_cast<int>(counts.elapsedMs / 1000);
    const int perFile = static_cast<int>(counts.elapsedMs / processed);
    char buffer[1024];
    std::snprintf(buffer, sizeof buffer, format(given.format, korean.format), processed, read,
                  100.0 * read / processed, counts.perfect, 100.0 * counts.perfect / processed,
                  counts.partial, 100.0 * counts.partial / processed, seconds, perFile);
    std::string text = buffer;
    if (counts.review > 0) {
        std::snprintf(buffer, sizeof buffer, format(given.review, korean.review), counts.review,
                      100.0 * counts.review / processed);
        text += buffer;
    }

    if (const int notRead = counts.NotReadCount(); notRead > 0) {
        std::snprintf(buffer, sizeof buffer, format(given.notRead, korean.notRead), notRead);
        text += std::string("\n\n") + buffer;
        const char* separator = " ";
        for (const auto& [status, count] : counts.notRead) {
            const size_t index = static_cast<size_t>(status);
            const std::string& reason =
                index < given.reasons.size() && !given.reasons[index].empty()
                    ? given.reasons[index]
                    : korean.reasons[index % korean.reasons.size()];
            text += separator + reason + " " + std::to_string(count);
            separator = ", ";
        }
    }
    if (!counts.notArchived.empty()) {
        const int failed = static_cast<int>(counts.notArchived.size());
        std::snprintf(buffer, sizeof buffer, format(given.notArchived, korean.notArchived), failed);
        text += std::string("\n\n") + buffer;
        for (int i = 0; i < failed && i < kNamesInStatistics; ++i) {
            text += "\n  " + counts.notArchived[static_cast<size_t>(i)].photograph.string();
        }
        if (failed > kNamesInStatistics) {
            std::snprintf(buffer, sizeof buffer, format(given.more, korean.more),
                          failed - kNamesInStatistics);
            text += std::string("\n  ") + buffer;
        }
    }
    return text;
}

}  // namespace karvona::shell
