#include "app/start_options.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace karvona::app {

int ParseStartOptions(int argc, const char* const* argv, StartOptions& options) {
    CLI::App cli{
        "karvona-gui: the operator's window of Karvona, which reads ISO 6346 container "
        "codes from photographs.",
        "karvona-gui"};
    cli.set_version_flag("--version", std::string("karvona ") + KARVONA_VERSION);
    std::string data, screenshot, photos;
    cli.add_option("--data", data,
                   "Folder of prefixes.trn, numbers.trn and prefix.txt (default: $KARVONA_DATA, "
                   "then the current folder when it holds them, then ../share/karvona beside "
                   "the program)");
    cli.add_option("--lang", options.language,
                   "Language of the window: ko or en (default: from LC_ALL, LC_MESSAGES or LANG; "
                   "ko... is Korean, anything else English)")
        ->check(CLI::IsMember({"ko", "en"}));
    cli.add_flag("--strict", options.strict,
                 "Read with the single pass alone, as the program always read: no working "
                 "scale, no second look, no review outcome");
    // For pictures of the window (scripts/screenshot); not listed in the help.
    cli.add_option("--screenshot", screenshot)->group("");
    cli.add_option("--photos", photos)->group("");
    cli.add_option("--read", options.screenshot.readRow)->group("");
    cli.footer(
        "Photographs and folders named after the options are put in the file list. "
        "Qt's own options (-platform, -style, ...) are passed on to Qt. Exit code: 0, or "
        "2 on bad usage.");
    cli.allow_extras();
    try {
        cli.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        const int code = cli.exit(error);
        return code == 0 ? 0 : 2;
    }
    options.dataFolder = QString::fromLocal8Bit(data.c_str());
    options.screenshot.output = QString::fromLocal8Bit(screenshot.c_str());
    options.screenshot.photoFolder = QString::fromLocal8Bit(photos.c_str());
    options.unknown = cli.remaining();
    return -1;
}

int CheckLeftOverArguments(StartOptions& options, const std::vector<std::string>& arguments) {
    for (const std::string& argument : options.unknown) {
        if (std::find(arguments.begin() + (arguments.empty() ? 0 : 1), arguments.end(), argument) !=
            arguments.end()) {
            std::error_code error;
            if (!argument.empty() && argument.front() != '-' &&
                std::filesystem::exists(argument, error)) {
                options.paths.push_back(argument);  // a photograph or folder, as %F passes them
                continue;
            }
            std::fprintf(stderr,
                         "karvona-gui: unknown argument %s\nRun with --help for more "
                         "information.\n",
                         argument.c_str());
            return 2;
        }
    }
    return -1;
}

}  // namespace karvona::app
