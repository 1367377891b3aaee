#include "ui/skin/skin_menu_layout.h"

#include <algorithm>

namespace tavu::skin {

int MenuLevelGeometry::itemAt(int x, int y) const {
    for (int i = 0; i < count; ++i) {
        if (item(i).contains(x, y)) {
            return i;
        }
    }
    return -1;
}

MenuLevelGeometry layoutMenuLevel(const std::vector<std::pair<int, int>>& textSizes) {
    int widest = 0;
    int tallest = 0;
    for (const auto& [w, h] : textSizes) {
        widest = std::max(widest, std::clamp(w, 0, kCoordinateLimit));
        tallest = std::max(tallest, std::clamp(h, 0, kCoordinateLimit));
    }
    MenuLevelGeometry g;
    g.itemWidth = widest + widest / 2;
    g.itemHeight = tallest + tallest / 2;
    g.count = static_cast<int>(std::min<std::size_t>(textSizes.size(), 1000));
    return g;
}

}  // namespace tavu::skin
