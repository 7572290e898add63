// CBlobList's labelling: images of 0 and 255 through their runs, joined by union-find; any other
// one-channel image by the scan-and-fill walk, whose outcome the runs reproduce.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "imaging/blob_list.hpp"

namespace karvona::imaging {

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

}  // namespace karvona::imaging
