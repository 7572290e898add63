#include "training/lvq_trainer.hpp"

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <utility>

#include "classifier/classification.hpp"

namespace karvona::training {

using classifier::CLvqCluster;
using Vector = std::vector<double>;

int GroupCount(CodebookKind kind) {
    return kind == CodebookKind::Letters ? 25 : 10;
}
int ClassCount(CodebookKind kind) {
    return kind == CodebookKind::Letters ? 25 : 20;
}

char GroupChar(CodebookKind kind, int group) {
    if (group < 0 || group >= GroupCount(kind))
        return 0;
    if (kind == CodebookKind::Digits)
        return static_cast<char>('0' + group);
    return classifier::ClassIndexToChar(group, false);
}

int GroupOf(CodebookKind kind, char character) {
    for (int g = 0; g < GroupCount(kind); ++g) {
        if (GroupChar(kind, g) == character)
            return g;
    }
    return -1;
}

CLvqCluster MakeCodebook(const FeatureRecipe& recipe) {
    CLvqCluster codebook;
    codebook.normWidth = recipe.normWidth;
    codebook.normHeight = recipe.normHeight;
    codebook.gridWidth = recipe.gridWidth;
    codebook.gridHeight = recipe.gridHeight;
    codebook.useGrid = codebook.useRowInk = codebook.useColumnInk = 1;
    codebook.useLeftProfile = codebook.useRightProfile = 1;
    codebook.useTopProfile = codebook.useBottomProfile = 1;
    codebook.useCentreCross = codebook.useAspect = 1;
    codebook.classCount = 0;
    codebook.featureLength = static_cast<std::int32_t>(codebook.EnabledFeatureLength());
    return codebook;
}

int PrototypesPerClass(CodebookKind kind, int requested) {
    return std::max(1, std::min(requested, kMaxPrototypes / ClassCount(kind)));
}

std::uint64_t Random::Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int Random::Below(int bound) {
    if (bound <= 0)
        return 0;
    return static_cast<int>(Next() % static_cast<std::uint64_t>(bound));
}

double Random::Unit() {
    return static_cast<double>(Next() >> 11) * 0x1.0p-53;
}

namespace {

double SquaredDistance(const double* a, const double* b, size_t n) {
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double d = a[i] - b[i];
        sum += d * d;
    }
    return sum;
}

int Nearest(const std::vector<Vector>& centres, const Vector& v) {
    int best = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (size_t c = 0; c < centres.size(); ++c) {
        const double d = SquaredDistance(centres[c].data(), v.data(), v.size());
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(c);
        }
    }
    return best;
}

}  // namespace

std::vector<Vector> KMeans(const std::vector<const Vector*>& vectors, int k, Random& random,
                           std::vector<int>* assignment) {
    std::vector<Vector> centres;
    const int n = static_cast<int>(vectors.size());
    if (n == 0 || k < 1)
        return centres;
    const size_t length = vectors[0]->size();

    // k-means++ seeding: each further centre drawn with probability proportional to the squared
    // distance to the nearest centre so far.
    centres.push_back(*vectors[random.Below(n)]);
    std::vector<double> nearest(n, std::numeric_limits<double>::infinity());
    while (static_cast<int>(centres.size()) < k) {
        double total = 0.0;
        for (int i = 0; i < n; ++i) {
            nearest[i] = std::min(
                nearest[i], SquaredDistance(vectors[i]->data(), centres.back().data(), length));
            total += nearest[i];
        }
        if (total <= 0.0) {
            centres.push_back(*vectors[random.Below(n)]);  // no distinct vector left
            continue;
        }
        double target = random.Unit() * total;
        int chosen = n - 1;
        for (int i = 0; i < n; ++i) {
            target -= nearest[i];
            if (target < 0.0 && nearest[i] > 0.0) {
                chosen = i;
                break;
            }
        }
        centres.push_back(*vectors[chosen]);
    }

    std::vector<int> owner(n, -1);
    for (int iteration = 0; iteration < 50; ++iteration) {
        bool changed = false;
        for (int i = 0; i < n; ++i) {
            const int c = Nearest(centres, *vectors[i]);
            if (c != owner[i]) {
                owner[i] = c;
                changed = true;
            }
        }
        if (!changed)
            break;
        std::vector<Vector> sums(k, Vector(length, 0.0));
        std::vector<int> counts(k, 0);
        for (int i = 0; i < n; ++i) {
            Vector& sum = sums[owner[i]];
            for (size_t j = 0; j < length; ++j)
                sum[j] += (*vectors[i])[j];
            ++counts[owner[i]];
        }
        for (int c = 0; c < k; ++c) {
            if (counts[c] == 0)
                continue;  // an empty cluster keeps its centre
            for (size_t j = 0; j < length; ++j)
                centres[c][j] = sums[c][j] / counts[c];
        }
    }
    if (assignment != nullptr)
        *assignment = owner;
    return centres;
}

