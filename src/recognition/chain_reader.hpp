#pragma once
// The chain reader: a reading that needs no located region. The image is binarised by its local
// mean in several ways (also enlarged, and equalised), every component of a character's size is
// read by the character network, and chains of eleven components that stand on one line, across
// or stacked down (similar heights, at most two wide gaps: after the owner code and before the
// check digit), or on two or three such lines (the owner code, then the serial), are read as
// codes. A chain's code is offered only when the check digit and the owner list accept it, and the
// codebooks read its boxes too, so that the confidence weighs it like any other reading.

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "classifier/character_net.hpp"
#include "classifier/owner_prefix_list.hpp"
#include "recognition/chain_lines.hpp"
#include "recognition/reading_pass.hpp"

namespace karvona::recognition {

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

/// How a chain's code is written: its direction, and on how many lines.
struct ChainShape {
    ChainDirection direction = ChainDirection::kAcross;
    int lines = 1;
    /// The serial written in two groups of three with a wider gap between them (871 079): that
    /// gap is no pitch, but no narrower than the serial's usual one.
    bool serialInGroups = false;
};

/// One chain's code, as a reading of eleven boxes.
struct ChainCode {
    std::string code;
    ChainShape shape;
    double weakest = 0.0;       ///< the network's lowest probability of a written character
    bool evenlySpaced = false;  ///< see EvenlySpaced
    Reading reading;
};

/// Neighbours on a line that differ more than this in their distance apart (the larger over the
/// smaller), among the owner code's letters or among the serial's digits, are not evenly spaced.
/// On the training photographs, 95% of the right chain codes differ by at most 1.45, and half of
/// the wrong ones by 2.9 or more: a chain that skipped a character or took a stroke beside one.
inline constexpr double kUnevenPitch = 1.6;
/// The check digit stands at least this share of the serial's usual distance apart after its
/// last digit: one closer is a stroke of that digit or a mark beside it.
inline constexpr double kCloseCheckDigit = 0.8;

/// Whether the eleven boxes of a chain's code, in code order and written as shape says, are
/// spaced as painted characters are: the owner code's letters evenly, the serial's digits evenly
/// (on each of its lines), and the check digit not closer than kCloseCheckDigit of the serial's
/// median distance. A code whose characters the network reads however surely, in boxes spaced
/// otherwise, is a chain that went astray.
bool EvenlySpaced(const std::vector<cv::Rect>& boxes, ChainShape shape);
/// The same for the boxes of a reading, in their order.
bool EvenlySpaced(const Reading& reading, ChainShape shape);

/// The codes the chains of an image give, across and down, on one line, two or three, that the
/// check digit and the owner list accept, the one the network reads most surely first (at most
/// one per code). The pieces are ReadPieces'; where they give no code and hold a piece of the
/// equalised image, the chains are sought again without the equalised image's pieces, which can
/// take the place of right ones. The readings' boxes are in the image's pixels; data's codebooks
/// read their crops as well. pieces, when given, receives the pieces of the codes (the step
/// view's).
std::vector<ChainCode> ReadChains(const cv::Mat& image, classifier::CharacterNet& net,
                                  const ReferenceData& data,
                                  std::vector<ChainPiece>* pieces = nullptr);

/// The chain reader's step view: image in colour, every piece boxed (kDarkPieceColour,
/// kLightPieceColour), and the first code's eleven boxes in kChainColour with the code above.
cv::Mat DrawChains(const cv::Mat& image, const std::vector<ChainPiece>& pieces,
                   const std::vector<ChainCode>& codes);

}  // namespace karvona::recognition
