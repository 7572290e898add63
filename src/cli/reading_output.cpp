#include "cli/reading_output.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "recognition/recognizer.hpp"

namespace karvona::cli {
namespace {

using recognition::LoadStatus;
using recognition::RecognitionResult;

double RoundedHue(float hue) {
    return hue < 0 ? -1.0 : std::round(hue * 10.0) / 10.0;
}

// The coarse load status of the output lines: "ok", "too-large" or "unreadable".
const char* StatusText(LoadStatus status) {
    switch (status) {
        case LoadStatus::Ok:
            return "ok";
        case LoadStatus::TooLarge:
            return "too-large";
        default:
            return "unreadable";
    }
}

std::string LayoutTextOf(const RecognitionResult& result) {
    return result.located() ? recognition::LayoutText(result.layoutCode, "") : "";
}

double RoundedConfidence(float confidence) {
    return std::round(std::clamp(confidence, 0.0f, 1.0f) * 100.0) / 100.0;
}

std::string ConfidenceText(float confidence) {
    char text[16];
    std::snprintf(text, sizeof text, "%.2f", RoundedConfidence(confidence));
    return text;
}

}  // namespace

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

nlohmann::json ReadingJson(const ReadingRow& row, const RecognitionResult& result, bool colour) {
    nlohmann::json line = {
        {"row", row.row},
        {"file", row.file},
        {"code", result.code},
        {"complete", result.complete},
        {"layout", result.layoutCode},
        {"layoutText", LayoutTextOf(result)},
        {"reader", recognition::ReaderName(result.reader)},
        {"ms", result.ms},
        {"status", StatusText(result.status)},
        {"outcome", recognition::OutcomeFolderName(recognition::OutcomeOf(result))},
    };
    if (result.judged()) {
        line["confidence"] = RoundedConfidence(result.confidence);
        line["pass"] = result.pass;
    }
    if (colour)
        line["hue"] = RoundedHue(result.hue);
    return line;
}

std::string CsvHeader(bool colour, bool judged) {
    return std::string("row,file,code,complete,layout,layoutText,reader,ms,status,outcome") +
           (judged ? ",confidence,pass" : "") + (colour ? ",hue" : "");
}

std::string ReadingLine(OutputFormat format, const ReadingRow& row, const RecognitionResult& result,
                        bool colour) {
    const std::string layoutText = LayoutTextOf(result);
    const char* outcome = recognition::OutcomeFolderName(recognition::OutcomeOf(result));
    const char* status = StatusText(result.status);
    switch (format) {
        case OutputFormat::kJson:
            // File names need not be UTF-8; such bytes are replaced rather than failing the run.
            return ReadingJson(row, result, colour)
                .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        case OutputFormat::kCsv: {
            std::string line = std::to_string(row.row) + "," + CsvField(row.file) + "," +
                               CsvField(result.code) + "," + (result.complete ? "true" : "false") +
                               "," + std::to_string(result.layoutCode) + "," +
                               CsvField(layoutText) + "," + recognition::ReaderName(result.reader) +
                               "," + std::to_string(result.ms) + "," + status + "," + outcome;
            if (result.judged())
                line += "," + ConfidenceText(result.confidence) + "," + CsvField(result.pass);
            if (colour) {
                char hue[32];
                std::snprintf(hue, sizeof hue, ",%.1f", RoundedHue(result.hue));
                line += hue;
            }
            return line;
        }
        case OutputFormat::kText:
            break;
    }
    std::string line = std::to_string(row.row) + "\t" + row.file + "\t" +
                       (result.code.empty() ? "-" : result.code) + "\t" +
                       (result.complete ? "complete" : "incomplete") + "\t" +
                       (result.located() ? layoutText : "no region") + "\t" +
                       std::to_string(result.ms) + "ms\t" + outcome;
    if (result.judged())
        line += "\tconfidence " + ConfidenceText(result.confidence) + "\tpass " + result.pass;
    if (colour) {
        char hue[32];
        if (result.hue < 0)
            std::snprintf(hue, sizeof hue, "\thue -");
        else
            std::snprintf(hue, sizeof hue, "\thue %.1f", RoundedHue(result.hue));
        line += hue;
    }
    if (result.status != LoadStatus::Ok)
        line += std::string("\t") + status;
    return line;
}

}  // namespace karvona::cli
