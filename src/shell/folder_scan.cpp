#include "shell/folder_scan.hpp"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <utility>

namespace karvona::shell {
namespace {

namespace fs = std::filesystem;

char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return UpperAscii(x) == UpperAscii(y);
           });
}

std::vector<std::string> ReadEntryNames(const fs::path& folder) {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            names.emplace_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return NameOrderLess(a, b); });
    return names;
}

using FolderId = std::pair<dev_t, ino_t>;

int ScanInto(const fs::path& folder, std::vector<FileRow>& rows, std::set<FolderId>& seen,
             NameFilter filter) {
    int count = 0;
    for (const std::string& name : ReadEntryNames(folder)) {
        const fs::path path = folder / name;
        struct stat info;
        if (stat(path.c_str(), &info) != 0) {
            continue;  // a dangling link or an entry that vanished
        }
        if (S_ISDIR(info.st_mode)) {
            if (seen.insert({info.st_dev, info.st_ino}).second) {
                count += ScanInto(path, rows, seen, filter);
            }
        } else if (S_ISREG(info.st_mode) && filter(name)) {
            rows.push_back(FileRow{name, path, false});
            ++count;
        }
    }
    return count;
}

}  // namespace

std::string_view ExtensionOf(std::string_view fileName) {
    const size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {};
    }
    return fileName.substr(dot + 1);
}

bool IsPhotographName(std::string_view fileName) {
    const std::string_view extension = ExtensionOf(fileName);
    return EqualIgnoringCase(extension, "jpg") || EqualIgnoringCase(extension, "bmp");
}

bool IsAnyPhotographName(std::string_view fileName) {
    const std::string_view extension = ExtensionOf(fileName);
    for (const char* known : {"jpg", "jpeg", "png", "bmp"}) {
        if (EqualIgnoringCase(extension, known)) {
            return true;
        }
    }
    return false;
}

bool NameOrderLess(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const auto x = static_cast<unsigned char>(UpperAscii(a[i]));
        const auto y = static_cast<unsigned char>(UpperAscii(b[i]));
        if (x != y) {
            return x < y;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size();
    }
    return a < b;
}

int ScanFolder(const fs::path& given, std::vector<FileRow>& rows, NameFilter filter) {
    std::error_code error;
    const fs::path folder = fs::absolute(given, error);
    if (error) {
        return 0;
    }
    std::set<FolderId> seen;
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return 0;
    }
    seen.insert({info.st_dev, info.st_ino});
    return ScanInto(folder, rows, seen, filter != nullptr ? filter : IsPhotographName);
}

}  // namespace karvona::shell
