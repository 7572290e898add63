#pragma once
// The code-region locator: finds where in a photograph the container code is painted and in which
// of the seven layouts, and cuts the region out for the readers.
//
// Every plausible character blob is tried as the anchor character of every layout at a range of
// character and line gaps; each hypothesis is scored against the evidence image and the best one
// that fills enough character positions wins.

#include <opencv2/core.hpp>

#include "recognition/layout_template.hpp"
#include "recognition/locator_options.hpp"

namespace karvona::recognition {

inline constexpr int kMaxSeeds = 30;
inline constexpr int kMinWellFilledBoxes = 8;
/// The score a hypothesis must beat to be accepted at all.
inline constexpr double kInitialBestScore = -10.0;

/// Box sums over an image through its integral image: the sum over any rectangle costs four
/// look-ups and equals the pixel sum exactly.
class BoxSums {
public:
    explicit BoxSums(const cv::Mat& image);  ///< 8-bit, one channel
    /// Sum of the pixels inside rect, which must lie inside the image.
    double Sum(const cv::Rect& r) const {
        if (wide_) {
            const double* top = integral_.ptr<double>(r.y);
            const double* bottom = integral_.ptr<double>(r.y + r.height);
            return bottom[r.x + r.width] - bottom[r.x] - top[r.x + r.width] + top[r.x];
        }
        const int* top = integral_.ptr<int>(r.y);
        const int* bottom = integral_.ptr<int>(r.y + r.height);
        return static_cast<double>(bottom[r.x + r.width] - bottom[r.x] - top[r.x + r.width] +
                                   top[r.x]);
    }
    cv::Size Size() const { return size_; }

private:
    cv::Mat integral_;  ///< (rows + 1) x (cols + 1), CV_32S or, for huge images, CV_64F
    cv::Size size_;
    bool wide_ = false;
};

struct TemplateScore {
    double score = 0.0;
    int wellFilled = 0;  ///< character boxes more than a tenth white
};

/// Scores a template against the evidence: a character box adds its white mass m (white pixels)
/// when m >= 0.2 and otherwise loses m / 2; a blank box loses 2m when m >= 0.2. Boxes that leave
/// the frame and ignored boxes count nothing.
TemplateScore ScoreTemplate(const BoxSums& evidence, const LayoutTemplate& layout);

/// The score of the template MakeLayoutTemplate(layout, x0, y0, s, b, c) would build, worked out
/// box by box without building it: the same value, bit for bit, as ScoreTemplate of that template.
TemplateScore ScoreLayout(const BoxSums& evidence, int layout, int x0, int y0, int s, int b, int c);

/// The best hypothesis of a search.
struct BestHypothesis {
    double score = kInitialBestScore;
    int layout = -1;
    LayoutTemplate boxes;

    /// Takes the hypothesis when its score is strictly greater than the best so far and it has at
    /// least 8 well-filled boxes; returns whether it was taken.
    bool Offer(int layoutCode, const LayoutTemplate& candidate, const TemplateScore& score);
    /// Whether Offer would take a hypothesis of this score.
    bool WouldTake(const TemplateScore& result) const {
        return result.score > score && result.wellFilled >= kMinWellFilledBoxes;
    }
    /// A region is cut only for a best score of at least 0.
    bool Found() const { return layout >= 0 && score >= 0.0; }
};

/// Searches the layouts of a photograph (8-bit, three channels) without cutting the region.
/// display (may be null) receives the tilt measurement of a vertical code.
BestHypothesis SearchLayouts(const cv::Mat& photo, cv::Mat* display,
                             const LocatorOptions& options = {});

/// Finds the code region of a photograph (8-bit, three channels). Returns the extracted character
/// set (8-bit, three channels) or an empty image when no region is found. On success boxes (when
/// given) receives the winning template's boxes in template order and layoutCode (when given) its
/// layout code (0..6); on failure neither is written. display (may be null) receives the tilt
/// measurement of a vertical code. Any other input than a non-empty 8-bit three-channel image
/// finds no region.
cv::Mat FindIsoCharacters(const cv::Mat& photo, cv::Mat* display, TemplateBoxes* boxes,
                          int* layoutCode, const LocatorOptions& options = {});

}  // namespace karvona::recognition
