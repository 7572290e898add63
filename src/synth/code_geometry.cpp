// The code of a synthetic photograph and where its characters go: the owner code and serial
// with their check digit, the grid of positions the locator tests, and the sizes and gaps of
// the painted characters, drawn from the ranges the locator searches.

#include <algorithm>
#include <cmath>

#include "synth/render_parts.hpp"

namespace karvona::synth::parts {

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

namespace {

// The rows and columns of a layout's grid, and the position of its seed character in it.
struct GridShape {
    int rows = 3;
    int cols = 11;
    int ai = 1;  // the seed's row
    int aj = 1;  // the seed's column
};

GridShape ShapeOf(int layout) {
    GridShape shape;
    switch (layout) {
        case 1:
            shape.cols = 13;
            break;
        case 2:
            shape.rows = 11;
            shape.cols = 3;
            shape.ai = 5;
            break;
        case 3:
            shape.cols = 8;
            break;
        case 4:
            shape.rows = 7;
            shape.cols = 3;
            break;
        case 5:
            shape.cols = 8;
            break;
        case 6:
            shape.cols = 16;
            shape.aj = 2;
            break;
        default:
            break;
    }
    return shape;
}

// What the grid of a layout holds at row i, column j: 1 a character, -1 a blank, 0 ignored.
int BoxKind(int layout, int i, int j) {
    int k = 1;
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
    return k;
}

}  // namespace

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
    const GridShape shape = ShapeOf(layout);
    const int ai = shape.ai;
    const int aj = shape.aj;
    std::vector<GridBox> grid;
    for (int i = 0; i < shape.rows; ++i) {
        for (int j = 0; j < shape.cols; ++j) {
            GridBox box{cv::Rect(0, 0, w, h), BoxKind(layout, i, j), i, j};
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

namespace {

int EvenGap(double g) {
    return std::clamp(2 * static_cast<int>(std::lround(g / 2.0)), 4, 24);
}
int LineGap(double g) {
    return std::clamp(3 * static_cast<int>(std::lround(g / 3.0)), 3, 18);
}

/// A code written down (layouts 2 and 4): the cell width first, which sizes the rest.
CodeLayout PickVerticalGeometry(Random& rng, int layout, cv::Size frame) {
    CodeLayout g;
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

}  // namespace

CodeLayout PickGeometry(Random& rng, int layout, cv::Size frame, int minHeight, int maxHeight) {
    if (IsVertical(layout))
        return PickVerticalGeometry(rng, layout, frame);
    CodeLayout g;
    static const int kMaxHeight[kLayoutCount] = {70, 62, 0, 80, 0, 80, 52};
    int hi = kMaxHeight[layout];
    if (maxHeight > 0)
        hi = std::min(hi, maxHeight);
    // Long lines shrink to fit narrow frames.
    const int positions = layout == 0 ? 11 : layout == 1 ? 13 : layout == 6 ? 16 : 8;
    while (hi > minHeight && positions * (hi / 2 + std::min(24, hi / 5 + 8)) > frame.width * 0.9) {
        --hi;
    }
    // Small characters are the common case on gate cameras; big ones are close-ups.
    const double t = rng.Unit();
    g.height = minHeight + static_cast<int>((hi - minHeight) * t * (0.4 + 0.6 * t));
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

}  // namespace karvona::synth::parts
