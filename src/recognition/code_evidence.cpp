#include "recognition/code_evidence.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>

#include "classifier/iso6346.hpp"
#include "classifier/lvq_cluster.hpp"
#include "recognition/confidence.hpp"
#include "recognition/net_choice.hpp"

namespace karvona::recognition {
namespace {

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// The squared distance of the nearest prototype per character (digits have two classes each).
std::map<char, double> NearestPerCharacter(const classifier::CLvqCluster& codebook,
                                           const cv::Mat& crop, bool digit) {
    std::map<char, double> nearest;
    std::vector<int> classes;
    std::vector<double> distances;
    codebook.Classify(crop, classes, distances, classifier::kShownRanks);
    for (size_t r = 0; r < classes.size(); ++r) {
        const char c = classifier::ClassIndexToChar(classes[r], digit);
        if (c == 0 || !std::isfinite(distances[r]))
            continue;
        auto [it, added] = nearest.emplace(c, distances[r]);
        if (!added)
            it->second = std::min(it->second, distances[r]);
    }
    return nearest;
}

std::map<char, double> NearestFromRanks(const BoxReading& box) {
    std::map<char, double> nearest;
    for (const auto& rank : box.ranks.ranks) {
        if (rank.character == 0 || !std::isfinite(rank.distance))
            continue;
        auto [it, added] = nearest.emplace(rank.character, rank.distance);
        if (!added)
            it->second = std::min(it->second, rank.distance);
    }
    return nearest;
}

void Set(Evidence& values, const char* name, double value) {
    values[static_cast<size_t>(EvidenceIndex(name))] = value;
}

}  // namespace

int EvidenceIndex(const std::string& name) {
    for (size_t i = 0; i < kEvidenceCount; ++i) {
        if (name == kEvidenceNames[i])
            return static_cast<int>(i);
    }
    return -1;
}

bool CheckDigitTwins(char a, char b) {
    if (a == b || a < 'A' || a > 'Z' || b < 'A' || b > 'Z')
        return false;
    const int va = classifier::CharToIsoValue(a);
    const int vb = classifier::CharToIsoValue(b);
    return va >= 0 && vb >= 0 && std::abs(va - vb) % 11 == 0;
}

bool RemainderTen(const std::string& code) {
    if (code.size() != classifier::kCodeLength)
        return false;
    const double sum = classifier::CheckSumOf(code);
    return std::isfinite(sum) && sum >= 0 && static_cast<long long>(sum) % 11 == 10;
}

CharacterEvidence EvidenceOfBox(const BoxReading& box, char written,
                                const classifier::CLvqCluster* codebook) {
    const bool digit = !box.letterPosition;
    const std::map<char, double> nearest =
        codebook != nullptr && codebook->prototypeCount() > 0 && !box.crop.empty()
            ? NearestPerCharacter(*codebook, box.crop, digit)
            : NearestFromRanks(box);
    CharacterEvidence evidence;
    evidence.own = kInfinity;
    evidence.other = kInfinity;
    double best = kInfinity;
    for (const auto& [c, d] : nearest) {
        if (c == written)
            evidence.own = d;
        else
            evidence.other = std::min(evidence.other, d);
        if (d < best) {
            best = d;
            evidence.nearestCharacter = c;
        }
    }
    evidence.nearest = evidence.nearestCharacter == written;
    if (!std::isfinite(evidence.own)) {
        evidence.margin = -1.0;
    } else if (!std::isfinite(evidence.other)) {
        evidence.margin = 1.0;
    } else if (evidence.other <= 0.0) {
        evidence.margin = evidence.own <= 0.0 ? 0.0 : -1.0;
    } else {
        evidence.margin = std::clamp(1.0 - evidence.own / evidence.other, -1.0, 1.0);
    }
    return evidence;
}

LookEvidence EvidenceOfReading(const Reading& reading, const std::string& code, Winner reader,
                               int look, int layoutCode, const ReferenceData& data) {
    LookEvidence out;
    Evidence& v = out.values;
    std::vector<double> margins;
    int notNearest = 0, runnerUp = 0, changes = 0, netDoubt = 0;
    double netWrittenMin = 1.0;
    bool twin = false;
    for (int i = 0; i < static_cast<int>(code.size()); ++i) {
        const bool changed =
            i >= static_cast<int>(reading.code.size()) || reading.code[i] != code[i];
        changes += changed ? 1 : 0;
        if (i == classifier::kCategoryPosition)
            continue;  // set by rule, not read
        if (i >= static_cast<int>(reading.characters.size())) {
            margins.push_back(-1.0);
            ++notNearest;
            continue;
        }
        const BoxReading& box = reading.characters[static_cast<size_t>(i)];
        const CharacterEvidence e =
            EvidenceOfBox(box, code[i], box.letterPosition ? data.letters : data.digits);
        margins.push_back(e.margin);
        notNearest += e.nearest ? 0 : 1;
        if (box.netRead) {
            const int written = classifier::NetClassOf(code[i]);
            const double p = written < 0 ? 0.0 : box.net[static_cast<size_t>(written)];
            netWrittenMin = std::min(netWrittenMin, p);
            netDoubt += NetCharacter(box, i) == code[i] ? 0 : 1;
        }
        const bool byRunnerUp = !changed && box.ranks.chosenRank == 1;
        runnerUp += byRunnerUp ? 1 : 0;
        if (i < classifier::kCategoryPosition) {
            // The letter the owner letter was chosen over: the rank-0 letter, the letter read
            // before the check-digit choice, or the nearest class of the whole codebook.
            const char over = changed      ? reading.code[static_cast<size_t>(i)]
                              : byRunnerUp ? box.ranks.ranks[0].character
                                           : e.nearestCharacter;
            twin = twin || CheckDigitTwins(code[i], over);
        }
    }
    std::sort(margins.begin(), margins.end());
    double mean = 0.0;
    for (double m : margins)
        mean += m;
    mean = margins.empty() ? -1.0 : mean / static_cast<double>(margins.size());

    const BoxHeights heights = BoxHeightsOf(reading, code);
    const double median = heights.median;
    const double lowest = heights.lowest;

    Set(v, "margin_min", margins.empty() ? -1.0 : margins[0]);
    Set(v, "margin_second", margins.size() < 2 ? -1.0 : margins[1]);
    Set(v, "margin_mean", mean);
    Set(v, "not_nearest", notNearest);
    Set(v, "runner_up", runnerUp);
    Set(v, "guided_changes", changes);
    Set(v, "twin_owner", twin ? 1.0 : 0.0);
    Set(v, "cluster", reader == Winner::Cluster ? 1.0 : 0.0);
    Set(v, "uneven_boxes", EvenBoxes(reading, code) ? 0.0 : 1.0);
    Set(v, "low_box_ratio", median > 0.0 ? std::min(1.0, lowest / median) : 0.0);
    Set(v, "reader_score", reading.score / 11.0);
    Set(v, "layout_sloped", layoutCode > 0 ? 1.0 : 0.0);
    Set(v, "later_look", look > 0 ? 1.0 : 0.0);
    Set(v, "hand_confidence", OwnConfidence(reading, code, reader));
    Set(v, "net_doubt", netDoubt);
    Set(v, "net_written_min", netWrittenMin);
    out.twinOwner = twin;
    out.marginSecond = margins.size() < 2 ? -1.0 : margins[1];
    return out;
}

}  // namespace karvona::recognition
