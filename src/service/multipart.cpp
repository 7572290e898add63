#include "service/multipart.hpp"

#include <algorithm>
#include <cctype>

namespace karvona::service {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

// The value of parameter key (name, filename) in a Content-Disposition value, quoted or not.
std::string Parameter(std::string_view disposition, std::string_view key) {
    size_t at = 0;
    while ((at = disposition.find(';', at)) != std::string_view::npos) {
        ++at;
        while (at < disposition.size() && disposition[at] == ' ')
            ++at;
        std::string_view rest = disposition.substr(at);
        if (!StartsWithNoCase(rest, key) || rest.size() <= key.size() || rest[key.size()] != '=')
            continue;
        rest.remove_prefix(key.size() + 1);
        if (!rest.empty() && rest.front() == '"') {
            std::string value;
            for (size_t i = 1; i < rest.size() && rest[i] != '"'; ++i) {
                if (rest[i] == '\\' && i + 1 < rest.size())
                    ++i;
                value += rest[i];
            }
            return value;
        }
        return std::string(rest.substr(0, rest.find(';')));
    }
    return "";
}

// Reads the headers of a part up to its blank line; false when there is none.
bool ReadPartHeaders(std::string_view& part, FormPart& out) {
    for (;;) {
        const size_t end = part.find("\r\n");
        if (end == std::string_view::npos)
            return false;
        const std::string_view line = part.substr(0, end);
        part.remove_prefix(end + 2);
        if (line.empty())
            return true;
        if (StartsWithNoCase(line, "content-disposition:")) {
            out.name = Parameter(line, "name");
            out.filename = Parameter(line, "filename");
        }
    }
}

}  // namespace

FormStatus SplitForm(std::string_view body, const std::string& boundary, std::size_t maxParts,
                     std::vector<FormPart>& parts) {
    parts.clear();
    if (boundary.empty() || boundary.size() > 200)
        return FormStatus::kMalformed;
    const std::string delimiter = "--" + boundary;
    // The first delimiter opens the body or follows the preamble's line break.
    size_t at = body.rfind(delimiter, 0) == 0 ? 0 : body.find("\r\n" + delimiter);
    if (at == std::string_view::npos)
        return FormStatus::kMalformed;
    at += at == 0 ? delimiter.size() : delimiter.size() + 2;
    const std::string separator = "\r\n" + delimiter;
    for (;;) {
        const std::string_view rest = body.substr(at);
        if (rest.substr(0, 2) == "--")
            return FormStatus::kOk;  // the closing delimiter
        if (rest.substr(0, 2) != "\r\n")
            return FormStatus::kMalformed;
        const size_t start = at + 2;
        const size_t end = body.find(separator, start);
        if (end == std::string_view::npos)
            return FormStatus::kMalformed;
        if (parts.size() >= maxParts)
            return FormStatus::kTooManyParts;
        FormPart part;
        std::string_view text = body.substr(start, end - start);
        if (!ReadPartHeaders(text, part))
            return FormStatus::kMalformed;
        part.content = text;
        parts.push_back(std::move(part));
        at = end + separator.size();
    }
}

}  // namespace karvona::service
