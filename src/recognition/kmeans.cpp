#include "recognition/kmeans.hpp"

#include <algorithm>
#include <cmath>
#include <random>

namespace karvona::recognition {

std::uint64_t SeedFromPixels(const cv::Mat& image) {
    std::uint64_t hash = 1469598103934665603ull;
    for (int y = 0; y < image.rows; ++y) {
        const uchar* row = image.ptr<uchar>(y);
        const size_t bytes = static_cast<size_t>(image.cols) * image.elemSize();
        for (size_t i = 0; i < bytes; ++i) {
            hash ^= row[i];
            hash *= 1099511628211ull;
        }
    }
    hash ^= static_cast<std::uint64_t>(image.cols) << 32 ^ static_cast<std::uint64_t>(image.rows);
    return hash;
}

KMeansResult ClusterValues(const cv::Mat& values, int k, const cv::TermCriteria& criteria,
                           std::uint64_t seed) {
    KMeansResult result;
    k = std::max(k, 1);
    result.centres.assign(static_cast<size_t>(k), 0.0f);
    result.counts.assign(static_cast<size_t>(k), 0);
    result.labelOfValue.fill(0);
    if (values.empty() || values.depth() != CV_8U || values.channels() != 1)
        return result;

    // Every sample with the same value lands in the same cluster, so the work is done on the
    // histogram; the sums are of integers and therefore exact.
    std::array<std::int64_t, 256> histogram{};
    for (int y = 0; y < values.rows; ++y) {
        const uchar* row = values.ptr<uchar>(y);
        for (int x = 0; x < values.cols; ++x)
            ++histogram[row[x]];
    }
    int low = 255, high = 0;
    for (int v = 0; v < 256; ++v) {
        if (histogram[v] == 0)
            continue;
        low = std::min(low, v);
        high = std::max(high, v);
    }

    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> centre(static_cast<size_t>(k));
    for (int c = 0; c < k; ++c)
        centre[c] = low + uniform(rng) * (high - low);

    const bool useCount = (criteria.type & cv::TermCriteria::COUNT) != 0;
    const bool useEpsilon = (criteria.type & cv::TermCriteria::EPS) != 0;
    const int maxIterations = useCount ? std::max(criteria.maxCount, 2) : 100;
    const double epsilon = useEpsilon ? std::max(criteria.epsilon, 0.0) : 0.0;

    // The nearest centre; the lower cluster wins a tie.
    auto nearestCentre = [&centre, k](int v) {
        int best = 0;
        double bestDistance = std::abs(v - centre[0]);
        for (int c = 1; c < k; ++c) {
            const double d = std::abs(v - centre[c]);
            if (d < bestDistance) {
                bestDistance = d;
                best = c;
            }
        }
        return best;
    };
    std::array<int, 256>& label = result.labelOfValue;
    for (int iteration = 0;; ++iteration) {
        for (int v = low; v <= high; ++v) {
            label[v] = nearestCentre(v);
        }
        std::vector<std::int64_t> sum(static_cast<size_t>(k), 0),
            members(static_cast<size_t>(k), 0);
        for (int v = low; v <= high; ++v) {
            sum[label[v]] += histogram[v] * v;
            members[label[v]] += histogram[v];
        }
        double maxShift = 0.0;
        for (int c = 0; c < k; ++c) {
            if (members[c] == 0)
                continue;  // an empty cluster stays where it is, and empty
            const double moved = static_cast<double>(sum[c]) / static_cast<double>(members[c]);
            maxShift = std::max(maxShift, std::abs(moved - centre[c]));
            centre[c] = moved;
        }
        if (iteration + 1 >= maxIterations || (useEpsilon && maxShift <= epsilon))
            break;
    }
    // Final assignment against the final centres.
    std::fill(result.counts.begin(), result.counts.end(), 0);
    for (int v = 0; v < 256; ++v) {
        label[v] = nearestCentre(v);
        result.counts[label[v]] += static_cast<int>(histogram[v]);
    }
    for (int c = 0; c < k; ++c)
        result.centres[c] = static_cast<float>(centre[c]);
    return result;
}

}  // namespace karvona::recognition
