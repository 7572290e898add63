#pragma once
// The access log: one line per request on stderr, as text or as a JSON object.

#include <cstddef>
#include <string>

#include "service/service.hpp"

namespace karvona::service {

struct LogEntry {
    std::string client;  ///< the peer's address
    std::string method;  ///< "-" when no request line was read
    std::string path;    ///< without the query; "-" when none was read
    int status = 0;
    std::size_t bytes = 0;  ///< body bytes sent
    double ms = 0;          ///< from the request's first byte to its answer sent
};

/// The line for an entry, without its line break. Text: "TIME CLIENT METHOD PATH STATUS BYTES
/// MS" with TIME in ISO 8601 (UTC, milliseconds) and control bytes of the path escaped; JSON:
/// {"time", "client", "method", "path", "status", "bytes", "ms"}.
std::string LogLine(LogFormat format, const LogEntry& entry);
/// Writes the line of an entry to stderr in one piece.
void WriteLog(LogFormat format, const LogEntry& entry);

}  // namespace karvona::service
