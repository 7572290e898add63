#include "classifier/owner_prefix_list.hpp"

#include <fstream>
#include <iterator>

namespace karvona::classifier {

bool COwnerPrefixList::LoadPrefixFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return false;
    }
    std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

    // Text as the original platform's text mode delivered it: carriage return and line feed
    // become one line feed; a lone carriage return stays a character of its line.
    std::string text;
    text.reserve(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') {
            continue;
        }
        text.push_back(raw[i]);
    }

    // Each read takes at most kPieceLength characters and stops after a line feed. The entry is
    // the piece as a C string (up to a stray zero byte) without its final line feed.
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = at;
        while (end < text.size() && end - at < kPieceLength) {
            if (text[end++] == '\n') {
                break;
            }
        }
        std::string entry = text.substr(at, end - at);
        entry.resize(std::char_traits<char>::length(entry.c_str()));
        if (!entry.empty() && entry.back() == '\n') {
            entry.pop_back();
        }
        lookup_.insert(entry);
        prefixes_.push_back(std::move(entry));
        at = end;
    }
    return true;
}

bool COwnerPrefixList::Contains(std::string_view text) const {
    return lookup_.find(std::string(text)) != lookup_.end();
}

}  // namespace karvona::classifier
