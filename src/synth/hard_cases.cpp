// The hard cases of a reading the renderer draws on some photographs: a door rod standing in a
// gap of the code, characters painted as outlines, distant codes and the size and type code
// beside the check digit.

#include <algorithm>
#include <cstdlib>
#include <opencv2/imgproc.hpp>

#include "synth/render_parts.hpp"

namespace karvona::synth::parts {

HardCases PickHardCases(Random& hard) {
    HardCases h;
    h.rodAcross = hard.Chance(0.12);
    h.outline = hard.Chance(0.06);
    h.distant = hard.Chance(0.08);
    h.sizeTypeBeside = hard.Chance(0.12);
    return h;
}

cv::Mat Outline(const cv::Mat& glyph, int thickness) {
    cv::Mat inner;
    cv::erode(glyph, inner,
              cv::getStructuringElement(cv::MORPH_ELLIPSE,
                                        cv::Size(2 * thickness + 1, 2 * thickness + 1)));
    return glyph - inner;
}

void DrawRodInGap(Random& hard, cv::Mat& canvas, const std::vector<cv::Rect>& inkBoxes,
                  int characterHeight, const Palette& palette, int yFrom) {
    // The widest gap between two characters of one line.
    int widest = 0, after = -1;
    for (std::size_t i = 0; i + 1 < inkBoxes.size(); ++i) {
        const cv::Rect& a = inkBoxes[i];
        const cv::Rect& b = inkBoxes[i + 1];
        if (std::abs(a.y - b.y) < characterHeight / 2 && b.x - a.br().x > widest) {
            widest = b.x - a.br().x;
            after = static_cast<int>(i);
        }
    }
    // The rod and its shadow (half as wide and two pixels) fill the gap but two pixels.
    const int width = std::min(characterHeight / 2, (widest - 6) * 2 / 3);
    if (after < 0 || width < 6)
        return;
    const int total = width + width / 2 + 2;
    const int x = inkBoxes[static_cast<std::size_t>(after)].br().x + (widest - total) / 2;
    DrawRod(hard, canvas, x, width, Jitter(hard, palette.panel * 0.95f, 8), yFrom, false);
}

}  // namespace karvona::synth::parts
