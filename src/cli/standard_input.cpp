#include "cli/standard_input.hpp"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "recognition/recognizer.hpp"

namespace karvona::cli {

namespace fs = std::filesystem;

StandardInputPhotograph::~StandardInputPhotograph() {
    if (!file_.empty())
        unlink(file_.c_str());
}

bool StandardInputPhotograph::Read() {
    std::vector<char> bytes;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            std::fprintf(stderr, "karvona read: cannot read standard input: %s\n",
                         std::strerror(errno));
            return false;
        }
        if (got == 0)
            break;
        bytes.insert(bytes.end(), buffer, buffer + got);
        if (static_cast<std::int64_t>(bytes.size()) > recognition::kMaxPhotographBytes)
            break;
    }
    name_ = std::string("stdin") + ExtensionFor(bytes);
    std::string pattern = (fs::temp_directory_path() / ("karvona-XXXXXX-" + name_)).string();
    const int suffix = static_cast<int>(name_.size()) + 1;
    const int fd = mkstemps(pattern.data(), suffix);
    if (fd < 0) {
        std::fprintf(stderr, "karvona read: cannot keep standard input in %s: %s\n",
                     pattern.c_str(), std::strerror(errno));
        return false;
    }
    file_ = pattern;
    bool written = true;
    for (size_t done = 0; written && done < bytes.size();) {
        const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        written = put > 0;
        done += written ? static_cast<size_t>(put) : 0;
    }
    written = close(fd) == 0 && written;
    if (!written)
        std::fprintf(stderr, "karvona read: cannot keep standard input in %s\n", file_.c_str());
    return written;
}

const char* StandardInputPhotograph::ExtensionFor(const std::vector<char>& b) {
    const auto at = [&](size_t i) { return i < b.size() ? static_cast<unsigned char>(b[i]) : 0u; };
    if (at(0) == 0xFF && at(1) == 0xD8)
        return ".jpg";
    if (at(0) == 0x89 && at(1) == 'P' && at(2) == 'N' && at(3) == 'G')
        return ".png";
    if (at(0) == 'B' && at(1) == 'M')
        return ".bmp";
    return "";
}

}  // namespace karvona::cli