char ReadVector(const CLvqCluster& codebook, const Vector& features, bool digitPosition) {
    const int count = codebook.prototypeCount();
    std::vector<int> classes(count);
    std::vector<double> distances(count);
    for (int k = 0; k < count; ++k) {
        const Vector& p = codebook.prototypes[k].vector;
        distances[k] =
            SquaredDistance(p.data(), features.data(), std::min(p.size(), features.size()));
        classes[k] = codebook.prototypes[k].label;
    }
    // The first five ranks as the classifier's exchange sort leaves them: a swap only on a
    // strictly smaller distance.
    const int shown = std::min(count, classifier::kShownRanks);
    for (int s = 0; s < shown; ++s) {
        for (int t = s + 1; t < count; ++t) {
            if (distances[t] < distances[s]) {
                std::swap(distances[s], distances[t]);
                std::swap(classes[s], classes[t]);
            }
        }
    }
    std::array<int, classifier::kShownRanks> c;
    std::array<double, classifier::kShownRanks> d;
    c.fill(classifier::kNoClass);
    d.fill(std::numeric_limits<double>::infinity());
    for (int r = 0; r < shown; ++r) {
        c[r] = classes[r];
        d[r] = distances[r];
    }
    const int chosen = classifier::RunnerUpRank(c, d);
    return classifier::ClassIndexToChar(c[chosen], digitPosition);
}

