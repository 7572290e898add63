#pragma once
// Dialog units: a quarter of the dialog font's average character width across, an eighth of its
// height down. The main dialog's layout is given in these units.

#include <QFont>
#include <QRect>

namespace karvona::app {

struct DialogUnits {
    int baseX = 8;   ///< average character width in pixels
    int baseY = 16;  ///< character height in pixels

    int X(int units) const { return (units * baseX + 2) / 4; }
    int Y(int units) const { return (units * baseY + 4) / 8; }
    QRect Map(int x, int y, int width, int height) const {
        return QRect(X(x), Y(y), X(width), Y(height));
    }
};

/// The units of a dialog set in `font`: the average width of the 52 letters (rounded as the
/// window system always has) and the font's height.
DialogUnits DialogUnitsOf(const QFont& font);

}  // namespace karvona::app
