// The photograph renderer: a painted container panel seen by a gate camera.
//
// The scene is built on a float canvas a little larger than the frame (so that the final tilt
// leaves no empty corners): base paint with mottling, the code and the other markings in one
// paint mask, rust, the corrugation shading, door hardware, sky and top rail, a cast shadow and
// the light falloff. The canvas is then tilted and cropped, blurred, given sensor noise, and the
// camera's time stamp is written into the bottom-left corner.
//
// The code's geometry follows the grid the locator tests: the characters sit on the character
// positions of the layout's grid built from the same sizes, pitches and line gaps that the
// locator searches (even horizontal gaps 4 to 24, vertical gaps 3 to 18), and nothing else is
// painted on the grid's blank positions.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <opencv2/freetype.hpp>
#include <opencv2/imgproc.hpp>

#include "synth/random.hpp"
#include "synth/synth.hpp"

namespace karvona::synth {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMaxTilt = 3.0;
constexpr double kWornShare = 0.35;
// Rows kept clear between a vertical code and the marking under it: column closing joins
// strokes up to 45 rows apart, and the locator measures the joined column.
constexpr int kColumnClearance = 50;  // photographs whose paint has flaked off in places

// ---------------------------------------------------------------------------------------------
// The code and its grid

std::vector<std::string> UsablePrefixes(const std::vector<std::string>& prefixes) {
    std::vector<std::string> usable;
    for (const std::string& p : prefixes) {
        bool ok = p.size() == 4;
        for (char c : p) {
            ok = ok && c >= 'A' && c <= 'Z' && c != 'Q';
        }
        if (ok) {
            usable.push_back(p);
        }
    }
    return usable;
}

std::string MakeCode(Random& rng, const std::vector<std::string>& prefixes) {
    const std::string& prefix = rng.Pick(prefixes);
    for (;;) {
        std::string code = prefix;
        for (int i = 0; i < 6; ++i) {
            code += static_cast<char>('0' + rng.Int(0, 9));
        }
        const int r = IsoCheckRemainder(code);
        // A remainder of 10 would make the check digit 0, which owners avoid: draw again.
        if (r >= 0 && r < 10) {
            code += static_cast<char>('0' + r);
            return code;
        }
    }
}

struct GridBox {
    cv::Rect rect;
    int kind;  // 1 character, -1 blank, 0 ignored
    int row;
    int col;
};

struct Pitch {
    int size;  // character height (horizontal layouts) or width (vertical ones)
    int b;     // horizontal gap, even, 4 to 24
    int c;     // vertical gap, multiple of 3, 3 to 18
};

bool IsVertical(int layout) {
    return layout == 2 || layout == 4;
}

// The grid of positions the locator tests for one layout hypothesis, anchored at the top-left
// corner of the seed character.
std::vector<GridBox> MakeGrid(int layout, int x0, int y0, const Pitch& p) {
    int w;
    int h;
    if (IsVertical(layout)) {
        w = std::max(p.size, 15);
        h = static_cast<int>(w * static_cast<double>(1.7f));
    } else {
        h = p.size;
        w = static_cast<int>(p.size * 0.5);
    }
    const int px = w + p.b;
    const int py = h + p.c;
    int rows = 3;
    int cols = 11;
    int ai = 1;
    int aj = 1;
    switch (layout) {
        case 1:
            cols = 13;
            break;
        case 2:
            rows = 11;
            cols = 3;
            ai = 5;
            break;
        case 3:
            cols = 8;
            break;
        case 4:
            rows = 7;
            cols = 3;
            break;
        case 5:
            cols = 8;
            break;
        case 6:
            cols = 16;
            aj = 2;
            break;
        default:
            break;
    }
    std::vector<GridBox> grid;
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            GridBox box{cv::Rect(0, 0, w, h), 1, i, j};
            if (layout == 4) {
                box.rect.x = x0 + (w + 5 * p.b) * (j - aj);
                box.rect.y = y0 + py * (i - ai);
            } else if (layout == 5) {
                box.rect.x = static_cast<int>(x0 + (w + 1.5 * p.b) * (j - 1));
                box.rect.y = static_cast<int>(y0 + (h + 1.5 * p.c) * (i - 1));
            } else {
                box.rect.x = x0 + px * (j - aj);
                box.rect.y = y0 + py * (i - ai);
            }
            int& k = box.kind;
            switch (layout) {
                case 0:
                    k = i == 0 ? -1 : (i == 1 ? 1 : 0);
                    break;
                case 1:
                    k = i == 0 ? -1 : (i == 1 ? 1 : 0);
                    if (j == 4 || j == 11)
                        k = -1;
                    break;
                case 2:
                    k = j == 1 ? 1 : -1;
                    break;
                case 3:
                    k = i == 0 ? (j < 4 ? 1 : -1) : (i == 1 ? 1 : 0);
                    break;
                case 4:
                    k = j == 0 ? (i < 4 ? 1 : -1) : (j == 1 ? 1 : 0);
                    break;
                case 5:
                    k = j < (i == 1 ? 3 : 4) ? 1 : -1;
                    break;
                case 6:
                    k = i == 1 ? 1 : -1;
                    if (j == 1 || j == 3 || j == 5 || j == 7 || j == 14)
                        k = -1;
                    if (i == 2 && j >= 8 && j <= 11)
                        k = 0;
                    break;
                default:
                    break;
            }
            grid.push_back(box);
        }
    }
    return grid;
}

// The grid boxes that receive the eleven characters, in code order.
std::vector<cv::Rect> CharacterCells(int layout, const std::vector<GridBox>& grid,
                                     int checkColumn) {
    std::vector<cv::Rect> cells;
    if (layout == 4) {
        for (int col = 0; col < 2; ++col) {
            for (const GridBox& g : grid) {
                if (g.col == col && g.kind == 1) {
                    cells.push_back(g.rect);
                }
            }
        }
        return cells;
    }
    for (const GridBox& g : grid) {
        if (g.kind != 1) {
            continue;
        }
        // The serial line of the two-line layout has eight positions for seven characters: the
        // check digit stands in column 6 or, after a space, in column 7.
        if (layout == 3 && g.row == 1 && g.col >= 6 && g.col != checkColumn) {
            continue;
        }
        cells.push_back(g.rect);
    }
    return cells;
}

cv::Rect Bounds(const std::vector<GridBox>& grid) {
    cv::Rect r = grid.front().rect;
    for (const GridBox& g : grid) {
        r |= g.rect;
    }
    return r;
}

// ---------------------------------------------------------------------------------------------
// Text rendering

