#pragma once
// Options of the code-region locator, passed by value from the caller (the driver, the command
// line, the tests). Nothing here is read from a dialog.

#include <opencv2/core.hpp>
#include <string>

#include "imaging/step_view.hpp"

namespace karvona::recognition {

/// The tilt of a vertical stroke is measured as an angle a from the horizontal. The locator folds
/// the whole angle (a' = a) by 90 degrees, so that strokes leaning 1 to 5 degrees are turned
/// upright. The halved reading (a' = a / 2) folds to at least 45 degrees and never rotates; it is
/// kept so that both can be compared on the same photographs.
inline constexpr double kWholeTiltAngle = 1.0;
inline constexpr double kHalvedTiltAngle = 0.5;

struct LocatorOptions {
    /// Show every intermediate image of the localization (the "2. 문자열 구조" option).
    bool stepViews = false;
    /// Where the views go; nullptr shows nothing even when stepViews is on.
    imaging::StepViewer* viewer = nullptr;
    /// Factor applied to the measured stroke angle before the fold (kWholeTiltAngle or
    /// kHalvedTiltAngle).
    double tiltAngleFactor = kWholeTiltAngle;
};

/// Shows image under title when the options ask for step views.
inline void ShowStep(const LocatorOptions& options, const std::string& title,
                     const cv::Mat& image) {
    if (options.stepViews && options.viewer != nullptr)
        options.viewer->Show(title, image);
}

}  // namespace karvona::recognition
