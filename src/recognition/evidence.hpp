#pragma once
// The character evidence image: a binary image of the photograph's size that keeps only blobs
// shaped like painted characters, light on dark and dark on light alike.

#include <opencv2/core.hpp>

#include "imaging/blob_list.hpp"
#include "recognition/locator_options.hpp"

namespace karvona::recognition {

/// The two fixed rectangles of the frame that never hold the code (x, y, width, height; the
/// second runs from row 460 to the bottom). They are clipped to the frame.
cv::Rect FirstClearedRect(const cv::Size& frame);
cv::Rect SecondClearedRect(const cv::Size& frame);

/// Clears the fixed rectangles of a binary image (8-bit, one channel) and keeps only the blobs
/// shaped like characters: area of at least 50 pixels, height / width above 0.9 and below 6,
/// narrower than 50 and lower than 100 pixels. The kept blobs keep their pixels. blobs is the
/// list to label with (its earlier content is dropped).
void KeepCharacterShapedBlobs(cv::Mat& binary, imaging::CBlobList& blobs);
void KeepCharacterShapedBlobs(cv::Mat& binary);

/// The evidence image of a photograph (8-bit, three channels): the character-shaped blobs of the
/// light-on-dark and the dark-on-light detail images, added, less the edges of the light-on-dark
/// detail. 8-bit, one channel, 0 or 255. blobs is the list to label with.
cv::Mat BuildCharacterEvidence(const cv::Mat& photo, const LocatorOptions& options,
                               imaging::CBlobList& blobs);
cv::Mat BuildCharacterEvidence(const cv::Mat& photo, const LocatorOptions& options = {});

}  // namespace karvona::recognition
