#pragma once
// Character samples: every character a reader cuts out and classifies can be saved as a small
// bitmap under a folder per class, as material for new training files.

#include <filesystem>
#include <string>

#include "karvona/observers.hpp"

namespace karvona::shell {

/// Creates the sample root and its class folders "0" to "9", then "A" to "Z" (a folder "Q" too),
/// in that order; existing folders are no error. Returns whether all of them exist.
bool CreateSampleFolders(const std::filesystem::path& charactersFolder);

/// The name of a sample file, "%c_%05d_%02d_.bmp": the character, the processed count of the
/// batch run and the sample index within one reader call, e.g. "A_00001_00_.bmp".
std::string SampleFileName(char character, int processedCount, int sampleIndex);

/// The full path of a sample file: the class folder of the character, then SampleFileName.
/// Empty for a character that has no class folder (anything but "0"-"9" and "A"-"Z"), so that
/// such a sample is never written.
std::filesystem::path SamplePath(const std::filesystem::path& charactersFolder, char character,
                                 int processedCount, int sampleIndex);

/// Writes the characters of one photograph as sample bitmaps under a folder per class
/// (recognition::SampleFilePath, with the photograph's processed count); a sample that cannot be
/// written is skipped.
class SampleFiles final : public karvona::CharacterSamples {
public:
    SampleFiles(std::filesystem::path charactersFolder, int processedCount)
        : folder_(std::move(charactersFolder)), processedCount_(processedCount) {}
    void Add(char character, int index, const cv::Mat& crop) override;

private:
    std::filesystem::path folder_;
    int processedCount_;
};

}  // namespace karvona::shell
