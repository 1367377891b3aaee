#pragma once

#include <utility>
#include <vector>

#include "ui/skin/skin_file.h"

namespace tavu::skin {

// The geometry of one level of the skin's built-in menu. Items are stacked vertically: item i
// occupies (1, 1 + i*H) to (1 + W, 1 + (i+1)*H) in a window of (W + 2) x (count*H + 2), where
// W is the widest item text plus half of it and H the tallest plus half of it.
struct MenuLevelGeometry {
    int itemWidth = 0;   // W
    int itemHeight = 0;  // H
    int count = 0;

    Rect item(int i) const { return Rect{1, 1 + i * itemHeight, itemWidth, itemHeight}; }
    int windowWidth() const { return itemWidth + 2; }
    int windowHeight() const { return count * itemHeight + 2; }
    // The item whose rectangle holds the point (window coordinates), -1 for none.
    int itemAt(int x, int y) const;
    // Where item i's child level goes, for a level placed at (x, y).
    std::pair<int, int> childOrigin(int x, int y, int i) const {
        return {x + itemWidth + 1, y + i * itemHeight};
    }
};

// The geometry from the sizes (width, height) of the item texts. Sizes are held to
// kCoordinateLimit.
MenuLevelGeometry layoutMenuLevel(const std::vector<std::pair<int, int>>& textSizes);

}  // namespace tavu::skin
