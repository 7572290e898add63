#pragma once
// The looks the reading plan takes at a photograph. The working scale brings a photograph of any
// size into the frame the locator and the readers were built for (about 1024 x 768, characters of
// 20 to 50 pixels); a second look reads transformed copies of it: other scales, and small
// rotations and shears for lines that slope. Each look is read by the single pass unchanged; the
// geometry here maps what a look found back onto the photograph as given.

#include <array>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "recognition/look_repairs.hpp"

namespace karvona::recognition {

/// The frame the working scale fits a photograph into, either way round.
inline constexpr int kWorkingLongSide = 1024;
inline constexpr int kWorkingShortSide = 768;

/// The factor (at most 1) that fits a photograph of the given size into the working frame:
/// 1920 x 1080 becomes 1024 x 576, 4032 x 3024 becomes 1024 x 768, 960 x 540 stays as it is.
double WorkingScale(cv::Size photo);

/// One transformed copy of the working image: scaled, then rotated and sheared about its centre.
struct Look {
    std::string name;     ///< "first", "scale 1.5", "rotate -8", "shear 10"
    double scale = 1.0;   ///< relative to the working image
    double rotate = 0.0;  ///< degrees, counter-clockwise as the photograph is shown
    double shear = 0.0;   ///< degrees: each column moves down by tan(shear) per column right
    /// What is repaired in the image after scaling (look_repairs.hpp).
    Repair repair = Repair::kNone;
    /// The width's factor on top of scale: below 1 narrows characters that a photograph squeezed
    /// into its frame from an upright picture made too wide.
    double narrow = 1.0;
    bool identity() const {
        return scale == 1.0 && narrow == 1.0 && rotate == 0.0 && shear == 0.0 &&
               repair == Repair::kNone;
    }
    /// A turn or shear only straightens a code that an earlier look found a region for, and a
    /// frame or a bar taken away only mends one: on a photograph where no look at any scale
    /// found one they are not taken.
    bool needsRegion() const {
        return rotate != 0.0 || shear != 0.0 || repair == Repair::kUnframe ||
               repair == Repair::kUnbar;
    }
};

/// The first look: the working image itself.
Look FirstLook();
/// The looks of the second look, in the order they are tried: every one the single pass on a
/// transformed copy. The plan stops at the first sure reading; beyond these, only the line
/// looks (line_crops.hpp) on the regions found; one where no look finds a code region costs the
/// scales only.
const std::vector<Look>& SecondLooks();

/// The image of a look and where its pixels come from.
struct LookImage {
    cv::Mat image;
    cv::Matx23d fromPhoto;  ///< photograph coordinates -> look image coordinates
};

/// Makes a look's image from the photograph, read at photoScale x look.scale: scaled with area
/// interpolation when it gets smaller and linear interpolation when it gets larger, repaired
/// when the look asks for it, then turned and sheared about its centre onto a canvas that holds
/// all of it (linear interpolation, the border repeated outwards so that no hard edge appears).
/// A look that changes nothing at scale 1 shares the photograph's pixels.
LookImage MakeLookImage(const cv::Mat& photo, double photoScale, const Look& look);

/// The affine map that applies first, then second.
cv::Matx23d Compose(const cv::Matx23d& second, const cv::Matx23d& first);

/// The bounding box in the photograph of a rectangle of a look's image, clipped to the
/// photograph (of the given size). An empty rectangle stays empty.
cv::Rect RectInPhoto(const cv::Rect& rect, const cv::Matx23d& fromPhoto, cv::Size photo);

/// The corners of a rectangle (top-left, top-right, bottom-right, bottom-left).
std::array<cv::Point2f, 4> CornersOf(const cv::Rect& rect);
/// The corners of a rectangle of a look's image, mapped onto the photograph (not clipped). An
/// empty rectangle gives four zero points.
std::array<cv::Point2f, 4> CornersInPhoto(const cv::Rect& rect, const cv::Matx23d& fromPhoto);

}  // namespace karvona::recognition
