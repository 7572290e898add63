#pragma once
// How the answer for one truck pass is printed: a text line, CSV rows or a JSON object. `read
// --passes` prints one per pass; the service's /pass answers the same JSON object.

#include <nlohmann/json.hpp>
#include <string>

#include "cli/reading_output.hpp"
#include "shell/passes.hpp"

namespace karvona::cli {

/// {"pass": "...", "codes": [{"code": "...", "sure": true, "photos": ["..."]}], "unused": [...],
///  "review": false}, keys in that order.
nlohmann::ordered_json PassJson(const shell::PassResult& pass);
/// The CSV header that goes with PassLines(kCsv).
std::string PassCsvHeader();
/// The lines of a pass in the given format, each without its line break: one text line, one
/// JSON line, or one CSV row per code (one row with an empty code when there is none).
std::string PassLines(OutputFormat format, const shell::PassResult& pass);

}  // namespace karvona::cli
