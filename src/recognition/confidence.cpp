#include "recognition/confidence.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "classifier/iso6346.hpp"
#include "recognition/confidence_model.hpp"
#include "recognition/reading_doubts.hpp"

namespace karvona::recognition {

double CharacterMargin(const BoxReading& box, char written) {
    double own = std::numeric_limits<double>::infinity();
    double other = std::numeric_limits<double>::infinity();
    for (const auto& rank : box.ranks.ranks) {
        if (rank.character == 0)
            continue;
        if (rank.character == written)
            own = std::min(own, rank.distance);
        else
            other = std::min(other, rank.distance);
    }
    if (!std::isfinite(own))
        return 0.0;
    if (!std::isfinite(other)) {
        // No other character among the ranks: it lies at least as far as the last rank.
        other = box.ranks.ranks[classifier::kShownRanks - 1].distance;
        if (!std::isfinite(other))
            return 1.0;
    }
    if (other <= 0.0)
        return 0.0;
    return std::clamp(1.0 - own / other, 0.0, 1.0);
}

std::vector<double> CodeMargins(const Reading& reading, const std::string& code) {
    std::vector<double> margins;
    for (int i = 0; i < static_cast<int>(code.size()); ++i) {
        if (i == classifier::kCategoryPosition)
            continue;
        if (i < static_cast<int>(reading.code.size()) && reading.code[i] != code[i])
            continue;
        margins.push_back(i < static_cast<int>(reading.characters.size())
                              ? CharacterMargin(reading.characters[i], code[i])
                              : 0.0);
    }
    std::sort(margins.begin(), margins.end());
    return margins;
}

namespace {

double Median(std::vector<double> values) {
    if (values.empty())
        return 0.0;
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<long>(middle), values.end());
    return values[middle];
}

}  // namespace

bool EvenBoxes(const Reading& reading, const std::string& code) {
    const BoxHeights heights = BoxHeightsOf(reading, code);
    return !(heights.lowest < kLowBoxRatio * heights.median);
}

BoxHeights BoxHeightsOf(const Reading& reading, const std::string& code) {
    std::vector<double> heights;
    for (size_t i = 0; i < std::min(code.size(), reading.characters.size()); ++i) {
        if (reading.characters[i].box.height > 0)
            heights.push_back(reading.characters[i].box.height);
    }
    BoxHeights result;
    result.median = Median(heights);
    if (!heights.empty())
        result.lowest = *std::min_element(heights.begin(), heights.end());
    return result;
}

double OwnConfidence(const Reading& reading, const std::string& code, Winner reader) {
    int changes = 0;
    for (size_t i = 0; i < code.size(); ++i)
        changes += i >= reading.code.size() || reading.code[i] != code[i] ? 1 : 0;
    const std::vector<double> margins = CodeMargins(reading, code);
    double confidence = 0.0;
    if (changes == 0) {
        if (margins.size() >= 2)
            confidence = std::min(1.0, margins[1] / kSureMargin);
    } else if (changes <= 2 && !margins.empty()) {
        confidence = kGuidedWeight * std::min(1.0, margins[0] / kGuidedRestMargin);
        if (changes == 2)
            confidence *= 0.5;
    }
    if (reader == Winner::Cluster)
        confidence *= kClusterWeight;
    if (!EvenBoxes(reading, code))
        confidence *= kUnevenWeight;
    return confidence;
}

double AgreedConfidence(const std::vector<Candidate>& candidates, size_t k) {
    if (k >= candidates.size())
        return 0.0;
    // The surest reading of each look that holds the code; the two surest looks count.
    std::vector<std::pair<int, double>> looks;
    for (size_t i = 0; i <= k; ++i) {
        const Candidate& c = candidates[i];
        if (c.code != candidates[k].code)
            continue;
        auto it = std::find_if(looks.begin(), looks.end(),
                               [&](const auto& look) { return look.first == c.look; });
        if (it == looks.end())
            looks.push_back({c.look, c.own});
        else
            it->second = std::max(it->second, c.own);
    }
    double first = 0.0, second = 0.0;
    for (const auto& look : looks) {
        if (look.second > first) {
            second = first;
            first = look.second;
        } else if (look.second > second) {
            second = look.second;
        }
    }
    return 1.0 - (1.0 - first) * (1.0 - kAgreementWeight * second);
}

int AgreeingLooks(const std::vector<Candidate>& candidates, size_t k) {
    std::vector<int> looks;
    for (size_t i = 0; i <= k && i < candidates.size(); ++i) {
        if (candidates[i].code == candidates[k].code &&
            std::find(looks.begin(), looks.end(), candidates[i].look) == looks.end())
            looks.push_back(candidates[i].look);
    }
    return static_cast<int>(looks.size());
}

Evidence AgreedEvidence(const std::vector<Candidate>& candidates, size_t k) {
    if (k >= candidates.size())
        return Evidence{};
    Evidence values = candidates[k].evidence.values;
    std::vector<int> otherLooks;
    bool morphology = false, cluster = false;
    double bestMargin = -1.0;
    for (size_t i = 0; i <= k; ++i) {
        const Candidate& c = candidates[i];
        if (c.code == candidates[k].code) {
            morphology = morphology || c.reader == Winner::Morphology;
            cluster = cluster || c.reader == Winner::Cluster;
            bestMargin = std::max(bestMargin, c.evidence.marginSecond);
        } else if (std::find(otherLooks.begin(), otherLooks.end(), c.look) == otherLooks.end()) {
            otherLooks.push_back(c.look);
        }
    }
    auto set = [&](const char* name, double value) {
        values[static_cast<size_t>(EvidenceIndex(name))] = value;
    };
    set("looks_agree", std::log2(static_cast<double>(AgreeingLooks(candidates, k))));
    set("readers_agree", morphology && cluster ? 1.0 : 0.0);
    set("looks_other", std::log2(1.0 + static_cast<double>(otherLooks.size())));
    set("best_agree_margin", bestMargin);
    set("hand_agreed", AgreedConfidence(candidates, k));
    set("remainder_ten", RemainderTen(candidates[k].code) ? 1.0 : 0.0);
    return values;
}

