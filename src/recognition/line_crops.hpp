#pragma once
// Crops along a code line. When the looks at the whole photograph find a region that holds part
// of a code but read no sure code (a logo or a brand name beside it draws the locator, a door rod
// cuts the line, the size-type line lies under it), the looks are taken again on the photograph
// cut down to that region grown along its line: there the code is the strongest evidence, and
// what the region left out beyond a rod or a frame is inside the crop.

#include <opencv2/core.hpp>
#include <string>
#include <vector>

namespace karvona::recognition {

/// A region an earlier look found, in the photograph, with how many characters it read.
struct FoundRegion {
    cv::Rect region;
    int characters = 0;
};

/// A code a crop look reads is never sure when the character network gives one of its written
/// characters a lower probability than this. On training photographs a camera caption read as a
/// code gave 0.005 and the codes read right 0.011 and more.
inline constexpr float kCropNetFloor = 0.01f;

/// Whether an earlier look's code is a near variant of a crop look's code: of the same length,
/// other, and at most kNearVariantApart characters apart. Two misread characters can keep the
/// check sum (E read as C with the check digit 3 read as 1); a crop's code with a near variant
/// read before it is never sure.
inline constexpr int kNearVariantApart = 3;
bool IsNearVariant(const std::string& earlier, const std::string& code);

/// At most this many crops are read per photograph.
inline constexpr int kMaxLineCrops = 2;
/// A region is cropped only when its look read at least this many characters of the code.
inline constexpr int kLineCropCharacters = 7;

/// The crops to read, in the order the regions were found: each region that read enough
/// characters, grown by half its width on either side and an eighth of its height above and below,
/// clipped to the photograph; a region whose centre lies inside an earlier crop gives none.
std::vector<cv::Rect> LineCrops(const std::vector<FoundRegion>& found, cv::Size photo);

/// How much a crop of the photograph (read at photoScale) is enlarged: until it fills the working
/// frame, at most twice, never made smaller.
double LineCropScale(cv::Size crop, double photoScale);

}  // namespace karvona::recognition
