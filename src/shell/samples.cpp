#include "shell/samples.hpp"

#include <cstdio>
#include <opencv2/imgcodecs.hpp>

#include "recognition/reading_pass.hpp"
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
    return recognition::SampleFilePath({}, character, processedCount, sampleIndex)
        .filename()
        .string();
}

std::filesystem::path SamplePath(const std::filesystem::path& charactersFolder, char character,
                                 int processedCount, int sampleIndex) {
    if (!HasClassFolder(character)) {
        return {};
    }
    return recognition::SampleFilePath(charactersFolder, character, processedCount, sampleIndex);
}

void SampleFiles::Add(char character, int index, const cv::Mat& crop) {
    const auto path = recognition::SampleFilePath(folder_, character, processedCount_, index);
    try {
        cv::imwrite(path.string(), crop);
    } catch (const cv::Exception&) {
        // skipped, as the reader always did
    }
}

}  // namespace karvona::shell
