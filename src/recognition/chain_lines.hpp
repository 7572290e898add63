#pragma once
// The lines of the chain reader: which of the pieces found in an image follow each other as the
// characters of a code do, on one line across or down, or on two or three lines.

#include <opencv2/core.hpp>
#include <vector>

#include "classifier/character_net.hpp"
#include "classifier/iso6346.hpp"

namespace karvona::recognition {

/// One component of a binarised image: its box in the image read, whether its strokes were
/// lighter than the paint around them, its strokes (255 on 0, at the scale it was found at) and
/// what the network reads in it.
struct ChainPiece {
    cv::Rect2d box;
    bool light = false;
    cv::Mat crop;
    classifier::NetProbabilities net{};
    float top = 0.0f;  ///< the network's highest probability
    /// Whether it stands in a line of eleven (across or down); the others stand only in a line
    /// as long as an owner code (or of three under one), and may be part of a code on two or
    /// three lines.
    bool inLongLine = false;
    /// Found on the equalised image (see FindChainPieces).
    bool equalised = false;
};

/// The length of a code's first line (the owner code and category), the shortest line a piece
/// must stand in to be read; and of the middle line of a code on three lines.
inline constexpr int kOwnerLineLength = classifier::kCategoryPosition + 1;
inline constexpr int kMiddleLineLength = 3;

/// How a chain's characters follow each other: left to right, or top to bottom.
enum class ChainDirection { kAcross, kDown };

/// The chains of eleven pieces: for every piece that can end a code, the chain ending there whose
/// characters the network reads most probably as letters at 0..3 and digits after; each chain
/// as the indices of its pieces, left to right (or top to bottom).
std::vector<std::vector<int>> FindChains(const std::vector<ChainPiece>& pieces,
                                         ChainDirection direction = ChainDirection::kAcross);

/// The chains of a code on two lines: an owner code of four pieces, then the serial and check
/// digit of seven, the second line under the first (across) or a column beside it (down), both
/// starting level with each other. Each line stands alone (no character the network reads goes
/// on beside it at a word's spacing, as in a caption or a time stamp) and the owner code has no
/// wide gap. Each chain as the indices of its pieces, in code order.
std::vector<std::vector<int>> FindTwoLineChains(const std::vector<ChainPiece>& pieces,
                                                ChainDirection direction);

/// The chains of a code on three lines across, as the owner code over three digits over the last
/// three and the check digit, each line under the one before and starting level with it; the
/// lines as FindTwoLineChains has them. Each chain as the indices of its pieces, in code order.
std::vector<std::vector<int>> FindThreeLineChains(const std::vector<ChainPiece>& pieces);

/// Per piece, the longest line along the direction that it stands in (the wide gaps not
/// counted).
std::vector<int> LongestLines(const std::vector<ChainPiece>& pieces, ChainDirection direction);

/// Whether below stands on the line across under above's, as a line of a code does under the
/// line before it: of a height with it, one to two and a half heights lower, within the width of
/// a line of four.
bool OnLineUnder(const ChainPiece& above, const ChainPiece& below);

}  // namespace karvona::recognition
