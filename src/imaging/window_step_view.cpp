#include "imaging/window_step_view.hpp"

#include <cstdlib>

#include <opencv2/highgui.hpp>

namespace karvona::imaging {

namespace {
bool DisplayPresent() {
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}
}  // namespace

WindowStepViewer::WindowStepViewer() : hasDisplay_(DisplayPresent()) {}

void WindowStepViewer::Show(const std::string& title, const cv::Mat& image) {
    if (!hasDisplay_ || image.empty()) return;
    try {
        cv::imshow(title, image);
        cv::waitKey(0);
        cv::destroyWindow(title);
    } catch (const cv::Exception&) {
        hasDisplay_ = false;  // The window system refused: show nothing from now on.
    }
}

}  // namespace karvona::imaging
