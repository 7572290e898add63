#pragma once
// Repairs a look may make to its image before the single pass reads it: the contrast of faint
// paint normalised, the painted frame around a check digit taken away, and door bars that cross
// a line of characters painted over with the panel beside them. Each repair that finds nothing to
// repair gives back the image it was given (the same pixels), so that the plan can skip its look.

#include <opencv2/core.hpp>
#include <vector>

namespace karvona::recognition {

enum class Repair { kNone, kEqualise, kUnframe, kUnbar };

/// The image with the lightness of each tile of about 128 pixels spread over the whole range
/// (contrast-limited, so that the noise of a plain panel is not blown up); colour kept.
cv::Mat EqualisedImage(const cv::Mat& image);

/// Whether a component (its mask inside its bounding box, 16 to 100 pixels tall, narrower than
/// tall) is a frame: a ring of thin paint (thinner than the strokes of a character) whose four
/// sides run straight along the box, with little paint inside it.
bool IsFrameMask(const cv::Mat& mask);

/// Rectangular frames of thin paint around one character each (16 to 100 pixels tall, narrower
/// than tall), bright or dark, in a grey image: the bounding box of each frame's paint.
std::vector<cv::Rect> FindCharacterFrames(const cv::Mat& gray);
/// The image with the paint of every frame replaced by the panel inside and around it; what the
/// frame holds stays.
cv::Mat UnframedImage(const cv::Mat& image);

/// Vertical bars (door locking rods, handles' posts) 6 to 60 pixels wide whose two edges run
/// straight down for at least a fifth of the image, in a grey image: the columns and rows each
/// covers.
std::vector<cv::Rect> FindBars(const cv::Mat& gray);
/// The image with every bar painted over, row by row, by the panel on either side of it.
cv::Mat UnbarredImage(const cv::Mat& image);

/// The image a repair makes, or image itself when the repair finds nothing.
cv::Mat Repaired(const cv::Mat& image, Repair repair);

}  // namespace karvona::recognition
