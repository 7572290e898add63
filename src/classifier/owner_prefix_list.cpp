#include "classifier/owner_prefix_list.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace karvona::classifier {

bool COwnerPrefixList::LoadPrefixFile(const std::string& path) {
    // The open does not block, so a named pipe under the name is refused instead of waited on
    // for ever; only a regular file is a list (a folder opens but holds no lines).
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return false;
    }
    std::string raw;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        raw.append(buffer, static_cast<std::size_t>(got));
    }
    close(fd);

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
