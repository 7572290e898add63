#pragma once
// The check-digit-guided choice. A reading of eleven characters that fails the check digit or the
// owner list often has its wrong character among the next ranks of a character that was nearly a
// tie. The choice tries those ranks at one position, and then at two, and takes a change only
// when it is the one change of its size that makes the code validate.

#include <string>

#include "classifier/owner_prefix_list.hpp"
#include "recognition/reading_pass.hpp"

namespace karvona::recognition {

/// A rank is tried in place of the chosen one when its distance is at most this factor of the
/// chosen rank's distance.
inline constexpr double kGuidedRankCloseness = 1.2;

struct GuidedChoice {
    std::string code;  ///< the validated code
    int changes = 0;   ///< positions changed: 1 or 2
};

/// Whether a code of eleven characters passes both tests: its first four characters are an entry
/// of the owner list and its check digit matches.
bool ValidatesAsCode(const std::string& code, const classifier::COwnerPrefixList& prefixes);

/// Tries the close ranks of a reading that has eleven characters, one per box (no gap marks, no
/// unclassified box, the four letters first) and that does not validate. Changes of one position
/// are tried first: exactly one of them that validates is taken. When none does, changes of two
/// positions are tried the same way. The category letter ("U") is never changed. Returns false
/// when the reading does not qualify, when no change validates, or when more than one does.
bool ChooseByCheckDigit(const Reading& reading, const classifier::COwnerPrefixList& prefixes,
                        GuidedChoice& choice);

}  // namespace karvona::recognition
