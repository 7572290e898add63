#pragma once
// Montages of character crops: many small binary crops laid out in rows on one picture, so that
// a person can look over a whole class of harvested samples (or of misread characters) at once.

#include <filesystem>
#include <map>
#include <opencv2/core.hpp>
#include <ostream>
#include <string>
#include <vector>

namespace karvona::training {

/// Crops at most this many in one montage; the rest are counted in the caption only.
inline constexpr int kMontageLimit = 480;

/// Lays crops (8-bit, one channel, strokes 255) out in rows of perRow cells of cellHeight pixels:
/// each crop is scaled to the cell's height (never wider than the cell, 3/4 of the height) and
/// centred, white on black, cells parted by grey lines. A caption line on top says what it is
/// and how many crops there are. At most kMontageLimit crops are drawn. Empty crops are drawn
/// as empty cells. Returns an 8-bit three-channel image.
cv::Mat MakeMontage(const std::vector<cv::Mat>& crops, const std::string& caption,
                    int cellHeight = 40, int perRow = 30);

/// A file name for a montage of a character pair or class that works on every file system:
/// letters and digits as they are, anything else as its code ("x2d" for '-').
std::string MontageName(const std::string& characters);

/// Writes one PNG per entry (key: file name without extension) into folder (created when
/// missing). Returns the number of files written; error receives the first failure.
int WriteMontages(const std::filesystem::path& folder,
                  const std::map<std::string, std::pair<std::string, std::vector<cv::Mat>>>& sets,
                  std::string& error);

/// One montage per character class of a harvest into folder, each captioned "C <what>, N saved"
/// (N from saved), and a line on out saying how many were written (the first failure on err).
/// The crops are moved out of crops.
void WriteClassMontages(const std::filesystem::path& folder,
                        std::map<char, std::vector<cv::Mat>>& crops,
                        const std::map<char, int>& saved, const std::string& what,
                        std::ostream& out, std::ostream& err);

}  // namespace karvona::training
