// karvona: the command-line front end.
//
//   karvona read [--data DIR] [--start N] [--backup [--keep-names]] [--save-samples] [--colour]
//                [--steps DIR] [--annotate DIR] [--format text|csv|json] [--jobs N]
//                [--lang ko|en] PATH...
//   karvona synth --seed S --count N --out DIR [--layouts LIST] [--size WxH]
//   karvona harvest --photos DIR --out SAMPLES [--data DIR [--align] | --boxes] [--montage DIR]
//   karvona train --samples DIR... [--real DIR [--real-repeat N] [--balance]] --letters FILE
//                 --digits FILE [--norm WxH] [--grid WxH] [--protos N]
//   karvona calibrate --photos DIR... --out FILE [--data DIR] [--jobs N]
//   karvona --version
//   karvona serve [--listen HOST:PORT] [--jobs N] [--timeout S] [--data DIR] [--db FILE]
//   karvona export --db FILE --out DIR [--since TIME]
//
// `read` prints one line per photograph (text, CSV or one JSON object). Every subcommand ends
// with exit code 0 when all went well, 1 when some photograph could not be read or written (or
// the run was stopped), 2 on bad usage.

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <opencv2/core/utils/logger.hpp>
#include <string>
#include <vector>

#include "cli/export_command.hpp"
#include "cli/read_command.hpp"
#include "cli/serve_command.hpp"
#include "cli/synth_command.hpp"
#include "cli/train_command.hpp"
#include "imaging/heap.hpp"

namespace {

// Edits (insertions, deletions, substitutions) that turn a into b.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// A first argument that is neither an option nor a subcommand: says so, names the nearest
// subcommand, and returns true.
bool ReportUnknownCommand(CLI::App& app, int argc, char** argv) {
    if (argc < 2 || argv[1][0] == '-')
        return false;
    const std::string given = argv[1];
    std::string nearest, names;
    size_t best = 0;
    for (const CLI::App* command : app.get_subcommands({})) {
        const std::string& name = command->get_name();
        if (name == given)
            return false;
        const size_t distance = EditDistance(given, name);
        if (nearest.empty() || distance < best) {
            nearest = name;
            best = distance;
        }
        names += (names.empty() ? "" : ", ") + name;
    }
    std::fprintf(stderr, "karvona: unknown command \"%s\"", given.c_str());
    if (!nearest.empty() && best <= std::max<size_t>(2, given.size() / 3))
        std::fprintf(stderr, "; did you mean \"%s\"?", nearest.c_str());
    std::fprintf(stderr, "\nThe commands are %s; run karvona --help for more.\n", names.c_str());
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Unreadable photographs are reported in the output; the library's own warnings would only
    // repeat them.
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    karvona::imaging::KeepFreedMemoryForReuse();
    CLI::App app{"Karvona reads ISO 6346 container codes from photographs."};
    app.set_version_flag("--version", std::string("karvona ") + KARVONA_VERSION);
    app.require_subcommand(1);

    karvona::cli::ReadOptions read;
    CLI::App* readCommand = karvona::cli::AddReadCommand(app, read);
    karvona::cli::AddSynthCommand(app);
    AddTrainingCommands(app);
    karvona::cli::ServeOptions serve;
    CLI::App* serveCommand = karvona::cli::AddServeCommand(app, serve);
    karvona::cli::ExportOptions exportOptions;
    CLI::App* exportCommand = karvona::cli::AddExportCommand(app, exportOptions);
    // Each subcommand answers --version too, and lists it in its help.
    for (CLI::App* command : app.get_subcommands({}))
        command->set_version_flag("--version", std::string("karvona ") + KARVONA_VERSION);

    if (ReportUnknownCommand(app, argc, argv))
        return 2;
    try {
        app.parse(argc, argv);
    } catch (const CLI::RuntimeError& error) {
        return error.get_exit_code();  // a subcommand that failed after parsing
    } catch (const CLI::ParseError& error) {
        const int code = app.exit(error);
        return code == 0 ? 0 : 2;  // help and version end with 0, every usage error with 2
    } catch (const CLI::Error& error) {
        return app.exit(error);
    }
    if (readCommand->parsed())
        return karvona::cli::RunRead(read);
    if (serveCommand->parsed())
        return karvona::cli::RunServe(serve);
    if (exportCommand->parsed())
        return karvona::cli::RunExport(exportOptions);
    return 0;  // the other subcommands ran while parsing and throw when they fail
}