// The ink of text drawn with FreeType, cropped to its bounding box (8-bit, 0 to 255).
cv::Mat TextMask(cv::freetype::FreeType2& ft, const std::string& text, int fontHeight) {
    int baseline = 0;
    const cv::Size ts = ft.getTextSize(text, fontHeight, -1, &baseline);
    cv::Mat canvas(4 * fontHeight, ts.width + 2 * fontHeight, CV_8UC3, cv::Scalar::all(0));
    ft.putText(canvas, text, cv::Point(fontHeight, fontHeight), fontHeight, cv::Scalar::all(255),
               -1, cv::LINE_AA, false);
    cv::Mat grey;
    cv::cvtColor(canvas, grey, cv::COLOR_BGR2GRAY);
    const cv::Rect ink = cv::boundingRect(grey);
    if (ink.empty()) {
        return cv::Mat();
    }
    return grey(ink).clone();
}

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

// Smooth noise in [0, 1]: a coarse grid of uniform values enlarged with cubic interpolation.
cv::Mat SmoothNoise(Random& rng, cv::Size size, double cellPixels) {
    const int gw = std::max(2, static_cast<int>(size.width / cellPixels) + 2);
    const int gh = std::max(2, static_cast<int>(size.height / cellPixels) + 2);
    cv::Mat grid(gh, gw, CV_32F);
    for (int y = 0; y < gh; ++y) {
        for (int x = 0; x < gw; ++x) {
            grid.at<float>(y, x) = static_cast<float>(rng.Unit());
        }
    }
    cv::Mat out;
    cv::resize(grid, out, size, 0, 0, cv::INTER_CUBIC);
    cv::min(cv::max(out, 0.0), 1.0, out);
    return out;
}

cv::Vec3f Jitter(Random& rng, cv::Vec3f c, double amount) {
    for (int i = 0; i < 3; ++i) {
        c[i] = static_cast<float>(std::clamp(c[i] + rng.Uniform(-amount, amount), 0.0, 255.0));
    }
    return c;
}

// ---------------------------------------------------------------------------------------------
// Scene parameters

struct Palette {
    cv::Vec3f panel;
    cv::Vec3f paint;
    bool lightPaint;
};

Palette PickPalette(Random& rng) {
    // Container colours (BGR): dark ones carry white paint, light ones black paint.
    static const std::vector<cv::Vec3f> kDark = {
        {110, 62, 32}, {160, 115, 50}, {42, 52, 140},  {38, 38, 115}, {58, 98, 42},   {88, 90, 86},
        {40, 62, 100}, {25, 95, 215},  {118, 108, 22}, {70, 50, 40},  {150, 100, 30}, {30, 45, 160},
    };
    static const std::vector<cv::Vec3f> kLight = {
        {225, 226, 222}, {196, 196, 190}, {170, 200, 212},
        {40, 195, 228},  {205, 212, 200}, {180, 185, 178},
    };
    Palette p;
    p.lightPaint = rng.Chance(0.68);
    if (p.lightPaint) {
        p.panel = Jitter(rng, rng.Pick(kDark), 14);
        const double v = rng.Uniform(218, 250);
        p.paint = Jitter(rng, cv::Vec3f(v, v, v), 6);
        if (rng.Chance(0.1)) {
            p.paint = Jitter(rng, cv::Vec3f(60, 200, 235), 10);  // yellow lettering
        }
    } else {
        p.panel = Jitter(rng, rng.Pick(kLight), 10);
        const double v = rng.Uniform(18, 48);
        p.paint = Jitter(rng, cv::Vec3f(v, v, v), 5);
    }
    return p;
}

const std::vector<std::string>& SizeTypeCodes() {
    static const std::vector<std::string> k = {"22G1", "22G1", "45G1", "45G1", "42G1", "22G0",
                                               "45R1", "22R1", "L5G1", "25G1", "22U1", "42U1",
                                               "22T6", "45G0", "M5G1", "42P1"};
    return k;
}

std::vector<std::string> WeightLines(Random& rng) {
    const bool forty = rng.Chance(0.5);
    const int gross = forty ? rng.Pick(std::vector<int>{30480, 32500, 34000})
                            : rng.Pick(std::vector<int>{24000, 30480, 32500});
    const int tare = forty ? 3700 + 10 * rng.Int(0, 30) : 2150 + 10 * rng.Int(0, 25);
    const int net = gross - tare;
    auto kg = [](int v) {
        char b[32];
        std::snprintf(b, sizeof b, "%d,%03d KG", v / 1000, v % 1000);
        return std::string(b);
    };
    auto lb = [](int v) {
        const int l = static_cast<int>(v * 2.20462 + 0.5);
        char b[32];
        std::snprintf(b, sizeof b, "%d,%03d LB", l / 1000, l % 1000);
        return std::string(b);
    };
    std::vector<std::string> lines = {"MAX.GROSS " + kg(gross), "          " + lb(gross),
                                      "TARE      " + kg(tare),  "          " + lb(tare),
                                      "NET       " + kg(net),   "          " + lb(net)};
    if (rng.Chance(0.6)) {
        char b[48];
        std::snprintf(b, sizeof b, "CU.CAP.   %.1f CU.M",
                      forty ? rng.Uniform(67, 76.5) : rng.Uniform(32.5, 33.9));
        lines.push_back(b);
    }
    const int keep = rng.Int(2, static_cast<int>(lines.size()));
    lines.resize(static_cast<std::size_t>(keep));
    return lines;
}

const std::vector<std::string>& CarrierNames() {
    static const std::vector<std::string> k = {"NORDLINE", "MERIDIAN", "TRANSMARE", "VEGA",
                                               "OCEANIS",  "ATLAS",    "KORALIS",   "SEAPORT",
                                               "TRITAN",   "BALTICA"};
    return k;
}

// Everything that the scene must keep clear of markings: the grid's character and blank
// positions (grown a little), the sky band and what is already placed.
struct Occupancy {
    std::vector<cv::Rect> taken;
    cv::Rect free;  // the part of the canvas where markings may go

    bool Fits(const cv::Rect& r) const {
        if ((r & free) != r) {
            return false;
        }
        for (const cv::Rect& t : taken) {
            if ((r & t).area() > 0) {
                return false;
            }
        }
        return true;
    }
};

// Chebyshev distance between two rectangles (0 when they touch or overlap).
int Separation(const cv::Rect& a, const cv::Rect& b) {
    const int dx = std::max(b.x - (a.x + a.width), a.x - (b.x + b.width));
    const int dy = std::max(b.y - (a.y + a.height), a.y - (b.y + b.height));
    return std::max(0, std::max(dx, dy));
}

cv::Rect Grow(const cv::Rect& r, int by) {
    return cv::Rect(r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by);
}

