#include "recognition/locator.hpp"

#include <algorithm>
#include <cstdio>
#include <opencv2/imgproc.hpp>

#include "imaging/blob_list.hpp"
#include "recognition/evidence.hpp"
#include "recognition/extraction.hpp"
#include "recognition/line_masks.hpp"

namespace karvona::recognition {

namespace {

constexpr int kSeedMinArea = 50;
constexpr int kMaxVerticalSeedWidth = 50;
constexpr int kMinHorizontalSeedHeight = 20;
constexpr int kMaxTwoColumnStroke = 250;
// Thresholds on the white mass, at single precision as they were always compared.
constexpr double kMinMass = static_cast<double>(0.2f);
constexpr double kWellFilled = static_cast<double>(0.1f);

bool InsideFrame(const cv::Rect& box, const cv::Size& frame) {
    return box.x >= 0 && box.y >= 0 && box.x + box.width <= frame.width &&
           box.y + box.height <= frame.height;
}

void ShowHypothesis(const LocatorOptions& options, const cv::Mat& evidence,
                    const LayoutTemplate& layout, const TemplateScore& score) {
    if (!options.stepViews || options.viewer == nullptr || layout.count == 0)
        return;
    cv::Mat view;
    cv::cvtColor(evidence, view, cv::COLOR_GRAY2BGR);
    for (int i = 0; i < layout.count; ++i) {
        const cv::Scalar colour = layout.kinds[i] == kCharacterBox ? cv::Scalar(0, 255, 0)
                                  : layout.kinds[i] == kIgnoredBox ? cv::Scalar(255, 0, 0)
                                                                   : cv::Scalar(0, 0, 255);
        cv::rectangle(view, layout.boxes[i], colour, 1, cv::LINE_8);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.2f, (%d)", score.score, score.wellFilled);
    const cv::Point at(layout.boxes[0].x, layout.boxes[0].y - 5);
    cv::putText(view, text, at, cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(0, 0, 0), 3);
    cv::putText(view, text, at, cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(0, 255, 255), 1);
    options.viewer->Show("find ISO characters", view);
}

}  // namespace

BoxSums::BoxSums(const cv::Mat& image) : size_(image.size()) {
    // Sums of 8-bit values are integers: 32-bit sums are exact while the whole image sums below
    // 2^31, and doubles are exact far beyond any frame size.
    wide_ = 255.0 * image.total() >= 2147483647.0;
    cv::integral(image, integral_, wide_ ? CV_64F : CV_32S);
}

TemplateScore ScoreTemplate(const BoxSums& evidence, const LayoutTemplate& layout) {
    TemplateScore result;
    const cv::Size frame = evidence.Size();
    for (int i = 0; i < layout.count; ++i) {
        const int kind = layout.kinds[i];
        const cv::Rect& box = layout.boxes[i];
        if (kind == kIgnoredBox || !InsideFrame(box, frame))
            continue;
        const double mass = evidence.Sum(box) / 255.0;
        if (kind == kCharacterBox) {
            if (mass >= kMinMass)
                result.score += mass;
            else
                result.score -= mass / 2;
            if (mass / (box.width * box.height) > kWellFilled)
                ++result.wellFilled;
        } else if (mass >= kMinMass) {
            result.score -= 2 * mass;
        }
    }
    return result;
}

TemplateScore ScoreLayout(const BoxSums& evidence, int layout, int x0, int y0, int s, int b,
                          int c) {
    TemplateScore result;
    if (layout < 0 || layout >= kLayoutCount)
        return result;
    const LayoutGeometry g = GeometryOf(layout, s, b, c);
    const auto& kinds = KindsOf(layout);
    const cv::Size frame = evidence.Size();
    const int w = g.width;
    const int h = g.height;
    int n = 0;
    for (int i = 0; i < g.rows; ++i, n += g.cols) {
        const int y = g.Y(y0, i);
        if (y < 0 || y + h > frame.height)
            continue;  // the whole row lies across the frame's edge
        for (int j = 0; j < g.cols; ++j) {
            const int kind = kinds[n + j];
            if (kind == kIgnoredBox)
                continue;
            const int x = g.X(x0, j);
            if (x < 0 || x + w > frame.width)
                continue;
            // The same arithmetic, in the same order, as ScoreTemplate.
            const double mass = evidence.Sum(cv::Rect(x, y, w, h)) / 255.0;
            if (kind == kCharacterBox) {
                if (mass >= kMinMass)
                    result.score += mass;
                else
                    result.score -= mass / 2;
                if (mass / (w * h) > kWellFilled)
                    ++result.wellFilled;
            } else if (mass >= kMinMass) {
                result.score -= 2 * mass;
            }
        }
    }
    return result;
}

bool BestHypothesis::Offer(int layoutCode, const LayoutTemplate& candidate,
                           const TemplateScore& result) {
    if (!WouldTake(result))
        return false;
    score = result.score;
    layout = layoutCode;
    boxes = candidate;
    return true;
}

BestHypothesis SearchLayouts(const cv::Mat& photo, cv::Mat* display,
                             const LocatorOptions& options) {
    BestHypothesis best;
    if (photo.empty() || photo.type() != CV_8UC3)
        return best;

    // One list serves every labelling of the search, so its working memory is made once.
    imaging::CBlobList seeds;
    cv::Mat evidence = BuildCharacterEvidence(photo, options, seeds);
    LineMasks masks = BuildLineMasks(evidence, display, options, seeds);

    seeds.SetImage(masks.masked, kSeedMinArea);
    seeds.Label();
    const int seedCount = std::min(seeds.Size(), kMaxSeeds);
    std::array<cv::Rect, kMaxSeeds> seedBoxes{};
    std::copy(seeds.rects.begin(), seeds.rects.begin() + seedCount, seedBoxes.begin());
    // Only the seed boxes are needed from here on; the images and the list's working memory go.
    seeds = imaging::CBlobList();
    const bool horizontal = masks.horizontal;
    const bool vertical = masks.vertical;
    const int strokeHeight = masks.strokeHeight;
    masks = LineMasks();
    if (seedCount == 0 || (!horizontal && !vertical))
        return best;

    const BoxSums sums(evidence);
    LayoutTemplate candidate;
    for (int s = 0; s < seedCount; ++s) {
        const cv::Rect& seed = seedBoxes[s];
        for (int b = 4; b <= 24; b += 2) {
            for (int c = 3; c <= 18; c += 3) {
                for (int layout = 0; layout < kLayoutCount; ++layout) {
                    const bool isVertical = IsVerticalLayout(layout);
                    if (isVertical ? !vertical : !horizontal)
                        continue;
                    if (isVertical && seed.width > kMaxVerticalSeedWidth)
                        continue;
                    if (!isVertical && seed.height < kMinHorizontalSeedHeight)
                        continue;
                    if (layout == 4 && strokeHeight > kMaxTwoColumnStroke)
                        continue;

                    const int size = isVertical ? seed.width : seed.height;
                    const TemplateScore result =
                        ScoreLayout(sums, layout, seed.x, seed.y, size, b, c);
                    if (!best.WouldTake(result))
                        continue;
                    // Only a hypothesis that wins is built box by box.
                    MakeLayoutTemplate(layout, seed.x, seed.y, size, b, c, candidate);
                    best.Offer(layout, candidate, result);
                    ShowHypothesis(options, evidence, candidate, result);
                }
            }
        }
    }
    return best;
}

cv::Mat FindIsoCharacters(const cv::Mat& photo, cv::Mat* display, TemplateBoxes* boxes,
                          int* layoutCode, const LocatorOptions& options) {
    const BestHypothesis best = SearchLayouts(photo, display, options);
    if (!best.Found())
        return cv::Mat();
    if (boxes != nullptr)
        *boxes = best.boxes.boxes;
    if (layoutCode != nullptr)
        *layoutCode = best.layout;
    return ExtractCharacterSet(photo, best.layout, best.boxes.count, best.boxes.boxes, options);
}

}  // namespace karvona::recognition
