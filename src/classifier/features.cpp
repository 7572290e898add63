// The feature vector of one character: the crop is brought to the codebook's normal size and the
// enabled blocks are appended in their fixed order (grid, row ink, column ink, left, right, top
// and bottom profiles, centre cross, aspect).
#include <opencv2/imgproc.hpp>

#include "classifier/lvq_cluster.hpp"

namespace karvona::classifier {

namespace {

// Appends values at a running position and drops whatever would land past the vector's end, so
// that a recipe longer than featureLength can never write outside the vector.
class BlockWriter {
public:
    explicit BlockWriter(std::vector<double>& features) : features_(features) {}
    void Put(double value) {
        if (position_ < features_.size()) {
            features_[position_] = value;
        }
        ++position_;
    }
    std::size_t position() const { return position_; }
    void Skip(std::size_t count) { position_ += count; }

private:
    std::vector<double>& features_;
    std::size_t position_ = 0;
};

// Length of the run of non-zero pixels that starts at (x, y) and moves by (dx, dy), stopping at
// the first 0 pixel or the image edge. The start pixel counts.
int RunLength(const cv::Mat& image, int x, int y, int dx, int dy) {
    int run = 0;
    while (x >= 0 && y >= 0 && x < image.cols && y < image.rows && image.at<uchar>(y, x) != 0) {
        ++run;
        x += dx;
        y += dy;
    }
    return run;
}

}  // namespace

void CLvqCluster::GridFeatures(const cv::Mat& normalised, std::vector<double>& features,
                               std::size_t position) const {
    if (gridWidth < 1 || gridHeight < 1 || normalised.empty()) {
        return;
    }
    cv::Mat grid;
    cv::resize(normalised, grid, cv::Size(gridWidth, gridHeight), 0, 0, cv::INTER_LINEAR);
    for (int y = 0; y < grid.rows; ++y) {
        const uchar* row = grid.ptr<uchar>(y);
        for (int x = 0; x < grid.cols; ++x, ++position) {
            if (position < features.size()) {
                features[position] = row[x] >= 128 ? 1.0 : 0.0;
            }
        }
    }
}

std::vector<double> CLvqCluster::ComputeFeatures(const cv::Mat& character) const {
    if (character.empty() || character.type() != CV_8UC1) {
        return {};
    }
    std::vector<double> features(static_cast<std::size_t>(std::max(featureLength, 0)), 0.0);
    const int W = normWidth, H = normHeight;
    if (W < 2 || H < 2) {
        return features;  // the centre runs divide by the halves
    }

    // Always through the bilinear resize, even when the crop already has the normal size.
    cv::Mat N;
    cv::resize(character, N, cv::Size(W, H), 0, 0, cv::INTER_LINEAR);

    BlockWriter out(features);
    if (useGrid != 0 && gridWidth >= 1 && gridHeight >= 1) {
        GridFeatures(N, features, out.position());
        out.Skip(static_cast<std::size_t>(gridWidth) * static_cast<std::size_t>(gridHeight));
    }
    if (useRowInk != 0) {
        for (int y = 0; y < H; ++y) {
            const uchar* row = N.ptr<uchar>(y);
            double zeros = 0.0;
            for (int x = 0; x < W; ++x) {
                zeros += row[x] == 0 ? 1.0 : 0.0;
            }
            out.Put(zeros / W);
        }
    }
    if (useColumnInk != 0) {
        for (int x = 0; x < W; ++x) {
            double zeros = 0.0;
            for (int y = 0; y < H; ++y) {
                zeros += N.at<uchar>(y, x) == 0 ? 1.0 : 0.0;
            }
            out.Put(zeros / H);
        }
    }
    if (useLeftProfile != 0) {
        for (int y = 0; y < H; ++y) {
            out.Put(static_cast<double>(RunLength(N, 0, y, 1, 0)) / W);
        }
    }
    if (useRightProfile != 0) {
        for (int y = 0; y < H; ++y) {
            out.Put(static_cast<double>(RunLength(N, W - 1, y, -1, 0)) / W);
        }
    }
    if (useTopProfile != 0) {
        for (int x = 0; x < W; ++x) {
            out.Put(static_cast<double>(RunLength(N, x, 0, 0, 1)) / H);
        }
    }
    if (useBottomProfile != 0) {
        for (int x = 0; x < W; ++x) {
            out.Put(static_cast<double>(RunLength(N, x, H - 1, 0, -1)) / H);
        }
    }
    if (useCentreCross != 0) {
        // Each run starts on the centre pixel itself, so a value can exceed 1.
        const int cx = W / 2, cy = H / 2;
        out.Put(static_cast<double>(RunLength(N, cx, cy, 0, -1)) / cy);
        out.Put(static_cast<double>(RunLength(N, cx, cy, 1, 0)) / cx);
        out.Put(static_cast<double>(RunLength(N, cx, cy, 0, 1)) / cy);
        out.Put(static_cast<double>(RunLength(N, cx, cy, -1, 0)) / cx);
    }
    if (useAspect != 0) {
        out.Put(static_cast<double>(character.cols) / character.rows);
    }
    return features;
}

}  // namespace karvona::classifier
