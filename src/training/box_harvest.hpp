#pragma once
// Harvest of the characters of photographs whose every character box is known (boxes.csv beside
// labels.csv): each box is cut as the readers cut a box they found, so that the samples look
// like what the codebooks are later asked to classify.

#include <filesystem>
#include <opencv2/core.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "training/harvest.hpp"

namespace karvona::training {

/// One record of boxes.csv (file,index,char,x0,y0,x1,y1; a first record starting with "file" is
/// the header): the box of the character at a code position, in pixels of the photograph.
struct LabelledBox {
    std::string file;
    int index = 0;
    char character = 0;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    size_t record = 0;  ///< 1-based record number, for messages
};

/// Reads boxes.csv. Records that are not a file, a position 0..10, one character and four
/// numbers are listed in problems and skipped. False when the file cannot be read.
bool ReadBoxes(const std::filesystem::path& csv, std::vector<LabelledBox>& boxes,
               std::vector<std::string>& problems);

/// The whole pixels a box covers (its corners rounded outwards); empty (0 x 0) when the box
/// reaches outside a photograph of the given size or has no area.
cv::Rect PixelBox(const LabelledBox& box, const cv::Size& photo);

/// The box harvest: reads labels.csv and boxes.csv of options.photos, cuts every box whose
/// character is the label's at its position and that lies inside its photograph, and saves the
/// crop under the label's character. A box outside its photograph, one whose character does not
/// spell the label, one of a photograph without a label, and one that gives no usable crop are
/// named on err and skipped. Returns 0, or 1 when a file cannot be read or a sample written.
int RunBoxHarvest(const HarvestOptions& options, std::ostream& out, std::ostream& err);

}  // namespace karvona::training
