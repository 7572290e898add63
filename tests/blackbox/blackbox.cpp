// Black-box accuracy runner: reads every labelled photograph of a set (a folder with
// labels.csv: file,code[,layout or notes]) with the shipped reference data and prints, per set and
// per layout, how many were read perfectly, partially, misread (a validated reading that differs
// from the label) or not at all, and the milliseconds per photograph. With --floors it compares
// the counts with a table of minimum perfect counts and maximum misreads and fails when a count
// falls below its floor. After each set come its character confusions (confusion.hpp); with
// --montage DIR the crops of every confusion pair are written as DIR/<set>/<label>_as_<read>.png.
//
//   blackbox --data DIR [--floors FILE] [--verbose] [--montage DIR] SET...
//
// A floors file holds lines "set perfect-min misread-max" (set = the folder's name); '#' starts a
// comment. A set that is not there (e.g. photographs outside this machine) is skipped.

#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <opencv2/core/utils/logger.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "confusion.hpp"
#include "imaging/heap.hpp"
#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"
#include "training/harvest.hpp"

namespace fs = std::filesystem;
using namespace karvona::recognition;

namespace {

struct Tally {
    int photos = 0, perfect = 0, partial = 0, misread = 0, none = 0;
    long long ms = 0;
    void Add(const Tally& o) {
        photos += o.photos;
        perfect += o.perfect;
        partial += o.partial;
        misread += o.misread;
        none += o.none;
        ms += o.ms;
    }
};

// A set's labels; a third column that is not a layout code (notes) counts as no layout.
std::vector<karvona::training::LabelledPhoto> ReadSet(const fs::path& csv) {
    std::vector<karvona::training::LabelledPhoto> rows;
    std::vector<std::string> problems;
    karvona::training::ReadLabels(csv, rows, problems);
    for (const std::string& problem : problems)
        std::cerr << csv.string() << ": " << problem << '\n';
    for (auto& row : rows) {
        if (row.layout.empty() || row.layout.find_first_not_of("0123456789") != std::string::npos)
            row.layout = "-";
    }
    return rows;
}

void Print(const std::string& name, const Tally& t) {
    std::printf(
        "%-28s photos %4d  perfect %4d (%5.1f%%)  partial %4d  misread %3d  none %4d  %5.0f "
        "ms/photo\n",
        name.c_str(), t.photos, t.perfect, t.photos ? 100.0 * t.perfect / t.photos : 0.0, t.partial,
        t.misread, t.none, t.photos ? double(t.ms) / t.photos : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    karvona::imaging::KeepFreedMemoryForReuse();
    CLI::App app{"Black-box accuracy of the reader on labelled photograph sets"};
    std::string data = "data";
    std::string floorsFile;
    bool verbose = false;
    std::vector<std::string> sets;
    app.add_option("--data", data, "Folder of prefixes.trn, numbers.trn and prefix.txt");
    app.add_option("--floors", floorsFile, "Table of minimum counts");
    app.add_flag("--verbose", verbose, "One line per photograph");
    std::string montage;
    app.add_option("--montage", montage, "Folder for the crops of each confusion pair");
    app.add_option("sets", sets, "Folders with labels.csv")->required();
    CLI11_PARSE(app, argc, argv);

    ReferenceDataSet reference;
    std::vector<std::string> messages;
    LoadReferenceData(data, reference, messages);
    for (const auto& m : messages)
        std::cerr << m << '\n';

    std::map<std::string, std::pair<int, int>> floors;  // set -> (perfect min, misread max)
    if (!floorsFile.empty()) {
        std::ifstream in(floorsFile);
        if (!in) {
            std::cerr << "cannot read " << floorsFile << '\n';
            return 2;
        }
        std::string line;
        while (std::getline(in, line)) {
            if (const auto hash = line.find('#'); hash != std::string::npos)
                line.erase(hash);
            std::istringstream fields(line);
            std::string set;
            int perfect = 0, misread = 0;
            if (fields >> set >> perfect >> misread)
                floors[set] = {perfect, misread};
        }
    }

    int failures = 0;
    for (const std::string& setPath : sets) {
        const fs::path folder(setPath);
        const std::string name = folder.filename().empty()
                                     ? folder.parent_path().filename().string()
                                     : folder.filename().string();
        if (!fs::exists(folder / "labels.csv")) {
            std::printf("%-28s skipped (no labels.csv here)\n", name.c_str());
            continue;
        }
        Recognizer recognizer(reference.View());
        std::map<std::string, Tally> perLayout;
        Tally total;
        karvona::blackbox::ConfusionTable confusions;
        for (const auto& row : ReadSet(folder / "labels.csv")) {
            recognizer.RecognizeImage(folder / row.file);
            Tally t;
            t.photos = 1;
            t.ms = recognizer.result.ms;
            const char* verdict;
            if (recognizer.result.complete && recognizer.resultText == row.code) {
                t.perfect = 1;
                verdict = "perfect";
            } else if (recognizer.result.complete) {
                t.misread = 1;
                verdict = "MISREAD";
            } else if (!recognizer.resultText.empty()) {
                t.partial = 1;
                verdict = "partial";
            } else {
                t.none = 1;
                verdict = "none";
            }
            if (verbose) {
                std::printf("  %-36s %-11s %-11s layout %s->%d %s\n", row.file.c_str(),
                            row.code.c_str(), recognizer.resultText.c_str(), row.layout.c_str(),
                            recognizer.result.layoutCode, verdict);
            }
            perLayout[row.layout].Add(t);
            total.Add(t);
            confusions.Add(row.code, recognizer.WinningReading().characters);
        }
        Print(name, total);
        if (perLayout.size() > 1) {
            for (const auto& [layout, t] : perLayout)
                Print("  layout " + layout, t);
        }
        confusions.Print(std::cout);
        if (!montage.empty()) {
            std::string error;
            const int written =
                confusions.WriteMontages((fs::path(montage) / name).string(), error);
            if (!error.empty())
                std::cerr << error << '\n';
            std::printf("  %d confusion montages in %s\n", written,
                        (fs::path(montage) / name).string().c_str());
        }
        if (const auto it = floors.find(name); it != floors.end()) {
            const auto [minPerfect, maxMisread] = it->second;
            if (total.perfect < minPerfect) {
                std::printf("FLOOR %s: perfect %d is below its floor %d\n", name.c_str(),
                            total.perfect, minPerfect);
                ++failures;
            } else if (total.perfect > minPerfect) {
                std::printf("note %s: perfect %d is above its floor %d; raise the floor\n",
                            name.c_str(), total.perfect, minPerfect);
            }
            if (total.misread > maxMisread) {
                std::printf("FLOOR %s: misread %d is above its limit %d\n", name.c_str(),
                            total.misread, maxMisread);
                ++failures;
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
