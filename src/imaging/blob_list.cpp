#include "imaging/blob_list.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace karvona::imaging {

namespace {

int Key(const cv::Rect& r, int axis) {
    return axis == 0 ? r.x : r.y;
}

// Integer halves, truncated toward zero as the box arithmetic of the stages expects.
int CentreX(const cv::Rect& r) {
    return r.x + r.width / 2;
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

int CBlobList::Label() {
    if (!hasSingleChannel_) {
        rects.clear();
        ids.clear();
        count = 0;
        return 0;
    }
    // SetImage stores a clone, which is continuous: every pixel address is y * width + x.
    if (!image.isContinuous())
        image = image.clone();
    int n = 0;
    if (!LabelBinaryRuns(n))
        n = LabelByWalk();
    return n;
}

namespace {

// Bytes of a 64-bit word loaded from any address.
std::uint64_t Word(const uchar* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

constexpr std::uint64_t kAllSet = ~std::uint64_t{0};

}  // namespace

bool CBlobList::FindRuns(const uchar* row, int width, int y) {
    // Eight pixels at a time: all background, all foreground, or a mix whose 255s are gathered
    // into one bit each (bit k for pixel x + k) and walked run by run.
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    constexpr std::uint64_t kHighBits = 0x8080808080808080ull;
    constexpr std::uint64_t kGather = 0x0002040810204081ull;
    int start = -1;  // first pixel of the run still open, or -1
    int x = 0;
    auto close = [&](int end) {
        runParent_.push_back(static_cast<int>(runs_.size()));
        runs_.push_back({y, start, end});
        start = -1;
    };
    for (; x + 8 <= width; x += 8) {
        const std::uint64_t w = Word(row + x);
        if (w == 0) {
            if (start >= 0)
                close(x - 1);
            continue;
        }
        if (w == kAllSet) {
            if (start < 0)
                start = x;
            continue;
        }
        if (((w ^ (w >> 1)) & kLow7) != 0)
            return false;  // a byte other than 0 and 255
        const unsigned bits = static_cast<unsigned>(((w & kHighBits) * kGather) >> 56);
        unsigned from = 0;  // bits below this one are done
        for (;;) {
            const unsigned rest = 0xFFu & (0xFFu << from);
            if (start >= 0) {
                const unsigned zeros = ~bits & rest;
                if (zeros == 0)
                    break;  // the run goes on into the next eight pixels
                const unsigned z = static_cast<unsigned>(__builtin_ctz(zeros));
                close(x + static_cast<int>(z) - 1);
                from = z;
            } else {
                const unsigned ones = bits & rest;
                if (ones == 0)
                    break;
                from = static_cast<unsigned>(__builtin_ctz(ones));
                start = x + static_cast<int>(from);
            }
        }
    }
    for (; x < width; ++x) {
        const uchar v = row[x];
        if (v == 255) {
            if (start < 0)
                start = x;
        } else if (v == 0) {
            if (start >= 0)
                close(x - 1);
        } else {
            return false;
        }
    }
    if (start >= 0)
        close(width - 1);
    return true;
}

int CBlobList::RootRun(int r) {
    while (runParent_[r] != r) {
        runParent_[r] = runParent_[runParent_[r]];
        r = runParent_[r];
    }
    return r;
}

void CBlobList::JoinRowRuns(int previousBegin, int previousEnd, int rowBegin, int rowEnd) {
    // Every root is the smallest run of its set, so a parent always stands before its child.
    int p = previousBegin;
    for (int c = rowBegin; c < rowEnd; ++c) {
        const Run& current = runs_[c];
        while (p < previousEnd && runs_[p].x1 < current.x0)
            ++p;
        int top = c;  // the root of the set that c is in so far
        for (int q = p; q < previousEnd && runs_[q].x0 <= current.x1; ++q) {
            const int other = RootRun(q);
            if (other < top) {
                runParent_[top] = other;
                top = other;
            } else if (other > top) {
                runParent_[other] = top;
            }
        }
    }
}

bool CBlobList::FindAndJoinRuns() {
    const int width = image.cols;
    const int height = image.rows;
    const uchar* buf = image.ptr<uchar>(0);
    runs_.clear();
    runParent_.clear();
    int previousBegin = 0, previousEnd = 0;  // the runs of the row above
    for (int y = 0; y < height; ++y) {
        const uchar* row = buf + static_cast<size_t>(y) * width;
        const int rowBegin = static_cast<int>(runs_.size());
        if (!FindRuns(row, width, y))
            return false;
        // Runs of neighbouring rows that share a column are 4-connected.
        const int rowEnd = static_cast<int>(runs_.size());
        JoinRowRuns(previousBegin, previousEnd, rowBegin, rowEnd);
        previousBegin = rowBegin;
        previousEnd = rowEnd;
    }
    return true;
}

void CBlobList::CollectComponents() {
    // Components in the order of their roots: the raster order of their first pixels. A
    // component's runs come in raster order too, so its box and its size test (the pixels of its
    // box without the last row and the last column) are known after one pass: all its pixels,
    // less those of its last row, less one for each run that ends in its last column (no run
    // ends beyond it), plus the corner pixel when a run of the last row ends there.
    const int runCount = static_cast<int>(runs_.size());
    components_.clear();
    runComponent_.resize(static_cast<size_t>(runCount));
    for (int r = 0; r < runCount; ++r) {
        const Run& run = runs_[r];
        const int parent = runParent_[r];
        int index;
        if (parent == r) {
            index = static_cast<int>(components_.size());
            components_.push_back({run.x0, run.x1, run.y, run.y, 0, 0, 0, 0, 0, false});
        } else {
            index = runComponent_[parent];  // stands before r, in the same set
        }
        runComponent_[r] = index;
        Component& c = components_[index];
        const int length = run.x1 - run.x0 + 1;
        c.pixels += length;
        if (run.y != c.maxY) {
            c.maxY = run.y;
            c.lastRowPixels = 0;
            c.corner = false;
        }
        c.lastRowPixels += length;
        c.minX = std::min(c.minX, run.x0);
        if (run.x1 > c.maxX) {
            c.maxX = run.x1;
            c.lastColumnRuns = 0;
        }
        if (run.x1 == c.maxX) {
            ++c.lastColumnRuns;
            c.corner = true;  // this run lies in the last row so far
        }
    }
    for (Component& c : components_)
        c.area = c.pixels - c.lastRowPixels - c.lastColumnRuns + (c.corner ? 1 : 0);
}

int CBlobList::AssignRunLabels(int& done) {
    // Labels as the walk hands them out: an erased component gives its label back, and the
    // labelling fails where the walk's would.
    int label = 0;
    bool failed = false;
    done = 0;
    boxes_.clear();
    for (Component& c : components_) {
        if (label == kMaxLabel) {
            failed = true;
            break;
        }
        ++label;
        ++done;
        if (c.area < minArea) {
            c.label = 0;
            --label;
            if (label > 250) {
                failed = true;
                break;
            }
        } else {
            c.label = label;
            boxes_.emplace_back(c.minX, c.minY, c.maxX - c.minX + 1, c.maxY - c.minY + 1);
        }
    }
    return failed ? 0 : label;
}

void CBlobList::WriteRunLabels(int done) {
    // Components the walk reached carry their label (0 when erased); any others are left as
    // unlabelled foreground.
    const int width = image.cols;
    uchar* buf = image.ptr<uchar>(0);
    const int runCount = static_cast<int>(runs_.size());
    for (int r = 0; r < runCount; ++r) {
        const int component = runComponent_[r];
        if (component >= done)
            continue;
        const Run& run = runs_[r];
        std::memset(buf + static_cast<size_t>(run.y) * width + run.x0, components_[component].label,
                    static_cast<size_t>(run.x1 - run.x0 + 1));
    }
}

bool CBlobList::LabelBinaryRuns(int& result) {
    // The runs of 255 of every row, joined into components by union-find; a component's root is
    // its first run in raster order, which holds the component's first pixel. The outcome is the
    // one the scan-and-fill walk gives on an image of 0 and 255 only, in label image, entries and
    // failures alike; any other value makes this return false before anything is written.
    if (!FindAndJoinRuns())
        return false;
    CollectComponents();
    int done = 0;  // components the walk would have reached
    const int n = AssignRunLabels(done);
    WriteRunLabels(done);
    Resize(n);
    for (int i = 0; i < n; ++i) {
        rects[i] = boxes_[i];
        ids[i] = i + 1;
    }
    result = n;
    return true;
}

namespace {

// The inclusive bounds of a component's pixels.
struct Extent {
    int minX, maxX, minY, maxY;
};

// Gives the component of foreground (255) pixels around the seed (x, y) the value and returns
// its bounds. The walk goes without recursion: the parent links of the visit table are the path
// back. A pixel that carries the value is visited; only 255 is unvisited foreground.
Extent Walk(uchar* buf, int width, int height, std::vector<std::int32_t>& parent, int x, int y,
            uchar value) {
    const int seed = y * width + x;
    buf[seed] = value;
    parent[seed] = seed;
    Extent e{x, x, y, y};
    int cur = seed;
    int cx = x, cy = y;
    for (;;) {
        int next = -1;
        if (cx > 0 && buf[cur - 1] == 255) {
            next = cur - 1;
            --cx;
            if (cx < e.minX)
                e.minX = cx;
        } else if (cx < width - 1 && buf[cur + 1] == 255) {
            next = cur + 1;
            ++cx;
            if (cx > e.maxX)
                e.maxX = cx;
        } else if (cy > 0 && buf[cur - width] == 255) {
            next = cur - width;
            --cy;
            if (cy < e.minY)
                e.minY = cy;
        } else if (cy < height - 1 && buf[cur + width] == 255) {
            next = cur + width;
            ++cy;
            if (cy > e.maxY)
                e.maxY = cy;
        }
        if (next >= 0) {
            buf[next] = value;
            parent[next] = cur;
            cur = next;
            continue;
        }
        if (parent[cur] == cur)
            return e;
        cur = parent[cur];
        cy = cur / width;
        cx = cur - cy * width;
    }
}

// The size test: the pixels of the value in the extent without its last row and last column.
int AreaWithin(const uchar* buf, int width, const Extent& e, uchar value) {
    int area = 0;
    for (int yy = e.minY; yy < e.maxY; ++yy) {
        const uchar* row = buf + yy * width;
        for (int xx = e.minX; xx < e.maxX; ++xx)
            area += row[xx] == value;
    }
    return area;
}

// Clears the pixels of the value in the extent.
void Erase(uchar* buf, int width, const Extent& e, uchar value) {
    for (int yy = e.minY; yy <= e.maxY; ++yy) {
        uchar* row = buf + yy * width;
        for (int xx = e.minX; xx <= e.maxX; ++xx) {
            if (row[xx] == value)
                row[xx] = 0;
        }
    }
}

// The bounding rectangles of labels 1 to n of a label image, in label order, into the first n
// entries.
void FindLabelBoxes(const cv::Mat& labels, int n, std::vector<cv::Rect>& rects,
                    std::vector<int>& ids) {
    const int width = labels.cols;
    const uchar* buf = labels.ptr<uchar>(0);
    int left[256], top[256], right[256], bottom[256];
    bool seen[256] = {};
    for (int y = 0; y < labels.rows; ++y) {
        const uchar* row = buf + y * width;
        for (int x = 0; x < width; ++x) {
            const int v = row[x];
            if (v == 0)
                continue;
            if (!seen[v]) {
                seen[v] = true;
                left[v] = right[v] = x;
                top[v] = bottom[v] = y;
            } else {
                left[v] = std::min(left[v], x);
                right[v] = std::max(right[v], x);
                top[v] = std::min(top[v], y);
                bottom[v] = std::max(bottom[v], y);
            }
        }
    }
    for (int i = 0; i < n; ++i) {
        const int v = i + 1;
        rects[i] = cv::Rect(left[v], top[v], right[v] - left[v] + 1, bottom[v] - top[v] + 1);
        ids[i] = v;
    }
}

}  // namespace

int CBlobList::LabelByWalk() {
    const int width = image.cols;
    const int height = image.rows;
    uchar* buf = image.ptr<uchar>(0);
    // Every pixel the walk reaches gets its parent before it is read, so the table needs no
    // clearing.
    parent_.resize(static_cast<size_t>(width) * height);
    int label = 0;
    bool failed = false;
    for (int y = 0; y < height && !failed; ++y) {
        for (int x = 0; x < width; ++x) {
            if (buf[y * width + x] != 255)
                continue;
            if (label == kMaxLabel) {  // a further label would collide with 255
                failed = true;
                break;
            }
            ++label;
            const uchar value = static_cast<uchar>(label);
            const Extent e = Walk(buf, width, height, parent_, x, y, value);
            if (AreaWithin(buf, width, e, value) < minArea) {
                Erase(buf, width, e, value);
                --label;
                if (label > 250) {
                    failed = true;
                    break;
                }
            }
        }
    }
    const int n = failed ? 0 : label;
    Resize(n);
    if (n > 0)
        FindLabelBoxes(image, n, rects, ids);
    return n;
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
        const cv::Rect within = b & cv::Rect(0, 0, image.cols, image.rows);
        const uchar from = static_cast<uchar>(id[i + 1]);
        const uchar to = static_cast<uchar>(id[i]);
        for (int y = within.y; y < within.y + within.height; ++y) {
            uchar* row = image.ptr<uchar>(y);
            for (int x = within.x; x < within.x + within.width; ++x) {
                if (row[x] == from)
                    row[x] = to;
            }
        }
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