namespace {

// The samples of one training run: those a codebook learns from, by group, and those held out
// to measure it.
struct SampleSplit {
    std::vector<std::vector<int>> training;  ///< by group, with repeats once weighed
    std::vector<int> validation;
    std::vector<int> realTraining;  ///< the real samples among training, in sample order
};

// The prototypes as they are trained, in class order.
struct Prototypes {
    std::vector<Vector> vectors;
    std::vector<int> labels;  ///< class index
    std::vector<int> groups;  ///< character group
};

// Whether sample i was cut from a real photograph (real is empty when none was).
bool IsReal(const std::vector<bool>& real, size_t i) {
    return !real.empty() && real[i];
}

// Holds out every n-th sample of each group, counting the real and the synthetic apart, and
// counts both sides into result.groups. False when a sample's group or length does not fit.
bool SplitSamples(const std::vector<Vector>& features, const std::vector<int>& groups,
                  const std::vector<bool>& real, size_t length, int validationEvery,
                  TrainingResult& result, SampleSplit& split) {
    const int groupCount = static_cast<int>(result.groups.size());
    split.training.assign(groupCount, {});
    for (size_t i = 0; i < features.size(); ++i) {
        const int g = groups[i];
        if (g < 0 || g >= groupCount || features[i].size() != length)
            return false;
        GroupResult& counts = result.groups[g];
        const bool fromReal = IsReal(real, i);
        const int seen = fromReal ? counts.realTraining + counts.realValidation
                                  : counts.training - counts.realTraining + counts.validation -
                                        counts.realValidation;
        if ((seen + 1) % validationEvery == 0) {
            ++counts.validation;
            counts.realValidation += fromReal ? 1 : 0;
            split.validation.push_back(static_cast<int>(i));
        } else {
            ++counts.training;
            counts.realTraining += fromReal ? 1 : 0;
            split.training[g].push_back(static_cast<int>(i));
            if (fromReal)
                split.realTraining.push_back(static_cast<int>(i));
        }
    }
    return true;
}

// The characters of the groups left without a training sample, separated by spaces.
std::string MissingGroups(CodebookKind kind, const std::vector<std::vector<int>>& training) {
    std::string missing;
    for (int g = 0; g < static_cast<int>(training.size()); ++g) {
        if (training[g].empty())
            missing += std::string(missing.empty() ? "" : " ") + GroupChar(kind, g);
    }
    return missing;
}

// Weights: every real sample repeated, then (with balance) every class counted up towards the
// median, at most 8 times.
void WeighSamples(std::vector<std::vector<int>>& training, const std::vector<bool>& real,
                  const LvqOptions& options) {
    for (auto& t : training) {
        std::vector<int> weighted;
        for (int i : t) {
            const int copies = IsReal(real, static_cast<size_t>(i)) ? options.realRepeat : 1;
            weighted.insert(weighted.end(), static_cast<size_t>(copies), i);
        }
        t = std::move(weighted);
    }
    if (!options.balance)
        return;
    std::vector<size_t> sizes;
    for (const auto& t : training)
        sizes.push_back(t.size());
    std::nth_element(sizes.begin(), sizes.begin() + sizes.size() / 2, sizes.end());
    const size_t median = sizes[sizes.size() / 2];
    for (auto& t : training) {
        const size_t copies = std::min<size_t>(8, std::max<size_t>(1, median / t.size()));
        const std::vector<int> once = t;
        for (size_t c = 1; c < copies; ++c)
            t.insert(t.end(), once.begin(), once.end());
    }
}

// Initial prototypes: k-means centres of each class's samples, in class order. With two styles
// per group, 2-means first splits the group's samples into the two classes.
Prototypes InitialPrototypes(const std::vector<Vector>& features,
                             const std::vector<std::vector<int>>& training, int stylesPerGroup,
                             int perClass, Random& random) {
    Prototypes prototypes;
    for (int g = 0; g < static_cast<int>(training.size()); ++g) {
        std::vector<const Vector*> all;
        for (int i : training[g])
            all.push_back(&features[i]);
        std::vector<std::vector<const Vector*>> styles(stylesPerGroup);
        if (stylesPerGroup == 1) {
            styles[0] = all;
        } else {
            std::vector<int> style;
            KMeans(all, 2, random, &style);
            for (size_t i = 0; i < all.size(); ++i)
                styles[style[i]].push_back(all[i]);
            // The larger style first; a style without samples starts from the whole group.
            if (styles[1].size() > styles[0].size())
                std::swap(styles[0], styles[1]);
            for (auto& s : styles) {
                if (s.empty())
                    s = all;
            }
        }
        for (int s = 0; s < stylesPerGroup; ++s) {
            for (Vector& centre : KMeans(styles[s], perClass, random, nullptr)) {
                prototypes.vectors.push_back(std::move(centre));
                prototypes.labels.push_back(g * stylesPerGroup + s);
                prototypes.groups.push_back(g);
            }
        }
    }
    return prototypes;
}

// Fisher-Yates from the back, one draw a step.
void Shuffle(std::vector<int>& samples, Random& random) {
    for (size_t i = samples.size(); i > 1; --i)
        std::swap(samples[i - 1], samples[random.Below(static_cast<int>(i))]);
}

// One OLVQ1 epoch over samples: each prototype keeps its own rate; a correct hit lowers it, a
// wrong one raises it, and cap bounds every rate.
void Olvq1Epoch(const std::vector<Vector>& features, const std::vector<int>& groups,
                const std::vector<int>& samples, double cap, Prototypes& prototypes,
                std::vector<double>& rates) {
    for (int i : samples) {
        const Vector& x = features[i];
        const int c = Nearest(prototypes.vectors, x);
        const double sign = prototypes.groups[c] == groups[i] ? 1.0 : -1.0;
        const double rate = std::min(rates[c], cap);
        Vector& m = prototypes.vectors[c];
        for (size_t j = 0; j < x.size(); ++j)
            m[j] += sign * rate * (x[j] - m[j]);
        rates[c] = std::min(rate / (1.0 + sign * rate), cap);
    }
}

// One LVQ2.1 epoch over samples: where the nearest wrong prototype lies within margin of the
// nearest right one (on either side), the right one moves toward the sample and the wrong one
// away from it.
void Lvq21Epoch(const std::vector<Vector>& features, const std::vector<int>& groups,
                const std::vector<int>& samples, double rate, double margin,
                Prototypes& prototypes) {
    for (int i : samples) {
        const Vector& x = features[i];
        int right = -1, wrong = -1;
        double dRight = std::numeric_limits<double>::infinity(), dWrong = dRight;
        for (size_t k = 0; k < prototypes.vectors.size(); ++k) {
            const double d = SquaredDistance(prototypes.vectors[k].data(), x.data(), x.size());
            if (prototypes.groups[k] == groups[i]) {
                if (d < dRight) {
                    dRight = d;
                    right = static_cast<int>(k);
                }
            } else if (d < dWrong) {
                dWrong = d;
                wrong = static_cast<int>(k);
            }
        }
        if (right < 0 || wrong < 0)
            continue;
        const double lead = dWrong - dRight;
        if (lead >= margin || lead <= -margin)
            continue;
        Vector& mr = prototypes.vectors[right];
        Vector& mw = prototypes.vectors[wrong];
        for (size_t j = 0; j < x.size(); ++j) {
            mr[j] += rate * (x[j] - mr[j]);
            mw[j] -= rate * (x[j] - mw[j]);
        }
    }
}

// The epochs, in three stages on one generator: OLVQ1 over the first half, LVQ2.1 over the
// second, then OLVQ1 on the real training samples alone.
void RunEpochs(const std::vector<Vector>& features, const std::vector<int>& groups,
               const SampleSplit& split, const LvqOptions& options, Random& random,
               Prototypes& prototypes) {
    std::vector<int> order;
    for (const auto& t : split.training) {
        for (int i : t)
            order.push_back(i);
    }

    // First half: OLVQ1, its rates capped by a bound falling linearly to zero over these epochs.
    const int olvqEpochs = (options.epochs + 1) / 2;
    std::vector<double> rates(prototypes.vectors.size(), options.initialRate);
    for (int epoch = 0; epoch < olvqEpochs; ++epoch) {
        const double cap = options.initialRate * (olvqEpochs - epoch) / olvqEpochs;
        Shuffle(order, random);
        Olvq1Epoch(features, groups, order, cap, prototypes, rates);
    }

    // Second half: LVQ2.1 with a window in squared distance. The reading pass prefers the
    // runner-up class when it lies within 10 of the nearest, so samples whose nearest wrong
    // prototype is not clearly farther than the nearest right one pull the right one closer and
    // push the wrong one away. Samples far on the wrong side are left alone (outliers).
    const int marginEpochs = options.epochs - olvqEpochs;
    for (int epoch = 0; epoch < marginEpochs; ++epoch) {
        const double rate = options.marginRate * (marginEpochs - epoch) / marginEpochs;
        Shuffle(order, random);
        Lvq21Epoch(features, groups, order, rate, options.margin, prototypes);
    }

    // Last, the real samples alone: the lettering of real containers gets the final word.
    std::vector<int> realOrder = split.realTraining;
    std::fill(rates.begin(), rates.end(), options.realRate);
    for (int epoch = 0; epoch < options.realEpochs && !realOrder.empty(); ++epoch) {
        const double cap = options.realRate * (options.realEpochs - epoch) / options.realEpochs;
        Shuffle(realOrder, random);
        Olvq1Epoch(features, groups, realOrder, cap, prototypes, rates);
    }
}

// Validation: reads each held-out sample as the reading pass would and counts the hits and the
// confusions into result.
void Validate(const CLvqCluster& codebook, CodebookKind kind, const std::vector<Vector>& features,
              const std::vector<int>& groups, const std::vector<bool>& real,
              const std::vector<int>& validation, TrainingResult& result) {
    std::map<std::pair<char, char>, int> confusions;
    const bool digits = kind == CodebookKind::Digits;
    for (int i : validation) {
        const char truth = GroupChar(kind, groups[i]);
        const char read = ReadVector(codebook, features[i], digits);
        ++result.validationTotal;
        const bool fromReal = IsReal(real, static_cast<size_t>(i));
        result.realValidationTotal += fromReal ? 1 : 0;
        if (read == truth) {
            ++result.validationCorrect;
            ++result.groups[groups[i]].correct;
            result.realValidationCorrect += fromReal ? 1 : 0;
            result.groups[groups[i]].realCorrect += fromReal ? 1 : 0;
        } else {
            ++confusions[{truth, read}];
        }
    }
    for (const auto& [pair, count] : confusions)
        result.confusions.push_back({pair.first, pair.second, count});
    std::stable_sort(result.confusions.begin(), result.confusions.end(),
                     [](const Confusion& a, const Confusion& b) { return a.count > b.count; });
}

}  // namespace

