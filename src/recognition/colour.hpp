#pragma once
// The dominant hue of a photograph and the small swatch that shows it. Informative only: the
// hue is used for nothing else.

#include <opencv2/core.hpp>

namespace karvona::recognition {

/// The mean hue (OpenCV's 8-bit scale, 0..180) of the largest of four hue clusters of the
/// quarter-size photograph, or -1 when there is no photograph (or it is too small to reduce).
float ExtractDominantHue(const cv::Mat& photograph);

/// A 5 x 5 three-channel swatch of the hue at saturation 200 and value 200; empty for a
/// negative hue.
cv::Mat MakeColourSwatch(float hue);

}  // namespace karvona::recognition
