#pragma once
// One-dimensional k-means over 8-bit values, for the two places that cluster pixel values: the
// three clusters of a colour channel in the cluster-segmentation reader and the four clusters of
// the hue in the colour extraction.
//
// Why not cv::kmeans: OpenCV 4 refills a cluster that ends up empty with a point taken from the
// largest cluster. The readers rely on an empty cluster staying empty (a flat channel must leave
// two of its three masks black), so the clustering is our own: random initial centres inside the
// range of the data, nearest-centre assignment (the lower cluster wins a tie), centres moved to
// their members' mean, an empty cluster keeps its centre and stays empty. The random source is
// seeded from the data, so the same picture always gives the same clusters, in every run,
// process and thread.

#include <array>
#include <cstdint>
#include <opencv2/core.hpp>
#include <vector>

namespace karvona::recognition {

struct KMeansResult {
    std::vector<float> centres;           ///< one per cluster
    std::array<int, 256> labelOfValue{};  ///< the cluster of every possible sample value
    std::vector<int> counts;              ///< members per cluster
};

/// Clusters the values of a one-channel 8-bit image into k clusters. Stops after
/// criteria.maxCount iterations (at least 2) or when no centre moved by more than
/// criteria.epsilon, whichever the criteria type asks for. seed chooses the initial centres.
KMeansResult ClusterValues(const cv::Mat& values, int k, const cv::TermCriteria& criteria,
                           std::uint64_t seed);

/// A seed made from the pixels of an image (FNV-1a over its rows).
std::uint64_t SeedFromPixels(const cv::Mat& image);

}  // namespace karvona::recognition
