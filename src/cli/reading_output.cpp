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

// The length of the valid UTF-8 sequence at text[at] (the well-formed sequences of Unicode:
// no overlong forms, no surrogates, nothing above U+10FFFF), or 0 when none starts there.
size_t Utf8SequenceAt(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) {
        return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u;
    };
    const unsigned b0 = byte(0);
    const auto continuation = [&](size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
        const unsigned b = byte(i);
        return at + i < text.size() && b >= low && b <= high;
    };
    if (b0 < 0x80)
        return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF)
        return continuation(1) ? 2 : 0;
    if (b0 >= 0xE0 && b0 <= 0xEF) {
        const unsigned low = b0 == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = b0 == 0xED ? 0x9F : 0xBF;
        return continuation(1, low, high) && continuation(2) ? 3 : 0;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4) {
        const unsigned low = b0 == 0xF0 ? 0x90 : 0x80;
        const unsigned high = b0 == 0xF4 ? 0x8F : 0xBF;
        return continuation(1, low, high) && continuation(2) && continuation(3) ? 4 : 0;
    }
    return 0;
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

std::string RecoverableName(const std::string& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string name;
    name.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        const size_t length = Utf8SequenceAt(bytes, at);
        if (length == 0) {
            const auto b = static_cast<unsigned char>(bytes[at++]);
            name += "\\x";
            name += kHex[b >> 4];
            name += kHex[b & 15];
        } else {
            if (bytes[at] == '\\')
                name += '\\';
            name.append(bytes, at, length);
            at += length;
        }
    }
    return name;
}

nlohmann::json ReadingJson(const ReadingRow& row, const RecognitionResult& result, bool colour) {
    nlohmann::json line = {
        {"row", row.row},
        {"file", RecoverableName(row.file)},
        {"code", result.code},
        {"complete", result.complete},
        {"layout", result.layoutCode},
        {"layoutText", LayoutTextOf(result)},
        {"reader", recognition::ReaderName(result.reader)},
        {"ms", result.ms},
        {"status", StatusText(result.status)},
        {"reason", recognition::LoadStatusName(result.status)},
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
    return std::string("row,file,code,complete,layout,layoutText,reader,ms,status,reason,outcome") +
           (judged ? ",confidence,pass" : "") + (colour ? ",hue" : "");
}

std::string ReadingLine(OutputFormat format, const ReadingRow& row, const RecognitionResult& result,
                        bool colour) {
    const std::string layoutText = LayoutTextOf(result);
    const char* outcome = recognition::OutcomeFolderName(recognition::OutcomeOf(result));
    const char* status = StatusText(result.status);
    switch (format) {
        case OutputFormat::kJson:
            // RecoverableName leaves nothing that is not UTF-8; should anything else, it is
            // replaced rather than failing the run.
            return ReadingJson(row, result, colour)
                .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        case OutputFormat::kCsv: {
            std::string line = std::to_string(row.row) + "," + CsvField(row.file) + "," +
                               CsvField(result.code) + "," + (result.complete ? "true" : "false") +
                               "," + std::to_string(result.layoutCode) + "," +
                               CsvField(layoutText) + "," + recognition::ReaderName(result.reader) +
                               "," + std::to_string(result.ms) + "," + status + "," +
                               recognition::LoadStatusName(result.status) + "," + outcome;
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
    // Why a photograph was not read: "unreadable (missing)", "too-large".
    if (result.status == LoadStatus::TooLarge)
        line += std::string("\t") + status;
    else if (result.status != LoadStatus::Ok)
        line +=
            std::string("\t") + status + " (" + recognition::LoadStatusName(result.status) + ")";
    return line;
}

}  // namespace karvona::cli
