#pragma once
// Synthetic container-code photographs for the tests: eleven characters drawn in any of the seven
// layouts on a plain or noisy background, light on dark or dark on light, optionally leaning.
//
// Every character is painted in a colour of its own whose channels are not all equal, while the
// background (noise included) is grey, so a test can find each character's pixels again in any
// image cut out of the photograph.

#include <algorithm>
#include <array>
#include <cmath>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <random>
#include <string>
#include <vector>

namespace karvona::testing {

inline constexpr int kCodeLength = 11;

struct CodeDrawing {
    int layout = 0;                    ///< 0..6, as the locator names them
    std::string text = "CSQU3054383";  ///< eleven characters
    cv::Size frame{640, 480};
    /// Top-left corner of the first character; {-1, -1} centres the code in the frame.
    cv::Point origin{-1, -1};
    int charHeight = 30;  ///< horizontal layouts
    int charWidth = 0;    ///< 0: half the height (horizontal) or 16 (vertical layouts)
    int gapAcross = 8;    ///< b: empty columns between neighbouring characters
    int gapDown = 9;      ///< c: empty rows between neighbouring lines
    bool lightOnDark = true;
    int background = 70;       ///< grey level of the background
    int paint = 225;           ///< grey level of the paint
    double noiseSigma = 0.0;   ///< grey Gaussian noise on the background
    double leanDegrees = 0.0;  ///< the code is turned counter-clockwise by this angle
    unsigned seed = 1;
};

struct DrawnPhoto {
    cv::Mat image;  ///< 8-bit, three channels (blue, green, red)
    std::array<cv::Rect, kCodeLength> characters{};
    std::array<cv::Vec3b, kCodeLength> colours{};
    std::array<int, kCodeLength> pixels{};  ///< number of pixels painted per character
};

/// Character box size of a drawing: vertical layouts have height 1.7 x width.
inline cv::Size CharacterSize(const CodeDrawing& d) {
    const bool vertical = d.layout == 2 || d.layout == 4;
    if (vertical) {
        const int w = d.charWidth > 0 ? d.charWidth : 16;
        return {w, static_cast<int>(w * static_cast<double>(1.7f))};
    }
    return {d.charWidth > 0 ? d.charWidth : d.charHeight / 2, d.charHeight};
}

/// Top-left corners of the eleven characters relative to the first one's.
inline std::array<cv::Point, kCodeLength> CharacterOffsets(const CodeDrawing& d) {
    const cv::Size s = CharacterSize(d);
    const int px = s.width + d.gapAcross;
    const int py = s.height + d.gapDown;
    std::vector<cv::Point> cells;  // (column, row)
    switch (d.layout) {
        case 0:
            for (int j = 0; j < 11; ++j)
                cells.emplace_back(j, 0);
            break;
        case 1:
            for (int j : {0, 1, 2, 3, 5, 6, 7, 8, 9, 10, 12})
                cells.emplace_back(j, 0);
            break;
        case 2:
            for (int i = 0; i < 11; ++i)
                cells.emplace_back(0, i);
            break;
        case 3:
            for (int j = 0; j < 4; ++j)
                cells.emplace_back(j, 0);
            for (int j = 0; j < 7; ++j)
                cells.emplace_back(j, 1);
            break;
        case 4:
            for (int i = 0; i < 4; ++i)
                cells.emplace_back(0, i);
            for (int i = 0; i < 7; ++i)
                cells.emplace_back(1, i);
            break;
        case 5:
            for (int j = 0; j < 4; ++j)
                cells.emplace_back(j, 0);
            for (int j = 0; j < 3; ++j)
                cells.emplace_back(j, 1);
            for (int j = 0; j < 4; ++j)
                cells.emplace_back(j, 2);
            break;
        default:  // 6: prefix letters one position apart, blank before the check digit
            for (int j : {0, 2, 4, 6, 8, 9, 10, 11, 12, 13, 15})
                cells.emplace_back(j, 0);
            break;
    }
    std::array<cv::Point, kCodeLength> offsets{};
    for (int k = 0; k < kCodeLength; ++k) {
        const cv::Point cell = cells[static_cast<size_t>(k)];
        if (d.layout == 4) {
            offsets[k] = {cell.x * (s.width + 5 * d.gapAcross), cell.y * py};
        } else if (d.layout == 5) {
            offsets[k] = {static_cast<int>(cell.x * (s.width + 1.5 * d.gapAcross)),
                          static_cast<int>(cell.y * (s.height + 1.5 * d.gapDown))};
        } else {
            offsets[k] = {cell.x * px, cell.y * py};
        }
    }
    return offsets;
}

/// The bounding box of the code relative to the first character's corner.
inline cv::Rect CodeExtent(const CodeDrawing& d) {
    const cv::Size s = CharacterSize(d);
    cv::Rect extent;
    for (const cv::Point& p : CharacterOffsets(d))
        extent |= cv::Rect(p, s);
    return extent;
}

/// A glyph of exactly the given size: a thick Hershey character drawn large, cropped to its ink
/// and scaled to the box. 255 on 0.
inline cv::Mat GlyphMask(char ch, cv::Size size) {
    const double scale = 2.0 * size.height / 22.0;
    const int thickness = std::max(2, static_cast<int>(std::lround(2.0 * size.height / 7.0)));
    const int side = 4 * size.height + 40;
    cv::Mat big(side, side, CV_8UC1, cv::Scalar(0));
    cv::putText(big, std::string(1, ch), cv::Point(side / 8, side * 3 / 4),
                cv::FONT_HERSHEY_SIMPLEX, scale, cv::Scalar(255), thickness, cv::LINE_8);
    std::vector<cv::Point> ink;
    cv::findNonZero(big, ink);
    cv::Mat glyph(size, CV_8UC1, cv::Scalar(0));
    if (ink.empty())
        return glyph;
    cv::Mat scaled;
    cv::resize(big(cv::boundingRect(ink)), scaled, size, 0, 0, cv::INTER_AREA);
    cv::threshold(scaled, glyph, 127, 255, cv::THRESH_BINARY);
    return glyph;
}

/// Paints the code of d into a new photograph.
inline DrawnPhoto DrawCodePhoto(const CodeDrawing& d) {
    DrawnPhoto out;
    cv::Mat grey(d.frame, CV_8UC1, cv::Scalar(d.background));
    if (d.noiseSigma > 0) {
        cv::Mat noise(d.frame, CV_16SC1);
        cv::RNG rng(d.seed);
        rng.fill(noise, cv::RNG::NORMAL, 0, d.noiseSigma);
        cv::Mat level;
        grey.convertTo(level, CV_16SC1);
        level += noise;
        level.convertTo(grey, CV_8UC1);  // saturating
    }
    cv::cvtColor(grey, out.image, cv::COLOR_GRAY2BGR);

    const cv::Size s = CharacterSize(d);
    const cv::Rect extent = CodeExtent(d);
    cv::Point origin = d.origin;
    if (origin.x < 0 || origin.y < 0) {
        origin = {(d.frame.width - extent.width) / 2 - extent.x,
                  (d.frame.height - extent.height) / 2 - extent.y};
    }

    // Index image: character k is painted with value k + 1, then turned as a whole.
    cv::Mat index(d.frame, CV_8UC1, cv::Scalar(0));
    const auto offsets = CharacterOffsets(d);
    for (int k = 0; k < kCodeLength; ++k) {
        const char ch = k < static_cast<int>(d.text.size()) ? d.text[static_cast<size_t>(k)] : 'X';
        const cv::Rect cell(origin + offsets[k], s);
        const cv::Rect inside = cell & cv::Rect(cv::Point(0, 0), d.frame);
        if (inside.empty())
            continue;
        const cv::Mat glyph = GlyphMask(ch, s);
        cv::Mat target = index(inside);
        target.setTo(cv::Scalar(k + 1), glyph(inside - cell.tl()));
    }
    if (d.leanDegrees != 0.0) {
        const cv::Point2f centre(origin.x + extent.x + extent.width / 2.0f,
                                 origin.y + extent.y + extent.height / 2.0f);
        const cv::Mat turn = cv::getRotationMatrix2D(centre, d.leanDegrees, 1.0);
        cv::Mat turned;
        cv::warpAffine(index, turned, turn, d.frame, cv::INTER_NEAREST, cv::BORDER_CONSTANT,
                       cv::Scalar(0));
        index = turned;
    }

    for (int k = 0; k < kCodeLength; ++k) {
        const int step = 3 * (k + 1);
        const int p = d.paint;
        out.colours[k] =
            d.lightOnDark
                ? cv::Vec3b(cv::saturate_cast<uchar>(p), cv::saturate_cast<uchar>(p - step),
                            cv::saturate_cast<uchar>(p - 1))
                : cv::Vec3b(cv::saturate_cast<uchar>(p), cv::saturate_cast<uchar>(p + step),
                            cv::saturate_cast<uchar>(p + 1));
        const cv::Mat mask = index == (k + 1);
        out.pixels[k] = cv::countNonZero(mask);
        std::vector<cv::Point> ink;
        if (out.pixels[k] > 0)
            cv::findNonZero(mask, ink);
        out.characters[k] = ink.empty() ? cv::Rect() : cv::boundingRect(ink);
        out.image.setTo(cv::Scalar(out.colours[k]), mask);
    }
    return out;
}

/// Number of pixels of image (8-bit, three channels) with exactly the given colour.
inline int CountColour(const cv::Mat& image, const cv::Vec3b& colour) {
    if (image.empty() || image.type() != CV_8UC3)
        return 0;
    cv::Mat hit;
    cv::inRange(image, cv::Scalar(colour), cv::Scalar(colour), hit);
    return cv::countNonZero(hit);
}

/// How many of the drawn characters appear whole (at least 95 % of their pixels) in region.
inline int CharactersHeld(const cv::Mat& region, const DrawnPhoto& photo) {
    int held = 0;
    for (int k = 0; k < kCodeLength; ++k) {
        if (photo.pixels[k] > 0 &&
            CountColour(region, photo.colours[k]) * 100 >= 95 * photo.pixels[k])
            ++held;
    }
    return held;
}

}  // namespace karvona::testing
