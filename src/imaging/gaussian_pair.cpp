#include "imaging/gaussian_pair.hpp"

#include <algorithm>
#include <cstdint>
#include <map>
#include <mutex>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>
#include <vector>

namespace karvona::imaging {

namespace {

constexpr int kOne = 256;  // 1.0 with eight fraction bits
constexpr std::int32_t kHalf = 1 << 15;
constexpr std::int32_t kFull = 255 << 16;

// The fixed-point kernel of a blur size: kernel[r + k] weighs the pixel k away (symmetric).
struct Kernel {
    int radius = 0;
    std::vector<std::uint16_t> weights;
    bool own = false;  ///< the blur is computed here
};

void OpenCvBlur(const cv::Mat& image, int size, cv::Mat& out) {
    cv::GaussianBlur(image, out, cv::Size(size, size), 0, 0, cv::BORDER_REPLICATE);
}

// The loops below are built twice on x86-64 with GCC, for AVX2 and for the baseline, and the
// processor picks at load time. Their arithmetic is exact integer arithmetic either way.
// Sanitizer builds keep one version: the picking runs while the program is being loaded, before
// the sanitizer's runtime is, and its instrumented code crashes there.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && \
    !defined(__SANITIZE_THREAD__) && !defined(__SANITIZE_ADDRESS__)
#define KARVONA_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define KARVONA_VECTOR_CLONES
#endif

// The row pass of one row, given with radius replicated pixels on each side: sums of eight
// fraction bits, at most 255 * 256, so they fit in 16 bits and, as floats, are exact.
KARVONA_VECTOR_CLONES
void RowPass(const uchar* p, int width, const std::uint16_t* weights, int r, std::uint16_t* sums,
             float* out) {
    const std::uint16_t centre = weights[r];
    for (int x = 0; x < width; ++x)
        sums[x] = static_cast<std::uint16_t>(centre * p[x]);
    for (int k = 1; k <= r; ++k) {
        const std::uint16_t w = weights[r + k];
        if (w == 0)
            continue;
        for (int x = 0; x < width; ++x)
            sums[x] = static_cast<std::uint16_t>(sums[x] + w * (p[x - k] + p[x + k]));
    }
    for (int x = 0; x < width; ++x)
        out[x] = sums[x];
}

// The column pass of one output row from the row sums of the rows around it (rows[r + k] is the
// row k away, edges replicated), in floats: every partial sum is an integer below
// 255 * 2^16 < 2^24. Then both roundings.
KARVONA_VECTOR_CLONES
void ColumnPass(const float* const* rows, int width, const std::uint16_t* weights, int r,
                float* total, uchar* blurred, uchar* inverseBlurred) {
    const float centre = weights[r];
    const float* middle = rows[r];
    for (int x = 0; x < width; ++x)
        total[x] = centre * middle[x];
    for (int k = 1; k <= r; ++k) {
        const float w = weights[r + k];
        if (w == 0)
            continue;
        const float* above = rows[r - k];
        const float* below = rows[r + k];
        for (int x = 0; x < width; ++x)
            total[x] += w * (above[x] + below[x]);
    }
    for (int x = 0; x < width; ++x) {
        const std::int32_t sum = static_cast<std::int32_t>(total[x]);
        blurred[x] = static_cast<uchar>((sum + kHalf) >> 16);
        inverseBlurred[x] = static_cast<uchar>((kFull - sum + kHalf) >> 16);
    }
}

// Output rows y0 to y1 - 1 (of outputs already made). Row sums of the rows in reach are kept in
// a ring of one slot per kernel row; rows past the edges are the edge rows themselves
// (replicated border). Every output row comes out the same whatever band it is in.
void BlurBand(const cv::Mat& image, const Kernel& kernel, int y0, int y1, cv::Mat& blurred,
              cv::Mat& inverseBlurred) {
    const int width = image.cols;
    const int height = image.rows;
    const int r = kernel.radius;
    const int size = 2 * r + 1;
    std::vector<float> ring(static_cast<size_t>(size) * width);
    std::vector<uchar> padded(static_cast<size_t>(width) + 2 * r);
    std::vector<std::uint16_t> rowSums(static_cast<size_t>(width));
    std::vector<float> total(static_cast<size_t>(width));
    std::vector<const float*> rows(static_cast<size_t>(size));
    auto slot = [&](int sourceRow) {
        return ring.data() + static_cast<size_t>(sourceRow % size) * width;
    };
    int computed = std::max(y0 - r, 0) - 1;  // the last source row in the ring

    for (int y = y0; y < y1; ++y) {
        for (const int last = std::min(y + r, height - 1); computed < last; ++computed) {
            const uchar* row = image.ptr<uchar>(computed + 1);
            std::copy(row, row + width, padded.begin() + r);
            std::fill(padded.begin(), padded.begin() + r, row[0]);
            std::fill(padded.begin() + r + width, padded.end(), row[width - 1]);
            RowPass(padded.data() + r, width, kernel.weights.data(), r, rowSums.data(),
                    slot(computed + 1));
        }
        for (int k = -r; k <= r; ++k)
            rows[r + k] = slot(std::clamp(y + k, 0, height - 1));
        ColumnPass(rows.data(), width, kernel.weights.data(), r, total.data(),
                   blurred.ptr<uchar>(y), inverseBlurred.ptr<uchar>(y));
    }
}

// In bands of rows on OpenCV's threads, as OpenCV's own blur runs (one band when the program
// has asked OpenCV for one thread). A band recomputes the row sums of the kernel rows above it.
void OwnBlurPair(const cv::Mat& image, const Kernel& kernel, cv::Mat& blurred,
                 cv::Mat& inverseBlurred) {
    blurred.create(image.size(), CV_8UC1);
    inverseBlurred.create(image.size(), CV_8UC1);
    const int height = image.rows;
    const int minimumBand = 4 * (2 * kernel.radius + 1);
#if defined(__SANITIZE_THREAD__)
    // OpenCV's thread pool is not instrumented, so ThreadSanitizer cannot see it hand the bands
    // over and back; its builds blur in one band.
    const int threads = 1;
#else
    const int threads = cv::getNumThreads();
#endif
    const int bands = std::max(1, std::min(threads, height / minimumBand));
    if (bands == 1) {
        BlurBand(image, kernel, 0, height, blurred, inverseBlurred);
        return;
    }
    cv::parallel_for_(cv::Range(0, bands), [&](const cv::Range& range) {
        for (int band = range.start; band < range.end; ++band)
            BlurBand(image, kernel, height * band / bands, height * (band + 1) / bands, blurred,
                     inverseBlurred);
    });
}

// A test image with every grey level, edges and texture, of a width that is no multiple of the
// vector sizes.
cv::Mat TestImage() {
    cv::Mat image(97, 131, CV_8UC1);
    std::uint32_t state = 12345u;
    for (int y = 0; y < image.rows; ++y) {
        for (int x = 0; x < image.cols; ++x) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 24);
            image.at<uchar>(y, x) = static_cast<uchar>(((x * 7 + y * 3) % 256 + noise) / 2);
        }
    }
    image(cv::Rect(20, 30, 40, 25)).setTo(255);
    image(cv::Rect(90, 10, 15, 70)).setTo(0);
    return image;
}

