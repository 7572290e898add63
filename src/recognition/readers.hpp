#pragma once
// The two readers of a located code region. Each finds its character boxes its own way and then
// runs the common reading pass. The region is the reader's own copy: it may draw on it.

#include <opencv2/core.hpp>

#include "recognition/reading_pass.hpp"

namespace karvona::recognition {

/// Four threshold images of the grey region (bright and dark marks, bright and dark detail),
/// the one closest to eleven solid boxes is read. Redraws strip. Returns the score (>= 0);
/// out always receives a (possibly empty) reading.
int ReadByMorphology(cv::Mat& region, int layoutCode, cv::Mat& strip, const ReferenceData& data,
                     const ReaderOptions& options, Reading& out);

/// Nine candidate masks from three clusters of each colour channel; the one that looks most like
/// a line of characters is read. Returns 0 and leaves out untouched when no candidate qualifies
/// or fewer than four boxes remain.
int ReadByClusterSegmentation(cv::Mat& region, int layoutCode, cv::Mat& strip,
                              const ReferenceData& data, const ReaderOptions& options,
                              Reading& out);

/// The crop the readers classify, for a character whose box in image (8-bit, three channels) is
/// known: the morphology reader's grey, thresholded by Otsu over the box and a margin around
/// it in both polarities; the blobs of the polarity whose strokes fill the box best that lie
/// mostly inside it, cut tightly as the reading pass cuts them (strokes 255 on 0). Empty when
/// the box is not inside the image or holds no stroke.
cv::Mat CutLabelledBox(const cv::Mat& image, const cv::Rect& box);

}  // namespace karvona::recognition
