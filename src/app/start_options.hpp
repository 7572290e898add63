#pragma once
// The desktop program's command line: karvona-gui [--data DIR] [--lang ko|en] [--strict]
// [--help] [--version] [PATH...], and Qt's own options (-platform, -style, ...), which Qt takes.

#include <QString>
#include <string>
#include <vector>

#include "app/karvona_app.hpp"

namespace karvona::app {

struct StartOptions {
    QString dataFolder;    ///< the folder of the data files; empty: the current folder
    std::string language;  ///< "ko", "en", or empty for the environment's
    bool strict = false;   ///< the single pass alone: no second look, no review
    ScreenshotRequest screenshot;
    std::vector<std::string> unknown;  ///< arguments left for Qt to take
    std::vector<std::string> paths;    ///< photographs and folders for the file list
};

/// Reads the command line before the window system starts, so that --help and --version need
/// no display. Returns -1 to go on, else the exit code to end with: 0 after --help or
/// --version (printed on stdout), 2 on bad usage (the error on stderr).
int ParseStartOptions(int argc, const char* const* argv, StartOptions& options);

/// After Qt took its own options out of `arguments` (QCoreApplication::arguments()): the
/// arguments of options.unknown still there that name an existing file or folder go to
/// options.paths; 2 when any other is left (the error printed on stderr), else -1.
int CheckLeftOverArguments(StartOptions& options, const std::vector<std::string>& arguments);

}  // namespace karvona::app