// Text lines in a block, left aligned, every line's cap height `height`.
cv::Mat TextBlock(cv::freetype::FreeType2& ft, const std::vector<std::string>& lines, int height,
                  double squeeze) {
    std::vector<cv::Mat> masks;
    int width = 0;
    for (const std::string& line : lines) {
        // Leading blanks keep the columns of the weight table: measure them as digits.
        std::size_t lead = line.find_first_not_of(' ');
        if (lead == std::string::npos) {
            continue;
        }
        cv::Mat m = TextMask(ft, line.substr(lead), 3 * height / 2 + 2);
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

bool PlaceRandomly(Random& rng, Occupancy& occ, cv::Size size, int gap, cv::Point* at) {
    for (int attempt = 0; attempt < 60; ++attempt) {
        const int x = rng.Int(occ.free.x, occ.free.x + occ.free.width - size.width);
        const int y = rng.Int(occ.free.y, occ.free.y + occ.free.height - size.height);
        const cv::Rect r(x, y, size.width, size.height);
        if (occ.Fits(Grow(r, gap))) {
            occ.taken.push_back(Grow(r, gap));
            *at = r.tl();
            return true;
        }
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Surface effects

void AddRust(Random& rng, cv::Mat& canvas, const cv::Mat& paint, double amount) {
    const cv::Size size = canvas.size();
    const cv::Mat patches = SmoothNoise(rng, size, rng.Uniform(25, 70));
    const cv::Mat grain = SmoothNoise(rng, size, rng.Uniform(1.5, 3.0));
    const cv::Mat tone = SmoothNoise(rng, size, 12.0);
    const float threshold = static_cast<float>(0.95 - 0.12 * amount);
    // Rust gathers towards the bottom rail and around the top of the panel.
    const double lowBias = rng.Uniform(0.0, 0.12);
    const cv::Vec3f rustA = Jitter(rng, cv::Vec3f(32, 66, 125), 12);
    const cv::Vec3f rustB = Jitter(rng, cv::Vec3f(24, 38, 70), 10);
    for (int y = 0; y < size.height; ++y) {
        cv::Vec3f* px = canvas.ptr<cv::Vec3f>(y);
        const float* p = patches.ptr<float>(y);
        const float* g = grain.ptr<float>(y);
        const float* t = tone.ptr<float>(y);
        const uchar* ink = paint.ptr<uchar>(y);
        for (int x = 0; x < size.width; ++x) {
            const float v = p[x] + 0.12f * (g[x] - 0.5f) +
                            static_cast<float>(lowBias * (2.0 * y / size.height - 1.0));
            if (v <= threshold) {
                continue;
            }
            // Paint holds out longer than the bare panel.
            float a = std::min(1.0f, (v - threshold) / 0.1f) * (0.45f + 0.4f * g[x]);
            a *= 1.0f - 0.7f * ink[x] / 255.0f;
            const cv::Vec3f rust = rustA * t[x] + rustB * (1.0f - t[x]);
            px[x] = px[x] * (1.0f - a) + rust * a;
        }
    }
    // Run-off streaks below seams and fixings.
    const int streaks = static_cast<int>(amount * rng.Int(2, 14));
    for (int s = 0; s < streaks; ++s) {
        const int x0 = rng.Int(0, size.width - 1);
        const int y0 = rng.Int(0, size.height * 3 / 4);
        const int length = rng.Int(30, std::max(31, size.height / 3));
        const int width = rng.Int(2, 6);
        const float strength = static_cast<float>(rng.Uniform(0.25, 0.6));
        const cv::Vec3f colour = Jitter(rng, cv::Vec3f(35, 62, 120), 10);
        double x = x0;
        for (int y = y0; y < std::min(size.height, y0 + length); ++y) {
            x += rng.Uniform(-0.3, 0.3);
            const float fade = strength * (1.0f - static_cast<float>(y - y0) / length);
            for (int dx = 0; dx < width; ++dx) {
                const int xx = static_cast<int>(x) + dx;
                if (xx < 0 || xx >= size.width) {
                    continue;
                }
                const float edge = (dx == 0 || dx == width - 1) ? 0.5f : 1.0f;
                cv::Vec3f& px = canvas.at<cv::Vec3f>(y, xx);
                px = px * (1.0f - fade * edge) + colour * (fade * edge);
            }
        }
    }
}

// Brightness across one period of a trapezoidal rib: outer face, slope, inner face, slope.
std::vector<float> RibProfile(Random& rng, int width, int period, int phase) {
    const double slope = rng.Uniform(0.12, 0.2);
    const double outer = rng.Uniform(0.3, 0.4);
    const double inner = 1.0 - outer - 2 * slope;
    const float lit = static_cast<float>(rng.Uniform(1.06, 1.22));
    const float dark = static_cast<float>(rng.Uniform(0.68, 0.88));
    const float innerLevel = static_cast<float>(rng.Uniform(0.88, 0.98));
    const bool leftLit = rng.Chance(0.5);
    std::vector<float> profile(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        const double t = std::fmod(static_cast<double>(x + phase), period) / period;
        float v;
        if (t < outer) {
            v = 1.0f;
        } else if (t < outer + slope) {
            v = leftLit ? dark : lit;
        } else if (t < outer + slope + inner) {
            v = innerLevel;
        } else {
            v = leftLit ? lit : dark;
        }
        profile[static_cast<std::size_t>(x)] = v;
    }
    // Soften the folds: pressed steel has rounded edges, and the light falls off across a slope
    // rather than stopping at a line.
    cv::Mat row(1, width, CV_32F, profile.data());
    cv::GaussianBlur(row, row, cv::Size(0, 0), std::max(1.0, period * 0.05), 0, cv::BORDER_REFLECT);
    return profile;
}

void ApplyColumnShading(cv::Mat& canvas, const std::vector<float>& profile, int yFrom) {
    for (int y = std::max(0, yFrom); y < canvas.rows; ++y) {
        cv::Vec3f* px = canvas.ptr<cv::Vec3f>(y);
        for (int x = 0; x < canvas.cols; ++x) {
            px[x] *= profile[static_cast<std::size_t>(x)];
        }
    }
}

// A locking bar: a painted round rod with its guide brackets, and the shadow it casts.
void DrawRod(Random& rng, cv::Mat& canvas, int x, int width, const cv::Vec3f& colour, int yFrom) {
    const int shadowWidth = width / 2 + 2;
    for (int y = std::max(0, yFrom); y < canvas.rows; ++y) {
        cv::Vec3f* px = canvas.ptr<cv::Vec3f>(y);
        for (int dx = 0; dx < width + shadowWidth; ++dx) {
            const int xx = x + dx;
            if (xx < 0 || xx >= canvas.cols) {
                continue;
            }
            if (dx < width) {
                const double t = (dx + 0.5) / width * 2.0 - 1.0;  // -1 .. 1 across the rod
                const float shade =
                    static_cast<float>(0.55 + 0.6 * std::sqrt(1.0 - t * t) - 0.15 * t);
                px[xx] = colour * shade;
            } else {
                const float s = 0.6f + 0.4f * static_cast<float>(dx - width) / shadowWidth;
                px[xx] *= s;
            }
        }
    }
    const int brackets = rng.Int(1, 3);
    for (int i = 0; i < brackets; ++i) {
        const int by = rng.Int(std::max(0, yFrom), canvas.rows - 1);
        const cv::Rect r(x - width / 2 - 3, by, 2 * width + 6, std::max(8, width));
        cv::rectangle(canvas, r, cv::Scalar(colour[0] * 0.8, colour[1] * 0.8, colour[2] * 0.8),
                      cv::FILLED);
        cv::rectangle(canvas, r, cv::Scalar(colour[0] * 0.5, colour[1] * 0.5, colour[2] * 0.5), 1);
    }
}

// A shadow with a soft straight edge falling across the panel.
void AddShadow(Random& rng, cv::Mat& canvas) {
    const double angle = rng.Uniform(0, 2 * kPi);
    const double nx = std::cos(angle);
    const double ny = std::sin(angle);
    const double cx = rng.Uniform(0.2, 0.8) * canvas.cols;
    const double cy = rng.Uniform(0.2, 0.8) * canvas.rows;
    const double soft = rng.Uniform(4, 40);
    const float depth = static_cast<float>(rng.Uniform(0.45, 0.8));
    for (int y = 0; y < canvas.rows; ++y) {
        cv::Vec3f* px = canvas.ptr<cv::Vec3f>(y);
        for (int x = 0; x < canvas.cols; ++x) {
            const double d = (x - cx) * nx + (y - cy) * ny;
            const double t = std::clamp(0.5 + d / soft, 0.0, 1.0);
            px[x] *= static_cast<float>(1.0 - (1.0 - depth) * t);
        }
    }
}

void ApplyLighting(Random& rng, cv::Mat& canvas) {
    const double gx = rng.Uniform(-0.3, 0.3);
    const double gy = rng.Uniform(-0.3, 0.3);
    const double vignette = rng.Uniform(0.0, 0.35);
    const double exposure = rng.Uniform(0.78, 1.12);
    const cv::Vec3f cast(static_cast<float>(rng.Uniform(0.93, 1.07)), 1.0f,
                         static_cast<float>(rng.Uniform(0.93, 1.07)));
    const double w = canvas.cols;
    const double h = canvas.rows;
    for (int y = 0; y < canvas.rows; ++y) {
        cv::Vec3f* px = canvas.ptr<cv::Vec3f>(y);
        const double v = y / h - 0.5;
        for (int x = 0; x < canvas.cols; ++x) {
            const double u = x / w - 0.5;
            const double f =
                exposure * (1.0 + gx * u + gy * v) * (1.0 - vignette * (u * u + v * v));
            const float ff = static_cast<float>(f);
            px[x] = cv::Vec3f(px[x][0] * cast[0] * ff, px[x][1] * ff, px[x][2] * cast[2] * ff);
        }
    }
}

// The camera's on-screen display: date and time, sometimes the lane above it.
void AddTimeStamp(Random& rng, cv::Mat& image) {
    char text[64];
    const int year = rng.Int(2009, 2026);
    const int month = rng.Int(1, 12);
    const int day = rng.Int(1, 28);
    const int hour = rng.Int(0, 23);
    const int minute = rng.Int(0, 59);
    const int second = rng.Int(0, 59);
    switch (rng.Int(0, 2)) {
        case 0:
            std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day,
                          hour, minute, second);
            break;
        case 1:
            std::snprintf(text, sizeof text, "%02d/%02d/%04d %02d:%02d:%02d", day, month, year,
                          hour, minute, second);
            break;
        default:
            std::snprintf(text, sizeof text, "%04d.%02d.%02d %02d:%02d", year, month, day, hour,
                          minute);
            break;
    }
    const cv::Scalar colour =
        rng.Chance(0.6) ? cv::Scalar(235, 235, 235) : cv::Scalar(40, 220, 235);
    double scale = rng.Uniform(0.42, 0.55);
    int baseline = 0;
    cv::Size ts = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline);
    while (ts.width > 220 && scale > 0.3) {
        scale -= 0.02;
        ts = cv::getTextSize(text, cv::FONT_HERSHEY_SIMPLEX, scale, 1, &baseline);
    }
    const int x = rng.Int(3, 10);
    const int y = image.rows - rng.Int(4, 7) - baseline;
    cv::putText(image, text, cv::Point(x + 1, y + 1), cv::FONT_HERSHEY_SIMPLEX, scale,
                cv::Scalar(0, 0, 0), 2, cv::LINE_AA);
    cv::putText(image, text, cv::Point(x, y), cv::FONT_HERSHEY_SIMPLEX, scale, colour, 1,
                cv::LINE_AA);
    if (rng.Chance(0.5)) {
        char lane[32];
        std::snprintf(lane, sizeof lane, "CAM%d GATE %s LANE %d", rng.Int(1, 8),
                      rng.Chance(0.5) ? "IN" : "OUT", rng.Int(1, 6));
        // The lane line goes where the evidence builder ignores overlays: under row 460 on tall
        // frames, or in the band at rows 385 to 425 of small ones.
        const int ly = image.rows >= 500 ? y - ts.height - 8 : rng.Int(400, 418);
        const int lx = image.rows >= 500 ? x : rng.Int(55, 70);
        cv::putText(image, lane, cv::Point(lx + 1, ly + 1), cv::FONT_HERSHEY_SIMPLEX, scale * 0.9,
                    cv::Scalar(0, 0, 0), 2, cv::LINE_AA);
        cv::putText(image, lane, cv::Point(lx, ly), cv::FONT_HERSHEY_SIMPLEX, scale * 0.9, colour,
                    1, cv::LINE_AA);
    }
}

cv::Size PickFrameSize(Random& rng) {
    static const std::vector<cv::Size> kCommon = {{640, 480}, {640, 480}, {720, 480},
                                                  {720, 576}, {768, 576}, {800, 600},
                                                  {800, 600}, {960, 720}, {1024, 768}};
    if (rng.Chance(0.75)) {
        return rng.Pick(kCommon);
    }
    const int w = rng.Int(kMinFrameWidth / 8, kMaxFrameWidth / 8) * 8;
    const int h = std::clamp(w * 3 / 4 + 8 * rng.Int(-4, 4), kMinFrameHeight, kMaxFrameHeight);
    return {w, h};
}

// ---------------------------------------------------------------------------------------------
// The code's geometry

struct CodeLayout {
    Pitch pitch;
    int height = 0;     // painted character height
    int cellWidth = 0;  // painted width of a typical character
    int checkColumn = 7;
    int spare = 0;  // clear pixels between neighbouring character cells
};

int EvenGap(double g) {
    return std::clamp(2 * static_cast<int>(std::lround(g / 2.0)), 4, 24);
}
int LineGap(double g) {
    return std::clamp(3 * static_cast<int>(std::lround(g / 3.0)), 3, 18);
}

CodeLayout PickGeometry(Random& rng, int layout, cv::Size frame) {
    CodeLayout g;
    if (IsVertical(layout)) {
        // The locator sizes vertical boxes from the seed's width: height = 1.7 x width.
        int maxWidth = layout == 4 ? 18 : 34;
        // One column of eleven must fit the frame with room above and below.
        while (maxWidth > 15 && 11 * (static_cast<int>(maxWidth * static_cast<double>(1.7f)) + 4) >
                                    frame.height * 0.86) {
            --maxWidth;
        }
        g.cellWidth = rng.Int(15, maxWidth);
        g.height = static_cast<int>(g.cellWidth * static_cast<double>(1.7f));
        g.pitch.size = g.cellWidth;
        g.pitch.c = LineGap(g.height * rng.Uniform(0.1, 0.4));
        if (layout == 4) {
            // The serial column (seven characters) must stay at most 250 pixels tall.
            while (g.pitch.c > 3 && 7 * g.height + 6 * g.pitch.c > 240) {
                g.pitch.c -= 3;
            }
            g.pitch.b = EvenGap(rng.Uniform(4, 10));
        } else {
            g.pitch.b = EvenGap(rng.Uniform(4, 24));
        }
        // Keep the total column height inside the frame.
        while (g.pitch.c > 3 && 11 * (g.height + g.pitch.c) > frame.height * 0.9) {
            g.pitch.c -= 3;
        }
        g.spare = g.pitch.b;
        return g;
    }
    static const int kMaxHeight[kLayoutCount] = {70, 62, 0, 80, 0, 80, 52};
    int hi = kMaxHeight[layout];
    // Long lines shrink to fit narrow frames.
    const int positions = layout == 0 ? 11 : layout == 1 ? 13 : layout == 6 ? 16 : 8;
    while (hi > 22 && positions * (hi / 2 + std::min(24, hi / 5 + 8)) > frame.width * 0.9) {
        --hi;
    }
    // Small characters are the common case on gate cameras; big ones are close-ups.
    const double t = rng.Unit();
    g.height = 22 + static_cast<int>((hi - 22) * t * (0.4 + 0.6 * t));
    if (layout == 5) {
        g.height = std::min(g.height, 77);
    }
    g.pitch.size = g.height;
    const int w = static_cast<int>(g.height * 0.5);
    const double ratio = rng.Uniform(0.5, 0.6);
    g.cellWidth = std::max(w, static_cast<int>(std::lround(g.height * ratio)));
    const double gap = g.height * rng.Uniform(0.1, 0.3) + 2;
    if (layout == 5) {
        // Across pitch w + 1.5 b.
        int b = EvenGap((g.cellWidth + gap - w) / 1.5);
        while (b < 24 && w + 1.5 * b < g.cellWidth + 3) {
            b += 2;
        }
        g.pitch.b = b;
        g.pitch.c = LineGap(g.height * rng.Uniform(0.15, 0.5) / 1.5);
        // Three lines of aligned characters look like a column to the locator once column
        // closing joins them, and a column taller than 250 pixels makes it give up the
        // horizontal layouts: the three lines stay within 240.
        while (g.pitch.c > 3 && 3 * g.height + 3 * g.pitch.c > 240) {
            g.pitch.c -= 3;
        }
    } else {
        int b = EvenGap(g.cellWidth + gap - w);
        while (b < 24 && w + b < g.cellWidth + 3) {
            b += 2;
        }
        g.pitch.b = b;
        g.pitch.c = LineGap(g.height * rng.Uniform(0.15, 0.5));
    }
    // Narrower characters when the pitch is the limit.
    g.cellWidth = std::min(g.cellWidth, w + g.pitch.b - 2);
    if (layout == 5) {
        g.cellWidth = std::min(g.cellWidth, static_cast<int>(w + 1.5 * g.pitch.b) - 2);
    }
    g.spare = layout == 5 ? static_cast<int>(w + 1.5 * g.pitch.b) - g.cellWidth
                          : w + g.pitch.b - g.cellWidth;
    g.checkColumn = rng.Chance(0.7) ? 7 : 6;
    return g;
}

}  // namespace

std::string CheckSynthSpec(const SynthSpec& spec) {
    if (UsablePrefixes(spec.prefixes).empty()) {
        return "no usable owner prefix (four capitals without Q)";
    }
    for (int l : spec.layouts) {
        if (l < 0 || l >= kLayoutCount) {
            return "layout " + std::to_string(l) + " is not one of 0 to 6";
        }
    }
    if (!spec.frameSize.empty() &&
        (spec.frameSize.width < kMinFrameWidth || spec.frameSize.width > kMaxFrameWidth ||
         spec.frameSize.height < kMinFrameHeight || spec.frameSize.height > kMaxFrameHeight)) {
        return "frame size must lie between 640x480 and 1024x768";
    }
    const std::vector<std::string> fonts = spec.fonts.empty() ? AvailableFontPaths() : spec.fonts;
    if (fonts.empty()) {
        return "no bold sans font found (install fonts-dejavu-core or fonts-liberation2)";
    }
    for (const std::string& f : fonts) {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(f, ec)) {
            return "font file " + f + " not found";
        }
    }
    return "";
}

