#include "recognition/look_repairs.hpp"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>

namespace karvona::recognition {
namespace {

cv::Mat Gray(const cv::Mat& image) {
    if (image.channels() == 1)
        return image;
    cv::Mat gray;
    cv::cvtColor(image, gray, image.channels() == 4 ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
    return gray;
}

bool Usable(const cv::Mat& image) {
    return !image.empty() && image.depth() == CV_8U &&
           (image.channels() == 1 || image.channels() == 3);
}

// Along one side of a component's mask (the top or bottom when columns, else the left or
// right), per line across it: how deep the first paint lies and how thick its first run is.
// Gives the share of lines that meet paint within `within` cells of the edge, and the median
// thickness of the runs.
void Side(const cv::Mat& mask, bool columns, bool fromStart, int within, double& straight,
          int& thickness) {
    const int lines = columns ? mask.cols : mask.rows;
    const int depth = columns ? mask.rows : mask.cols;
    int near = 0;
    std::vector<int> runs;
    for (int i = 0; i < lines; ++i) {
        int d = 0;
        auto at = [&](int k) {
            const int j = fromStart ? k : depth - 1 - k;
            return (columns ? mask.at<uchar>(j, i) : mask.at<uchar>(i, j)) != 0;
        };
        while (d < depth && !at(d))
            ++d;
        if (d <= within)
            ++near;
        int run = 0;
        while (d + run < depth && at(d + run))
            ++run;
        if (d < depth)
            runs.push_back(run);
    }
    straight = lines > 0 ? double(near) / lines : 0.0;
    thickness = depth;
    if (!runs.empty()) {
        std::nth_element(runs.begin(), runs.begin() + runs.size() / 2, runs.end());
        thickness = runs[runs.size() / 2];
    }
}

}  // namespace

bool IsFrameMask(const cv::Mat& mask) {
    const int h = mask.rows, w = mask.cols;
    if (h < 16 || h > 100 || w < h * 4 / 10 || w > h)
        return false;
    const int t = std::max(2, h / 7);
    if (2 * t + 4 > w)
        return false;
    const int painted = cv::countNonZero(mask);
    const cv::Rect inner(t, t, w - 2 * t, h - 2 * t);
    const int inside = cv::countNonZero(mask(inner));
    if (painted == 0 || inside > painted / 3)
        return false;
    const int within = std::max(2, h / 8);
    const int thin = std::max(2, h / 9);
    for (const bool columns : {true, false}) {
        for (const bool fromStart : {true, false}) {
            double straight = 0.0;
            int thickness = 0;
            Side(mask, columns, fromStart, within, straight, thickness);
            if (straight < 0.8 || thickness > thin)
                return false;
        }
    }
    return true;
}

namespace {

// The frames of one polarity: paint brighter (bright) or darker than its surroundings.
void FramesOf(const cv::Mat& gray, bool bright, std::vector<cv::Rect>& frames,
              std::vector<cv::Mat>* masks) {
    cv::Mat paint;
    cv::adaptiveThreshold(gray, paint, 255, cv::ADAPTIVE_THRESH_MEAN_C,
                          bright ? cv::THRESH_BINARY : cv::THRESH_BINARY_INV, 41,
                          bright ? -12 : 12);
    cv::Mat labels, stats, centroids;
    const int n = cv::connectedComponentsWithStats(paint, labels, stats, centroids, 8, CV_32S);
    for (int i = 1; i < n; ++i) {
        const cv::Rect box(stats.at<int>(i, cv::CC_STAT_LEFT), stats.at<int>(i, cv::CC_STAT_TOP),
                           stats.at<int>(i, cv::CC_STAT_WIDTH),
                           stats.at<int>(i, cv::CC_STAT_HEIGHT));
        if (box.height < 16 || box.height > 100 || box.width > box.height)
            continue;
        const cv::Mat mask = labels(box) == i;
        if (!IsFrameMask(mask))
            continue;
        frames.push_back(box);
        if (masks != nullptr)
            masks->push_back(mask);
    }
}

// The set pixels of a mask that lie in a vertical run of at least `run` set pixels (an opening
// with a column of `run` pixels, in two passes over the rows).
cv::Mat LongVerticalRuns(const cv::Mat& mask, int run) {
    cv::Mat up(mask.size(), CV_32S), out(mask.size(), CV_8U, cv::Scalar(0));
    std::vector<int> count(static_cast<size_t>(mask.cols), 0);
    for (int y = 0; y < mask.rows; ++y) {
        const uchar* m = mask.ptr<uchar>(y);
        int* u = up.ptr<int>(y);
        for (int x = 0; x < mask.cols; ++x)
            u[x] = count[x] = m[x] != 0 ? count[x] + 1 : 0;
    }
    std::fill(count.begin(), count.end(), 0);
    for (int y = mask.rows - 1; y >= 0; --y) {
        const uchar* m = mask.ptr<uchar>(y);
        const int* u = up.ptr<int>(y);
        uchar* o = out.ptr<uchar>(y);
        for (int x = 0; x < mask.cols; ++x) {
            count[x] = m[x] != 0 ? count[x] + 1 : 0;
            if (m[x] != 0 && u[x] + count[x] - 1 >= run)
                o[x] = 255;
        }
    }
    return out;
}

}  // namespace

cv::Mat EqualisedImage(const cv::Mat& image) {
    if (!Usable(image))
        return image;
    const cv::Size tiles(std::max(2, (image.cols + 64) / 128),
                         std::max(2, (image.rows + 64) / 128));
    const cv::Ptr<cv::CLAHE> clahe = cv::createCLAHE(2.5, tiles);
    cv::Mat out;
    if (image.channels() == 1) {
        clahe->apply(image, out);
        return out;
    }
    cv::Mat luma;
    cv::cvtColor(image, luma, cv::COLOR_BGR2YCrCb);
    std::vector<cv::Mat> planes;
    cv::split(luma, planes);
    clahe->apply(planes[0], planes[0]);
    cv::merge(planes, luma);
    cv::cvtColor(luma, out, cv::COLOR_YCrCb2BGR);
    return out;
}

std::vector<cv::Rect> FindCharacterFrames(const cv::Mat& gray) {
    std::vector<cv::Rect> frames;
    if (!Usable(gray) || gray.channels() != 1)
        return frames;
    FramesOf(gray, true, frames, nullptr);
    FramesOf(gray, false, frames, nullptr);
    return frames;
}

cv::Mat UnframedImage(const cv::Mat& image) {
    if (!Usable(image))
        return image;
    const cv::Mat gray = Gray(image);
    std::vector<cv::Rect> frames;
    std::vector<cv::Mat> masks;
    FramesOf(gray, true, frames, &masks);
    FramesOf(gray, false, frames, &masks);
    if (frames.empty())
        return image;
    cv::Mat out = image.clone();
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, {5, 5});
    for (size_t f = 0; f < frames.size(); ++f) {
        // The frame's paint and its soft edge, grown by two pixels, inside a box two pixels
        // larger; the panel is what the grown box holds apart from paint.
        const cv::Rect outer =
            (frames[f] + cv::Size(6, 6) - cv::Point(3, 3)) & cv::Rect(0, 0, image.cols, image.rows);
        cv::Mat paint(outer.size(), CV_8U, cv::Scalar(0));
        masks[f].copyTo(paint(cv::Rect(frames[f].tl() - outer.tl(), frames[f].size())));
        cv::dilate(paint, paint, kernel);
        // Only the ring: what the frame holds is kept.
        const int t = std::max(2, frames[f].height / 7) + 2;
        const cv::Rect hold = cv::Rect(frames[f].tl() - outer.tl() + cv::Point(t, t),
                                       frames[f].size() - cv::Size(2 * t, 2 * t)) &
                              cv::Rect(0, 0, outer.width, outer.height);
        paint(hold).setTo(0);
        cv::Mat region = out(outer);
        const cv::Scalar panel = cv::mean(region, paint == 0);
        region.setTo(panel, paint);
    }
    return out;
}

std::vector<cv::Rect> FindBars(const cv::Mat& gray) {
    std::vector<cv::Rect> bars;
    if (!Usable(gray) || gray.channels() != 1 || gray.rows < 60)
        return bars;
    // Rising and falling edges across the rows apart, each kept where it runs down for a fifth
    // of the image (widened by two pixels each way first, so that a bar the camera sees a
    // little slanted keeps its edges).
    cv::Mat dx;
    cv::Sobel(gray, dx, CV_16S, 1, 0, 3);
    const int run = std::max(60, gray.rows / 5);
    const cv::Mat widen = cv::getStructuringElement(cv::MORPH_RECT, {5, 1});
    struct Edge {
        int start, end;  // columns
        bool rising;
        cv::Mat rows;  // a column: the rows where the edge runs
    };
    std::vector<Edge> edges;
    for (const bool rising : {true, false}) {
        cv::Mat edge = rising ? dx > 40 : dx < -40;
        cv::dilate(edge, edge, widen);
        edge = LongVerticalRuns(edge, run);
        cv::Mat columns;
        cv::reduce(edge, columns, 0, cv::REDUCE_MAX);
        for (int x = 0; x < gray.cols; ++x) {
            if (columns.at<uchar>(0, x) == 0)
                continue;
            int end = x;
            while (end + 1 < gray.cols && columns.at<uchar>(0, end + 1) != 0)
                ++end;
            Edge e{x, end, rising, {}};
            cv::reduce(edge.colRange(x, end + 1), e.rows, 1, cv::REDUCE_MAX);
            edges.push_back(e);
            x = end;
        }
    }
    std::sort(edges.begin(), edges.end(),
              [](const Edge& a, const Edge& b) { return a.start < b.start; });
    // A bar: an edge and the next one of the other sense, 6 to 64 pixels apart, running down
    // side by side for a fifth of the image. A bright rod with its shadow beside it makes two,
    // which are joined.
    for (size_t i = 0; i + 1 < edges.size(); ++i) {
        const Edge& a = edges[i];
        const Edge& b = edges[i + 1];
        const int width = b.end - a.start + 1;
        if (a.rising == b.rising || width < 6 || width > 64)
            continue;
        const cv::Mat both = a.rows & b.rows;
        int top = -1, bottom = -1;
        for (int y = 0; y < gray.rows; ++y) {
            if (both.at<uchar>(y) != 0) {
                top = top < 0 ? y : top;
                bottom = y;
            }
        }
        if (top < 0 || bottom - top < run)
            continue;
        // The widening undone.
        const cv::Rect bar(a.start + 2, top, width - 4, bottom - top + 1);
        if (!bars.empty() && (bars.back() & (bar + cv::Size(2, 0) - cv::Point(1, 0))).area() > 0)
            bars.back() |= bar;
        else
            bars.push_back(bar);
    }
    return bars;
}

cv::Mat UnbarredImage(const cv::Mat& image) {
    if (!Usable(image))
        return image;
    const std::vector<cv::Rect> bars = FindBars(Gray(image));
    if (bars.empty())
        return image;
    cv::Mat out = image.clone();
    const int channels = image.channels();
    for (const cv::Rect& bar : bars) {
        // From two pixels left of the bar to two right of it, each row is painted with the
        // straight line between the panel on either side (shadow and edge included).
        const int x0 = std::max(0, bar.x - 2);
        const int x1 = std::min(image.cols - 1, bar.x + bar.width + 1);
        if (x1 - x0 < 2)
            continue;
        for (int y = bar.y; y < bar.y + bar.height; ++y) {
            uchar* row = out.ptr<uchar>(y);
            for (int x = x0 + 1; x < x1; ++x) {
                const double t = double(x - x0) / (x1 - x0);
                for (int c = 0; c < channels; ++c) {
                    row[x * channels + c] = cv::saturate_cast<uchar>(
                        (1 - t) * row[x0 * channels + c] + t * row[x1 * channels + c]);
                }
            }
        }
    }
    return out;
}

cv::Mat Repaired(const cv::Mat& image, Repair repair) {
    switch (repair) {
        case Repair::kEqualise:
            return EqualisedImage(image);
        case Repair::kUnframe:
            return UnframedImage(image);
        case Repair::kUnbar:
            return UnbarredImage(image);
        default:
            return image;
    }
}

}  // namespace karvona::recognition
