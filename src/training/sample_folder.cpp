#include "training/sample_folder.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <system_error>

namespace karvona::training {

namespace fs = std::filesystem;

std::string SampleFileName(char character, int photoIndex, int sampleIndex,
                           const std::string& suffix) {
    char name[64];
    std::snprintf(name, sizeof name, "%c_%05d_%02d_", character, photoIndex, sampleIndex);
    return name + suffix + ".bmp";
}

fs::path SaveSample(const fs::path& folder, char character, int photoIndex, int sampleIndex,
                    const std::string& suffix, const cv::Mat& image) {
    std::error_code ec;
    const fs::path classFolder = folder / std::string(1, character);
    fs::create_directories(classFolder, ec);
    const std::string base = SampleFileName(character, photoIndex, sampleIndex, suffix);
    fs::path path = classFolder / base;
    for (int n = 2; fs::exists(path, ec); ++n)
        path = classFolder / (base.substr(0, base.size() - 4) + "-" + std::to_string(n) + ".bmp");
    try {
        if (!cv::imwrite(path.string(), image))
            return {};
    } catch (const cv::Exception&) {
        return {};
    }
    return path;
}

bool IsSampleImage(const fs::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext == ".bmp" || ext == ".png" || ext == ".jpg" || ext == ".jpeg";
}

cv::Mat TightBinaryCrop(const cv::Mat& grey) {
    if (grey.empty() || grey.type() != CV_8UC1)
        return {};
    cv::Mat binary;
    cv::threshold(grey, binary, 127, 255, cv::THRESH_BINARY);
    std::vector<cv::Point> ink;
    cv::findNonZero(binary, ink);
    if (ink.empty())
        return {};
    const cv::Rect tight = cv::boundingRect(ink);
    if (tight.width < 2 || tight.height < 2)
        return {};
    return binary(tight).clone();
}

bool LoadSampleFolder(const fs::path& folder, SampleFolderContents& contents, std::string& error) {
    contents = SampleFolderContents{};
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) {
        error = "sample folder " + folder.string() + " does not exist";
        return false;
    }
    std::vector<fs::path> classFolders;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_directory(ec))
            classFolders.push_back(it->path());
    }
    if (ec) {
        error = "cannot list " + folder.string() + ": " + ec.message();
        return false;
    }
    std::sort(classFolders.begin(), classFolders.end());

    for (const fs::path& classFolder : classFolders) {
        const std::string name = classFolder.filename().string();
        const bool trainable =
            name.size() == 1 && name[0] != 'Q' &&
            ((name[0] >= '0' && name[0] <= '9') || (name[0] >= 'A' && name[0] <= 'Z'));
        if (!trainable) {
            contents.ignoredFolders.push_back(classFolder.string());
            continue;
        }
        std::vector<fs::path> files;
        for (fs::directory_iterator it(classFolder, ec), end; !ec && it != end; it.increment(ec)) {
            if (it->is_regular_file(ec) && IsSampleImage(it->path()))
                files.push_back(it->path());
        }
        if (ec) {
            error = "cannot list " + classFolder.string() + ": " + ec.message();
            return false;
        }
        std::sort(files.begin(), files.end());
        for (const fs::path& file : files) {
            cv::Mat grey;
            try {
                grey = cv::imread(file.string(), cv::IMREAD_GRAYSCALE);
            } catch (const cv::Exception&) {
                grey.release();
            }
            if (grey.empty()) {
                contents.unreadable.push_back(file.string());
                continue;
            }
            CharacterSample sample;
            sample.character = name[0];
            sample.file = file;
            sample.image = TightBinaryCrop(grey);
            if (sample.image.empty()) {
                contents.blank.push_back(file.string());
                continue;
            }
            contents.samples.push_back(std::move(sample));
        }
    }
    return true;
}

}  // namespace karvona::training
