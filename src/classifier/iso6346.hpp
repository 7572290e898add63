#pragma once
// The ISO 6346 rules that turn the characters of one reading into a code string and decide
// whether it is valid. The reading pass walks its boxes in order and calls these; they keep no
// state.
//
// The check sum weighs each character by 2 to the power of its box position, not of its place in
// the code string (the two differ once "-" marks are inserted for gaps).

#include <string>
#include <string_view>

#include "classifier/owner_prefix_list.hpp"

namespace karvona::classifier {

/// Box position of the category letter, which always reads "U".
inline constexpr int kCategoryPosition = 3;
/// Box position of the check digit; positions before it make the check sum.
inline constexpr int kCheckDigitPosition = 10;
/// Length of a complete code string.
inline constexpr int kCodeLength = 11;

/// ISO 6346 equivalent value: digits 0..9 are worth 0..9, letters A 10, B 12 .. K 21, L 23 ..
/// U 32, V 34 .. Z 38 (multiples of 11 are skipped); any other character, "-" and 0 included,
/// is worth -1.
int CharToIsoValue(char c);

/// The character kept at a box position: "U" at the category position when it is a letter
/// position (prefixBreak >= 3), else the classified character unchanged.
char CategoryRule(int boxPosition, int prefixBreak, char classified);

/// The term a classified character adds to the check sum: CharToIsoValue(c) x 2^boxPosition for
/// positions 0..9, 0 for any other position.
double CheckSumTerm(int boxPosition, char c);

/// Check sum of a code string whose box positions are its string positions (characters 0..9).
double CheckSumOf(std::string_view code);

/// The check digit of a check sum: the sum truncated to an integer, modulo 11, with the
/// remainder 10 standing for 0 (negative for a negative sum, -1 for a sum that is not finite).
int CheckDigitOf(double checkSum);

/// Check-digit test: checkValue (CharToIsoValue of the character at position 10, -1 when there
/// is none) equals the check digit of the sum. A value of -1 never passes.
bool CheckDigitPasses(double checkSum, int checkValue);

/// Owner-prefix test: only for more than 5 boxes; the first four characters of the code string
/// ("-" marks included) must equal an entry of the list exactly.
bool OwnerPrefixPasses(std::string_view code, int boxCount, const COwnerPrefixList& prefixes);

struct CodeVerdict {
    bool prefixPasses = false;
    bool checkDigitPasses = false;
    bool success = false;  ///< both tests passed
};

/// Both tests on a finished walk: code is the string as assembled, boxCount the boxes read,
/// checkSum the sum of CheckSumTerm over the classified boxes, checkValue as for
/// CheckDigitPasses.
CodeVerdict ValidateCode(std::string_view code, int boxCount, double checkSum, int checkValue,
                         const COwnerPrefixList& prefixes);

/// Completion applies when the boxes read plus the "-" marks inserted for gaps are 9 or more
/// and the owner-prefix test passed.
bool CompletionApplies(int boxCount, int gapMarks, bool prefixPasses);

/// Pads the code with "-" through position 10 and ends it there: exactly 11 characters.
void CompleteCode(std::string& code);

}  // namespace karvona::classifier
