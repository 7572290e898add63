#pragma once
// Small value records and reductions that every stage uses.
//
// Rectangles, sizes, points and scalars are OpenCV's own records. Every region of interest is
// clipped to its image before use; a rectangle that misses the image entirely is a no-op (and a
// sum over it is 0), never an exception.

#include <opencv2/core.hpp>

namespace karvona::imaging {

/// Termination criteria whose epsilon is stored at single precision, as the original criteria
/// record kept it (0.1 becomes 0.10000000149011612).
cv::TermCriteria MakeTermCriteria(int type, int maxCount, double epsilon);

/// A float point from two doubles, each rounded to float.
inline cv::Point2f MakePoint2D32f(double x, double y) {
    return {static_cast<float>(x), static_cast<float>(y)};
}

/// x to the power n by repeated squaring in single precision; negative n gives 1 / x^|n|.
float IntegerPower(float x, int n);

/// The part of rect that lies inside an image of the given size (empty when none does).
inline cv::Rect ClipRect(const cv::Rect& rect, const cv::Size& size) {
    return rect & cv::Rect(0, 0, size.width, size.height);
}

/// A view of image restricted to rect clipped to the image; empty when nothing remains.
cv::Mat RegionOf(const cv::Mat& image, const cv::Rect& rect);

/// Sum of the first channel over the whole image.
double SumFirstChannel(const cv::Mat& image);

/// Sum of the first channel over rect (clipped to the image; 0 when nothing remains).
double SumFirstChannel(const cv::Mat& image, const cv::Rect& rect);

/// Sets every pixel of a one-channel 8-bit image inside rect (clipped) to value, saturated to
/// 0..255. Images of other types are left unchanged.
void FillRect(cv::Mat& image, const cv::Rect& rect, double value);

/// Whether a one-channel 8-bit image holds only the values 0 and 255 (false for other types).
bool IsBinaryImage(const cv::Mat& image);

/// Copies src into dst at rect, clipping rect to dst and src to the clipped part. Both must have
/// the same type. Nothing happens when the rectangle misses dst.
void CopyInto(const cv::Mat& src, cv::Mat& dst, const cv::Rect& rect);

}  // namespace karvona::imaging
