#include "recognition/line_masks.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <opencv2/imgproc.hpp>
#include <vector>

#include "imaging/blob_list.hpp"
#include "imaging/primitives.hpp"

namespace karvona::recognition {

namespace {

constexpr int kBoxMinArea = 10;
constexpr int kMaskMinArea = 100;
constexpr int kMinRunWidth = 50;
constexpr int kMinStrokeHeight = 150;
constexpr int kMinStrokeQuotient = 5;
constexpr int kColumnStrokeHeight = 250;
constexpr int kColumnStrokeMaxX = 550;
constexpr double kPi = 3.14159265358979323846;

// First column of row y holding 255, or -1.
int FirstWhite(const cv::Mat& image, int y) {
    const uchar* row = image.ptr<uchar>(y);
    for (int x = 0; x < image.cols; ++x) {
        if (row[x] == 255)
            return x;
    }
    return -1;
}

// Measures the stroke's lean and, when it is small, turns the evidence upright about the
// stroke's centre and marks the measurement on the display.
void CorrectTilt(cv::Mat& evidence, const cv::Mat& verticalMask, const cv::Rect& stroke,
                 cv::Mat* display, double angleFactor, LineMasks& masks) {
    const int yt = stroke.y + 5;
    const int yb = stroke.y + stroke.height - 5;
    if (yt < 0 || yb >= verticalMask.rows || yb < yt)
        return;
    const int xt = FirstWhite(verticalMask, yt);
    const int xb = FirstWhite(verticalMask, yb);
    if (xt < 0 || xb < 0)
        return;

    const int dx = xb - xt;
    const int dy = yb - yt;
    const double divisor = dx == 0 ? 0.1 : dx;
    const double a = std::atan(dy / divisor) * 180.0 / kPi * angleFactor;
    const cv::Point2f centre(static_cast<float>(xt + dx / 2.0), static_cast<float>(yt + dy / 2.0));
    const double t = a > 0 ? a - 90.0 : a + 90.0;
    masks.tilt = t;
    if (!(std::fabs(t) > 1.0 && std::fabs(t) < 5.0))
        return;

    if (display != nullptr && !display->empty() && display->type() == CV_8UC3) {
        char text[32];
        std::snprintf(text, sizeof text, "%.2f", t);
        const cv::Point top(xt, yt);
        const cv::Point bottom(xb, yb);
        cv::line(*display, top, bottom, cv::Scalar(0, 0, 0), 3, cv::LINE_8);
        cv::line(*display, top, bottom, cv::Scalar(255, 255, 0), 1, cv::LINE_8);
        const cv::Point c(static_cast<int>(centre.x), static_cast<int>(centre.y));
        cv::circle(*display, c, 1, cv::Scalar(0, 255, 255), 3);
        const cv::Point at(static_cast<int>(centre.x + 10), static_cast<int>(centre.y + 10));
        cv::putText(*display, text, at, cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(0, 0, 0), 3);
        cv::putText(*display, text, at, cv::FONT_HERSHEY_SIMPLEX, 0.5, cv::Scalar(0, 255, 255), 1);
    }

    // The matrix is used at single precision, as it always was; the double matrix moves some
    // strokes by a pixel.
    cv::Mat rotation;
    cv::getRotationMatrix2D(centre, t, 1.0).convertTo(rotation, CV_32F);
    const cv::Mat upright = evidence.clone();
    cv::warpAffine(upright, evidence, rotation, evidence.size(), cv::INTER_LINEAR,
                   cv::BORDER_CONSTANT, cv::Scalar(0));
    masks.rotated = true;
}

}  // namespace

namespace {

// First x in [from, to) whose pixel is 255, else to; eight background pixels at a time.
int NextWhite(const uchar* row, int from, int to) {
    int x = from;
    for (; x + 8 <= to; x += 8) {
        std::uint64_t w;
        std::memcpy(&w, row + x, sizeof w);
        if (w != 0)
            break;
    }
    for (; x < to; ++x) {
        if (row[x] == 255)
            return x;
    }
    return to;
}

// First x in [from, to) whose pixel is not 255, else to.
int NextNotWhite(const uchar* row, int from, int to) {
    int x = from;
    for (; x + 8 <= to; x += 8) {
        std::uint64_t w;
        std::memcpy(&w, row + x, sizeof w);
        if (w != ~std::uint64_t{0})
            break;
    }
    for (; x < to; ++x) {
        if (row[x] != 255)
            return x;
    }
    return to;
}

// On an image of 0 and 255 the rule comes down to: every run of 0 that follows a 255, starts
// before cols - limit and ends at a 255 after fewer than limit pixels is filled. Run by run.
void CloseBinaryRowGaps(cv::Mat& image, int limit) {
    const int cols = image.cols;
    const int lastStart = cols - limit;  // a gap must start before this column
    if (lastStart <= 1)
        return;
    for (int y = 0; y < image.rows; ++y) {
        uchar* row = image.ptr<uchar>(y);
        int x = 0;
        for (;;) {
            const int white = NextWhite(row, x, cols);
            if (white >= cols)
                break;
            const int gap = NextNotWhite(row, white, cols);
            if (gap >= lastStart)
                break;
            const int next = NextWhite(row, gap, gap + limit);
            if (next < gap + limit)
                std::memset(row + gap, 255, static_cast<size_t>(next - gap));
            x = next;  // the next run of 255 (joined to this one when the gap was filled)
        }
    }
}

// The same rule down the columns, worked through row by row: a column's gap is known when the
// 255 below it is met.
void CloseBinaryColumnGaps(cv::Mat& image, int limit) {
    const int rows = image.rows;
    const int lastStart = rows - limit;  // a gap must start before this row
    if (lastStart <= 1)
        return;
    std::vector<int> lastWhite(static_cast<size_t>(image.cols), -1);  // row of the last 255
    for (int y = 0; y < rows; ++y) {
        const uchar* row = image.ptr<uchar>(y);
        int x = 0;
        for (;;) {
            const int white = NextWhite(row, x, image.cols);
            if (white >= image.cols)
                break;
            const int end = NextNotWhite(row, white, image.cols);
            for (int c = white; c < end; ++c) {
                const int above = lastWhite[c];
                const int start = above + 1;
                if (above >= 0 && start < y && y - start < limit && start < lastStart) {
                    for (int r = start; r < y; ++r)
                        image.ptr<uchar>(r)[c] = 255;
                }
                lastWhite[c] = y;
            }
            x = end;
        }
    }
}

// The rule as written, for images with other values as well.
void CloseAnyRowGaps(cv::Mat& image, int limit) {
    for (int y = 0; y < image.rows; ++y) {
        uchar* row = image.ptr<uchar>(y);
        for (int x = 1; x < image.cols - limit; ++x) {
            if (row[x - 1] != 255 || row[x] != 0)
                continue;
            for (int k = 0; k < limit; ++k) {
                if (row[x + k] == 255) {
                    for (int i = x; i < x + k; ++i)
                        row[i] = 255;
                    x += k;
                    break;
                }
            }
        }
    }
}

void CloseAnyColumnGaps(cv::Mat& image, int limit) {
    const size_t step = image.step1();
    for (int x = 0; x < image.cols; ++x) {
        uchar* column = image.ptr<uchar>(0) + x;
        for (int y = 1; y < image.rows - limit; ++y) {
            if (column[(y - 1) * step] != 255 || column[y * step] != 0)
                continue;
            for (int k = 0; k < limit; ++k) {
                if (column[(y + k) * step] == 255) {
                    for (int i = y; i < y + k; ++i)
                        column[i * step] = 255;
                    y += k;
                    break;
                }
            }
        }
    }
}

}  // namespace

void CloseRowGaps(cv::Mat& image, int limit) {
    if (image.type() != CV_8UC1 || limit < 1)
        return;
    if (imaging::IsBinaryImage(image))
        CloseBinaryRowGaps(image, limit);
    else
        CloseAnyRowGaps(image, limit);
}

void CloseColumnGaps(cv::Mat& image, int limit) {
    if (image.type() != CV_8UC1 || limit < 1)
        return;
    if (imaging::IsBinaryImage(image))
        CloseBinaryColumnGaps(image, limit);
    else
        CloseAnyColumnGaps(image, limit);
}

LineMasks BuildLineMasks(cv::Mat& evidence, cv::Mat* display, const LocatorOptions& options) {
    imaging::CBlobList blobs;
    return BuildLineMasks(evidence, display, options, blobs);
}

LineMasks BuildLineMasks(cv::Mat& evidence, cv::Mat* display, const LocatorOptions& options,
                         imaging::CBlobList& blobs) {
    LineMasks masks;
    if (evidence.empty() || evidence.type() != CV_8UC1)
        return masks;

    // Box image: every blob of the evidence filled to its bounding box.
    cv::Mat boxes1(evidence.size(), CV_8UC1, cv::Scalar(0));
    {
        blobs.SetImage(evidence, kBoxMinArea);
        blobs.Label();
        for (int i = 0; i < blobs.Size(); ++i)
            imaging::FillRect(boxes1, blobs.rects[i], 255);
    }
    cv::Mat boxes2 = boxes1.clone();
    ShowStep(options, "extracted character image 1", boxes1);
    ShowStep(options, "extracted character image 2", boxes2);

    // Horizontal mask: rows closed, then the runs wider than 50 pixels.
    CloseRowGaps(boxes1, kRowGapLimit);
    ShowStep(options, "Horizontal Mask", boxes1);
    {
        blobs.SetImage(boxes1, kMaskMinArea);
        blobs.Label();
        boxes1.setTo(0);
        for (int i = 0; i < blobs.Size(); ++i) {
            if (blobs.rects[i].width <= kMinRunWidth)
                continue;
            blobs.PaintBlob(boxes1, i, blobs.rects[i].x, blobs.rects[i].y);
            masks.horizontal = true;
        }
    }
    ShowStep(options, "Horizontal Mask", boxes1);

    // Vertical mask: columns closed, then the tallest run when it is tall and thin enough.
    CloseColumnGaps(boxes2, kColumnGapLimit);
    {
        blobs.SetImage(boxes2, kMaskMinArea);
        blobs.Label();
        int tallest = -1;
        for (int i = 0; i < blobs.Size(); ++i) {
            if (tallest < 0 || blobs.rects[i].height > blobs.rects[tallest].height)
                tallest = i;
        }
        boxes2.setTo(0);
        if (tallest >= 0) {
            const cv::Rect& r = blobs.rects[tallest];
            if (r.height > kMinStrokeHeight && r.height / r.width > kMinStrokeQuotient) {
                blobs.PaintBlob(boxes2, tallest, r.x, r.y);
                masks.vertical = true;
                masks.strokeHeight = r.height;
                masks.stroke = r;
                if (r.height > kColumnStrokeHeight && r.x < kColumnStrokeMaxX) {
                    masks.horizontal = false;
                }
            }
        }
    }
    ShowStep(options, "Vertical Mask", boxes2);

    if (masks.horizontal && masks.vertical) {
        cv::add(boxes1, boxes2, masks.masked);
        cv::bitwise_and(evidence, masks.masked, masks.masked);
    } else if (masks.horizontal) {
        cv::bitwise_and(evidence, boxes1, masks.masked);
    } else if (masks.vertical) {
        cv::bitwise_and(evidence, boxes2, masks.masked);
    } else {
        // No line structure: nothing of the evidence is kept and no layout will be tried.
        masks.masked = cv::Mat(evidence.size(), CV_8UC1, cv::Scalar(0));
    }
    ShowStep(options, "masked", masks.masked);

    if (masks.vertical) {
        CorrectTilt(evidence, boxes2, masks.stroke, display, options.tiltAngleFactor, masks);
    }
    masks.horizontalMask = boxes1;
    masks.verticalMask = boxes2;
    return masks;
}

}  // namespace karvona::recognition
