// karvona: the command-line front end.
//
//   karvona read [--data DIR] [--start N] [--backup [--keep-names]] [--save-samples] [--colour]
//                [--steps DIR] [--annotate DIR] [--format text|csv|json] [--jobs N]
//                [--lang ko|en] PATH...
//   karvona synth --seed S --count N --out DIR [--layouts LIST] [--size WxH]
//   karvona harvest --photos DIR --out SAMPLES [--data DIR [--align]] [--montage DIR]
//   karvona train --samples DIR... [--real DIR [--real-repeat N] [--balance]] --letters FILE
//                 --digits FILE [--norm WxH] [--grid WxH] [--protos N]
//   karvona calibrate --photos DIR... --out FILE [--data DIR] [--jobs N]
//   karvona --version
//   karvona serve [--listen HOST:PORT] [--jobs N] [--timeout S] [--data DIR]
//
// `read` prints one line per photograph (text, CSV or one JSON object). Every subcommand ends
// with exit code 0 when all went well, 1 when some photograph could not be read or written (or
// the run was stopped), 2 on bad usage.

#include <CLI/CLI.hpp>
#include <opencv2/core/utils/logger.hpp>
#include <string>

#include "cli/read_command.hpp"
#include "cli/serve_command.hpp"
#include "cli/synth_command.hpp"
#include "cli/train_command.hpp"
#include "imaging/heap.hpp"

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
    // Each subcommand answers --version too, and lists it in its help.
    for (CLI::App* command : app.get_subcommands({}))
        command->set_version_flag("--version", std::string("karvona ") + KARVONA_VERSION);

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
    return 0;  // the other subcommands ran while parsing and throw when they fail
}