double CandidateConfidence(const std::vector<Candidate>& candidates, size_t k,
                           const ConfidenceModel* model) {
    if (model == nullptr)
        return AgreedConfidence(candidates, k);
    return model->Probability(AgreedEvidence(candidates, k));
}

namespace {

// The doubts that keep any code from being sure, whatever looks agree.
bool Doubted(const Candidate& c) {
    return c.netTwin || c.cropDoubt || c.twinShare >= kTwinOwnerShareLimit ||
           c.guidedNet < kGuidedNetFloor || c.lineGoesOn || (c.tallBox && RemainderTen(c.code));
}

const size_t kByLine = static_cast<size_t>(EvidenceIndex("line_net"));
const size_t kByChains = static_cast<size_t>(EvidenceIndex("chains"));
const size_t kNetWrittenMin = static_cast<size_t>(EvidenceIndex("net_written_min"));
const size_t kChainUneven = static_cast<size_t>(EvidenceIndex("chain_uneven"));
const size_t kGuided = static_cast<size_t>(EvidenceIndex("guided_changes"));

// Whether every look that read candidate k's code needed the check-digit choice for it, and in
// none of them the network backs the characters that choice put in (kGuidedNetBacking).
bool OnlyGuessedByTheCheckDigit(const std::vector<Candidate>& candidates, size_t k) {
    for (size_t j = 0; j <= k; ++j) {
        const Candidate& c = candidates[j];
        if (c.code == candidates[k].code &&
            (c.evidence.values[kGuided] <= 0 || c.guidedNet >= kGuidedNetBacking))
            return false;
    }
    return true;
}

}  // namespace

bool MayBeSure(const std::vector<Candidate>& candidates, size_t k) {
    if (k >= candidates.size())
        return false;
    const Candidate& c = candidates[k];
    // The line network reads without boxes, and the chain reader's every character is the
    // character network's: their codes alone are never sure, only when another look read them
    // too.
    const bool alone = c.evidence.values[kByLine] > 0 || c.evidence.values[kByChains] > 0 ||
                       c.evidence.twinOwner || RemainderTen(c.code);
    const bool confirmed = AgreeingLooks(candidates, k) >= 2;
    return !Doubted(c) && (!alone || confirmed) &&
           (confirmed || c.evidence.values[kNetWrittenMin] >= kLoneNetFloor) &&
           !OnlyGuessedByTheCheckDigit(candidates, k);
}

bool SureChainAlone(const std::vector<Candidate>& candidates, size_t k, double floor,
                    const std::vector<double>& confidences) {
    if (k >= candidates.size())
        return false;
    const Candidate& c = candidates[k];
    if (c.evidence.values[kByChains] <= 0 || c.evidence.values[kChainUneven] > 0 ||
        c.evidence.values[kByLine] > 0 || c.evidence.twinOwner || RemainderTen(c.code) ||
        Doubted(c) || c.evidence.values[kNetWrittenMin] < floor ||
        std::count(c.code.begin() + std::min<size_t>(4, c.code.size()), c.code.end(), '1') >=
            kChainOnesLimit)
        return false;
    for (size_t j = 0; j < k; ++j) {
        if (candidates[j].code != c.code &&
            (j >= confidences.size() || confidences[j] >= kContradicting))
            return false;
    }
    return true;
}

std::vector<double> CandidateConfidences(const std::vector<Candidate>& candidates,
                                         const ConfidenceModel* model) {
    std::vector<double> confidences;
    confidences.reserve(candidates.size());
    for (size_t k = 0; k < candidates.size(); ++k)
        confidences.push_back(CandidateConfidence(candidates, k, model));
    return confidences;
}

bool IsSure(const std::vector<Candidate>& candidates, size_t k,
            const std::vector<double>& confidences, double threshold, double chainFloor) {
    return (k < confidences.size() && confidences[k] >= threshold && MayBeSure(candidates, k)) ||
           SureChainAlone(candidates, k, chainFloor, confidences);
}

Decision Decide(const std::vector<Candidate>& candidates, double threshold,
                const ConfidenceModel* model) {
    Decision decision;
    const double chainFloor = model != nullptr ? model->chainFloor : kNoChainFloor;
    std::vector<double> confidences;
    for (size_t k = 0; k < candidates.size(); ++k) {
        const double confidence = CandidateConfidence(candidates, k, model);
        confidences.push_back(confidence);
        if (IsSure(candidates, k, confidences, threshold, chainFloor)) {
            // A chain code sure by the floor shows at least the sure threshold, so that no sure
            // reading shows less.
            return {static_cast<int>(k), std::max(confidence, threshold), true};
        }
        if (decision.candidate < 0 || confidence > decision.confidence) {
            decision.candidate = static_cast<int>(k);
            decision.confidence = confidence;
        }
    }
    return decision;
}

}  // namespace karvona::recognition
