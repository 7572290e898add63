// karvona: the command-line front end.
//
//   karvona read [--data DIR] [--json] PHOTO...
//   karvona synth --seed S --count N --out DIR [--layouts LIST] [--size WxH]
//   karvona harvest --photos DIR --out SAMPLES
//   karvona train --samples DIR --letters FILE --digits FILE [--norm WxH] [--grid WxH] [--protos N]
//
// One line per photograph (or one JSON object per line with --json). Exit code 0 when every
// photograph was read, 1 when some could not be, 2 on bad usage.

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>
#include <nlohmann/json.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <string>
#include <vector>

#include "cli/synth_command.hpp"
#include "cli/train_command.hpp"
#include "imaging/heap.hpp"
#include "recognition/recognizer.hpp"
#include "recognition/reference_data.hpp"

namespace {

using namespace karvona::recognition;

struct ReadOptions {
    std::string dataFolder = ".";
    bool json = false;
    std::vector<std::string> photos;
};

const char* StatusText(LoadStatus status) {
    switch (status) {
        case LoadStatus::Ok:
            return "ok";
        case LoadStatus::TooLarge:
            return "too-large";
        default:
            return "unreadable";
    }
}

const char* ReaderText(Winner winner) {
    switch (winner) {
        case Winner::Morphology:
            return "morphology";
        case Winner::Cluster:
            return "cluster";
        default:
            return "none";
    }
}

int RunRead(const ReadOptions& options) {
    ReferenceDataSet data;
    std::vector<std::string> messages;
    LoadReferenceData(options.dataFolder, data, messages);
    for (const std::string& message : messages)
        std::cerr << message << '\n';

    Recognizer recognizer(data.View());
    int failures = 0;
    for (const std::string& photo : options.photos) {
        recognizer.RecognizeImage(photo);
        if (recognizer.status != LoadStatus::Ok)
            ++failures;
        const bool located = recognizer.layoutCode >= 0;
        if (options.json) {
            nlohmann::json line = {
                {"file", photo},
                {"code", recognizer.resultText},
                {"complete", recognizer.complete},
                {"layout", located ? recognizer.layoutCode : -1},
                {"layoutText", located ? LayoutText(recognizer.layoutCode, "") : ""},
                {"reader", ReaderText(recognizer.winner)},
                {"ms", recognizer.elapsedMs},
                {"status", StatusText(recognizer.status)},
            };
            std::cout << line.dump() << '\n';
        } else {
            std::printf("%s\t%s\t%s\t%s\t%dms%s\n", photo.c_str(),
                        recognizer.resultText.empty() ? "-" : recognizer.resultText.c_str(),
                        recognizer.complete ? "complete" : "incomplete",
                        located ? LayoutText(recognizer.layoutCode, "").c_str() : "no region",
                        recognizer.elapsedMs,
                        recognizer.status == LoadStatus::Ok
                            ? ""
                            : (std::string("\t") + StatusText(recognizer.status)).c_str());
        }
        std::fflush(stdout);
    }
    return failures > 0 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Unreadable photographs are reported in the output; the library's own warnings would only
    // repeat them.
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    karvona::imaging::KeepFreedMemoryForReuse();
    CLI::App app{"Karvona reads ISO 6346 container codes from photographs."};
    app.require_subcommand(1);

    ReadOptions read;
    CLI::App* readCommand = app.add_subcommand("read", "Read the code of each photograph");
    readCommand
        ->add_option("--data", read.dataFolder,
                     "Folder of prefixes.trn, numbers.trn and prefix.txt")
        ->capture_default_str();
    readCommand->add_flag("--json", read.json, "One JSON object per photograph");
    readCommand->add_option("photos", read.photos, "Photographs (BMP or JPEG)")->required();

    karvona::cli::AddSynthCommand(app);
    AddTrainingCommands(app);

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;
    } catch (const CLI::Error& error) {
        return app.exit(error);  // a subcommand that failed after parsing
    }
    if (readCommand->parsed())
        return RunRead(read);
    return 2;
}