bool TrainCodebook(const std::vector<Vector>& features, const std::vector<int>& groups,
                   CodebookKind kind, const LvqOptions& options, CLvqCluster& codebook,
                   TrainingResult& result, std::string& error, const std::vector<bool>& real) {
    codebook.ReleasePrototypes();
    result = TrainingResult{};
    const int groupCount = GroupCount(kind);
    const size_t length = static_cast<size_t>(std::max(codebook.featureLength, 0));
    if (length == 0 || features.size() != groups.size() ||
        (!real.empty() && real.size() != features.size())) {
        error = "no feature recipe or mismatched sample lists";
        return false;
    }
    if (options.epochs < 0 || options.validationEvery < 2 || options.prototypesPerClass < 1 ||
        options.realRepeat < 1 || options.realEpochs < 0) {
        error = "bad training options";
        return false;
    }

    result.groups.assign(groupCount, GroupResult{});
    SampleSplit split;
    if (!SplitSamples(features, groups, real, length, options.validationEvery, result, split)) {
        error = "a sample does not fit the codebook";
        return false;
    }
    const std::string missing = MissingGroups(kind, split.training);
    if (!missing.empty()) {
        error = "no samples for " + missing;
        return false;
    }
    WeighSamples(split.training, real, options);

    Random random(options.seed);
    const int perClass = PrototypesPerClass(kind, options.prototypesPerClass);
    const int classCount = ClassCount(kind);
    Prototypes prototypes =
        InitialPrototypes(features, split.training, classCount / groupCount, perClass, random);
    RunEpochs(features, groups, split, options, random, prototypes);

    codebook.classCount = classCount;
    codebook.prototypesPerClass = perClass;
    codebook.prototypes.resize(prototypes.vectors.size());
    for (size_t k = 0; k < prototypes.vectors.size(); ++k) {
        codebook.prototypes[k].vector = std::move(prototypes.vectors[k]);
        codebook.prototypes[k].label = prototypes.labels[k];
    }
    Validate(codebook, kind, features, groups, real, split.validation, result);
    return true;
}

}  // namespace karvona::training
