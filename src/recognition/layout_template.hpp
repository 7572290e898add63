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

/// Builds the template of layout (0..6) anchored at the seed's top-left corner with character
/// size s (seed width for vertical layouts, seed height for horizontal ones), horizontal gap b and
/// vertical gap c. An unknown layout gives a template of 0 boxes.
void MakeLayoutTemplate(int layout, int x0, int y0, int s, int b, int c, LayoutTemplate& out);

}  // namespace karvona::recognition
