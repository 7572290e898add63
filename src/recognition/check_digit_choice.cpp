#include "recognition/check_digit_choice.hpp"

#include <vector>

#include "classifier/iso6346.hpp"

namespace karvona::recognition {

bool ValidatesAsCode(const std::string& code, const classifier::COwnerPrefixList& prefixes) {
    if (code.size() != classifier::kCodeLength)
        return false;
    return classifier::OwnerPrefixPasses(code, classifier::kCodeLength, prefixes) &&
           classifier::CheckDigitPasses(
               classifier::CheckSumOf(code),
               classifier::CharToIsoValue(code[classifier::kCheckDigitPosition]));
}

namespace {

struct Alternative {
    int position;
    char character;
};

// The characters of the ranks close behind the chosen one at box i, each once, none equal to
// the character read.
void CloseAlternatives(const BoxReading& box, int position, std::vector<Alternative>& out) {
    const auto& ranks = box.ranks.ranks;
    const double chosen = ranks[box.ranks.chosenRank].distance;
    std::string seen(1, box.character);
    for (const auto& rank : ranks) {
        if (rank.character == 0 || seen.find(rank.character) != std::string::npos)
            continue;
        if (!(rank.distance <= kGuidedRankCloseness * chosen))
            continue;
        seen += rank.character;
        out.push_back({position, rank.character});
    }
}

}  // namespace

bool ChooseByCheckDigit(const Reading& reading, const classifier::COwnerPrefixList& prefixes,
                        GuidedChoice& choice) {
    choice = GuidedChoice{};
    const std::string& code = reading.code;
    if (code.size() != classifier::kCodeLength ||
        reading.characters.size() != classifier::kCodeLength || reading.complete)
        return false;
    std::vector<Alternative> alternatives;
    for (int i = 0; i < classifier::kCodeLength; ++i) {
        const BoxReading& box = reading.characters[i];
        if (box.character != code[i] || code[i] == '-' || box.letterPosition != (i < 4))
            return false;
        if (i != classifier::kCategoryPosition)
            CloseAlternatives(box, i, alternatives);
    }
    if (ValidatesAsCode(code, prefixes))
        return false;  // a code that already validates needs no choice

    int found = 0;
    std::string taken;
    for (const Alternative& a : alternatives) {
        std::string changed = code;
        changed[a.position] = a.character;
        if (ValidatesAsCode(changed, prefixes)) {
            ++found;
            taken = changed;
        }
    }
    if (found == 0) {
        for (size_t x = 0; x < alternatives.size(); ++x) {
            for (size_t y = x + 1; y < alternatives.size(); ++y) {
                const Alternative& a = alternatives[x];
                const Alternative& b = alternatives[y];
                if (a.position == b.position)
                    continue;
                std::string changed = code;
                changed[a.position] = a.character;
                changed[b.position] = b.character;
                if (ValidatesAsCode(changed, prefixes)) {
                    ++found;
                    taken = changed;
                }
            }
        }
        if (found == 1)
            choice.changes = 2;
    } else if (found == 1) {
        choice.changes = 1;
    }
    if (found != 1)
        return false;
    choice.code = taken;
    return true;
}

}  // namespace karvona::recognition
