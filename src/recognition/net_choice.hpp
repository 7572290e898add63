#pragma once
// The character network's second opinion on a reading: its probabilities are kept in every box
// of the reading, and the code it reads in the boxes is offered when the check digit and the
// owner list accept it, like any other reading.

#include <string>

#include "classifier/character_net.hpp"
#include "classifier/owner_prefix_list.hpp"
#include "recognition/check_digit_choice.hpp"
#include "recognition/reading_pass.hpp"

namespace karvona::recognition {

/// A close second class of the network is tried at a position when its probability is at
/// least this share of the first's.
inline constexpr float kNetSecondShare = 0.2f;

/// Whether a character may stand at a code position: a letter at 0..3 (U, J or Z at the
/// category position), a digit after.
bool AllowedAt(char c, int position);

/// Reads every box of reading with the network and keeps the probabilities in the boxes.
void ReadBoxesWithNet(classifier::CharacterNet& net, Reading& reading);

/// The character the network reads most probably in a box for a code position: a letter at
/// positions 0..3 (U, J or Z at the category position), a digit after; 0 without probabilities.
char NetCharacter(const BoxReading& box, int position, int rank = 0);

/// The code the network reads in a reading of eleven boxes (the four letters first), taken when
/// it validates; otherwise its close second class (kNetSecondShare) is tried at one position and
/// taken when exactly one such change validates. The category letter is never changed. False
/// when the reading does not qualify, has no probabilities, or no code validates; also when the
/// code is the reading's own (nothing new).
bool ChooseByNet(const Reading& reading, const classifier::COwnerPrefixList& prefixes,
                 GuidedChoice& choice);

/// Whether the network reads an owner letter of code as its check-digit twin (see
/// CheckDigitTwins) where the twin spells another listed owner: the check digit cannot tell the
/// two codes apart, so only the letters' own evidence can, and the two readers disagree on it.
/// Asks the network about the owner boxes that it has not read yet.
bool NetReadsTwinOwner(classifier::CharacterNet& net, const Reading& reading,
                       const std::string& code, const classifier::COwnerPrefixList& prefixes);

}  // namespace karvona::recognition
