#pragma once
// Character samples drawn with the Hershey fonts: several faces, scales and stroke widths, a
// little shear and stroke noise, each cut tightly to its strokes as the reading pass cuts.

#include <cmath>
#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <string>
#include <vector>

#include "training/sample_folder.hpp"

namespace karvona::testing {

inline const std::string kTrainableCharacters = "0123456789ABCDEFGHIJKLMNOPRSTUVWXYZ";

/// One drawn character, binary, tightly cropped.
inline cv::Mat DrawCharacter(char c, int font, double scale, int thickness, double shear,
                             std::mt19937& noise) {
    const int side = static_cast<int>(60 * scale) + 40;
    cv::Mat big(side, side, CV_8UC1, cv::Scalar(0));
    cv::putText(big, std::string(1, c), {side / 5, side * 4 / 5}, font, scale, cv::Scalar(255),
                thickness, cv::LINE_AA);
    const cv::Mat slant = (cv::Mat_<double>(2, 3) << 1, shear, -shear * side / 2, 0, 1, 0);
    cv::Mat sheared;
    cv::warpAffine(big, sheared, slant, big.size());
    // Ragged paint: a few specks gained along the edges, and an edge threshold of its own.
    std::uniform_int_distribution<int> pick(0, 99);
    for (int y = 1; y + 1 < sheared.rows; ++y) {
        for (int x = 1; x + 1 < sheared.cols; ++x) {
            uchar& p = sheared.at<uchar>(y, x);
            if (p > 0 && p < 128 && pick(noise) < 10)
                p = 200;
        }
    }
    const int level = 70 + pick(noise);
    cv::threshold(sheared, sheared, level, 255, cv::THRESH_BINARY);
    return training::TightBinaryCrop(sheared);
}

/// Variants of every trainable character, in a fixed order for a seed.
struct DrawnSample {
    char character;
    cv::Mat image;
};

inline std::vector<DrawnSample> DrawSampleSet(unsigned seed, int variantsPerCharacter) {
    static const int kFonts[] = {cv::FONT_HERSHEY_SIMPLEX, cv::FONT_HERSHEY_DUPLEX,
                                 cv::FONT_HERSHEY_TRIPLEX};
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> scale(0.7, 1.6), shear(-0.12, 0.12);
    std::uniform_int_distribution<int> font(0, 2);
    std::uniform_real_distribution<double> weight(1.5, 3.0);  // stroke width per unit of scale
    std::vector<DrawnSample> samples;
    for (char c : kTrainableCharacters) {
        for (int v = 0; v < variantsPerCharacter; ++v) {
            const double s = scale(random);
            samples.push_back({c, DrawCharacter(c, kFonts[font(random)], s,
                                                static_cast<int>(std::lround(s * weight(random))),
                                                shear(random), random)});
        }
    }
    return samples;
}

/// Writes samples in the export's folder layout.
inline void WriteSampleFolder(const std::filesystem::path& folder,
                              const std::vector<DrawnSample>& samples) {
    int index = 0;
    for (const DrawnSample& s : samples) {
        training::SaveSample(folder, s.character, index / 100, index % 100, "", s.image);
        ++index;
    }
}

}  // namespace karvona::testing
