#include "recognition/line_choice.hpp"

#include <algorithm>
#include <cmath>
#include <optional>

#include "classifier/iso6346.hpp"
#include "recognition/net_choice.hpp"

namespace karvona::recognition {

namespace {

// The code one run of eleven characters gives, with the positions it changed.
std::optional<GuidedChoice> ChooseInRun(const classifier::LineCharacter* run,
                                        const classifier::COwnerPrefixList& prefixes) {
    std::string code(classifier::kCodeLength, '-');
    int changes = 0;
    for (int i = 0; i < classifier::kCodeLength; ++i) {
        const classifier::LineCharacter& c = run[i];
        if (AllowedAt(c.character, i)) {
            code[static_cast<size_t>(i)] = c.character;
        } else if (AllowedAt(c.second, i)) {
            code[static_cast<size_t>(i)] = c.second;
            ++changes;
        } else {
            return std::nullopt;
        }
    }
    if (changes > 1)
        return std::nullopt;
    if (ValidatesAsCode(code, prefixes))
        return GuidedChoice{code, changes};
    if (changes > 0)
        return std::nullopt;
    std::optional<GuidedChoice> found;
    for (int i = 0; i < classifier::kCodeLength; ++i) {
        const classifier::LineCharacter& c = run[i];
        if (i == classifier::kCategoryPosition || !AllowedAt(c.second, i) ||
            c.secondProbability < kNetSecondShare * c.probability)
            continue;
        std::string changed = code;
        changed[static_cast<size_t>(i)] = c.second;
        if (ValidatesAsCode(changed, prefixes)) {
            if (found)
                return std::nullopt;
            found = GuidedChoice{changed, 1};
        }
    }
    return found;
}

}  // namespace

bool LineReadable(int layoutCode) {
    return layoutCode == 0 || layoutCode == 1 || layoutCode == 3 || layoutCode == 5 ||
           layoutCode == 6;
}

bool ChooseByLine(const std::vector<classifier::LineCharacter>& line,
                  const classifier::COwnerPrefixList& prefixes, GuidedChoice& choice) {
    choice = GuidedChoice{};
    std::optional<GuidedChoice> taken;
    for (size_t start = 0; start + classifier::kCodeLength <= line.size(); ++start) {
        const std::optional<GuidedChoice> run = ChooseInRun(line.data() + start, prefixes);
        if (!run)
            continue;
        if (taken && taken->code != run->code)
            return false;
        taken = run;
    }
    if (!taken)
        return false;
    choice = *taken;
    return true;
}

cv::Mat CodeLineOf(const cv::Mat& region, const Reading& reading) {
    std::vector<int> centres, heights;
    int left = region.cols, right = 0;
    for (const BoxReading& c : reading.characters) {
        if (c.box.height <= 0 || c.box.width <= 0)
            continue;
        centres.push_back(c.box.y + c.box.height / 2);
        heights.push_back(c.box.height);
        left = std::min(left, c.box.x);
        right = std::max(right, c.box.x + c.box.width);
    }
    if (centres.size() < 3)
        return region;
    auto median = [](std::vector<int> v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    const int h = median(heights), y = median(centres);
    const int margin = static_cast<int>(std::lround(kLineMarginAcross * h));
    const cv::Rect line(left - margin, y - h / 2 - static_cast<int>(kLineMarginAbove * h),
                        right - left + 2 * margin, h + 2 * static_cast<int>(kLineMarginAbove * h));
    const cv::Rect cut = line & cv::Rect(0, 0, region.cols, region.rows);
    return cut.height >= h && cut.width >= h ? region(cut) : region;
}

bool ChooseByLineNet(classifier::LineNet& net, const cv::Mat& region, int layoutCode,
                     const Reading& reading, const classifier::COwnerPrefixList& prefixes,
                     GuidedChoice& choice) {
    choice = GuidedChoice{};
    if (region.empty() || !LineReadable(layoutCode))
        return false;
    const cv::Mat line = CodeLineOf(region, reading);
    return ChooseByLine(net.Read(line), prefixes, choice);
}

Winner LineEvidenceReader(const Reading& morphology, const Reading& cluster) {
    return cluster.characters.size() > morphology.characters.size() ? Winner::Cluster
                                                                    : Winner::Morphology;
}

void MarkLineReading(LookEvidence& evidence) {
    evidence.values[static_cast<size_t>(EvidenceIndex("line_net"))] = 1.0;
}

}  // namespace karvona::recognition
