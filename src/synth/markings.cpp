// The markings beside the code: size and type code, weight table, carrier names, and the
// bookkeeping that keeps them clear of the code and of each other.

#include <algorithm>
#include <cstdio>
#include <opencv2/imgproc.hpp>

#include "synth/scene.hpp"

namespace karvona::synth::parts {

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

// Chebyshev distance between two rectangles (0 when they touch or overlap).
int Separation(const cv::Rect& a, const cv::Rect& b) {
    const int dx = std::max(b.x - (a.x + a.width), a.x - (b.x + b.width));
    const int dy = std::max(b.y - (a.y + a.height), a.y - (b.y + b.height));
    return std::max(0, std::max(dx, dy));
}

cv::Rect Grow(const cv::Rect& r, int by) {
    return cv::Rect(r.x - by, r.y - by, r.width + 2 * by, r.height + 2 * by);
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

void AddStickers(std::uint64_t seed, cv::Mat& canvas, Occupancy& occ, TextFace& face,
                 int characterHeight) {
    Random rng(seed ^ 0x571C4E25ull);
    static const std::vector<std::string> kWords = {"SEAL", "ZONE", "LOT", "TEL", "REF", "NO"};
    const int count = rng.Int(1, 3);
    for (int s = 0; s < count; ++s) {
        // Letters then at most five digits: never the eleven characters of a code.
        std::string text = rng.Pick(kWords) + " ";
        const int digits = rng.Int(1, 5);
        for (int d = 0; d < digits; ++d)
            text += static_cast<char>('0' + rng.Int(0, 9));
        const int height =
            std::clamp(static_cast<int>(characterHeight * rng.Uniform(0.5, 1.1)), 12, 48);
        const cv::Mat block = TextBlock(face, {text}, height, rng.Uniform(0.8, 1.0));
        if (block.empty())
            continue;
        const int pad = std::max(3, height / 3);
        const cv::Size size(block.cols + 2 * pad, block.rows + 2 * pad);
        cv::Point at;
        if (!PlaceRandomly(rng, occ, size, 4, &at) || !cv::Rect(at, size).area())
            continue;
        const cv::Rect label = cv::Rect(at, size) & cv::Rect(0, 0, canvas.cols, canvas.rows);
        const double light = rng.Uniform(190, 245);
        canvas(label).setTo(cv::Scalar(light, light * rng.Uniform(0.9, 1.0), light));
        cv::Mat ink(canvas.size(), CV_8U, cv::Scalar(0));
        Stamp(ink, block, at + cv::Point(pad, pad));
        const double dark = rng.Uniform(10, 70);
        Blend(canvas, ink, cv::Vec3f(dark, dark, dark), 1.0f, nullptr);
    }
}

// The places tried in turn for the size and type code of a mask's size: under the code where
// the grid leaves room, beside the check digit on some photographs.
std::vector<cv::Point> SizeTypePlaces(const Scene& s, const cv::Mat& mask) {
    const CodeLayout& geo = s.geo;
    const std::vector<cv::Rect>& cells = s.cells;
    std::vector<cv::Point> tries;
    if (s.layout == 6) {
        const GridBox& g = s.grid[static_cast<std::size_t>(2 * 16 + 8)];
        tries.push_back(g.rect.tl());
    } else if (!IsVertical(s.layout)) {
        const cv::Rect last = cells[10];
        const cv::Rect first = cells[0];
        const int below = last.y + geo.height + geo.pitch.c + 2;
        if (s.cases.sizeTypeBeside)
            tries.emplace_back(last.x + 3 * geo.cellWidth, last.y + geo.height - mask.rows);
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
    return tries;
}

void PaintSizeType(Scene& s) {
    Random& rng = s.rng;
    // Size and type code: under the code where the grid leaves room, else anywhere free.
    const std::string sizeType = rng.Pick(SizeTypeCodes());
    const int height = std::max(14, static_cast<int>(s.geo.height * rng.Uniform(0.55, 0.85)));
    cv::Mat natural = s.face.Mask(sizeType, 2 * height);
    if (natural.empty())
        return;
    const double sx = s.squeeze * rng.Uniform(0.9, 1.15);
    cv::Mat mask = Resized(
        natural,
        cv::Size(std::max(4, static_cast<int>(natural.cols * height / natural.rows * sx)), height));
    bool placed = false;
    for (const cv::Point& p : SizeTypePlaces(s, mask)) {
        const cv::Rect r(p, mask.size());
        if (s.occ.Fits(Grow(r, 2))) {
            Stamp(s.paint, mask, p);
            s.occ.taken.push_back(Grow(r, s.growBy));
            placed = true;
            break;
        }
    }
    cv::Point at;
    if (!placed && PlaceRandomly(rng, s.occ, mask.size(), s.growBy, &at)) {
        Stamp(s.paint, mask, at);
    }
}

void PaintWeightTable(Scene& s) {
    Random& rng = s.rng;
    if (!rng.Chance(0.6))
        return;
    const int height = std::clamp(static_cast<int>(s.geo.height * rng.Uniform(0.28, 0.5)), 8, 22);
    const cv::Mat block = TextBlock(s.face, WeightLines(rng), height, rng.Uniform(0.85, 1.0));
    cv::Point at;
    if (!block.empty() && PlaceRandomly(rng, s.occ, block.size(), s.growBy, &at)) {
        Stamp(s.paint, block, at);
    }
}

void PaintRemarks(Scene& s) {
    Random& rng = s.rng;
    if (!rng.Chance(0.3))
        return;
    // Small stencilled remarks.
    static const std::vector<std::string> kRemarks = {
        "CSC SAFETY APPROVAL", "MADE IN CHINA", "ACEP",
        "CUSTOMS APPROVED",    "TCT",           "FOR TRANSPORT UNDER CUSTOMS SEAL",
        "HIGH CUBE",           "9'6\""};
    const int height = std::clamp(static_cast<int>(s.geo.height * rng.Uniform(0.3, 0.6)), 9, 30);
    const cv::Mat block = TextBlock(s.face, {rng.Pick(kRemarks)}, height, 1.0);
    cv::Point at;
    if (!block.empty() && PlaceRandomly(rng, s.occ, block.size(), s.growBy, &at)) {
        Stamp(s.paint, block, at);
    }
}

void PaintCarrierName(Scene& s) {
    Random& rng = s.rng;
    if (!rng.Chance(s.spec.withoutCode ? 0.5 : 0.2))
        return;
    const int height = rng.Int(std::max(90, s.geo.height * 2), std::max(110, s.geo.height * 3));
    const cv::Mat block = TextBlock(s.face, {rng.Pick(CarrierNames())}, height, 1.0);
    cv::Point at;
    if (!block.empty() && block.cols < s.occ.free.width &&
        PlaceRandomly(rng, s.occ, block.size(), s.growBy, &at)) {
        cv::Mat big(s.canvasSize, CV_8U, cv::Scalar(0));
        Stamp(big, block, at);
        const cv::Vec3f colour =
            rng.Chance(0.5) ? s.palette.paint : Jitter(rng, cv::Vec3f(40, 40, 200), 30);
        Blend(s.canvas, big, colour, static_cast<float>(rng.Uniform(0.8, 1.0)), &s.wear);
    }
}

}  // namespace karvona::synth::parts
