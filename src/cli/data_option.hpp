#pragma once
// The --data option of the commands that read photographs, and loading the reference data it
// leads to. In the command-line tool and the service a missing or unusable file is an error:
// the command says which file, reads nothing and ends with exit code 2.

#include <CLI/CLI.hpp>
#include <filesystem>
#include <string>

#include "recognition/reference_data.hpp"

namespace karvona::cli {

/// Exit code of a command that could not load its reference data (as for bad usage).
inline constexpr int kNoReferenceDataExit = 2;

/// Registers --data on command; folder stays empty unless it is given.
CLI::Option* AddDataOption(CLI::App& command, std::string& folder);

/// Looks up the data folder (--data, $KARVONA_DATA, the current folder, ../share/karvona beside
/// the program) and loads the three files and, unless strict, the confidence model and the
/// character network (charnet.onnx and charnet.txt), which the reading plan uses and --strict
/// does not. On failure prints one line per problem on stderr, each starting with
/// "karvona COMMAND: ", and returns false. On success folder is the folder the data came from.
bool LoadReferenceDataOrReport(const std::string& given, const char* command,
                               recognition::ReferenceDataSet& data,
                               std::filesystem::path* folder = nullptr, bool strict = false);

}  // namespace karvona::cli
