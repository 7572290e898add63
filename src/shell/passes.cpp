// GCC 12 under the sanitizers takes std::regex's own automaton for uninitialized (a false alarm
// inside <regex>).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "shell/passes.hpp"

#include <algorithm>
#include <array>
#include <set>

#include "classifier/iso6346.hpp"

namespace karvona::shell {
namespace {

namespace fs = std::filesystem;
using recognition::RecognitionResult;

constexpr int kCodeLength = classifier::kCodeLength;
// A partial reading lines up with a candidate at an offset where at least this many of its
// characters agree with it and at most kMostDisagreeing disagree. Two different containers' codes
// agree in about two places (the category letter and a digit by chance).
constexpr int kLeastAgreeing = 6;
constexpr int kMostDisagreeing = 3;

bool IsValidated(const RecognitionResult& reading) {
    return reading.complete && static_cast<int>(reading.code.size()) == kCodeLength;
}

struct Alignment {
    int offset = 0;
    int agreeing = 0;
    int disagreeing = 0;
    bool linedUp() const { return agreeing >= kLeastAgreeing && disagreeing <= kMostDisagreeing; }
};

// The best place of a partial reading along an 11-character candidate: most characters agreeing,
// then fewest disagreeing, then the first offset. "-" marks compare with nothing.
Alignment Align(const std::string& reading, const std::string& candidate) {
    Alignment best;
    best.disagreeing = kCodeLength + 1;
    const int length = static_cast<int>(reading.size());
    for (int offset = 0; offset + length <= kCodeLength; ++offset) {
        Alignment here;
        here.offset = offset;
        for (int i = 0; i < length; ++i) {
            if (reading[i] == '-')
                continue;
            if (reading[i] == candidate[offset + i])
                ++here.agreeing;
            else
                ++here.disagreeing;
        }
        if (here.agreeing > best.agreeing ||
            (here.agreeing == best.agreeing && here.disagreeing < best.disagreeing))
            best = here;
    }
    return best;
}

// Votes per position: character -> photographs.
using Votes = std::array<std::map<char, int>, kCodeLength>;

void AddVotes(Votes& votes, const std::string& reading, int offset) {
    for (int i = 0; i < static_cast<int>(reading.size()) && offset + i < kCodeLength; ++i) {
        if (reading[i] != '-')
            ++votes[offset + i][reading[i]];
    }
}

// The code the votes make: at every position the character with the most votes, the seed's own
// character on a tie; "-" where nobody voted and there is no seed.
std::string Majority(const Votes& votes, const std::string& seed) {
    std::string code(kCodeLength, '-');
    for (int i = 0; i < kCodeLength; ++i) {
        int most = 0;
        if (!seed.empty()) {
            code[i] = seed[i];
            const auto own = votes[i].find(seed[i]);
            most = own == votes[i].end() ? 0 : own->second;
        }
        for (const auto& [character, count] : votes[i]) {
            if (count > most) {
                most = count;
                code[i] = character;
            }
        }
    }
    return code;
}

struct Candidate {
    std::string code;
    std::vector<int> validated;  ///< photographs whose validated reading is this code
    std::vector<int> partial;    ///< photographs whose partial reading lines up with it
    bool sure = false;

