#include "recognition/net_choice.hpp"

#include <algorithm>

#include "classifier/iso6346.hpp"
#include "recognition/code_evidence.hpp"

namespace karvona::recognition {

namespace {

// The allowed classes of a position, most probable first (the first two).
std::array<int, 2> BestTwo(const BoxReading& box, int position) {
    std::array<int, 2> best{-1, -1};
    for (int c = 0; c < classifier::kNetClassCount; ++c) {
        if (!AllowedAt(classifier::kNetClasses[c], position))
            continue;
        if (best[0] < 0 || box.net[c] > box.net[best[0]]) {
            best[1] = best[0];
            best[0] = c;
        } else if (best[1] < 0 || box.net[c] > box.net[best[1]]) {
            best[1] = c;
        }
    }
    return best;
}

}  // namespace

bool AllowedAt(char c, int position) {
    if (position == classifier::kCategoryPosition)
        return c == 'U' || c == 'J' || c == 'Z';
    if (position < 4)
        return c >= 'A' && c <= 'Z';
    return c >= '0' && c <= '9';
}

void ReadBoxesWithNet(classifier::CharacterNet& net, Reading& reading) {
    std::vector<cv::Mat> crops;
    for (const BoxReading& box : reading.characters)
        crops.push_back(box.crop);
    const std::vector<classifier::NetProbabilities> read = net.Read(crops);
    for (size_t i = 0; i < read.size(); ++i) {
        reading.characters[i].net = read[i];
        reading.characters[i].netRead = !reading.characters[i].crop.empty();
    }
}

char NetCharacter(const BoxReading& box, int position, int rank) {
    if (!box.netRead || rank < 0 || rank > 1)
        return 0;
    const int c = BestTwo(box, position)[static_cast<size_t>(rank)];
    return c >= 0 ? classifier::kNetClasses[c] : 0;
}

bool ChooseByNet(const Reading& reading, const classifier::COwnerPrefixList& prefixes,
                 GuidedChoice& choice) {
    choice = GuidedChoice{};
    if (reading.characters.size() != classifier::kCodeLength)
        return false;
    std::string code(classifier::kCodeLength, '-');
    std::vector<std::pair<int, char>> seconds;
    for (int i = 0; i < classifier::kCodeLength; ++i) {
        const BoxReading& box = reading.characters[static_cast<size_t>(i)];
        if (!box.netRead || box.letterPosition != (i < 4))
            return false;
        const std::array<int, 2> best = BestTwo(box, i);
        code[static_cast<size_t>(i)] = classifier::kNetClasses[best[0]];
        if (i != classifier::kCategoryPosition && best[1] >= 0 &&
            box.net[best[1]] >= kNetSecondShare * box.net[best[0]])
            seconds.emplace_back(i, classifier::kNetClasses[best[1]]);
    }
    if (code == reading.code && reading.complete)
        return false;
    if (ValidatesAsCode(code, prefixes)) {
        choice.code = code;
        choice.changes = 0;
        return code != reading.code;
    }
    int found = 0;
    for (const auto& [position, character] : seconds) {
        std::string changed = code;
        changed[static_cast<size_t>(position)] = character;
        if (ValidatesAsCode(changed, prefixes)) {
            ++found;
            choice.code = changed;
            choice.changes = 1;
        }
    }
    if (found != 1 || choice.code == reading.code) {
        choice = GuidedChoice{};
        return false;
    }
    return true;
}

bool NetReadsTwinOwner(classifier::CharacterNet& net, const Reading& reading,
                       const std::string& code, const classifier::COwnerPrefixList& prefixes) {
    constexpr int kOwnerLetters = 3;
    const int boxes = std::min<int>(kOwnerLetters, static_cast<int>(reading.characters.size()));
    if (static_cast<int>(code.size()) < kOwnerLetters + 1 || boxes == 0)
        return false;
    std::vector<cv::Mat> crops;
    for (int i = 0; i < boxes; ++i) {
        const BoxReading& box = reading.characters[static_cast<size_t>(i)];
        crops.push_back(box.netRead ? cv::Mat() : box.crop);
    }
    const std::vector<classifier::NetProbabilities> read = net.Read(crops);
    for (int i = 0; i < boxes; ++i) {
        const BoxReading& box = reading.characters[static_cast<size_t>(i)];
        const classifier::NetProbabilities& p =
            box.netRead ? box.net : read[static_cast<size_t>(i)];
        const int written = classifier::NetClassOf(code[static_cast<size_t>(i)]);
        if ((!box.netRead && box.crop.empty()) || written < 0)
            continue;
        for (int c = 10; c < classifier::kNetClassCount; ++c) {
            const char twin = classifier::kNetClasses[c];
            if (!CheckDigitTwins(code[static_cast<size_t>(i)], twin) ||
                p[static_cast<size_t>(c)] <= p[static_cast<size_t>(written)])
                continue;
            std::string owner = code.substr(0, kOwnerLetters + 1);
            owner[static_cast<size_t>(i)] = twin;
            if (prefixes.Contains(owner))
                return true;
        }
    }
    return false;
}

}  // namespace karvona::recognition
