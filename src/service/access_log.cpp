#include "service/access_log.hpp"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

namespace karvona::service {
namespace {

std::string Now() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[40];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(ms));
    return text;
}

// Spaces, quotes, backslashes and bytes outside printable ASCII as \xNN, so that one request
// stays one line of fields.
std::string Escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c <= ' ' || c >= 0x7F || c == '"' || c == '\\') {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out.empty() ? "-" : out;
}

}  // namespace

std::string LogLine(LogFormat format, const LogEntry& entry) {
    char ms[32];
    std::snprintf(ms, sizeof ms, "%.1f", entry.ms);
    if (format == LogFormat::kJson) {
        nlohmann::ordered_json line{{"time", Now()},          {"client", entry.client},
                                    {"method", entry.method}, {"path", entry.path},
                                    {"status", entry.status}, {"bytes", entry.bytes},
                                    {"ms", std::stod(ms)}};
        return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
    return Now() + " " + Escaped(entry.client) + " " + Escaped(entry.method) + " " +
           Escaped(entry.path) + " " + std::to_string(entry.status) + " " +
           std::to_string(entry.bytes) + " " + ms;
}

void WriteLog(LogFormat format, const LogEntry& entry) {
    const std::string line = LogLine(format, entry) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace karvona::service
