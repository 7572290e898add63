#include "service/answers.hpp"

#include <algorithm>
#include <cctype>

namespace karvona::service {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The media type without parameters, lower case.
std::string MediaType(const std::string& contentType) {
    return Lower(Trim(contentType.substr(0, contentType.find(';'))));
}

}  // namespace

Answer JsonAnswer(const nlohmann::ordered_json& value, int status) {
    Answer answer;
    answer.status = status;
    answer.body = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    return answer;
}

Answer Fail(int status, const char* reason, const std::string& text) {
    Answer answer = JsonAnswer(nlohmann::ordered_json{{"error", text}, {"reason", reason}}, status);
    answer.reason = reason;
    return answer;
}

Answer Busy(const char* reason, const std::string& text) {
    Answer answer = Fail(503, reason, text);
    answer.retryAfter = 1;
    return answer;
}

Answer FailToLoad(recognition::LoadStatus status, const std::string& what) {
    switch (status) {
        case recognition::LoadStatus::TooLarge:
            return Fail(413, "too-large", what + " has more pixels or bytes than the limit");
        case recognition::LoadStatus::UnsupportedFormat:
            return Fail(415, "unsupported-format", what + " is not a JPEG, PNG or BMP file");
        default:
            return Fail(422, recognition::LoadStatusName(status),
                        what + " cannot be decoded (cut short or corrupt)");
    }
}

bool IsPhotographType(const std::string& contentType) {
    const std::string type = MediaType(contentType);
    return type == "image/jpeg" || type == "image/png" || type == "image/bmp" ||
           type == "image/x-ms-bmp" || type == "image/x-bmp" || type == "application/octet-stream";
}

bool IsFormData(const std::string& contentType, std::string* boundary) {
    if (MediaType(contentType) != "multipart/form-data")
        return false;
    if (boundary != nullptr) {
        boundary->clear();
        size_t at = contentType.find(';');
        while (at != std::string::npos) {
            const size_t next = contentType.find(';', at + 1);
            const std::string parameter = Trim(contentType.substr(at + 1, next - at - 1));
            if (Lower(parameter.substr(0, 9)) == "boundary=") {
                std::string value = parameter.substr(9);
                if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
                    value = value.substr(1, value.size() - 2);
                *boundary = value;
            }
            at = next;
        }
    }
    return true;
}

}  // namespace karvona::service
