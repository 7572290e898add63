#pragma once
// Layout templates: the grid of boxes where the eleven code characters would lie if a seed blob
// were the character at the layout's anchor cell, with the neighbouring positions that must stay
// empty. Pure functions; no allocation.

#include <array>
#include <opencv2/core.hpp>

namespace karvona::recognition {

inline constexpr int kLayoutCount = 7;
inline constexpr int kMaxTemplateBoxes = 48;

/// Kind of a template box.
inline constexpr int kCharacterBox = 1;
inline constexpr int kBlankBox = -1;
inline constexpr int kIgnoredBox = 0;

using TemplateBoxes = std::array<cv::Rect, kMaxTemplateBoxes>;

struct LayoutTemplate {
    TemplateBoxes boxes{};
    std::array<int, kMaxTemplateBoxes> kinds{};
    int count = 0;  ///< rows x columns; boxes are stored row by row
};

/// Layouts 2 and 4 run top to bottom; the others left to right.
inline bool IsVerticalLayout(int layout) {
    return layout == 2 || layout == 4;
}

/// Where the boxes of a layout stand for one character size and pair of gaps: box (i, j) of the
/// grid (row i, column j) has its top-left corner at the seed's corner moved by (j - anchorCol)
/// columns and (i - anchorRow) rows.
struct LayoutGeometry {
    int rows = 0, cols = 0;
    int anchorRow = 0, anchorCol = 0;
    int width = 0, height = 0;  ///< every box's size
    int across = 0, down = 0;   ///< column and row pitch in whole pixels
    bool spaced = false;        ///< layout 5: pitches of one and a half gaps, in floating point
    double spacedAcross = 0, spacedDown = 0;

    /// Top-left corner of box (i, j) for a seed at (x0, y0).
    int X(int x0, int j) const {
        return spaced ? static_cast<int>(x0 + spacedAcross * (j - anchorCol))
                      : x0 + across * (j - anchorCol);
    }
    int Y(int y0, int i) const {
        return spaced ? static_cast<int>(y0 + spacedDown * (i - anchorRow))
                      : y0 + down * (i - anchorRow);
    }
};

/// The geometry of layout (0..6) for character size s and gaps b and c (rows 0 for others).
LayoutGeometry GeometryOf(int layout, int s, int b, int c);
/// The kinds of a layout's boxes, row by row (ignored boxes for an unknown layout).
const std::array<int, kMaxTemplateBoxes>& KindsOf(int layout);

/// Builds the template of layout (0..6) anchored at the seed's top-left corner with character
/// size s (seed width for vertical layouts, seed height for horizontal ones), horizontal gap b and
/// vertical gap c. An unknown layout gives a template of 0 boxes.
void MakeLayoutTemplate(int layout, int x0, int y0, int s, int b, int c, LayoutTemplate& out);

}  // namespace karvona::recognition
