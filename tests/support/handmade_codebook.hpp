#pragma once
// Codebooks made in the test from rendered glyphs: one prototype per class, the feature vector
// of the glyph as GlyphImage draws it. Characters drawn the same way classify exactly.

#include <opencv2/imgproc.hpp>
#include <string>

#include "classifier/lvq_cluster.hpp"
#include "drawn_photos.hpp"

namespace karvona::test_support {

/// A white glyph on black, tightly cropped, about 30 pixels tall.
inline cv::Mat GlyphImage(char c) {
    cv::Mat canvas(60, 50, CV_8UC1, cv::Scalar(0));
    cv::putText(canvas, std::string(1, c), {8, 45}, cv::FONT_HERSHEY_SIMPLEX, 1.2, cv::Scalar(255),
                3, cv::LINE_8);
    std::vector<cv::Point> points;
    cv::findNonZero(canvas, points);
    return canvas(cv::boundingRect(points)).clone();
}

/// The letter codebook (25 classes, no Q) or the digit codebook (classes 2d), one prototype
/// per class, made of the glyphs that draw gives (GlyphImage by default).
template <typename Draw>
inline classifier::CLvqCluster GlyphCodebook(bool digits, Draw draw) {
    classifier::CLvqCluster codebook;
    codebook.normWidth = 20;
    codebook.normHeight = 20;
    codebook.gridWidth = 5;
    codebook.gridHeight = 5;
    codebook.featureLength = static_cast<int>(codebook.EnabledFeatureLength());
    const std::string letters = "ABCDEFGHIJKLMNOPRSTUVWXYZ";
    const int classes = digits ? 10 : static_cast<int>(letters.size());
    for (int k = 0; k < classes; ++k) {
        const char c = digits ? static_cast<char>('0' + k) : letters[k];
        classifier::LvqPrototype prototype;
        prototype.vector = codebook.ComputeFeatures(draw(c));
        prototype.label = digits ? 2 * k : k;
        codebook.prototypes.push_back(prototype);
    }
    codebook.classCount = classes;
    codebook.prototypesPerClass = 1;
    return codebook;
}

inline classifier::CLvqCluster GlyphCodebook(bool digits) {
    return GlyphCodebook(digits, [](char c) { return GlyphImage(c); });
}

/// The codebook of the glyphs DrawCodePhoto paints with: a drawn code reads whole with it.
inline classifier::CLvqCluster DrawnGlyphCodebook(bool digits) {
    return GlyphCodebook(digits, [](char c) { return karvona::testing::GlyphMask(c, {16, 30}); });
}

}  // namespace karvona::test_support
