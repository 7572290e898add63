// Text for the painted markings: scaling of glyph masks, text blocks, and how paint masks are
// laid into the paint layer and blended onto the canvas.

#include <algorithm>
#include <opencv2/imgproc.hpp>

#include "synth/render_parts.hpp"

namespace karvona::synth::parts {

cv::Mat Resized(const cv::Mat& mask, cv::Size size) {
    cv::Mat out;
    cv::resize(mask, out, size, 0, 0, cv::INTER_AREA);
    return out;
}

// Lays a mask into the paint mask, keeping the stronger ink where they overlap.
void Stamp(cv::Mat& paint, const cv::Mat& mask, cv::Point at) {
    const cv::Rect dst = cv::Rect(at, mask.size()) & cv::Rect(0, 0, paint.cols, paint.rows);
    if (dst.empty()) {
        return;
    }
    const cv::Rect src(dst.x - at.x, dst.y - at.y, dst.width, dst.height);
    cv::Mat roi = paint(dst);
    cv::max(roi, mask(src), roi);
}

// Blends colour into the canvas with alpha = mask / 255 * opacity * wear.
void Blend(cv::Mat& canvas, const cv::Mat& mask, const cv::Vec3f& colour, float opacity,
           const cv::Mat* wear) {
    for (int y = 0; y < canvas.rows; ++y) {
        cv::Vec3f* px = canvas.ptr<cv::Vec3f>(y);
        const uchar* m = mask.ptr<uchar>(y);
        const float* w = wear ? wear->ptr<float>(y) : nullptr;
        for (int x = 0; x < canvas.cols; ++x) {
            if (m[x] == 0) {
                continue;
            }
            float a = m[x] * (1.0f / 255.0f) * opacity;
            if (w) {
                a *= w[x];
            }
            px[x] = px[x] * (1.0f - a) + colour * a;
        }
    }
}

// Text lines in a block, left aligned, every line's cap height `height`.
cv::Mat TextBlock(TextFace& face, const std::vector<std::string>& lines, int height,
                  double squeeze) {
    std::vector<cv::Mat> masks;
    int width = 0;
    for (const std::string& line : lines) {
        // Leading blanks keep the columns of the weight table: measure them as digits.
        std::size_t lead = line.find_first_not_of(' ');
        if (lead == std::string::npos) {
            continue;
        }
        cv::Mat m = face.Mask(line.substr(lead), 3 * height / 2 + 2);
        if (m.empty()) {
            continue;
        }
        const double scale = static_cast<double>(height) / m.rows;
        const int w = std::max(1, static_cast<int>(m.cols * scale * squeeze));
        cv::Mat r = Resized(m, cv::Size(w, height));
        const int indent = static_cast<int>(lead * height * 0.62 * squeeze);
        cv::Mat padded(height, indent + w, CV_8U, cv::Scalar(0));
        r.copyTo(padded(cv::Rect(indent, 0, w, height)));
        width = std::max(width, padded.cols);
        masks.push_back(padded);
    }
    if (masks.empty()) {
        return cv::Mat();
    }
    const int lineStep = height * 16 / 10;
    cv::Mat block(lineStep * static_cast<int>(masks.size() - 1) + height, width, CV_8U,
                  cv::Scalar(0));
    for (std::size_t i = 0; i < masks.size(); ++i) {
        masks[i].copyTo(block(cv::Rect(0, lineStep * static_cast<int>(i), masks[i].cols, height)));
    }
    return block;
}

}  // namespace karvona::synth::parts
