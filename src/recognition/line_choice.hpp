#pragma once
// The line network's reading of a located code line: where neither reader's boxes gave a code
// (fewer than eleven boxes, or a check digit that fails), the network reads the region whole and
// offers the code it finds, which the check digit and the owner list judge like any other.

#include <string>
#include <vector>

#include "classifier/line_net.hpp"
#include "classifier/owner_prefix_list.hpp"
#include "recognition/check_digit_choice.hpp"
#include "recognition/code_evidence.hpp"
#include "recognition/reading_pass.hpp"

namespace karvona::recognition {

/// Whether the line network reads regions of a layout: the layouts whose lines run across (the
/// region of a code of two lines holds them side by side).
bool LineReadable(int layoutCode);

/// The code in a decoded line. Every run of eleven characters is tried in turn: a position of
/// the wrong kind (a digit among the letters, a letter among the digits, a category letter
/// other than U, J or Z) takes its second class when that is of the right kind, else the run
/// fails; the run is taken when it validates, or else when exactly one close second class
/// (kNetSecondShare of the first's probability) at one other position makes it validate. The
/// code is taken only when exactly one run gives one; false otherwise.
bool ChooseByLine(const std::vector<classifier::LineCharacter>& line,
                  const classifier::COwnerPrefixList& prefixes, GuidedChoice& choice);

/// The regions of one photograph the line network reads at most (the first looks that need it):
/// about a millisecond each, where a photograph may have fourteen looks that give no code.
inline constexpr int kLineReadsPerPhoto = 2;

/// The margins the code line is cut with around the boxes a reader found, in box heights: across
/// (room for characters no segmenter boxed) and above and below.
inline constexpr double kLineMarginAcross = 3.0;
inline constexpr double kLineMarginAbove = 0.6;

/// The code line in a look's region: the rows of reading's boxes (their median centre and
/// height) with kLineMarginAbove, from the first box to the last with kLineMarginAcross; the
/// whole region when the reading has fewer than three boxes.
cv::Mat CodeLineOf(const cv::Mat& region, const Reading& reading);

/// The line network's code for a look's region (ChooseByLine over what the network reads in the
/// code line of reading's boxes); false without a region or for a layout that is not
/// LineReadable.
bool ChooseByLineNet(classifier::LineNet& net, const cv::Mat& region, int layoutCode,
                     const Reading& reading, const classifier::COwnerPrefixList& prefixes,
                     GuidedChoice& choice);

/// The reader whose boxes stand as the evidence of a line network's code: the one with more
/// boxes, the morphology reader on a tie.
Winner LineEvidenceReader(const Reading& morphology, const Reading& cluster);

/// Marks a code's evidence as the line network's (the confidence weighs it as a source of its
/// own).
void MarkLineReading(LookEvidence& evidence);

}  // namespace karvona::recognition
