#pragma once
// The evidence the learned confidence reads: for every validated code a look produces, numbers
// that say how clearly its characters were read and how it came about; for the code at a point of
// the plan, how many looks and readers agree with it so far.
//
// The evidence is a list of named values. The confidence model names the values it weighs, so a
// new kind of evidence (a character network's per-box probabilities, say) is one more name in
// kEvidenceNames and one more value filled in here; a model fitted before it simply gives it no
// weight until `scripts/calibrate` is run again.

#include <array>
#include <string>
#include <vector>

#include "recognition/reading_pass.hpp"
#include "recognition/result.hpp"

namespace karvona::recognition {

/// The names of the evidence values, in the order Evidence holds them.
inline constexpr std::array<const char*, 25> kEvidenceNames = {
    "margin_min",         ///< weakest character margin over the whole codebook (-1..1)
    "margin_second",      ///< second weakest
    "margin_mean",        ///< mean over the characters
    "not_nearest",        ///< characters that are not their own nearest class
    "runner_up",          ///< characters the runner-up rule wrote
    "guided_changes",     ///< characters the check-digit choice changed (0..2)
    "twin_owner",         ///< an owner letter chosen over its check-digit twin (0/1)
    "cluster",            ///< read by the cluster reader (0/1)
    "uneven_boxes",       ///< a box lower than kLowBoxRatio of the median (0/1)
    "low_box_ratio",      ///< the lowest box height over the median box height
    "reader_score",       ///< the reader's score over eleven
    "layout_sloped",      ///< the layout code is not 0 (0/1)
    "later_look",         ///< read by a second look, not the first (0/1)
    "hand_confidence",    ///< the hand-set confidence of this reading alone (OwnConfidence)
    "looks_agree",        ///< log2 of the looks so far that read this code
    "readers_agree",      ///< both readers read this code, at some look (0/1)
    "looks_other",        ///< log2(1 + looks so far that read another validated code)
    "best_agree_margin",  ///< the best margin_second among the looks that agree
    "hand_agreed",        ///< the hand-set agreed confidence (AgreedConfidence)
    "remainder_ten",      ///< the check sum leaves 10, which the check digit 0 stands for (0/1)
    "net_doubt",          ///< characters whose most probable class by the network is another (0
                          ///< when the network did not read the boxes)
    "net_written_min",    ///< the network's lowest probability of a written character (1 when
                          ///< it did not read the boxes)
    "line_net",           ///< read by the line network, not from the readers' boxes (0/1)
    "chains",             ///< read by the chain reader, without a located region (0/1)
    "chain_uneven",       ///< a chain reader's code whose boxes are not EvenlySpaced (0/1)
};
inline constexpr size_t kEvidenceCount = kEvidenceNames.size();
/// Index of a name in kEvidenceNames, or -1.
int EvidenceIndex(const std::string& name);

using Evidence = std::array<double, kEvidenceCount>;

/// How clearly one box reads as the character written for it, over the whole codebook: the
/// squared distance d of the nearest prototype of that character and e of the nearest prototype
/// of any other character; margin 1 - d / e, below 0 when another character lies nearer.
struct CharacterEvidence {
    double own = 0.0;
    double other = 0.0;
    double margin = 0.0;
    bool nearest = false;  ///< the written character is the nearest class
    char nearestCharacter = 0;
};

/// The whole-codebook evidence of one box for the character written; without a codebook or a
/// crop, the box's five ranks stand in for the codebook.
CharacterEvidence EvidenceOfBox(const BoxReading& box, char written,
                                const classifier::CLvqCluster* codebook);

/// Whether two letters give the same check digit wherever they stand (values 11 apart).
bool CheckDigitTwins(char a, char b);

/// Whether the check sum of code leaves the remainder 10, for which the check digit is 0 as for
/// the remainder 0: a single wrong character of such a code validates one time in ten.
bool RemainderTen(const std::string& code);

/// What one look's validated code says by itself (the agreement values are left 0).
struct LookEvidence {
    Evidence values{};
    bool twinOwner = false;  ///< copy of values[twin_owner], for the one-look rule
    double marginSecond = 0.0;
};

/// The evidence of code as reading read it (reader: which reader; code differs from
/// reading.code where the check-digit choice changed it). data supplies the codebooks.
LookEvidence EvidenceOfReading(const Reading& reading, const std::string& code, Winner reader,
                               int look, int layoutCode, const ReferenceData& data);

}  // namespace karvona::recognition
