// The identification code on the panel: its place on the grid the locator tests, the room the
// other markings leave it, its painted characters and the frame round its check digit.

#include <algorithm>
#include <cmath>
#include <map>
#include <opencv2/imgproc.hpp>

#include "synth/scene.hpp"

namespace karvona::synth::parts {

void PlaceCode(Scene& s) {
    Random& rng = s.rng;
    const int layout = s.layout;
    const cv::Size frame = s.frame;
    const int margin = s.margin;
    const int asked = IsVertical(layout) ? 0 : s.spec.characterHeight;
    s.geo = asked > 0 ? PickGeometry(rng, layout, frame, asked, asked)
            : s.cases.distant && !IsVertical(layout)
                ? PickGeometry(rng, layout, frame, 13, 17)
                : PickGeometry(rng, layout, frame, s.look.small ? 18 : 22);
    s.growBy = std::max(3, s.geo.height / 8);

    const std::vector<GridBox> probe = MakeGrid(layout, 0, 0, s.geo.pitch);
    const cv::Rect ext = Bounds(probe);
    const int edge = margin + 10 + static_cast<int>(0.03 * std::max(frame.width, frame.height));
    const int top = std::max(edge, s.railBottom + s.growBy + 8);
    // Places where the evidence builder ignores everything (the camera's overlay).
    const cv::Rect overlayA(margin + 50 - 12, margin + 385 - 12, 220 + 24, 40 + 24);
    const cv::Rect overlayB(margin - 12, margin + 460 - 12, 240 + 24, frame.height);
    for (int attempt = 0; attempt < 80; ++attempt) {
        const int xLo = edge - ext.x;
        const int xHi = s.canvasSize.width - edge - (ext.x + ext.width);
        const int yLo = top - ext.y;
        const int yHi = s.canvasSize.height - edge - (ext.y + ext.height);
        const int ax = rng.Int(xLo, std::max(xLo, xHi));
        const int ay = rng.Int(yLo, std::max(yLo, yHi));
        s.grid = MakeGrid(layout, ax, ay, s.geo.pitch);
        s.cells = CharacterCells(layout, s.grid, s.geo.checkColumn);
        cv::Rect span = s.cells.front();
        for (const cv::Rect& c : s.cells) {
            span |= c;
        }
        span = Grow(span, 4);
        if ((span & overlayA).area() == 0 && (span & overlayB).area() == 0) {
            break;
        }
    }
}

void ReserveCode(Scene& s) {
    const int margin = s.margin;
    Occupancy& occ = s.occ;
    occ.free = cv::Rect(margin + 4, std::max(margin + 4, s.railBottom + 4), s.frame.width - 8,
                        s.frame.height - 8 - std::max(0, s.railBottom - margin));
    for (const GridBox& g : s.grid) {
        if (g.kind != 0) {
            occ.taken.push_back(Grow(g.rect, s.growBy));
        }
    }
    for (const cv::Rect& c : s.cells) {
        occ.taken.push_back(Grow(c, s.growBy));
    }
    if (IsVertical(s.layout)) {
        // The locator cuts a vertical code with four character heights above it, and the readers
        // take the first eleven marks from the top: other markings keep clear of that stretch,
        // and of the rows under the column that column closing would join to it.
        cv::Rect column = s.cells.front();
        for (const cv::Rect& c : s.cells) {
            column |= c;
        }
        const int above = 9 * s.geo.height / 2;
        occ.taken.emplace_back(column.x - column.width / 2, column.y - above, 2 * column.width,
                               above);
        occ.taken.emplace_back(column.x - column.width / 2, column.y + column.height,
                               2 * column.width, kColumnClearance - 4);
    }
}

void PaintCode(Scene& s, const std::string& code) {
    const CodeLayout& geo = s.geo;
    std::map<char, cv::Mat> glyphs;
    {
        const cv::Mat zero = s.face.Mask("0", 160);
        const double natural = zero.cols * static_cast<double>(geo.height) / zero.rows;
        s.squeeze = geo.cellWidth / natural;
    }
    for (int i = 0; i < 11; ++i) {
        const char ch = code[static_cast<std::size_t>(i)];
        cv::Mat& natural = glyphs[ch];
        if (natural.empty()) {
            natural = s.face.Mask(std::string(1, ch), 160);
        }
        const cv::Rect& cell = s.cells[static_cast<std::size_t>(i)];
        const double scale = static_cast<double>(geo.height) / natural.rows;
        // The readers keep marks narrower than 50 pixels, and blur and thresholding widen a
        // painted stroke by a pixel or two on each side: wide letters are drawn a little
        // narrower, at most 46 pixels and 10/11 of the height, and leave a seventh of the
        // height clear to their neighbours, as stencilled codes do.
        const int clearance = std::max(3, geo.height / 7);
        const int maxWidth =
            std::min({46, geo.height * 10 / 11, geo.cellWidth + geo.spare - clearance});
        const int gw = std::clamp(static_cast<int>(std::lround(natural.cols * scale * s.squeeze)),
                                  2, maxWidth);
        cv::Mat glyph = Resized(natural, cv::Size(gw, geo.height));
        if (s.cases.outline)
            glyph = Outline(glyph, std::max(1, geo.height / 16));
        const cv::Point at(cell.x + (geo.cellWidth - gw) / 2, cell.y);
        if (!s.spec.withoutCode)
            Stamp(s.paint, glyph, at);
        s.inkBoxes.emplace_back(at, glyph.size());
    }
}

void PaintCheckFrame(Scene& s) {
    const CodeLayout& geo = s.geo;
    const int stroke = std::max(2, geo.height / 9);
    if (!s.rng.Chance(0.65))
        return;
    // The check digit in a painted frame, kept clear of the neighbouring positions.
    const cv::Rect check = s.cells[10];
    const int t = std::max(1, stroke * s.rng.Int(5, 9) / 10);
    const cv::Rect checkCell(check.x, check.y, geo.cellWidth, geo.height);
    int room = 1000;
    for (const GridBox& g : s.grid) {
        if (g.kind == -1) {
            room = std::min(room, Separation(checkCell, g.rect));
        }
    }
    for (int i = 0; i < 10; ++i) {
        room = std::min(room, Separation(checkCell, s.inkBoxes[static_cast<std::size_t>(i)]));
    }
    const int pad = std::min(room - t - 1, std::max(2, geo.height / 7));
    if (pad >= 2) {
        const cv::Rect frameRect = Grow(cv::Rect(check.x, check.y, geo.cellWidth, geo.height), pad);
        cv::rectangle(s.paint, frameRect, cv::Scalar(255), t, cv::LINE_AA);
    }
}

}  // namespace karvona::synth::parts
