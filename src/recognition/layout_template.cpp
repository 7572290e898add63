#include "recognition/layout_template.hpp"

#include <algorithm>

namespace karvona::recognition {

namespace {

// Ratio of box height to box width for characters that run top to bottom, at single precision.
constexpr double kVerticalAspect = static_cast<double>(1.7f);

struct Shape {
    int rows;
    int cols;
    int anchorRow;
    int anchorCol;
};

constexpr Shape kShapes[kLayoutCount] = {
    {3, 11, 1, 1}, {3, 13, 1, 1}, {11, 3, 5, 1}, {3, 8, 1, 1},
    {7, 3, 1, 1},  {3, 8, 1, 1},  {3, 16, 1, 2},
};

int KindOf(int layout, int row, int col) {
    switch (layout) {
        case 0:
            return row == 0 ? kBlankBox : row == 1 ? kCharacterBox : kIgnoredBox;
        case 1:
            if (col == 4 || col == 11)
                return kBlankBox;
            return row == 0 ? kBlankBox : row == 1 ? kCharacterBox : kIgnoredBox;
        case 2:
            return col == 1 ? kCharacterBox : kBlankBox;
        case 3:
            if (row == 0)
                return col <= 3 ? kCharacterBox : kBlankBox;
            return row == 1 ? kCharacterBox : kIgnoredBox;
        case 4:
            if (col == 0)
                return row <= 3 ? kCharacterBox : kBlankBox;
            return col == 1 ? kCharacterBox : kIgnoredBox;
        case 5:
            if (row == 1)
                return col <= 2 ? kCharacterBox : kBlankBox;
            return col <= 3 ? kCharacterBox : kBlankBox;
        case 6:
            if (row == 2 && col >= 8 && col <= 11)
                return kIgnoredBox;
            if (col == 1 || col == 3 || col == 5 || col == 7 || col == 14)
                return kBlankBox;
            return row == 1 ? kCharacterBox : kBlankBox;
        default:
            return kIgnoredBox;
    }
}

}  // namespace

const std::array<int, kMaxTemplateBoxes>& KindsOf(int layout) {
    static const auto kinds = [] {
        std::array<std::array<int, kMaxTemplateBoxes>, kLayoutCount + 1> table{};
        for (int layout = 0; layout < kLayoutCount; ++layout) {
            const Shape& shape = kShapes[layout];
            int n = 0;
            for (int i = 0; i < shape.rows; ++i) {
                for (int j = 0; j < shape.cols; ++j, ++n)
                    table[layout][n] = KindOf(layout, i, j);
            }
        }
        return table;  // the last row stays all ignored
    }();
    return kinds[layout >= 0 && layout < kLayoutCount ? layout : kLayoutCount];
}

LayoutGeometry GeometryOf(int layout, int s, int b, int c) {
    LayoutGeometry g;
    if (layout < 0 || layout >= kLayoutCount)
        return g;
    if (IsVerticalLayout(layout)) {
        g.width = std::max(s, 15);
        g.height = static_cast<int>(g.width * kVerticalAspect);
    } else {
        g.height = s;
        g.width = static_cast<int>(s * 0.5);
    }
    const Shape& shape = kShapes[layout];
    g.rows = shape.rows;
    g.cols = shape.cols;
    g.anchorRow = shape.anchorRow;
    g.anchorCol = shape.anchorCol;
    g.across = layout == 4 ? g.width + 5 * b : g.width + b;
    g.down = g.height + c;
    // The three-line layout spaces its lines and characters by one and a half gaps; each
    // coordinate is computed in floating point and truncated toward zero.
    g.spaced = layout == 5;
    g.spacedAcross = g.width + 1.5 * b;
    g.spacedDown = g.height + 1.5 * c;
    return g;
}

void MakeLayoutTemplate(int layout, int x0, int y0, int s, int b, int c, LayoutTemplate& out) {
    out.count = 0;
    if (layout < 0 || layout >= kLayoutCount)
        return;
    const LayoutGeometry g = GeometryOf(layout, s, b, c);
    const auto& kinds = KindsOf(layout);
    int n = 0;
    for (int i = 0; i < g.rows; ++i) {
        const int y = g.Y(y0, i);
        for (int j = 0; j < g.cols; ++j, ++n) {
            out.boxes[n] = cv::Rect(g.X(x0, j), y, g.width, g.height);
            out.kinds[n] = kinds[n];
        }
    }
    out.count = n;
}

}  // namespace karvona::recognition
