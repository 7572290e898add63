#pragma once
// How sure a reading is. Every validated code a look produces becomes a candidate with a
// confidence of its own, taken from the rank distances of its characters and from the look that
// read it; looks that agree on a code make it surer. The plan takes the first candidate that
// reaches the sure threshold; a validated code that never does is handed on for review.

#include <string>
#include <vector>

#include "recognition/code_evidence.hpp"
#include "recognition/confidence_model.hpp"
#include "recognition/reading_pass.hpp"
#include "recognition/result.hpp"

namespace karvona::recognition {

/// The sure threshold of the hand-set confidence below, which stands in when no learned model is
/// loaded (the learned model carries its own threshold). `blackbox --curve` prints, per
/// threshold, the perfect readings and the misreads it would let through.
inline constexpr double kSureThreshold = 0.65;

// How the hand-set confidence is made. It is also evidence for the learned model.
/// The second weakest character margin at which a reading alone is fully sure. A wrong code
/// that passes the check digit has at least two wrong characters, so the weakest margin alone
/// says little and the second weakest says most.
inline constexpr double kSureMargin = 0.4;
/// A code the check-digit choice made is at most this sure, and that only when the weakest of
/// the characters it did not change has a margin of kGuidedRestMargin; half that for a change of
/// two positions.
inline constexpr double kGuidedWeight = 0.6;
inline constexpr double kGuidedRestMargin = 0.3;
/// The cluster reader runs only where the morphology reader did not validate, and the codes it
/// validates are wrong more often: its readings count this much.
inline constexpr double kClusterWeight = 0.7;
/// Another look that read the same code adds this share of its own confidence to what is left:
/// 1 - (1 - c1)(1 - kAgreementWeight c2) for the two surest looks. Looks of one photograph share
/// its faults, so agreement counts for less than two independent readings would.
inline constexpr double kAgreementWeight = 0.6;

/// A reading whose boxes are not of one height was cut wrongly more often than it was read
/// wrongly: a box lower than kLowBoxRatio times the median box height (a fragment of a character,
/// or a character of the smaller size-type code below the owner code) makes the reading count
/// only kUnevenWeight of its confidence.
inline constexpr double kLowBoxRatio = 0.75;
inline constexpr double kUnevenWeight = 0.5;

/// Whether reading's boxes for code are of one height (see kLowBoxRatio).
bool EvenBoxes(const Reading& reading, const std::string& code);

/// The median and the lowest height of reading's boxes at code's positions (boxes without a
/// height left out; both 0 when there is none).
struct BoxHeights {
    double median = 0.0;
    double lowest = 0.0;
};
BoxHeights BoxHeightsOf(const Reading& reading, const std::string& code);

/// How clearly a box reads as the character written for it: 1 - d / e, with d the distance of
/// the nearest rank of that character and e the distance of the nearest rank of any other
/// character, or of the last rank when no other character is among them (0: a tie or worse; 1:
/// the prototype met exactly). A character that is not among the ranks at all has margin 0.
double CharacterMargin(const BoxReading& box, char written);

/// The margins of the characters of code as read by reading's boxes (the category letter left
/// out: it is set by rule, not read), in ascending order; positions where code differs from the
/// reading's own code are left out too. A box that is missing gives margin 0.
std::vector<double> CodeMargins(const Reading& reading, const std::string& code);

/// A validated code that one look produced, or that the check-digit choice made of its reading.
struct Candidate {
    std::string code;
    int look = 0;         ///< the look's place in the plan (0: the first look)
    bool guided = false;  ///< made by the check-digit-guided choice
    Winner reader = Winner::None;
    double own = 0.0;       ///< the hand-set confidence of this reading alone
    LookEvidence evidence;  ///< what the reading says by itself (agreement values left 0)
    /// The character network reads an owner letter as its check-digit twin, and the twin spells
    /// another listed owner (NetReadsTwinOwner): never sure.
    bool netTwin = false;
    /// The network's share for the listed check-digit twin of an owner letter (TwinOwnerNetShare;
    /// 0 without a network): never sure from kTwinOwnerShareLimit on.
    float twinShare = 0.0f;
    /// The network's lowest probability of a character the check-digit choice put in
    /// (GuidedNetProbability): never sure below kGuidedNetFloor.
    float guidedNet = 1.0f;
    /// The code's line goes on past the reading's last box (CodeLineGoesOn): the reading took in
    /// something else and left the code's last character out. Never sure.
    bool lineGoesOn = false;
    /// A box is markedly taller than the others (HasTallBox): with a check sum that leaves 10,
    /// never sure, however many looks agree (they read the same box).
    bool tallBox = false;
    /// Read on a crop around a region (line_crops.hpp), and either the network gives a written
    /// character less than kCropNetFloor (an enlarged caption or marking that only looks like a
    /// code), an earlier look read another validated code of the photograph, or the boxes are
    /// not evenly spaced (UnevenlySpaced: the crop cut the code a character off). Never sure.
    bool cropDoubt = false;
};

/// The confidence of a validated code alone, 0..1: from the margins of its characters as
/// reading read them, the reader, and whether the check-digit choice changed it (code differs
/// from reading.code at one or two positions).
double OwnConfidence(const Reading& reading, const std::string& code, Winner reader);

/// The confidence of candidate k together with the candidates up to it that hold the same code
/// and came from other looks (see kAgreementWeight).
double AgreedConfidence(const std::vector<Candidate>& candidates, size_t k);

/// Candidate k's evidence with the agreement values filled in from the candidates up to it: the
/// looks that read the same code, the readers among them and the looks that read another code.
Evidence AgreedEvidence(const std::vector<Candidate>& candidates, size_t k);

/// The looks among the candidates up to k that read candidate k's code.
int AgreeingLooks(const std::vector<Candidate>& candidates, size_t k);

/// The confidence of candidate k: the learned model's probability over AgreedEvidence, or the
/// hand-set AgreedConfidence when model is null.
double CandidateConfidence(const std::vector<Candidate>& candidates, size_t k,
                           const ConfidenceModel* model);

/// Whether candidate k may be sure at all: not when only one look read its code and an owner
/// letter of it was chosen over its check-digit twin (by the runner-up rule or the check-digit
/// choice), which the check digit cannot tell apart, or its check sum leaves 10 (RemainderTen),
/// or the line network read it (`line_net` evidence); never when the character network reads an
/// owner letter as a listed twin (netTwin) or hardly tells an owner letter from its listed twin
/// (twinShare), hardly reads a character the check-digit choice put in (guidedNet), nor when
/// the reading left out a character at the code's end (lineGoesOn); nor when only one look read
/// it and the network reads one of its characters below kLoneNetFloor; nor when every look that
/// read it needed the check-digit choice and the network backs none of those choices
/// (kGuidedNetBacking).
bool MayBeSure(const std::vector<Candidate>& candidates, size_t k);

/// Below this network probability of a written character, a code that only one look read is not
/// sure, however well the codebooks matched: the network sees another character there and no
/// second look settles it. Fitted on the training photographs: limits from 0.35 to 0.5 cost
/// none of them its perfect reading at the fitted threshold, while a misread HLXU8798711 (five
/// serial digits wrong, one look, each box close to a prototype) had 0.32.
inline constexpr double kLoneNetFloor = 0.35;

/// The network backs a character the check-digit choice put in when it reads it with this
/// probability or more. Looks that agree on a code only because each made the same choice are
/// one guess, not several readings: a synthetic IBCU5775005 for IBCU5772095, eight looks with the
/// same choice, none of them above 0.47. On the training photographs this costs 4 of 836 perfect.
inline constexpr float kGuidedNetBacking = 0.5f;

/// An earlier code of this confidence or more contradicts a chain code (SureChainAlone); a
/// weaker one is likely wrong itself.
inline constexpr double kContradicting = 0.5;

/// A chain code with this many 1s or more among its digits is never sure alone. Door rods, the
/// ridges of the corrugation and the edges of stickers are thin upright strokes that the network
/// reads as 1 as surely as a painted one, and a chain that ran through them validates by chance
/// one time in eleven: on the training photographs most wrong chain codes held two or more 1s, and
/// the surest of them three (at two, a fifth of the right ones would go as well).
inline constexpr int kChainOnesLimit = 3;

/// Whether candidate k is a chain reader's code that is sure alone: its boxes are evenly spaced
/// (EvenlySpaced, evidence chain_uneven 0), no earlier candidate holds
/// another code of at least kContradicting confidence (confidences: per candidate up to k), the
/// network reads each of its written characters with at least floor
/// (ConfidenceModel::chainFloor), its digits hold fewer than kChainOnesLimit 1s, and none of
/// MayBeSure's doubts holds.
bool SureChainAlone(const std::vector<Candidate>& candidates, size_t k, double floor,
                    const std::vector<double>& confidences);

/// CandidateConfidence of every candidate.
std::vector<double> CandidateConfidences(const std::vector<Candidate>& candidates,
                                         const ConfidenceModel* model);

/// Whether candidate k is sure, with confidences as CandidateConfidences gives them (up to k at
/// least): it reaches threshold and MayBeSure, or it is SureChainAlone at chainFloor.
bool IsSure(const std::vector<Candidate>& candidates, size_t k,
            const std::vector<double>& confidences, double threshold, double chainFloor);

/// The choice over a run's candidates, in the order the looks produced them.
struct Decision {
    int candidate = -1;  ///< the index taken, -1 for none
    double confidence = 0.0;
    bool sure = false;  ///< reached the threshold (else the candidate goes to review)
};
/// The first candidate that IsSure is taken as sure (the plan stops there). Without one, the
/// candidate of the highest confidence is taken (the earliest on a tie) and goes to review. No
/// candidates: none.
Decision Decide(const std::vector<Candidate>& candidates, double threshold,
                const ConfidenceModel* model = nullptr);

}  // namespace karvona::recognition
