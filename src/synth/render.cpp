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
#include <opencv2/imgproc.hpp>

#include "synth/render_parts.hpp"

namespace karvona::synth {

using namespace parts;

namespace {

constexpr double kMaxTilt = 3.0;
constexpr double kMaxSlope = 15.0;   // perspective slope of the code's lines
constexpr double kWornShare = 0.35;  // photographs whose paint has flaked off in places
// Rows kept clear between a vertical code and the marking under it: column closing joins
// strokes up to 45 rows apart, and the locator measures the joined column.
constexpr int kColumnClearance = 50;

// What sets a photograph apart from the ordinary daytime view, drawn from a stream of its own
// so that the other draws of a seed stay in step: the perspective slope of the code, night or
// low contrast, a reefer's smooth light panel, a roof edge along the code, a door bar between
// prefix and serial, and small characters.
struct Look {
    double slope = 0.0;  // degrees, along the reading axis
    bool night = false;
    bool lowContrast = false;
    bool reefer = false;
    bool roofEdge = false;
    bool doorBar = false;
    bool small = false;
};

Look PickLook(Random& extra) {
    Look look;
    if (extra.Chance(0.3)) {
        const double u = extra.Unit();
        look.slope = (extra.Chance(0.5) ? -1.0 : 1.0) * kMaxSlope * (0.15 + 0.85 * u * u);
    }
    look.night = extra.Chance(0.12);
    look.lowContrast = !look.night && extra.Chance(0.12);
    look.reefer = extra.Chance(0.12);
    look.roofEdge = extra.Chance(0.25);
    look.doorBar = extra.Chance(0.35);
    look.small = extra.Chance(0.2);
    return look;
}

// A shear about the frame's centre that slopes the code's lines by look.slope degrees while the
// strokes across them keep their direction, as a camera looking at the panel from one side
// sees it. Composed after the tilt.
cv::Mat SlopeMatrix(double degrees, bool vertical, cv::Size frame) {
    const double t = std::tan(degrees * kPi / 180.0);
    cv::Mat shear = cv::Mat::eye(3, 3, CV_64F);
    if (vertical) {
        shear.at<double>(0, 1) = t;
        shear.at<double>(0, 2) = -t * frame.height / 2.0;
    } else {
        shear.at<double>(1, 0) = t;
        shear.at<double>(1, 2) = -t * frame.width / 2.0;
    }
    return shear;
}

// Whether every ink box lies inside the frame, 6 pixels clear of its edges, under the affine
// transform.
bool InkInside(const std::vector<cv::Rect>& inkBoxes, const cv::Mat& affine, cv::Size frame) {
    for (const cv::Rect& ink : inkBoxes) {
        std::vector<cv::Point2f> corners = {{float(ink.x), float(ink.y)},
                                            {float(ink.x + ink.width), float(ink.y)},
                                            {float(ink.x), float(ink.y + ink.height)},
                                            {float(ink.x + ink.width), float(ink.y + ink.height)}};
        cv::transform(corners, corners, affine);
        for (const cv::Point2f& c : corners) {
            if (c.x < 6 || c.y < 6 || c.x > frame.width - 6 || c.y > frame.height - 6)
                return false;
        }
    }
    return true;
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
        return "no bold sans font found (scripts/setup installs them)";
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
    Random extra(seed ^ 0xC0DE5107E5ull);
    const Look look = PickLook(extra);
    Random hard(seed ^ 0x4A2DCA5E5ull);
    const HardCases cases = PickHardCases(hard);
    const std::vector<std::string> prefixes = UsablePrefixes(spec.prefixes);
    const std::vector<std::string> fonts = spec.fonts.empty() ? AvailableFontPaths() : spec.fonts;

    const cv::Size frame = spec.frameSize.empty() ? PickFrameSize(rng) : spec.frameSize;
    const int layout = spec.layouts.empty() ? rng.Int(0, kLayoutCount - 1) : rng.Pick(spec.layouts);
    photo.layout = layout;
    photo.code = MakeCode(rng, prefixes);

    TextFace face(rng.Pick(fonts));

    // The canvas is larger than the frame by a margin that the tilt turns into view.
    const int margin = static_cast<int>(std::ceil(0.5 * std::hypot(frame.width, frame.height) *
                                                  std::sin(kMaxTilt * kPi / 180.0))) +
                       4;
    const cv::Size canvasSize(frame.width + 2 * margin, frame.height + 2 * margin);
    const cv::Rect frameOnCanvas(margin, margin, frame.width, frame.height);
    const double tilt = kMaxTilt * rng.Uniform(-1.0, 1.0) * rng.Unit();
    photo.tiltDegrees = tilt;

    Palette palette = PickPalette(rng);
    if (look.reefer) {
        // A reefer's smooth white or light grey panel with dark lettering.
        const double v = extra.Uniform(200, 240);
        palette.panel = Jitter(extra, cv::Vec3f(v, v, v), 6);
        const double ink = extra.Uniform(15, 55);
        palette.paint = Jitter(extra, cv::Vec3f(ink, ink, ink), 5);
        palette.lightPaint = false;
    }
    if (look.lowContrast) {
        // Faded paint or a grey panel: the paint only a third to a half away from the panel.
        const float k = static_cast<float>(extra.Uniform(0.3, 0.5));
        palette.paint = palette.panel + (palette.paint - palette.panel) * k;
    }

    // Sky and the top rail across the top of the frame on some photographs.
    int skyBottom = 0;  // canvas rows above this belong to the sky
    int railBottom = 0;
    if (rng.Chance(0.22)) {
        skyBottom = margin + static_cast<int>(frame.height * rng.Uniform(0.0, 0.12));
        railBottom = skyBottom + static_cast<int>(frame.height * rng.Uniform(0.04, 0.08));
    }

    // --- The code: geometry and position.
    const CodeLayout geo = cases.distant && !IsVertical(layout)
                               ? PickGeometry(rng, layout, frame, 13, 17)
                               : PickGeometry(rng, layout, frame, look.small ? 18 : 22);
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
        const cv::Mat zero = face.Mask("0", 160);
        const double natural = zero.cols * static_cast<double>(geo.height) / zero.rows;
        squeeze = geo.cellWidth / natural;
    }
    std::vector<cv::Rect> inkBoxes;
    for (int i = 0; i < 11; ++i) {
        const char ch = photo.code[static_cast<std::size_t>(i)];
        cv::Mat& natural = glyphs[ch];
        if (natural.empty()) {
            natural = face.Mask(std::string(1, ch), 160);
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
        cv::Mat glyph = Resized(natural, cv::Size(gw, geo.height));
        if (cases.outline)
            glyph = Outline(glyph, std::max(1, geo.height / 16));
        const cv::Point at(cell.x + (geo.cellWidth - gw) / 2, cell.y);
        if (!spec.withoutCode)
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
        cv::Mat natural = face.Mask(sizeType, 2 * height);
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
                if (cases.sizeTypeBeside)
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
        const cv::Mat block = TextBlock(face, WeightLines(rng), height, rng.Uniform(0.85, 1.0));
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
        const cv::Mat block = TextBlock(face, {rng.Pick(kRemarks)}, height, 1.0);
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

    if (spec.withoutCode)
        AddStickers(seed, canvas, occ, face, geo.height);

    // A carrier's name in big letters on some sides.
    if (rng.Chance(spec.withoutCode ? 0.5 : 0.2)) {
        const int height = rng.Int(std::max(90, geo.height * 2), std::max(110, geo.height * 3));
        const cv::Mat block = TextBlock(face, {rng.Pick(CarrierNames())}, height, 1.0);
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
        const std::vector<float> ribs =
            RibProfile(rng, canvasSize.width, period, rng.Int(0, period));
        if (!look.reefer)
            ApplyColumnShading(canvas, ribs, railBottom);
    }
    if (look.reefer) {
        // The panel's horizontal seams.
        for (int y = extra.Int(20, 120); y < canvasSize.height; y += extra.Int(150, 260)) {
            bool clear = true;
            for (const cv::Rect& t : occ.taken)
                clear = clear && (y < t.y - 4 || y > t.y + t.height + 4);
            if (clear)
                cv::line(canvas, {0, y}, {canvasSize.width, y},
                         cv::Scalar::all(palette.panel[0] * 0.7), 2);
        }
    }
    if (look.roofEdge)
        DrawRoofEdge(extra, canvas, grid, IsVertical(layout), geo.height, palette);
    if (look.doorBar && layout == 1)
        DrawBarInGap(extra, canvas, grid, palette, railBottom);

    // Door hardware: locking bars and the seam between the leaves, clear of the code.
    if (rng.Chance(spec.withoutCode ? 0.8 : 0.5)) {
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

    if (cases.rodAcross && !IsVertical(layout) && !spec.withoutCode)
        DrawRodInGap(hard, canvas, inkBoxes, geo.height, palette, railBottom);

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
    if (look.night) {
        // Night: little light on the panel, a warm lamp cast, and a noisier sensor below.
        const float dim = static_cast<float>(extra.Uniform(0.22, 0.45));
        canvas *= dim;
        ApplyLighting(extra, canvas);
    }

    // --- Camera: tilt, crop, optics, sensor.
    cv::Mat canvas8;
    canvas.convertTo(canvas8, CV_8UC3);
    cv::Mat rotation = cv::getRotationMatrix2D(
        cv::Point2f(canvasSize.width / 2.0f, canvasSize.height / 2.0f), tilt, 1.0);
    rotation.at<double>(0, 2) -= margin;
    rotation.at<double>(1, 2) -= margin;
    if (look.slope != 0.0) {
        // The steepest slope up to the drawn one that keeps the code in the frame.
        for (double slope = look.slope; std::abs(slope) >= 1.0; slope /= 2) {
            cv::Mat rotation3 = cv::Mat::eye(3, 3, CV_64F);
            rotation.copyTo(rotation3(cv::Rect(0, 0, 3, 2)));
            const cv::Mat sloped =
                (SlopeMatrix(slope, IsVertical(layout), frame) * rotation3)(cv::Rect(0, 0, 3, 2));
            if (InkInside(inkBoxes, sloped, frame)) {
                rotation = sloped.clone();
                photo.slopeDegrees = slope;
                break;
            }
        }
    }
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
        const double sigma = rng.Uniform(1.0, 6.0) * (look.night ? 1.8 : 1.0);
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
    if (spec.withoutCode) {
        photo.code.clear();
        photo.layout = -1;
        return photo;
    }

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
