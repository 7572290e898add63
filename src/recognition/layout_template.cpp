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

void MakeLayoutTemplate(int layout, int x0, int y0, int s, int b, int c, LayoutTemplate& out) {
    out.count = 0;
    if (layout < 0 || layout >= kLayoutCount)
        return;

    int w = 0;
    int h = 0;
    if (IsVerticalLayout(layout)) {
        w = std::max(s, 15);
        h = static_cast<int>(w * kVerticalAspect);
    } else {
        h = s;
        w = static_cast<int>(s * 0.5);
    }
    const Shape& shape = kShapes[layout];
    const int across = layout == 4 ? w + 5 * b : w + b;
    const int down = h + c;

    int n = 0;
    for (int i = 0; i < shape.rows; ++i) {
        for (int j = 0; j < shape.cols; ++j, ++n) {
            int x = 0;
            int y = 0;
            if (layout == 5) {
                // The three-line layout spaces its lines and characters by one and a half gaps;
                // each coordinate is computed in floating point and truncated toward zero.
                x = static_cast<int>(x0 + (w + 1.5 * b) * (j - shape.anchorCol));
                y = static_cast<int>(y0 + (h + 1.5 * c) * (i - shape.anchorRow));
            } else {
                x = x0 + across * (j - shape.anchorCol);
                y = y0 + down * (i - shape.anchorRow);
            }
            out.boxes[n] = cv::Rect(x, y, w, h);
            out.kinds[n] = KindOf(layout, i, j);
        }
    }
    out.count = n;
}

}  // namespace karvona::recognition
