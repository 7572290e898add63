#include <algorithm>
#include <limits>
#include <utility>

#include "classifier/classification.hpp"
#include "classifier/lvq_cluster.hpp"

namespace karvona::classifier {

int CLvqCluster::Classify(const cv::Mat& character, std::vector<int>& classes,
                          std::vector<double>& distances, std::size_t minRanks) const {
    const std::size_t n = prototypes.size();
    const std::size_t ranks = std::max(n, minRanks);
    classes.assign(ranks, kNoClass);
    distances.assign(ranks, std::numeric_limits<double>::infinity());

    const std::vector<double> v = ComputeFeatures(character);
    if (v.empty() || n == 0) {
        return ranks > 0 ? classes[0] : kNoClass;
    }

    // Each distance is summed feature by feature in feature order, so that it is the same double
    // whatever the machine. Four prototypes are summed side by side: four separate chains of
    // additions, each in that order, that the processor can overlap.
    const double* x = v.data();
    std::size_t k = 0;
    for (; k + 4 <= n; k += 4) {
        const std::vector<double>& a = prototypes[k].vector;
        const std::vector<double>& b = prototypes[k + 1].vector;
        const std::vector<double>& c = prototypes[k + 2].vector;
        const std::vector<double>& d = prototypes[k + 3].vector;
        const std::size_t length = std::min(a.size(), v.size());
        if (b.size() != a.size() || c.size() != a.size() || d.size() != a.size())
            break;  // the rest one by one
        double sa = 0.0, sb = 0.0, sc = 0.0, sd = 0.0;
        for (std::size_t i = 0; i < length; ++i) {
            const double da = a[i] - x[i];
            const double db = b[i] - x[i];
            const double dc = c[i] - x[i];
            const double dd = d[i] - x[i];
            sa += da * da;
            sb += db * db;
            sc += dc * dc;
            sd += dd * dd;
        }
        distances[k] = sa;
        distances[k + 1] = sb;
        distances[k + 2] = sc;
        distances[k + 3] = sd;
    }
    for (; k < n; ++k) {
        const std::vector<double>& p = prototypes[k].vector;
        const std::size_t length = std::min(p.size(), v.size());
        double sum = 0.0;
        for (std::size_t i = 0; i < length; ++i) {
            const double d = p[i] - x[i];
            sum += d * d;
        }
        distances[k] = sum;
    }
    for (k = 0; k < n; ++k)
        classes[k] = prototypes[k].label;

    // The exchange sort swaps only on a strictly smaller distance, so among the prototypes at
    // the least distance the one stored first ends at rank 0. Its order of equal distances at
    // later ranks is part of what the readers show, so it is kept as it is.
    for (std::size_t s = 0; s + 1 < n; ++s) {
        for (std::size_t t = s + 1; t < n; ++t) {
            if (distances[t] < distances[s]) {
                std::swap(distances[s], distances[t]);
                std::swap(classes[s], classes[t]);
            }
        }
    }
    return classes[0];
}

char ClassIndexToChar(int classIndex, bool digitPosition) {
    if (digitPosition) {
        return classIndex >= 0 && classIndex < 20 ? static_cast<char>('0' + classIndex / 2) : 0;
    }
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPRSTUVWXYZ";  // no Q
    return classIndex >= 0 && classIndex < 25 ? kLetters[classIndex] : 0;
}

int RunnerUpRank(const std::array<int, kShownRanks>& classes,
                 const std::array<double, kShownRanks>& distances) {
    if (classes[1] == classes[0] || !(distances[1] - distances[0] < 10)) {
        return 0;
    }
    for (int r = 2; r < kShownRanks; ++r) {
        if (classes[r] == classes[1]) {
            return distances[r] - distances[1] < 10 ? 1 : 0;
        }
    }
    return 0;
}

CharacterReading ClassifyCharacter(const CLvqCluster& codebook, const cv::Mat& character,
                                   bool digitPosition) {
    std::vector<int> classes;
    std::vector<double> distances;
    codebook.Classify(character, classes, distances, kShownRanks);

    CharacterReading reading;
    std::array<int, kShownRanks> topClasses;
    std::array<double, kShownRanks> topDistances;
    for (int r = 0; r < kShownRanks; ++r) {
        topClasses[r] = classes[r];
        topDistances[r] = distances[r];
        reading.ranks[r] = {classes[r], ClassIndexToChar(classes[r], digitPosition), distances[r]};
    }
    reading.chosenRank = RunnerUpRank(topClasses, topDistances);
    return reading;
}

}  // namespace karvona::classifier
