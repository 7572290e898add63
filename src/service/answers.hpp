#pragma once
// The JSON answers every route shares: a value as a body, errors with their reason words.

#include <nlohmann/json.hpp>
#include <string>

#include "recognition/result.hpp"
#include "service/route.hpp"

namespace karvona::service {

/// A 200 answer with the value as its one-line body.
Answer JsonAnswer(const nlohmann::ordered_json& value, int status = 200);
/// An error: {"error": text, "reason": reason}.
Answer Fail(int status, const char* reason, const std::string& text);
/// 503: no reader was free before the deadline, or the queue is full; Retry-After 1.
Answer Busy(const char* reason, const std::string& text);
/// Why a photograph was not decoded: 413, 415 or 422.
Answer FailToLoad(recognition::LoadStatus status, const std::string& what);
/// Whether a media type (parameters ignored, any case) is one a photograph may be sent as.
bool IsPhotographType(const std::string& contentType);
/// Whether a media type is multipart/form-data; boundary gets its boundary (maybe empty).
bool IsFormData(const std::string& contentType, std::string* boundary = nullptr);

}  // namespace karvona::service
