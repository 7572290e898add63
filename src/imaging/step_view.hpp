#pragma once
// Step views: the stages show their intermediate images under fixed titles and wait for a key
// before they go on. Each front end decides what showing means.

#include <filesystem>
#include <opencv2/core.hpp>
#include <string>

#include "karvona/observers.hpp"

namespace karvona::imaging {

using karvona::StepViewer;

/// Shows nothing: the default.
class NullStepViewer final : public StepViewer {
public:
    void Show(const std::string&, const cv::Mat&) override {}
};

/// The viewer that shows nothing, for options that have none set.
StepViewer& NoStepViewer();

/// Writes every view as a PNG file NNN-title.png into a folder, numbered in the order shown.
/// Characters that do not belong in a file name become '_'.
class PngStepViewer final : public StepViewer {
public:
    explicit PngStepViewer(std::filesystem::path folder);
    void Show(const std::string& title, const cv::Mat& image) override;
    int Count() const { return counter_; }
    const std::filesystem::path& Folder() const { return folder_; }

private:
    std::filesystem::path folder_;
    int counter_ = 0;
};

/// The file name a PngStepViewer gives to view number index (from 1) with the given title.
std::string StepFileName(int index, const std::string& title);

}  // namespace karvona::imaging
