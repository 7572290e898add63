#include "imaging/step_view.hpp"

#include <cstdio>
#include <system_error>

#include <opencv2/imgcodecs.hpp>

namespace karvona::imaging {

StepViewer& NoStepViewer() {
    static NullStepViewer none;
    return none;
}

PngStepViewer::PngStepViewer(std::filesystem::path folder) : folder_(std::move(folder)) {
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
}

std::string StepFileName(int index, const std::string& title) {
    std::string safe;
    for (unsigned char ch : title) {
        const bool keep = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                          (ch >= '0' && ch <= '9') || ch == '-' || ch == '_' || ch == '.' ||
                          ch == ' ' || ch == '#';
        safe += keep ? static_cast<char>(ch) : '_';
    }
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%03d-", index);
    return prefix + safe + ".png";
}

void PngStepViewer::Show(const std::string& title, const cv::Mat& image) {
    ++counter_;
    if (image.empty()) return;
    try {
        cv::imwrite((folder_ / StepFileName(counter_, title)).string(), image);
    } catch (const cv::Exception&) {
        // A view that cannot be written is skipped; the stage goes on.
    }
}

}  // namespace karvona::imaging
