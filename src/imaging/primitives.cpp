#include "imaging/primitives.hpp"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace karvona::imaging {

cv::TermCriteria MakeTermCriteria(int type, int maxCount, double epsilon) {
    return cv::TermCriteria(type, maxCount, static_cast<double>(static_cast<float>(epsilon)));
}

float IntegerPower(float x, int n) {
    unsigned int m = n < 0 ? 0u - static_cast<unsigned int>(n) : static_cast<unsigned int>(n);
    double product = 1.0;
    double square = x;
    for (; m != 0; m >>= 1) {
        if (m & 1u)
            product *= square;
        square *= square;
    }
    if (n < 0)
        product = 1.0 / product;
    return static_cast<float>(product);
}

cv::Mat RegionOf(const cv::Mat& image, const cv::Rect& rect) {
    const cv::Rect clipped = ClipRect(rect, image.size());
    if (clipped.empty())
        return cv::Mat();
    return image(clipped);
}

double SumFirstChannel(const cv::Mat& image) {
    if (image.empty())
        return 0.0;
    return cv::sum(image)[0];
}

double SumFirstChannel(const cv::Mat& image, const cv::Rect& rect) {
    const cv::Mat region = RegionOf(image, rect);
    if (region.empty())
        return 0.0;
    return cv::sum(region)[0];
}

void FillRect(cv::Mat& image, const cv::Rect& rect, double value) {
    if (image.type() != CV_8UC1)
        return;
    cv::Mat region = RegionOf(image, rect);
    if (region.empty())
        return;
    region.setTo(cv::Scalar::all(cv::saturate_cast<uchar>(value)));
}

bool IsBinaryImage(const cv::Mat& image) {
    if (image.type() != CV_8UC1)
        return false;
    // A byte is 0 or 255 when its upper seven bits equal its lower seven bits.
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    for (int y = 0; y < image.rows; ++y) {
        const uchar* row = image.ptr<uchar>(y);
        int x = 0;
        for (; x + 8 <= image.cols; x += 8) {
            std::uint64_t w;
            std::memcpy(&w, row + x, sizeof w);
            if (((w ^ (w >> 1)) & kLow7) != 0)
                return false;
        }
        for (; x < image.cols; ++x) {
            if (row[x] != 0 && row[x] != 255)
                return false;
        }
    }
    return true;
}

void CopyInto(const cv::Mat& src, cv::Mat& dst, const cv::Rect& rect) {
    if (src.empty() || dst.empty() || src.type() != dst.type())
        return;
    const cv::Rect target(rect.x, rect.y, std::min(rect.width, src.cols),
                          std::min(rect.height, src.rows));
    const cv::Rect clipped = ClipRect(target, dst.size());
    if (clipped.empty())
        return;
    const cv::Rect from(clipped.x - target.x, clipped.y - target.y, clipped.width, clipped.height);
    src(from).copyTo(dst(clipped));
}

}  // namespace karvona::imaging
