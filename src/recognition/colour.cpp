#include "recognition/colour.hpp"

#include <opencv2/imgproc.hpp>

#include "imaging/primitives.hpp"
#include "recognition/kmeans.hpp"

namespace karvona::recognition {

float ExtractDominantHue(const cv::Mat& photograph) {
    if (photograph.empty() || photograph.type() != CV_8UC3)
        return -1.0f;
    const cv::Size reduced(photograph.cols / 4, photograph.rows / 4);
    if (reduced.width <= 0 || reduced.height <= 0)
        return -1.0f;

    cv::Mat small, hsv;
    cv::resize(photograph, small, reduced, 0, 0, cv::INTER_LINEAR);
    // The photograph's channels are read as red, green, blue, as the system always has.
    cv::cvtColor(small, hsv, cv::COLOR_RGB2HSV);
    cv::Mat hue;
    cv::extractChannel(hsv, hue, 0);

    constexpr int kClusters = 4;
    const KMeansResult clusters =
        ClusterValues(hue, kClusters, imaging::MakeTermCriteria(3, 10, 1.0), SeedFromPixels(small));

    // Running mean per cluster in single precision, sample by sample in row order.
    float mean[kClusters] = {};
    int members[kClusters] = {};
    for (int y = 0; y < hue.rows; ++y) {
        const uchar* row = hue.ptr<uchar>(y);
        for (int x = 0; x < hue.cols; ++x) {
            const int c = clusters.labelOfValue[row[x]];
            const int k = ++members[c];
            const float v = row[x];
            mean[c] = (static_cast<float>(k - 1) * mean[c]) / static_cast<float>(k) +
                      v / static_cast<float>(k);
        }
    }
    int dominant = 0;
    int most = -1;
    for (int c = 0; c < kClusters; ++c) {
        if (members[c] > most) {
            most = members[c];
            dominant = c;
        }
    }
    return mean[dominant];
}

cv::Mat MakeColourSwatch(float hue) {
    if (hue < 0.0f)
        return cv::Mat();
    const cv::Mat hsv(5, 5, CV_8UC3, cv::Scalar(static_cast<int>(hue), 200, 200));
    cv::Mat swatch;
    cv::cvtColor(hsv, swatch, cv::COLOR_HSV2RGB);
    return swatch;
}

}  // namespace karvona::recognition
