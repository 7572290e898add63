#pragma once
// Character-set extraction: cuts the code out of the photograph around the winning template with
// generous margins and lays multi-line and two-column codes out as one strip or one column.

#include <opencv2/core.hpp>
#include <vector>

#include "recognition/layout_template.hpp"
#include "recognition/locator_options.hpp"

namespace karvona::recognition {

/// The pieces of the photograph that make up the region of layout, in joining order, each already
/// clamped to a photograph of the given size. A piece may be empty (width or height of 0 or less)
/// when it lies wholly outside the photograph; such pieces are left out when joining. An unknown
/// layout or a box count too small for the layout gives no pieces.
std::vector<cv::Rect> CharacterSetPieces(const cv::Size& photo, int layout, int count,
                                         const TemplateBoxes& boxes);

/// The extracted character set: the pieces of the photograph (8-bit, three channels) joined side
/// by side (layouts 3 and 5) or one above the other (layout 4). Pixels that no piece covers are
/// black. Empty when there is nothing to cut.
cv::Mat ExtractCharacterSet(const cv::Mat& photo, int layout, int count, const TemplateBoxes& boxes,
                            const LocatorOptions& options = {});

}  // namespace karvona::recognition
