#pragma once
// `karvona serve`: the reading service (see service/service.hpp) until SIGTERM or Ctrl-C, which let
// the readings in flight finish; exit code 0 then, 2 on bad usage or without reference data,
// 1 when the address cannot be bound ("address in use").

#include <CLI/CLI.hpp>
#include <string>

namespace karvona::cli {

struct ServeOptions {
    std::string listen = "127.0.0.1:8080";
    int jobs = 1;
    int timeoutSeconds = 30;
    std::string dataFolder;
    bool quiet = false;
    std::string logFormat = "text";
    std::string database;  ///< empty: DefaultHistoryPath()
    std::string keepPhotos = "all";
    int keepDays = 0;
    std::string tokenFile;
    std::string webFolder;  ///< empty: ../share/karvona/web beside the program
};

/// Where the history is kept without --db: $KARVONA_ROOT/history.db, else
/// $XDG_STATE_HOME/karvona/history.db (~/.local/state/karvona/history.db).
std::string DefaultHistoryPath();

CLI::App* AddServeCommand(CLI::App& app, ServeOptions& options);
int RunServe(const ServeOptions& options);

}  // namespace karvona::cli
