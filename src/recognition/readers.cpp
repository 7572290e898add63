#include "recognition/readers.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <opencv2/imgproc.hpp>
#include <string>

#include "imaging/blob_list.hpp"
#include "imaging/gaussian_pair.hpp"
#include "imaging/primitives.hpp"
#include "recognition/kmeans.hpp"

namespace karvona::recognition {

using imaging::CBlobList;

namespace {

void Show(const ReaderOptions& options, const std::string& title, const cv::Mat& image) {
    if (options.stepViews && options.viewer != nullptr)
        options.viewer->Show(title, image);
}

std::string Title(const char* format, int a, int b = 0) {
    char text[64];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

// The filters both readers apply to a candidate's blobs, up to the point where the cluster
// reader also removes overlaps.
void FilterShapes(CBlobList& list, int W, int H) {
    list.KeepBlobsLargerThan(2, 15);
    list.KeepBlobsSmallerThan(std::min(W - 10, 50), std::min(H - 5, 100));
    list.KeepAspectAbove(0.9f);
    list.KeepAspectBelow(10.0f);
    list.RemoveBorderBlobs(cv::Rect(0, 0, W, H));
}

// The rest of the chain: central blobs in reading order, repaired, without oversized boxes.
void FilterLine(CBlobList& list, int vertical, int W, int H) {
    list.KeepCentralBlobs(vertical);
    list.SortBlobs(vertical);
    list.MergeBrokenBlobs(vertical);
    list.SplitOversizedBlobs(vertical);
    list.KeepBlobsSmallerThan(std::min(W - 10, 50), std::min(H - 10, 100));
}

// The grey the morphology reader thresholds. The region's channels are weighed as red, green,
// blue, as the system always has.
cv::Mat RegionGrey(const cv::Mat& region) {
    cv::Mat grey;
    cv::cvtColor(region, grey, cv::COLOR_RGB2GRAY);
    return grey;
}

// The blobs of one polarity that stand for the character in box (window coordinates), painted
// into an image of the box's size; the share of the box their bounding rectangle covers goes
// to cover.
cv::Mat BoxStrokes(const cv::Mat& binary, const cv::Rect& box, int minArea, double& cover) {
    CBlobList list;
    list.SetImage(binary, minArea);
    list.Label();
    cv::Mat painted(box.height, box.width, CV_8UC1, cv::Scalar(0));
    cv::Rect united;
    for (int i = 0; i < list.Size(); ++i) {
        const cv::Rect& r = list.rects[i];
        // A stroke of the character lies mostly inside its box (what reaches out of it, a
        // touching neighbour or bar, is cut off at the box); the background around it and a
        // neighbour's strokes lie mostly outside.
        const cv::Rect inside = r & box;
        if (inside.area() * 2 < r.area())
            continue;
        list.PaintBlob(painted, i, r.x - box.x, r.y - box.y);
        united = united.area() == 0 ? inside : (united | inside);
    }
    cover = static_cast<double>(united.area()) / std::max(box.area(), 1);
    return painted;
}

}  // namespace

cv::Mat CutLabelledBox(const cv::Mat& image, const cv::Rect& box) {
    const cv::Rect whole(0, 0, image.cols, image.rows);
    if (image.empty() || image.type() != CV_8UC3 || box.width < 2 || box.height < 2 ||
        (box & whole) != box)
        return cv::Mat();
    // The surroundings give the threshold its two sides, as the region does for the reader.
    const int margin = std::max(2, box.height / 4);
    const cv::Rect window =
        cv::Rect(box.x - margin, box.y - margin, box.width + 2 * margin, box.height + 2 * margin) &
        whole;
    const cv::Mat grey = RegionGrey(image(window));
    cv::Mat bright, dark;
    const double otsu = cv::threshold(grey, bright, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    cv::threshold(grey, dark, otsu, 255, cv::THRESH_BINARY_INV);
    const cv::Rect inWindow(box.x - window.x, box.y - window.y, box.width, box.height);
    // Small characters have small strokes: the readers' 25 pixels would drop whole characters.
    const int minArea = std::clamp(box.area() / 40, 2, 25);
    double coverBright = 0, coverDark = 0;
    const cv::Mat fromBright = BoxStrokes(bright, inWindow, minArea, coverBright);
    const cv::Mat fromDark = BoxStrokes(dark, inWindow, minArea, coverDark);
    // The paint fills its box; the background inside a box is only holes and corners.
    return TightCrop(coverBright >= coverDark ? fromBright : fromDark);
}

int ReadByMorphology(cv::Mat& region, int layoutCode, cv::Mat& strip, const ReferenceData& data,
                     const ReaderOptions& options, Reading& out) {
    out = Reading{};
    const int W = region.cols;
    const int H = region.rows;
    const int vertical = W <= H ? 1 : 0;

    const cv::Mat grey = RegionGrey(region);

    cv::Mat candidates[4];
    const double otsu =
        cv::threshold(grey, candidates[0], 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    cv::threshold(grey, candidates[1], otsu, 255, cv::THRESH_BINARY_INV);
    cv::Mat blurred, detail;
    imaging::GaussianBlurReplicate(grey, 15, blurred);  // OpenCV's blur, bit for bit
    cv::subtract(grey, blurred, detail);
    cv::threshold(detail, candidates[2], 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    cv::threshold(detail, candidates[3], 0, 255, cv::THRESH_BINARY_INV | cv::THRESH_OTSU);

    CBlobList lists[4];
    int chosen = -1;
    int bestSolid = -1;
    int bestDistance = 100;
    constexpr double kThinFraction = 0.3f;
    for (int c = 0; c < 4; ++c) {
        Show(options, Title("Mophology #%d/4", c + 1), candidates[c]);
        CBlobList& list = lists[c];
        list.SetImage(candidates[c], 25);
        list.Label();
        FilterShapes(list, W, H);
        FilterLine(list, vertical, W, H);

        // Repaint only the kept boxes, counting the thin ones.
        candidates[c].setTo(0);
        int thin = 0;
        for (int i = 0; i < list.Size(); ++i) {
            const cv::Rect& r = list.rects[i];
            cv::Mat box(r.height, r.width, CV_8UC1, cv::Scalar(0));
            list.PaintBlob(box, i, 0, 0);
            const double white = imaging::SumFirstChannel(box) / 255.0;
            if (white / (static_cast<double>(r.width) * r.height) < kThinFraction)
                ++thin;
            if (r.x + r.width < W && r.y + r.height < H)
                imaging::CopyInto(box, candidates[c], r);
        }
        const int solid = list.Size() - thin;
        const int distance = std::abs(solid - 11);
        if (solid > bestSolid && distance <= bestDistance) {
            chosen = c;
            bestSolid = solid;
            bestDistance = distance;
        }
        Show(options, Title("Labeled #%d/4 (%d)", c + 1, list.Size()), candidates[c]);
    }

    CBlobList none;
    CBlobList* list = &none;
    if (chosen >= 0) {
        list = &lists[chosen];
        Show(options, Title("Labeled (Final) : %d", list->Size()), candidates[chosen]);
    } else {
        // No candidate came near eleven boxes: read an empty list.
        none.SetImage(cv::Mat(H, W, CV_8UC1, cv::Scalar(0)), 25);
        none.Label();
    }
    const PassStyle style{200, cv::Scalar(0, 255, 255)};
    return ReadCharacterBoxes(region, *list, vertical, layoutCode, style, strip, data, options,
                              out);
}

int ReadByClusterSegmentation(cv::Mat& region, int layoutCode, cv::Mat& strip,
                              const ReferenceData& data, const ReaderOptions& options,
                              Reading& out) {
    out.complete = false;
    const int W = region.cols;
    const int H = region.rows;
    const int vertical = W <= H ? 1 : 0;

    cv::Mat channels[3];
    cv::split(region, channels);
    cv::Mat masks[9];
    const std::uint64_t seed = SeedFromPixels(region);
    const cv::TermCriteria criteria = imaging::MakeTermCriteria(3, 5, 1.0);

    int best = -1;
    int bestHits = 0;
    int bestCount = 0;
    CBlobList candidates;  // labels each mask in turn, keeping its working memory
    for (int c = 0; c < 3; ++c) {
        const KMeansResult clusters = ClusterValues(channels[c], 3, criteria, seed + c);
        for (int k = 0; k < 3; ++k) {
            cv::Mat lut(1, 256, CV_8UC1);
            for (int v = 0; v < 256; ++v)
                lut.at<uchar>(v) = clusters.labelOfValue[v] == k ? 255 : 0;
            cv::LUT(channels[c], lut, masks[3 * c + k]);
        }
        for (int k = 0; k < 3; ++k) {
            const int m = 3 * c + k;
            Show(options, Title("Segmented Image #%d/9", m + 1), masks[m]);
            CBlobList& list = candidates;
            list.SetImage(masks[m], 25);
            list.Label();
            FilterShapes(list, W, H);
            list.SortAndRemoveOverlaps(vertical);
            FilterLine(list, vertical, W, H);

            masks[m].setTo(0);
            for (int i = 0; i < list.Size(); ++i) {
                list.PaintBlob(masks[m], i, list.rects[i].x, list.rects[i].y);
            }
            Show(options, Title("Labeled Image #%d/9", m + 1), masks[m]);

            const int count = list.Size();
            if (vertical == 0) {
                const int hits = cv::countNonZero(masks[m].row(H / 3)) +
                                 cv::countNonZero(masks[m].row((2 * H) / 3));
                if (hits > bestHits && count > bestCount) {
                    best = m;
                    bestHits = hits;
                    bestCount = count;
                }
            } else if (count > bestCount) {
                best = m;
                bestCount = count;
            }
        }
    }
    if (best < 0)
        return 0;

    if (options.stepViews) {
        for (int m = 0; m < 9; ++m)
            Show(options, Title("Segmented Image #%d/9", m + 1), masks[m]);
        Show(options, "Segmented Image (Final)", masks[best]);
    }

    CBlobList list;
    list.SetImage(masks[best], 50);
    list.Label();
    list.SortBlobs(vertical);
    list.MergeBrokenBlobs(vertical);
    list.SplitOversizedBlobs(vertical);
    list.KeepBlobsSmallerThan(std::min(W - 10, 50), std::min(H - 10, 100));
    if (list.Size() < 4)
        return 0;

    const PassStyle style{100, cv::Scalar(255, 255, 0)};
    return ReadCharacterBoxes(region, list, vertical, layoutCode, style, strip, data, options, out);
}

}  // namespace karvona::recognition