SynthPhoto RenderContainerPhoto(const SynthSpec& spec, std::uint64_t seed) {
    SynthPhoto photo;
    if (!CheckSynthSpec(spec).empty()) {
        return photo;
    }
    Random rng(seed);
    const std::vector<std::string> prefixes = UsablePrefixes(spec.prefixes);
    const std::vector<std::string> fonts = spec.fonts.empty() ? AvailableFontPaths() : spec.fonts;

    const cv::Size frame = spec.frameSize.empty() ? PickFrameSize(rng) : spec.frameSize;
    const int layout = spec.layouts.empty() ? rng.Int(0, kLayoutCount - 1) : rng.Pick(spec.layouts);
    photo.layout = layout;
    photo.code = MakeCode(rng, prefixes);

    cv::Ptr<cv::freetype::FreeType2> ft = cv::freetype::createFreeType2();
    ft->loadFontData(rng.Pick(fonts), 0);

    // The canvas is larger than the frame by a margin that the tilt turns into view.
    const int margin = static_cast<int>(std::ceil(0.5 * std::hypot(frame.width, frame.height) *
                                                  std::sin(kMaxTilt * kPi / 180.0))) +
                       4;
    const cv::Size canvasSize(frame.width + 2 * margin, frame.height + 2 * margin);
    const cv::Rect frameOnCanvas(margin, margin, frame.width, frame.height);
    const double tilt = kMaxTilt * rng.Uniform(-1.0, 1.0) * rng.Unit();
    photo.tiltDegrees = tilt;

    const Palette palette = PickPalette(rng);

    // Sky and the top rail across the top of the frame on some photographs.
    int skyBottom = 0;  // canvas rows above this belong to the sky
    int railBottom = 0;
    if (rng.Chance(0.22)) {
        skyBottom = margin + static_cast<int>(frame.height * rng.Uniform(0.0, 0.12));
        railBottom = skyBottom + static_cast<int>(frame.height * rng.Uniform(0.04, 0.08));
    }

    // --- The code: geometry and position.
    const CodeLayout geo = PickGeometry(rng, layout, frame);
    const int growBy = std::max(3, geo.height / 8);
    std::vector<GridBox> grid;
    std::vector<cv::Rect> cells;
    {
        const std::vector<GridBox> probe = MakeGrid(layout, 0, 0, geo.pitch);
        const cv::Rect ext = Bounds(probe);
        const int edge = margin + 10 + static_cast<int>(0.03 * std::max(frame.width, frame.height));
        const int top = std::max(edge, railBottom + growBy + 8);
        // Places where the evidence builder ignores everything (the camera's overlay).
        const cv::Rect overlayA(margin + 50 - 12, margin + 385 - 12, 220 + 24, 40 + 24);
        const cv::Rect overlayB(margin - 12, margin + 460 - 12, 240 + 24, frame.height);
        for (int attempt = 0; attempt < 80; ++attempt) {
            const int xLo = edge - ext.x;
            const int xHi = canvasSize.width - edge - (ext.x + ext.width);
            const int yLo = top - ext.y;
            const int yHi = canvasSize.height - edge - (ext.y + ext.height);
            const int ax = rng.Int(xLo, std::max(xLo, xHi));
            const int ay = rng.Int(yLo, std::max(yLo, yHi));
            grid = MakeGrid(layout, ax, ay, geo.pitch);
            cells = CharacterCells(layout, grid, geo.checkColumn);
            cv::Rect span = cells.front();
            for (const cv::Rect& c : cells) {
                span |= c;
            }
            span = Grow(span, 4);
            if ((span & overlayA).area() == 0 && (span & overlayB).area() == 0) {
                break;
            }
        }
    }
    photo.characterHeight = geo.height;

    Occupancy occ;
    occ.free = cv::Rect(margin + 4, std::max(margin + 4, railBottom + 4), frame.width - 8,
                        frame.height - 8 - std::max(0, railBottom - margin));
    for (const GridBox& g : grid) {
        if (g.kind != 0) {
            occ.taken.push_back(Grow(g.rect, growBy));
        }
    }
    for (const cv::Rect& c : cells) {
        occ.taken.push_back(Grow(c, growBy));
    }
    if (IsVertical(layout)) {
        // The locator cuts a vertical code with four character heights above it, and the readers
        // take the first eleven marks from the top: other markings keep clear of that stretch,
        // and of the rows under the column that column closing would join to it.
        cv::Rect column = cells.front();
        for (const cv::Rect& c : cells) {
            column |= c;
        }
        const int above = 9 * geo.height / 2;
        occ.taken.emplace_back(column.x - column.width / 2, column.y - above, 2 * column.width,
                               above);
        occ.taken.emplace_back(column.x - column.width / 2, column.y + column.height,
                               2 * column.width, kColumnClearance - 4);
    }

    // --- Base paint with mottling and grain.
    cv::Mat canvas(canvasSize, CV_32FC3);
    {
        const cv::Mat mottle = SmoothNoise(rng, canvasSize, rng.Uniform(60, 200));
        const cv::Mat grain = SmoothNoise(rng, canvasSize, 2.5);
        const double mottleAmount = rng.Uniform(0.02, 0.08);
        for (int y = 0; y < canvasSize.height; ++y) {
            cv::Vec3f* px = canvas.ptr<cv::Vec3f>(y);
            const float* m = mottle.ptr<float>(y);
            const float* g = grain.ptr<float>(y);
            for (int x = 0; x < canvasSize.width; ++x) {
                const float f = static_cast<float>(1.0 + mottleAmount * (m[x] - 0.5) * 2.0 +
                                                   0.04 * (g[x] - 0.5));
                px[x] = palette.panel * f;
            }
        }
    }

    // --- Everything painted: the code, its check box, the size/type code and other markings.
    cv::Mat paint(canvasSize, CV_8U, cv::Scalar(0));
    std::map<char, cv::Mat> glyphs;
    double squeeze = 1.0;
    {
        const cv::Mat zero = TextMask(*ft, "0", 160);
        const double natural = zero.cols * static_cast<double>(geo.height) / zero.rows;
        squeeze = geo.cellWidth / natural;
    }
    std::vector<cv::Rect> inkBoxes;
    for (int i = 0; i < 11; ++i) {
        const char ch = photo.code[static_cast<std::size_t>(i)];
        cv::Mat& natural = glyphs[ch];
        if (natural.empty()) {
            natural = TextMask(*ft, std::string(1, ch), 160);
        }
        const cv::Rect& cell = cells[static_cast<std::size_t>(i)];
        const double scale = static_cast<double>(geo.height) / natural.rows;
        // The readers keep marks narrower than 50 pixels, and blur and thresholding widen a
        // painted stroke by a pixel or two on each side: wide letters are drawn a little
        // narrower, at most 46 pixels and 10/11 of the height, and leave a seventh of the
        // height clear to their neighbours, as stencilled codes do.
        const int clearance = std::max(3, geo.height / 7);
        const int maxWidth =
            std::min({46, geo.height * 10 / 11, geo.cellWidth + geo.spare - clearance});
        const int gw =
            std::clamp(static_cast<int>(std::lround(natural.cols * scale * squeeze)), 2, maxWidth);
        const cv::Mat glyph = Resized(natural, cv::Size(gw, geo.height));
        const cv::Point at(cell.x + (geo.cellWidth - gw) / 2, cell.y);
        Stamp(paint, glyph, at);
        inkBoxes.emplace_back(at, glyph.size());
    }
    const int stroke = std::max(2, geo.height / 9);
    if (rng.Chance(0.65)) {
        // The check digit in a painted frame, kept clear of the neighbouring positions.
        const cv::Rect check = cells[10];
        const int t = std::max(1, stroke * rng.Int(5, 9) / 10);
        const cv::Rect checkCell(check.x, check.y, geo.cellWidth, geo.height);
        int room = 1000;
        for (const GridBox& g : grid) {
            if (g.kind == -1) {
                room = std::min(room, Separation(checkCell, g.rect));
            }
        }
        for (int i = 0; i < 10; ++i) {
            room = std::min(room, Separation(checkCell, inkBoxes[static_cast<std::size_t>(i)]));
        }
        const int pad = std::min(room - t - 1, std::max(2, geo.height / 7));
        if (pad >= 2) {
            const cv::Rect frameRect =
                Grow(cv::Rect(check.x, check.y, geo.cellWidth, geo.height), pad);
            cv::rectangle(paint, frameRect, cv::Scalar(255), t, cv::LINE_AA);
        }
    }
    {
        // Size and type code: under the code where the grid leaves room, else anywhere free.
        const std::string sizeType = rng.Pick(SizeTypeCodes());
        const int height = std::max(14, static_cast<int>(geo.height * rng.Uniform(0.55, 0.85)));
        cv::Mat natural = TextMask(*ft, sizeType, 2 * height);
        if (!natural.empty()) {
            const double sx = squeeze * rng.Uniform(0.9, 1.15);
            cv::Mat mask = Resized(
                natural,
                cv::Size(std::max(4, static_cast<int>(natural.cols * height / natural.rows * sx)),
                         height));
            std::vector<cv::Point> tries;
            if (layout == 6) {
                const GridBox& g = grid[static_cast<std::size_t>(2 * 16 + 8)];
                tries.push_back(g.rect.tl());
            } else if (!IsVertical(layout)) {
                const cv::Rect last = cells[10];
                const cv::Rect first = cells[0];
                const int below = last.y + geo.height + geo.pitch.c + 2;
                tries.emplace_back(cells[4].x, below);
                tries.emplace_back(first.x, below);
                tries.emplace_back(last.x + geo.cellWidth - mask.cols,
                                   last.y + geo.height + geo.height / 2);
            } else {
                const cv::Rect last = cells[10];
                // Under the column, but far enough below that it stays a marking of its own
                // and does not lengthen the column of characters.
                tries.emplace_back(last.x - mask.cols / 3,
                                   last.y + geo.height + std::max(geo.height, kColumnClearance));
            }
            bool placed = false;
            for (const cv::Point& p : tries) {
                const cv::Rect r(p, mask.size());
                if (occ.Fits(Grow(r, 2))) {
                    Stamp(paint, mask, p);
                    occ.taken.push_back(Grow(r, growBy));
                    placed = true;
                    break;
                }
            }
            cv::Point at;
            if (!placed && PlaceRandomly(rng, occ, mask.size(), growBy, &at)) {
                Stamp(paint, mask, at);
            }
        }
    }
    if (rng.Chance(0.6)) {
        // The weight table.
        const int height = std::clamp(static_cast<int>(geo.height * rng.Uniform(0.28, 0.5)), 8, 22);
        const cv::Mat block = TextBlock(*ft, WeightLines(rng), height, rng.Uniform(0.85, 1.0));
        cv::Point at;
        if (!block.empty() && PlaceRandomly(rng, occ, block.size(), growBy, &at)) {
            Stamp(paint, block, at);
        }
    }
    if (rng.Chance(0.3)) {
        // Small stencilled remarks.
        static const std::vector<std::string> kRemarks = {
            "CSC SAFETY APPROVAL", "MADE IN CHINA", "ACEP",
            "CUSTOMS APPROVED",    "TCT",           "FOR TRANSPORT UNDER CUSTOMS SEAL",
            "HIGH CUBE",           "9'6\""};
        const int height = std::clamp(static_cast<int>(geo.height * rng.Uniform(0.3, 0.6)), 9, 30);
        const cv::Mat block = TextBlock(*ft, {rng.Pick(kRemarks)}, height, 1.0);
        cv::Point at;
        if (!block.empty() && PlaceRandomly(rng, occ, block.size(), growBy, &at)) {
            Stamp(paint, block, at);
        }
    }

    // Paint wear: small patches where the paint has flaked off, on older boxes only. Gate
    // photographs mostly show codes whose strokes are whole, so wear is the exception here.
    const cv::Mat wearNoise = SmoothNoise(rng, canvasSize, rng.Uniform(5, 14));
    cv::Mat wear(canvasSize, CV_32F);
    {
        const bool worn = rng.Chance(kWornShare);
        const float threshold = worn ? static_cast<float>(rng.Uniform(0.86, 0.97)) : 2.0f;
        for (int y = 0; y < canvasSize.height; ++y) {
            const float* n = wearNoise.ptr<float>(y);
            float* w = wear.ptr<float>(y);
            for (int x = 0; x < canvasSize.width; ++x) {
                w[x] = 1.0f - std::clamp((n[x] - threshold) / 0.08f, 0.0f, 0.85f);
            }
        }
    }
    cv::GaussianBlur(paint, paint, cv::Size(0, 0), rng.Uniform(0.3, 0.8));
    Blend(canvas, paint, palette.paint, static_cast<float>(rng.Uniform(0.82, 1.0)), &wear);

    // A carrier's name in big letters on some sides.
    if (rng.Chance(0.2)) {
        const int height = rng.Int(std::max(90, geo.height * 2), std::max(110, geo.height * 3));
        const cv::Mat block = TextBlock(*ft, {rng.Pick(CarrierNames())}, height, 1.0);
        cv::Point at;
        if (!block.empty() && block.cols < occ.free.width &&
            PlaceRandomly(rng, occ, block.size(), growBy, &at)) {
            cv::Mat big(canvasSize, CV_8U, cv::Scalar(0));
            Stamp(big, block, at);
            const cv::Vec3f colour =
                rng.Chance(0.5) ? palette.paint : Jitter(rng, cv::Vec3f(40, 40, 200), 30);
            Blend(canvas, big, colour, static_cast<float>(rng.Uniform(0.8, 1.0)), &wear);
        }
    }

    // Rust, then the shading of the ribs over paint and rust alike.
    const double rust = rng.Chance(0.45) ? 0.0 : rng.Uniform(0.1, 1.0) * rng.Unit();
    if (rust > 0.0) {
        AddRust(rng, canvas, paint, rust);
    }
    if (rng.Chance(0.85)) {
        const int period =
            std::clamp(static_cast<int>(geo.height * rng.Uniform(2.2, 3.6)), 50, 260);
        ApplyColumnShading(canvas, RibProfile(rng, canvasSize.width, period, rng.Int(0, period)),
                           railBottom);
    }

    // Door hardware: locking bars and the seam between the leaves, clear of the code.
    if (rng.Chance(0.5)) {
        cv::Rect codeSpan = occ.taken.front();
        for (std::size_t i = 0; i < grid.size(); ++i) {
            if (grid[i].kind != 0) {
                codeSpan |= Grow(grid[i].rect, growBy);
            }
        }
        const int rodWidth =
            std::clamp(static_cast<int>(geo.height * rng.Uniform(0.25, 0.45)), 7, 30);
        const cv::Vec3f rodColour = Jitter(rng, palette.panel * 0.95f, 8);
        const int rods = rng.Int(1, 3);
        for (int r = 0; r < rods; ++r) {
            for (int attempt = 0; attempt < 20; ++attempt) {
                const int x = rng.Int(0, canvasSize.width - rodWidth);
                if (x + 2 * rodWidth < codeSpan.x - 6 || x > codeSpan.x + codeSpan.width + 6) {
                    DrawRod(rng, canvas, x, rodWidth, rodColour, railBottom);
                    break;
                }
            }
        }
        if (rng.Chance(0.6)) {
            for (int attempt = 0; attempt < 20; ++attempt) {
                const int x = rng.Int(margin, canvasSize.width - margin);
                if (x + 6 < codeSpan.x || x > codeSpan.x + codeSpan.width + 6) {
                    cv::line(canvas, cv::Point(x, railBottom), cv::Point(x, canvasSize.height),
                             cv::Scalar(20, 20, 20), 3);
                    cv::line(canvas, cv::Point(x + 2, railBottom),
                             cv::Point(x + 2, canvasSize.height),
                             cv::Scalar(palette.panel[0] * 1.2, palette.panel[1] * 1.2,
                                        palette.panel[2] * 1.2),
                             1);
                    break;
                }
            }
        }
    }

    // Sky over the top rail.
    if (railBottom > 0) {
        const cv::Vec3f top = Jitter(rng, cv::Vec3f(225, 200, 175), 20);
        const cv::Vec3f low = Jitter(rng, cv::Vec3f(240, 232, 225), 10);
        for (int y = 0; y < skyBottom; ++y) {
            const float t = static_cast<float>(y) / std::max(1, skyBottom);
            canvas.row(y).setTo(cv::Scalar(top[0] * (1 - t) + low[0] * t,
                                           top[1] * (1 - t) + low[1] * t,
                                           top[2] * (1 - t) + low[2] * t));
        }
        for (int y = skyBottom; y < railBottom; ++y) {
            const float t = static_cast<float>(y - skyBottom) / (railBottom - skyBottom);
            const float f = 0.7f + 0.35f * static_cast<float>(std::sin(t * kPi));
            canvas.row(y).setTo(
                cv::Scalar(palette.panel[0] * f, palette.panel[1] * f, palette.panel[2] * f));
        }
        cv::line(canvas, cv::Point(0, railBottom), cv::Point(canvasSize.width, railBottom),
                 cv::Scalar(15, 15, 15), 2);
    }

    if (rng.Chance(0.35)) {
        AddShadow(rng, canvas);
    }
    ApplyLighting(rng, canvas);

    // --- Camera: tilt, crop, optics, sensor.
    cv::Mat canvas8;
    canvas.convertTo(canvas8, CV_8UC3);
    cv::Mat rotation = cv::getRotationMatrix2D(
        cv::Point2f(canvasSize.width / 2.0f, canvasSize.height / 2.0f), tilt, 1.0);
    rotation.at<double>(0, 2) -= margin;
    rotation.at<double>(1, 2) -= margin;
    cv::Mat image;
    cv::warpAffine(canvas8, image, rotation, frame, cv::INTER_LINEAR, cv::BORDER_REFLECT);

    if (rng.Chance(0.15)) {
        // A softer lens: down and up again.
        cv::Mat small;
        const double f = rng.Uniform(0.6, 0.85);
        cv::resize(image, small, cv::Size(), f, f, cv::INTER_AREA);
        cv::resize(small, image, frame, 0, 0, cv::INTER_LINEAR);
    }
    if (rng.Chance(0.12)) {
        const int length = rng.Int(3, 6);
        cv::Mat kernel = cv::Mat::ones(1, length, CV_32F) / static_cast<float>(length);
        cv::filter2D(image, image, -1, kernel);
    } else {
        cv::GaussianBlur(image, image, cv::Size(0, 0), rng.Uniform(0.3, 1.3));
    }
    {
        cv::Mat noisy;
        image.convertTo(noisy, CV_32FC3);
        cv::Mat luma(frame, CV_32F);
        cv::Mat chroma(frame, CV_32FC3);
        cv::RNG cvrng(rng.Bits());
        const double sigma = rng.Uniform(1.0, 6.0);
        cvrng.fill(luma, cv::RNG::NORMAL, 0.0, sigma);
        cvrng.fill(chroma, cv::RNG::NORMAL, 0.0, sigma * 0.4);
        for (int y = 0; y < frame.height; ++y) {
            cv::Vec3f* px = noisy.ptr<cv::Vec3f>(y);
            const float* l = luma.ptr<float>(y);
            const cv::Vec3f* c = chroma.ptr<cv::Vec3f>(y);
            for (int x = 0; x < frame.width; ++x) {
                px[x] += cv::Vec3f(l[x], l[x], l[x]) + c[x];
            }
        }
        noisy.convertTo(image, CV_8UC3);
    }
    if (rng.Chance(0.85)) {
        AddTimeStamp(rng, image);
    }
    photo.image = image;

    // Where the characters ended up in the frame.
    const cv::Rect whole(0, 0, frame.width, frame.height);
    for (const cv::Rect& ink : inkBoxes) {
        std::vector<cv::Point2f> corners = {cv::Point2f(ink.x, ink.y),
                                            cv::Point2f(ink.x + ink.width, ink.y),
                                            cv::Point2f(ink.x, ink.y + ink.height),
                                            cv::Point2f(ink.x + ink.width, ink.y + ink.height)};
        cv::transform(corners, corners, rotation);
        const cv::Rect moved = cv::boundingRect(corners) & whole;
        photo.characterBoxes.push_back(moved);
        photo.codeRegion = photo.codeRegion.empty() ? moved : (photo.codeRegion | moved);
    }
    return photo;
}

}  // namespace karvona::synth
