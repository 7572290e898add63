#pragma once
// Character sample folders: SAMPLES/<c>/*.bmp, one folder per character, as the sample export
// writes them and as the harvest writes them.

#include <filesystem>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace karvona::training {

/// File name of a harvested sample: <c>_<photo:05>_<index:02>_<suffix>.bmp (the export's name
/// when suffix is empty).
std::string SampleFileName(char character, int photoIndex, int sampleIndex,
                           const std::string& suffix);

/// Writes image under folder/<c>/ with the sample name, never over an existing file: a taken
/// name gets "-2", "-3", ... before ".bmp". Returns the path written, empty on failure.
std::filesystem::path SaveSample(const std::filesystem::path& folder, char character,
                                 int photoIndex, int sampleIndex, const std::string& suffix,
                                 const cv::Mat& image);

struct CharacterSample {
    char character = 0;
    std::filesystem::path file;
    cv::Mat image;  ///< binary (strokes 255 on 0), cropped tightly to the strokes
};

struct SampleFolderContents {
    std::vector<CharacterSample> samples;     ///< by character folder, then by file name
    std::vector<std::string> unreadable;      ///< image files that could not be decoded
    std::vector<std::string> blank;           ///< images without a usable stroke (skipped)
    std::vector<std::string> ignoredFolders;  ///< folders that name no trainable character
};

/// Whether a file name has an image extension the folders may hold (.bmp, .png, .jpg, .jpeg,
/// in any case).
bool IsSampleImage(const std::filesystem::path& file);

/// Reads every sample image under folder/<c>/ for c in 0..9 and A..Z (upper case; a folder Q is
/// listed as ignored, the letter codebook having no Q). Each image is read as grey, thresholded
/// at 128 and cropped to its strokes as the reading pass crops; an image whose strokes span less
/// than 2 x 2 pixels is listed as blank. Returns false when the folder does not exist or cannot
/// be listed (error says why).
bool LoadSampleFolder(const std::filesystem::path& folder, SampleFolderContents& contents,
                      std::string& error);

/// The reading pass's crop of a grey or binary character image: pixels of 128 or more become
/// 255, the rest 0, cut to the rows and columns that hold a stroke. Empty when the strokes span
/// a single row or column or there are none.
cv::Mat TightBinaryCrop(const cv::Mat& grey);

}  // namespace karvona::training
