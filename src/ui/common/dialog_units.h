#pragma once

#include <QRect>

namespace tavu {

// Dialog units to pixels, one rule for every window of the program: the dialog font's average
// character is taken as 6 x 13 pixels, so a horizontal unit is 6/4 = 1.5 pixels and a vertical
// unit 13/8 = 1.625 pixels, rounded to the nearest pixel.
inline constexpr int dluX(int units) {
    return (units * 6 + (units >= 0 ? 2 : -2)) / 4;
}
inline constexpr int dluY(int units) {
    return (units * 13 + (units >= 0 ? 4 : -4)) / 8;
}
inline QRect dluRect(int x, int y, int w, int h) {
    return QRect(dluX(x), dluY(y), dluX(x + w) - dluX(x), dluY(y + h) - dluY(y));
}

}  // namespace tavu
