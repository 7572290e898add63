#pragma once
// The chain reader: a reading that needs no located region. The image is binarised by its local
// mean in several ways, every component of a character's size is read by the character network,
// and chains of eleven components that stand on one line, across or stacked down (similar
// heights, at most two wide gaps: after the owner code and before the check digit), or on two
// such lines (the owner code, then the serial), are read as codes. A chain's code is offered
// only when the check digit and the owner list accept it, and the codebooks read its boxes too,
// so that the confidence weighs it like any other reading.

#include <string>
#include <vector>

#include "classifier/character_net.hpp"
#include "classifier/owner_prefix_list.hpp"
#include "recognition/reading_pass.hpp"

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
    /// as long as an owner code, and may be part of a code on two lines.
    bool inLongLine = false;
};

/// The colours of the chain reader's step view (BGR): pieces dark on light, light on dark, and
/// the boxes of the code it offers.
inline const cv::Scalar kDarkPieceColour{0, 176, 255};
inline const cv::Scalar kLightPieceColour{255, 160, 0};
inline const cv::Scalar kChainColour{0, 200, 0};

/// The character heights the chain reader looks for, in pixels of the image it reads.
inline constexpr double kChainLowest = 9.0;
inline constexpr double kChainHighest = 70.0;

/// The components of a character's size in a gray image, over every binarisation, that stand
/// in some line across or down as long as an owner code; without the network's reading (see
/// ReadPieces).
std::vector<ChainPiece> FindChainPieces(const cv::Mat& gray);

/// Reads every piece with the network, then keeps of pieces that overlap (more than half of
/// their union) the one the network reads most surely, a piece in a line of eleven before any
/// other: a piece of a shorter line never takes the place of one in a whole code's line.
void ReadPieces(classifier::CharacterNet& net, std::vector<ChainPiece>& pieces);

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

/// How a chain's code is written: its direction, on one line or two.
struct ChainShape {
    ChainDirection direction = ChainDirection::kAcross;
    bool twoLines = false;
};

/// One chain's code, as a reading of eleven boxes.
struct ChainCode {
    std::string code;
    ChainShape shape;
    double weakest = 0.0;  ///< the network's lowest probability of a written character
    Reading reading;
};

/// The codes the chains of an image give, across and down, on one line or two, that the check digit
/// and the owner list accept, the one the network reads most surely first (at most one per code).
/// The readings' boxes are in the image's pixels; data's codebooks read their crops as well.
std::vector<ChainCode> ReadChains(const cv::Mat& image, classifier::CharacterNet& net,
                                  const ReferenceData& data,
                                  std::vector<ChainPiece>* pieces = nullptr);

/// The chain reader's step view: image in colour, every piece boxed (kDarkPieceColour,
/// kLightPieceColour), and the first code's eleven boxes in kChainColour with the code above.
cv::Mat DrawChains(const cv::Mat& image, const std::vector<ChainPiece>& pieces,
                   const std::vector<ChainCode>& codes);

}  // namespace karvona::recognition
