#pragma once
// Step views in preview windows: each view opens a window under its title, waits for a key and
// closes it. Without a display nothing is shown and the process goes on.

#include "imaging/step_view.hpp"

namespace karvona::imaging {

class WindowStepViewer final : public StepViewer {
public:
    WindowStepViewer();
    void Show(const std::string& title, const cv::Mat& image) override;
    bool HasDisplay() const { return hasDisplay_; }

private:
    bool hasDisplay_;
};

}  // namespace karvona::imaging
