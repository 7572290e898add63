// ISO 6346 codes, owner-prefix lists, fonts and the small parsers of the synth command.

#include <cctype>
#include <fstream>
#include <sstream>
#include <system_error>

#include "classifier/iso6346.hpp"
#include "synth/synth.hpp"

namespace karvona::synth {

namespace {

bool IsUsablePrefix(const std::string& p) {
    if (p.size() != 4) {
        return false;
    }
    for (char c : p) {
        if (c < 'A' || c > 'Z' || c == 'Q') {
            return false;
        }
    }
    return true;
}

}  // namespace

int IsoCheckRemainder(const std::string& code) {
    if (code.size() < 10) {
        return -1;
    }
    for (int i = 0; i < 10; ++i) {
        if (classifier::CharToIsoValue(code[static_cast<std::size_t>(i)]) < 0) {
            return -1;
        }
    }
    const long sum =
        static_cast<long>(classifier::CheckSumOf(std::string_view(code).substr(0, 10)));
    return static_cast<int>(sum % 11);
}

bool IsValidIsoCode(const std::string& code) {
    if (code.size() != 11) {
        return false;
    }
    for (int i = 0; i < 4; ++i) {
        if (code[i] < 'A' || code[i] > 'Z') {
            return false;
        }
    }
    if (code[3] != 'U' && code[3] != 'J' && code[3] != 'Z') {
        return false;
    }
    for (int i = 4; i < 11; ++i) {
        if (code[i] < '0' || code[i] > '9') {
            return false;
        }
    }
    const int r = IsoCheckRemainder(code);
    return r >= 0 && r % 10 == code[10] - '0';
}

bool LoadOwnerPrefixes(const std::filesystem::path& file, std::vector<std::string>* prefixes) {
    std::ifstream in(file);
    if (!in) {
        return false;
    }
    prefixes->clear();
    std::string line;
    while (std::getline(in, line)) {
        std::string p;
        for (char c : line) {
            if (!std::isspace(static_cast<unsigned char>(c))) {
                p += c;
            }
        }
        if (IsUsablePrefix(p)) {
            prefixes->push_back(p);
        }
    }
    return !in.bad();
}

std::vector<std::string> AvailableFontPaths() {
    // Container codes are painted in bold, mostly condensed sans lettering: "1" with a flag,
    // narrow 0 and O. The condensed faces come first and are most of the list; two wider ones
    // stay for the odd wide stencil.
    static const char* const kCandidates[] = {
        "/usr/share/fonts/truetype/roboto/unhinted/RobotoCondensed-Bold.ttf",
        "/usr/share/fonts/opentype/bebas-neue/BebasNeue-Bold.otf",
        "/usr/share/fonts/truetype/opendin/OSP-DIN.ttf",
        "/usr/share/fonts/opentype/urw-base35/NimbusSansNarrow-Bold.otf",
        "/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf",
        "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf",
        "/usr/share/fonts/truetype/liberation2/LiberationSans-Bold.ttf",
    };
    std::vector<std::string> found;
    for (const char* path : kCandidates) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec)) {
            found.emplace_back(path);
        }
    }
    return found;
}

bool ParseLayoutList(const std::string& text, std::vector<int>* layouts) {
    std::vector<int> out;
    if (text == "all") {
        for (int l = 0; l < kLayoutCount; ++l) {
            out.push_back(l);
        }
        *layouts = out;
        return true;
    }
    std::stringstream items(text);
    std::string item;
    while (std::getline(items, item, ',')) {
        int lo = -1;
        int hi = -1;
        if (item.size() == 1 && std::isdigit(static_cast<unsigned char>(item[0]))) {
            lo = hi = item[0] - '0';
        } else if (item.size() == 3 && item[1] == '-' &&
                   std::isdigit(static_cast<unsigned char>(item[0])) &&
                   std::isdigit(static_cast<unsigned char>(item[2]))) {
            lo = item[0] - '0';
            hi = item[2] - '0';
        }
        if (lo < 0 || hi >= kLayoutCount || lo > hi) {
            return false;
        }
        for (int l = lo; l <= hi; ++l) {
            out.push_back(l);
        }
    }
    if (out.empty()) {
        return false;
    }
    *layouts = out;
    return true;
}

bool ParseFrameSize(const std::string& text, cv::Size* size) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos || x == 0 || x + 1 >= text.size() || x > 5 ||
        text.size() - x - 1 > 5) {
        return false;
    }
    int dims[2] = {0, 0};
    const std::string parts[2] = {text.substr(0, x), text.substr(x + 1)};
    for (int i = 0; i < 2; ++i) {
        for (char c : parts[i]) {
            if (!std::isdigit(static_cast<unsigned char>(c))) {
                return false;
            }
            dims[i] = dims[i] * 10 + (c - '0');
        }
    }
    if (dims[0] < kMinFrameWidth || dims[0] > kMaxFrameWidth || dims[1] < kMinFrameHeight ||
        dims[1] > kMaxFrameHeight) {
        return false;
    }
    *size = cv::Size(dims[0], dims[1]);
    return true;
}

}  // namespace karvona::synth
