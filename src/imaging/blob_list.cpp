#include "imaging/blob_list.hpp"

#include <algorithm>
#include <cstdlib>

namespace karvona::imaging {

namespace {

int Key(const cv::Rect& r, int axis) {
    return axis == 0 ? r.x : r.y;
}

// Integer halves, truncated toward zero as the box arithmetic of the stages expects.
int CentreX(const cv::Rect& r) {
    return r.x + r.width / 2;
}

/// Gives the pixels labelled from inside box the label to.
void Relabel(cv::Mat& labels, const cv::Rect& box, uchar from, uchar to) {
    const cv::Rect within = box & cv::Rect(0, 0, labels.cols, labels.rows);
    for (int y = within.y; y < within.y + within.height; ++y) {
        uchar* row = labels.ptr<uchar>(y);
        for (int x = within.x; x < within.x + within.width; ++x) {
            if (row[x] == from)
                row[x] = to;
        }
    }
}

}  // namespace

void CBlobList::SetImage(const cv::Mat& binary, int area) {
    rects.clear();
    ids.clear();
    count = kUnlabelled;
    hasSingleChannel_ = !binary.empty() && binary.type() == CV_8UC1;
    image = hasSingleChannel_ ? binary.clone() : cv::Mat();
    minArea = area;
}

void CBlobList::Resize(int n) {
    rects.resize(static_cast<size_t>(n));
    ids.resize(static_cast<size_t>(n));
    if (rects.capacity() < static_cast<size_t>(kSplitLimit)) {
        rects.reserve(kSplitLimit);
        ids.reserve(kSplitLimit);
    }
    count = n;
}

void CBlobList::KeepIf(const std::vector<char>& keep) {
    const std::vector<cv::Rect> oldRects(rects.begin(), rects.begin() + Size());
    const std::vector<int> oldIds(ids.begin(), ids.begin() + Size());
    int n = 0;
    for (size_t i = 0; i < oldRects.size(); ++i) {
        if (!keep[i])
            continue;
        rects[n] = oldRects[i];
        ids[n] = oldIds[i];
        ++n;
    }
    Resize(n);
}

void CBlobList::KeepBlobsSmallerThan(int maxWidth, int maxHeight) {
    if (Size() == 0)
        return;
    std::vector<char> keep(Size());
    for (int i = 0; i < Size(); ++i)
        keep[i] = rects[i].width < maxWidth && rects[i].height < maxHeight;
    KeepIf(keep);
}

void CBlobList::KeepBlobsLargerThan(int minWidth, int minHeight) {
    if (Size() == 0)
        return;
    std::vector<char> keep(Size());
    for (int i = 0; i < Size(); ++i)
        keep[i] = rects[i].width > minWidth && rects[i].height > minHeight;
    KeepIf(keep);
}

void CBlobList::KeepAspectBelow(float ratio) {
    if (Size() == 0)
        return;
    std::vector<char> keep(Size());
    for (int i = 0; i < Size(); ++i) {
        const cv::Rect& r = rects[i];
        keep[i] = r.width > 0 && static_cast<double>(r.height) / r.width < ratio;
    }
    KeepIf(keep);
}

void CBlobList::KeepAspectAbove(float ratio) {
    if (Size() == 0)
        return;
    std::vector<char> keep(Size());
    for (int i = 0; i < Size(); ++i) {
        const cv::Rect& r = rects[i];
        keep[i] = r.width > 0 && static_cast<double>(r.height) / r.width > ratio;
    }
    KeepIf(keep);
}

void CBlobList::KeepCentralBlobs(int vertical) {
    if (Size() == 0)
        return;
    const int W = image.cols;
    const int H = image.rows;
    std::vector<char> keep(Size());
    for (int i = 0; i < Size(); ++i) {
        const cv::Rect& r = rects[i];
        if (vertical == 0)
            keep[i] = r.y < H / 2 && r.y + r.height > H / 2;
        else
            keep[i] = r.x <= (3 * W) / 4 && r.x + r.width >= W / 4;
    }
    KeepIf(keep);
}

void CBlobList::RemoveBorderBlobs(const cv::Rect& frame) {
    if (Size() == 0)
        return;
    std::vector<char> keep(Size());
    for (int i = 0; i < Size(); ++i) {
        const cv::Rect& r = rects[i];
        keep[i] =
            r.x != 0 && r.y != 0 && r.x + r.width != frame.width && r.y + r.height != frame.height;
    }
    KeepIf(keep);
}

void CBlobList::KeepLastBlobs(int n) {
    if (Size() == 0)
        return;
    n = std::clamp(n, 0, Size());
    std::vector<char> keep(Size(), 0);
    for (int i = Size() - n; i < Size(); ++i)
        keep[i] = 1;
    KeepIf(keep);
}

void CBlobList::SortBlobs(int axis) {
    const int n = Size();
    if (n < 2)
        return;
    for (int i = 0; i < n - 1; ++i) {
        for (int j = i + 1; j < n; ++j) {
            if (Key(rects[j], axis) < Key(rects[i], axis)) {
                std::swap(rects[i], rects[j]);
                std::swap(ids[i], ids[j]);
            }
        }
    }
}

void CBlobList::RemoveOverlappingBlobs(int axis) {
    if (Size() == 0)
        return;
    std::vector<char> keep(Size(), 0);
    int bound = 0;
    for (int i = 0; i < Size(); ++i) {
        const cv::Rect& r = rects[i];
        if (Key(r, axis) < bound)
            continue;
        keep[i] = 1;
        bound = axis == 0 ? r.x + r.width + 1 : r.y + r.height - 3;
    }
    KeepIf(keep);
}

void CBlobList::SortAndRemoveOverlaps(int axis) {
    SortBlobs(axis);
    RemoveOverlappingBlobs(axis);
}

int CBlobList::FindPrefixBreak(int vertical) const {
    const int n = Size();
    if (n < 5)
        return n;
    if (n < 9)
        return -1;
    if (vertical == 0 && n == 11)
        return 3;
    int spacing[4];
    for (int i = 0; i < 4; ++i) {
        const cv::Rect& a = rects[i];
        const cv::Rect& b = rects[i + 1];
        spacing[i] = vertical == 0 ? CentreX(b) - CentreX(a) : b.y - (a.y + a.height);
    }
    int maximum = 0;
    int index = -1;
    int sum = 0;
    for (int i = 0; i < 4; ++i) {
        sum += spacing[i];
        if (spacing[i] > maximum) {
            maximum = spacing[i];
            index = i;
        }
    }
    const float mean = static_cast<float>(sum) / 4.0f;
    const float excess = static_cast<float>(maximum) - mean;
    if (excess < (vertical == 0 ? 5.0f : 3.0f))
        return 3;
    return index;
}

void CBlobList::SplitOversizedBlobs(int vertical) {
    int n = Size();
    if (n < 1 || n > kSplitLimit)
        return;
    std::vector<cv::Rect> r(rects.begin(), rects.begin() + n);
    std::vector<int> id(ids.begin(), ids.begin() + n);
    r.reserve(kSplitLimit + 1);
    id.reserve(kSplitLimit + 1);

    if (vertical == 0) {
        std::vector<int> widths(n);
        for (int i = 0; i < n; ++i)
            widths[i] = r[i].width;
        std::sort(widths.begin(), widths.end());
        const int m = widths[n / 2];
        for (int k = 0; k < n; ++k) {
            if (!(n < kSplitLimit && r[k].width > 2 * m && r[k].width - m > m + 2))
                continue;
            cv::Rect rest = r[k];
            r[k].width = m;
            rest.x += m;
            rest.width -= m;
            if (rest.width >= 10) {
                r.insert(r.begin() + k + 1, rest);
                id.insert(id.begin() + k + 1, id[k]);
                ++n;
            }
        }
    } else {
        int a = 1000;
        for (int i = 0; i < n; ++i) {
            const int h = r[i].height;
            if (h >= 21 && h <= 999 && h < a)
                a = h;
        }
        const double factor = static_cast<double>(1.2f) * a;
        for (int k = 0; k < n; ++k) {
            if (!(n < kSplitLimit && r[k].height > factor && r[k].height - a > 20))
                continue;
            cv::Rect rest = r[k];
            r[k].height = a;
            rest.y += a + 2;
            rest.height -= a + 2;
            if (rest.height >= 20) {
                r.insert(r.begin() + k + 1, rest);
                id.insert(id.begin() + k + 1, id[k]);
                ++n;
            }
        }
    }
    Resize(n);
    std::copy(r.begin(), r.end(), rects.begin());
    std::copy(id.begin(), id.end(), ids.begin());
}

void CBlobList::MergeBrokenBlobs(int vertical) {
    int n = Size();
    if (n < 3)
        return;
    std::vector<cv::Rect> r(rects.begin(), rects.begin() + n);
    std::vector<int> id(ids.begin(), ids.begin() + n);
    std::vector<int> gap(n - 1), centre(n - 1, 0);
    long long sumSize = 0;
    for (int i = 0; i < n - 1; ++i) {
        if (vertical == 0) {
            gap[i] = r[i + 1].x - (r[i].x + r[i].width);
            centre[i] = CentreX(r[i + 1]) - CentreX(r[i]);
            sumSize += r[i].width;
        } else {
            gap[i] = r[i + 1].y - (r[i].y + r[i].height);
            sumSize += r[i].height;
        }
    }
    const float meanSize = static_cast<float>(sumSize) / static_cast<float>(n - 1);
    float threshold;
    if (vertical == 0) {
        std::vector<int> sorted = centre;
        std::sort(sorted.begin(), sorted.end());
        threshold = 0.7f * static_cast<float>(sorted[(n - 1) / 2]);
    } else {
        std::vector<int> sorted = gap;
        std::sort(sorted.begin(), sorted.end());
        threshold = 0.5f * static_cast<float>(sorted[n / 2]);
    }

    // Joins entries i and i + 1 when their union is not wider than tall; returns whether it did.
    auto join = [&](int i) {
        const cv::Rect& a = r[i];
        const cv::Rect& b = r[i + 1];
        const int left = std::min(a.x, b.x);
        const int top = std::min(a.y, b.y);
        const int right = std::max(a.x + a.width, b.x + b.width);
        const int bottom = std::max(a.y + a.height, b.y + b.height);
        const int unionWidth = right - left + 1;
        const int unionHeight = bottom - top + 1;
        if (unionWidth > unionHeight)
            return false;
        Relabel(image, b, static_cast<uchar>(id[i + 1]), static_cast<uchar>(id[i]));
        r[i] = cv::Rect(left, top, unionWidth, unionHeight);
        r.erase(r.begin() + i + 1);
        id.erase(id.begin() + i + 1);
        // The spacing that led to the removed entry goes with it; the joined entry now leads
        // to the next one with the spacing the removed entry had.
        gap.erase(gap.begin() + i);
        centre.erase(centre.begin() + i);
        --n;
        return true;
    };

    if (vertical == 0) {
        for (int i = 0; i < n - 1;) {
            const bool near =
                centre[i] < threshold &&
                (r[i].width < meanSize || std::abs(r[i].x - r[i + 1].x) < 5 || gap[i] < 3);
            const bool candidate = near || gap[i] < -1;
            if (candidate && join(i))
                continue;
            ++i;
        }
    } else {
        for (int i = 0; i < n - 1; ++i) {
            const bool candidate = (gap[i] < threshold && r[i + 1].height < meanSize) ||
                                   std::abs(r[i].y - r[i + 1].y) < 3;
            if (candidate)
                join(i);
        }
    }
    Resize(n);
    std::copy(r.begin(), r.end(), rects.begin());
    std::copy(id.begin(), id.end(), ids.begin());
}

void CBlobList::PaintBlob(cv::Mat& destination, int index, int dx, int dy) const {
    if (index < 0 || index >= Size() || destination.type() != CV_8UC1 || image.empty())
        return;
    const cv::Rect& box = rects[index];
    const uchar id = static_cast<uchar>(ids[index]);
    for (int r = 0; r < box.height; ++r) {
        const int sy = box.y + r;
        const int ty = dy + r;
        if (sy < 0 || sy >= image.rows || ty < 0 || ty >= destination.rows)
            continue;
        const uchar* src = image.ptr<uchar>(sy);
        uchar* dst = destination.ptr<uchar>(ty);
        for (int c = 0; c < box.width; ++c) {
            const int sx = box.x + c;
            const int tx = dx + c;
            if (sx < 0 || sx >= image.cols || tx < 0 || tx >= destination.cols)
                continue;
            if (src[sx] == id)
                dst[tx] = 255;
        }
    }
}

}  // namespace karvona::imaging
