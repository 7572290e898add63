#include "app/dialog_units.hpp"

#include <QFontMetrics>

namespace karvona::app {

DialogUnits DialogUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int alphabet =
        metrics.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    DialogUnits units;
    units.baseX = (alphabet / 26 + 1) / 2;
    units.baseY = metrics.height();
    if (units.baseX <= 0)
        units.baseX = 1;
    if (units.baseY <= 0)
        units.baseY = 1;
    return units;
}

}  // namespace karvona::app
