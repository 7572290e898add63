#pragma once
// The Gaussian blur of an 8-bit image and of its inverse (255 - v) in one pass.
//
// OpenCV blurs 8-bit images with an integer kernel of eight fraction bits in each direction and
// rounds the sum S (sixteen fraction bits) once, half up. The inverse's sum is 255 * 2^16 - S, so
// both blurs come from one S: blur = (S + 2^15) >> 16 and inverse blur = (255 * 2^16 - S + 2^15)
// >> 16. (255 - blur differs from the inverse blur exactly where S lies half-way, about 15
// pixels in a million, which is why the inverse is not simply 255 - blur.)
//
// The kernel is read off OpenCV's own blur of a single stroke, and the first use of each size
// compares both results with OpenCV's on a test image; should they ever differ (another OpenCV),
// the pair is made with two OpenCV blurs instead. Either way the results are OpenCV's.

#include <opencv2/core.hpp>

namespace karvona::imaging {

/// blurred = cv::GaussianBlur(image, {size, size}, 0, 0, BORDER_REPLICATE) and inverseBlurred =
/// the same blur of 255 - image, bit for bit. Computed here for a whole 8-bit one-channel image
/// and an odd size of 3 to 63; anything else (a view into a larger image among them, which
/// OpenCV blurs with the pixels around it) is passed to OpenCV as it is.
void GaussianBlurWithInverse(const cv::Mat& image, int size, cv::Mat& blurred,
                             cv::Mat& inverseBlurred);

/// blurred = cv::GaussianBlur(image, {size, size}, 0, 0, BORDER_REPLICATE), bit for bit, by the
/// same pass (the inverse's blur is made and dropped).
void GaussianBlurReplicate(const cv::Mat& image, int size, cv::Mat& blurred);

/// Whether GaussianBlurWithInverse computes this size itself (false: two OpenCV blurs).
bool GaussianBlurPairIsOwn(int size);

}  // namespace karvona::imaging