Kernel MakeKernel(int size) {
    Kernel kernel;
    kernel.radius = size / 2;
    const int r = kernel.radius;
    // A vertical stroke of 255 in black: every row of its blur reads (255 w + 128) >> 8, which
    // is w itself for every weight up to 128.
    cv::Mat stroke(size, 4 * r + 1, CV_8UC1, cv::Scalar(0));
    stroke.col(2 * r).setTo(255);
    cv::Mat out;
    OpenCvBlur(stroke, size, out);
    int sum = 0;
    kernel.weights.resize(static_cast<size_t>(size));
    for (int k = -r; k <= r; ++k) {
        const int w = out.at<uchar>(r, 2 * r + k);
        kernel.weights[r + k] = static_cast<std::uint16_t>(w);
        sum += w;
    }
    bool usable = sum == kOne;
    for (int k = 0; k <= r && usable; ++k)
        usable = kernel.weights[r + k] == kernel.weights[r - k] && kernel.weights[r + k] < 128;
    if (!usable)
        return kernel;

    // Both blurs of the test image must be OpenCV's to the last pixel.
    const cv::Mat test = TestImage();
    cv::Mat inverse, want, wantInverse, got, gotInverse;
    cv::bitwise_not(test, inverse);
    OpenCvBlur(test, size, want);
    OpenCvBlur(inverse, size, wantInverse);
    OwnBlurPair(test, kernel, got, gotInverse);
    kernel.own =
        cv::countNonZero(want != got) == 0 && cv::countNonZero(wantInverse != gotInverse) == 0;
    return kernel;
}

const Kernel& KernelOf(int size) {
    static std::mutex mutex;
    static std::map<int, Kernel> kernels;
    std::lock_guard<std::mutex> lock(mutex);
    auto found = kernels.find(size);
    if (found == kernels.end())
        found = kernels.emplace(size, MakeKernel(size)).first;
    return found->second;  // map entries never move
}

bool OwnSize(int size) {
    return size >= 3 && size <= 63 && size % 2 == 1;
}

}  // namespace

bool GaussianBlurPairIsOwn(int size) {
    return OwnSize(size) && KernelOf(size).own;
}

void GaussianBlurWithInverse(const cv::Mat& image, int size, cv::Mat& blurred,
                             cv::Mat& inverseBlurred) {
    // OpenCV blurs a view with the pixels around it where they exist; only whole images are
    // blurred here.
    if (image.type() == CV_8UC1 && !image.empty() && !image.isSubmatrix() && OwnSize(size)) {
        const Kernel& kernel = KernelOf(size);
        if (kernel.own) {
            // The rows are read ahead of the rows written: an output that is the input itself
            // gets a copy to read from.
            const bool shared = blurred.data == image.data || inverseBlurred.data == image.data;
            OwnBlurPair(shared ? image.clone() : image, kernel, blurred, inverseBlurred);
            return;
        }
    }
    cv::Mat inverse;
    cv::bitwise_not(image, inverse);
    OpenCvBlur(image, size, blurred);
    OpenCvBlur(inverse, size, inverseBlurred);
}

void GaussianBlurReplicate(const cv::Mat& image, int size, cv::Mat& blurred) {
    if (image.type() == CV_8UC1 && !image.empty() && !image.isSubmatrix() && OwnSize(size) &&
        KernelOf(size).own) {
        cv::Mat inverseBlurred;
        GaussianBlurWithInverse(image, size, blurred, inverseBlurred);
        return;
    }
    OpenCvBlur(image, size, blurred);
}

}  // namespace karvona::imaging
