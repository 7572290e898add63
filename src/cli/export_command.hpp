#pragma once
// `karvona export`: the readings a person settled at the review desk, as a folder of labelled
// photographs that `harvest` and `scripts/train --real` take: the photographs and a labels.csv
// of file,code,layout,char_height,notes.

#include <CLI/CLI.hpp>
#include <string>

namespace karvona::cli {

struct ExportOptions {
    std::string database;
    std::string out;
    std::string since;  ///< settled at or after this UTC time; empty: all
};

CLI::App* AddExportCommand(CLI::App& app, ExportOptions& options);
/// 0 when every settled photograph was written, 1 when some could not be, 2 on bad usage or a
/// history that cannot be opened.
int RunExport(const ExportOptions& options);

}  // namespace karvona::cli
