#pragma once
// How one reading is printed: a text line, a CSV row or a JSON object. `read` prints one per
// photograph; the service answers the same JSON object.

#include <nlohmann/json.hpp>
#include <string>

#include "recognition/result.hpp"

namespace karvona::cli {

enum class OutputFormat { kText, kCsv, kJson };

/// Where a reading stands in its run and how it was filed.
struct ReadingRow {
    int row = 0;       ///< counted from 1
    std::string file;  ///< the photograph's path as given
};

/// The JSON object of a reading: row, file, code, complete, layout, layoutText, reader, ms,
/// status, reason, outcome, then confidence and pass when the reading was judged (a run that was
/// not strict), and hue when colour is on. `status` is the coarse "ok", "too-large" or
/// "unreadable"; `reason` says why (recognition::LoadStatusName). The file name is written as
/// RecoverableName makes it.
nlohmann::json ReadingJson(const ReadingRow& row, const recognition::RecognitionResult& result,
                           bool colour);
/// The CSV header line that goes with ReadingLine(kCsv): confidence and pass columns for the
/// readings of a run that is not strict.
std::string CsvHeader(bool colour, bool judged = false);
/// One output line of a reading in the given format (JSON as one compact line). A judged reading
/// adds its confidence and pass (text: "confidence 0.87" and "pass rotate -8" fields after the
/// outcome; CSV: two columns before hue).
std::string ReadingLine(OutputFormat format, const ReadingRow& row,
                        const recognition::RecognitionResult& result, bool colour);
/// A file name as a JSON string value that gives back its bytes whatever they are: a backslash
/// of the name is doubled, and each byte that is not part of valid UTF-8 becomes a backslash,
/// "x" and two lower-case hexadecimal digits (byte 0xFF: the four characters \xff). Every other
/// character stands as it is, so a UTF-8 name without backslashes is unchanged.
std::string RecoverableName(const std::string& bytes);
/// A field quoted for CSV when it holds a comma, quote or line break.
std::string CsvField(const std::string& text);

}  // namespace karvona::cli
