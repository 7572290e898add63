#pragma once
// What the reader gets wrong, character by character: the winning reading's boxes are aligned
// with the label, and every label character is counted as read right, read as another
// character (a confusion, kept with its crop) or not read at all.

#include <array>
#include <map>
#include <opencv2/core.hpp>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "recognition/reading_pass.hpp"

namespace karvona::blackbox {

struct ClassCount {
    int total = 0;
    int right = 0;
};

struct ConfusionTable {
    std::map<char, ClassCount> perClass;  ///< by label character
    /// (label, read) -> crops; read is '-' for a label character no box stood for.
    std::map<std::pair<char, char>, std::vector<cv::Mat>> confusions;

    /// Adds one photograph: label (eleven characters) against the boxes of the winning reading
    /// (none for a photograph without a reading).
    void Add(const std::string& label, const std::vector<recognition::BoxReading>& boxes);

    /// Letters (label positions 0 to 3) and digits apart: right / total, the confusions, most
    /// frequent first, and the accuracy of every label character.
    void Print(std::ostream& out) const;

    /// One PNG per confusion pair, "<label>_as_<read>.png", of its crops. Returns the count
    /// written; error receives the first failure.
    int WriteMontages(const std::string& folder, std::string& error) const;
};

/// The alignment of the boxes' characters with the label that needs the fewest changes (a
/// changed character costs 1, a label character without a box or a box without a label
/// character 1 each): per label position, the box that stands for it or -1.
std::vector<int> AlignWithLabel(const std::string& label, const std::string& read);

}  // namespace karvona::blackbox
