#pragma once
// `karvona read`: the batch reader. Reads every photograph of the given files and folders from a
// start row to the end, one output line per photograph in row order, optionally archives copies
// by outcome and saves character samples, and ends with the statistics message.

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "cli/reading_output.hpp"

namespace karvona::cli {

struct ReadOptions {
    std::string dataFolder;          ///< empty: looked up (see cli/data_option.hpp)
    std::vector<std::string> paths;  ///< photographs and folders, in the order given
    int startRow = 1;                ///< the first row read, counted from 1
    bool backup = false;
    bool keepNames = false;
    bool saveSamples = false;
    bool colour = false;
    std::string swatchFolder;    ///< empty: next to the annotations, or nowhere
    std::string stepsFolder;     ///< empty: no step views
    std::string annotateFolder;  ///< empty: no annotations
    std::string format = "text";
    bool json = false;     ///< the older spelling of --format json
    int jobs = 1;          ///< 1 to kMaxJobs
    std::string language;  ///< "ko", "en", or empty for the environment's
    std::string passes;    ///< empty: one answer per photograph; "folder" or a pattern: per pass
    bool strict = false;   ///< only the single pass: no working scale, second look or review
};

inline constexpr int kMaxJobs = 64;

/// Registers the `read` subcommand with its options on app; returns it so that the caller can
/// see whether it was parsed.
CLI::App* AddReadCommand(CLI::App& app, ReadOptions& options);

/// Runs the batch. Exit code: 0 when every photograph was read, 1 when some could not be, an
/// archive copy failed or the run was stopped with Ctrl-C before the end, 2 on bad usage or when
/// the reference data cannot be loaded (nothing is read then). A path "-" is one photograph read
/// from standard input.
int RunRead(const ReadOptions& options);

}  // namespace karvona::cli
