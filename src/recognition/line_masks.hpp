#pragma once
// Line masks: whether the evidence holds horizontal lines of characters, a vertical column of
// characters, or both; the evidence restricted to those lines; and the upright turn of a slightly
// tilted column.

#include <opencv2/core.hpp>

#include "imaging/blob_list.hpp"
#include "recognition/locator_options.hpp"

namespace karvona::recognition {

inline constexpr int kRowGapLimit = 70;
inline constexpr int kColumnGapLimit = 45;

struct LineMasks {
    cv::Mat masked;           ///< evidence AND the present masks (8-bit, one channel)
    cv::Mat horizontalMask;   ///< the runs wider than 50 pixels after row closing
    cv::Mat verticalMask;     ///< the accepted vertical stroke, or all 0
    bool horizontal = false;  ///< horizontal mask present
    bool vertical = false;    ///< vertical stroke present
    int strokeHeight = 0;     ///< height of the vertical stroke when present
    cv::Rect stroke;          ///< box of the vertical stroke when present
    double tilt = 0.0;        ///< folded tilt of the stroke in degrees when present
    bool rotated = false;     ///< the evidence image was turned upright
};

/// Closes gaps of fewer than limit zero pixels between white runs along every row: a gap is
/// filled when the next white pixel lies within limit pixels; the scan stops limit pixels before
/// the right edge.
void CloseRowGaps(cv::Mat& image, int limit);
/// The same rule down every column.
void CloseColumnGaps(cv::Mat& image, int limit);

/// Builds the line masks of the evidence image (8-bit, one channel, 0/255). When a vertical
/// stroke leans between 1 and 5 degrees (strictly), the evidence image is replaced by its upright
/// turn and the measurement is drawn on display (when given and of three channels). blobs is the
/// list to label with.
LineMasks BuildLineMasks(cv::Mat& evidence, cv::Mat* display, const LocatorOptions& options,
                         imaging::CBlobList& blobs);
LineMasks BuildLineMasks(cv::Mat& evidence, cv::Mat* display, const LocatorOptions& options = {});

}  // namespace karvona::recognition
