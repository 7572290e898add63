#include "shell/samples.hpp"

#include <cstdio>

#include "shell/file_ops.hpp"

namespace karvona::shell {
namespace {

bool HasClassFolder(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
}

}  // namespace

bool CreateSampleFolders(const std::filesystem::path& charactersFolder) {
    bool all = CreateFolder(charactersFolder);
    for (char c = '0'; c <= '9'; ++c) {
        all = CreateFolder(charactersFolder / std::string(1, c)) && all;
    }
    for (char c = 'A'; c <= 'Z'; ++c) {
        all = CreateFolder(charactersFolder / std::string(1, c)) && all;
    }
    return all;
}

std::string SampleFileName(char character, int processedCount, int sampleIndex) {
    char name[64];
    std::snprintf(name, sizeof name, "%c_%05d_%02d_.bmp", character, processedCount, sampleIndex);
    return name;
}

std::filesystem::path SamplePath(const std::filesystem::path& charactersFolder, char character,
                                 int processedCount, int sampleIndex) {
    if (!HasClassFolder(character)) {
        return {};
    }
    return charactersFolder / std::string(1, character) /
           SampleFileName(character, processedCount, sampleIndex);
}

}  // namespace karvona::shell