    std::vector<int> Supporters() const {
        std::vector<int> all = validated;
        all.insert(all.end(), partial.begin(), partial.end());
        std::sort(all.begin(), all.end());
        return all;
    }
};

std::set<std::string> CamerasOf(const Candidate& candidate, const std::vector<PassPhoto>& photos) {
    std::set<std::string> cameras;
    for (int i : candidate.Supporters())
        cameras.insert(photos[static_cast<size_t>(i)].camera);
    return cameras;
}

// Codes of validated readings, in the order they first appear.
std::vector<Candidate> ValidatedCandidates(const std::vector<PassPhoto>& photos) {
    std::vector<Candidate> candidates;
    for (size_t i = 0; i < photos.size(); ++i) {
        const RecognitionResult& reading = photos[i].reading;
        if (!IsValidated(reading))
            continue;
        auto it = std::find_if(candidates.begin(), candidates.end(),
                               [&](const Candidate& c) { return c.code == reading.code; });
        if (it == candidates.end()) {
            candidates.push_back({reading.code, {}, {}, false});
            it = candidates.end() - 1;
        }
        it->validated.push_back(static_cast<int>(i));
    }
    return candidates;
}

// Without any validated reading: codes that partial readings of full length make together, when
// at least two photographs line up and their majority is a valid code.
std::vector<Candidate> PartialCandidates(const std::vector<PassPhoto>& photos,
                                         const classifier::COwnerPrefixList& prefixes) {
    std::vector<Candidate> candidates;
    for (const PassPhoto& seed : photos) {
        if (seed.reading.code.size() != static_cast<size_t>(kCodeLength))
            continue;
        Votes votes;
        int voters = 0;
        for (const PassPhoto& other : photos) {
            if (other.reading.code.size() != static_cast<size_t>(kCodeLength))
                continue;
            int agreeing = 0, disagreeing = 0;
            for (int i = 0; i < kCodeLength; ++i) {
                if (other.reading.code[i] == '-' || seed.reading.code[i] == '-')
                    continue;
                (other.reading.code[i] == seed.reading.code[i] ? agreeing : disagreeing)++;
            }
            if (agreeing >= kLeastAgreeing && disagreeing <= kMostDisagreeing) {
                AddVotes(votes, other.reading.code, 0);
                ++voters;
            }
        }
        const std::string code = Majority(votes, "");
        if (voters < 2 || !IsValidCode(code, prefixes))
            continue;
        if (std::none_of(candidates.begin(), candidates.end(),
                         [&](const Candidate& c) { return c.code == code; }))
            candidates.push_back({code, {}, {}, false});
    }
    return candidates;
}

// Whether two codes are two containers on the truck: different cameras read them, and each was
// either read by two cameras or read surely.
bool TwoContainers(const Candidate& a, const Candidate& b, const std::vector<PassPhoto>& photos) {
    const std::set<std::string> camerasA = CamerasOf(a, photos);
    const std::set<std::string> camerasB = CamerasOf(b, photos);
    for (const std::string& camera : camerasA) {
        if (camerasB.count(camera) != 0)
            return false;
    }
    auto repeated = [&](const Candidate& c) {
        std::set<std::string> cameras;
        for (int i : c.validated)
            cameras.insert(photos[static_cast<size_t>(i)].camera);
        return cameras.size() >= 2;
    };
    return (repeated(a) && repeated(b)) || (a.sure && b.sure);
}

bool SharesCamera(const Candidate& a, const Candidate& b, const std::vector<PassPhoto>& photos) {
    const std::set<std::string> camerasB = CamerasOf(b, photos);
    for (const std::string& camera : CamerasOf(a, photos)) {
        if (camerasB.count(camera) != 0)
            return true;
    }
    return false;
}

// The highest confidence of a validated reading of exactly the candidate's code (-1: none
// judged, as in a strict run).
float BestConfidence(const Candidate& candidate, const std::vector<PassPhoto>& photos) {
    float best = -1.0f;
    for (int i : candidate.validated) {
        const RecognitionResult& reading = photos[static_cast<size_t>(i)].reading;
        if (reading.code == candidate.code)
            best = std::max(best, reading.confidence);
    }
    return best;
}

// Decides which codes the pass answers and whether a person must look. Without a sure code, the
// pass is flagged, and codes that do not make two containers are all unsure. With one: a
// different code whose readings are all below kPassFloor is no evidence (its photographs are not
// used); one at or above the floor is a second container when its cameras did not read the sure
// code, and otherwise conflicts. Two sure codes are two containers only as TwoContainers says.
// A conflict flags the pass and no code of it is sure.
void Settle(std::vector<Candidate>& candidates, const std::vector<PassPhoto>& photos,
            PassResult& result) {
    std::vector<Candidate> sure, unsure;
    for (Candidate& candidate : candidates)
        (candidate.sure ? sure : unsure).push_back(candidate);
    bool conflict = false;
    if (sure.empty()) {
        result.review = true;
        conflict = candidates.size() > 2 ||
                   (candidates.size() == 2 && !TwoContainers(candidates[0], candidates[1], photos));
    } else if (sure.size() > 2 || (sure.size() == 2 && !TwoContainers(sure[0], sure[1], photos))) {
        conflict = true;
    } else {
        std::vector<Candidate> kept = sure;
        for (const Candidate& other : unsure) {
            if (BestConfidence(other, photos) < kPassFloor)
                continue;  // too unsure to count against a sure code
            if (kept.size() == 1 && !SharesCamera(kept[0], other, photos))
                kept.push_back(other);  // a second container
            else
                conflict = true;
        }
        if (!conflict)
            candidates = kept;
    }
    if (conflict) {
        result.review = true;
        for (Candidate& candidate : candidates)
            candidate.sure = false;
    }
}

}  // namespace

bool IsValidCode(const std::string& code, const classifier::COwnerPrefixList& prefixes) {
    if (code.size() != static_cast<size_t>(kCodeLength))
        return false;
    for (int i = 0; i < kCodeLength; ++i) {
        const char c = code[i];
        const bool letter = c >= 'A' && c <= 'Z';
        const bool digit = c >= '0' && c <= '9';
        if (i < 4 ? !letter : !digit)
            return false;
    }
    return prefixes.Contains(std::string_view(code).substr(0, 4)) &&
           classifier::CheckDigitPasses(
               classifier::CheckSumOf(code),
               classifier::CharToIsoValue(code[classifier::kCheckDigitPosition]));
}

std::optional<PassGrouping> PassGrouping::ByPattern(const std::string& pattern,
                                                    std::string& error) {
    PassGrouping grouping;
    grouping.byFolder_ = false;
    try {
        grouping.pattern_ = std::regex(pattern, std::regex::ECMAScript);
    } catch (const std::regex_error& e) {
        error = "the pattern " + pattern + " is not a regular expression (" + e.what() + ")";
        return std::nullopt;
    }
    if (grouping.pattern_.mark_count() < 1) {
        error = "the pattern " + pattern + " has no capture group, such as (\\d+)";
        return std::nullopt;
    }
    return grouping;
}

PassGrouping PassGrouping::ByFolder() {
    return PassGrouping{};
}

std::optional<PassGrouping> PassGrouping::FromOption(const std::string& option,
                                                     std::string& error) {
    if (option == "folder")
        return ByFolder();
    return ByPattern(option, error);
}

PassKey PassGrouping::KeyOf(const fs::path& photo) const {
    const std::string name = photo.filename().string();
    if (byFolder_)
        return {photo.parent_path().string(), name};
    std::smatch match;
    if (!std::regex_search(name, match, pattern_) || !match[1].matched)
        return {name, name};
    const auto start = static_cast<size_t>(match.position(1));
    const auto length = static_cast<size_t>(match.length(1));
    return {match[1].str(), name.substr(0, start) + name.substr(start + length)};
}

bool PassGrouping::Groups(const fs::path& photo) const {
    if (byFolder_)
        return true;
    std::smatch match;
    const std::string name = photo.filename().string();
    return std::regex_search(name, match, pattern_) && match[1].matched;
}

PassResult FusePass(const std::string& pass, const std::vector<PassPhoto>& photos,
                    const classifier::COwnerPrefixList& prefixes) {
    PassResult result;
    result.pass = pass;

    std::vector<Candidate> candidates = ValidatedCandidates(photos);
    if (candidates.empty())
        candidates = PartialCandidates(photos, prefixes);

    // Every partial reading joins the candidate it lines up with best; one that lines up with two
    // equally well joins neither.
    for (size_t i = 0; i < photos.size(); ++i) {
        const std::string& code = photos[i].reading.code;
        if (IsValidated(photos[i].reading) || static_cast<int>(code.size()) < kLeastAgreeing ||
            code.size() > static_cast<size_t>(kCodeLength))
            continue;
        int best = -1;
        Alignment bestAlignment;
        bool tie = false;
        for (size_t c = 0; c < candidates.size(); ++c) {
            const Alignment alignment = Align(code, candidates[c].code);
            if (!alignment.linedUp())
                continue;
            if (best < 0 || alignment.agreeing > bestAlignment.agreeing) {
                best = static_cast<int>(c);
                bestAlignment = alignment;
                tie = false;
            } else if (alignment.agreeing == bestAlignment.agreeing) {
                tie = true;
            }
        }
        if (best >= 0 && !tie)
            candidates[static_cast<size_t>(best)].partial.push_back(static_cast<int>(i));
    }

    // A code made by partial readings that then line up with another one equally well keeps no
    // photograph.
    candidates.erase(
        std::remove_if(candidates.begin(), candidates.end(),
                       [](const Candidate& c) { return c.validated.empty() && c.partial.empty(); }),
        candidates.end());

    // Per-position votes; the majority replaces the candidate only when it is a valid code.
    for (Candidate& candidate : candidates) {
        Votes votes;
        for (size_t n = 0; n < candidate.validated.size(); ++n)
            AddVotes(votes, candidate.code, 0);
        for (int i : candidate.partial) {
            const std::string& code = photos[static_cast<size_t>(i)].reading.code;
            AddVotes(votes, code, Align(code, candidate.code).offset);
        }
        const std::string fused = Majority(votes, candidate.code);
        if (fused != candidate.code && IsValidCode(fused, prefixes))
            candidate.code = fused;
    }
    // Votes may have brought two candidates to the same code.
    for (size_t c = 0; c < candidates.size(); ++c) {
        for (size_t d = c + 1; d < candidates.size();) {
            if (candidates[d].code != candidates[c].code) {
                ++d;
                continue;
            }
            Candidate& into = candidates[c];
            into.validated.insert(into.validated.end(), candidates[d].validated.begin(),
                                  candidates[d].validated.end());
            into.partial.insert(into.partial.end(), candidates[d].partial.begin(),
                                candidates[d].partial.end());
            candidates.erase(candidates.begin() + static_cast<std::ptrdiff_t>(d));
        }
    }

    // A code is sure when a sure reading reads exactly it, or validated readings of two cameras
    // do.
    for (Candidate& candidate : candidates) {
        std::set<std::string> cameras;
        for (int i : candidate.validated) {
            const PassPhoto& photo = photos[static_cast<size_t>(i)];
            if (photo.reading.code != candidate.code)
                continue;
            cameras.insert(photo.camera);
            if (IsSureReading(photo.reading))
                candidate.sure = true;
        }
        if (cameras.size() >= 2)
            candidate.sure = true;
    }

    // The best supported first: validated readings, then all supporters, then first seen.
    std::stable_sort(candidates.begin(), candidates.end(),
                     [](const Candidate& a, const Candidate& b) {
                         if (a.validated.size() != b.validated.size())
                             return a.validated.size() > b.validated.size();
                         return a.partial.size() > b.partial.size();
                     });

    Settle(candidates, photos, result);

    std::vector<bool> used(photos.size(), false);
    for (const Candidate& candidate : candidates) {
        PassCode code;
        code.code = candidate.code;
        code.sure = candidate.sure;
        for (int i : candidate.Supporters()) {
            code.photos.push_back(photos[static_cast<size_t>(i)].file);
            used[static_cast<size_t>(i)] = true;
        }
        result.codes.push_back(std::move(code));
    }
    for (size_t i = 0; i < photos.size(); ++i) {
        if (!used[i])
            result.unused.push_back(photos[i].file);
    }
    return result;
}

PassCollector::PassCollector(const std::vector<FileRow>& rows, int startRow,
                             const PassGrouping& grouping,
                             const classifier::COwnerPrefixList& prefixes, int standardInputRow)
    : prefixes_(prefixes), rows_(rows), standardInputRow_(standardInputRow) {
    passOfRow_.assign(rows.size(), -1);
    keyOfRow_.resize(rows.size());
    // Passes by key. Standard input's temporary file shares its folder with whatever else is
    // there, so its key is one no path or file name can be.
    std::map<std::string, int> indexOfKey;
    for (size_t row = static_cast<size_t>(std::max(startRow, 0)); row < rows.size(); ++row) {
        const bool fromInput = static_cast<int>(row) == standardInputRow;
        keyOfRow_[row] = fromInput ? PassKey{"-", "-"} : grouping.KeyOf(rows[row].path);
        const std::string key = fromInput ? std::string(1, '\0') : keyOfRow_[row].pass;
        const auto [it, added] = indexOfKey.emplace(key, static_cast<int>(passes_.size()));
        if (added)
            passes_.push_back({keyOfRow_[row].pass, 0, {}});
        passOfRow_[row] = it->second;
        passes_[static_cast<size_t>(it->second)].lastRow = static_cast<int>(row);
    }
    answered_.assign(passes_.size(), false);
}

std::vector<PassResult> PassCollector::Record(int row, const RecognitionResult& reading) {
    std::vector<PassResult> done;
    if (row < 0 || static_cast<size_t>(row) >= passOfRow_.size() || passOfRow_[row] < 0)
        return done;
    const auto index = static_cast<size_t>(passOfRow_[row]);
    OpenPass& pass = passes_[index];
    const std::string file =
        row == standardInputRow_ ? "-" : rows_[static_cast<size_t>(row)].path.string();
    pass.photos.push_back({file, keyOfRow_[row].camera, reading});
    if (row == pass.lastRow && !answered_[index]) {
        answered_[index] = true;
        done.push_back(FusePass(pass.key, pass.photos, prefixes_));
    }
    return done;
}

std::vector<PassResult> PassCollector::Finish() {
    std::vector<PassResult> done;
    for (size_t index = 0; index < passes_.size(); ++index) {
        if (!answered_[index] && !passes_[index].photos.empty()) {
            answered_[index] = true;
            done.push_back(FusePass(passes_[index].key, passes_[index].photos, prefixes_));
        }
    }
    return done;
}

}  // namespace karvona::shell
