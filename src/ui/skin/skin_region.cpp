#include "ui/skin/skin_region.h"

namespace tavu::skin {

std::vector<Rect> windowRegionRects(const std::uint32_t* pixels, int width, int height,
                                    std::ptrdiff_t stride) {
    std::vector<Rect> out;
    if (pixels == nullptr || width <= 0 || height <= 0) {
        return out;
    }
    constexpr std::uint32_t kRgb = 0x00FFFFFF;
    const std::uint32_t transparent = pixels[0] & kRgb;
    std::size_t bandStart = 0;  // first rectangle of the band above
    std::size_t bandSize = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = pixels + static_cast<std::ptrdiff_t>(y) * stride;
        const std::size_t rowStart = out.size();
        int x = 0;
        while (x < width) {
            while (x < width && (row[x] & kRgb) == transparent) {
                ++x;
            }
            if (x == width) {
                break;
            }
            const int start = x;
            while (x < width && (row[x] & kRgb) != transparent) {
                ++x;
            }
            out.push_back(Rect{start, y, x - start, 1});
        }
        const std::size_t rowSize = out.size() - rowStart;
        // The same runs as the band just above, which ends on the row before: grow that band.
        bool same = rowSize == bandSize && rowSize > 0 && out[bandStart].y + out[bandStart].h == y;
        for (std::size_t i = 0; same && i < rowSize; ++i) {
            same = out[bandStart + i].x == out[rowStart + i].x &&
                   out[bandStart + i].w == out[rowStart + i].w;
        }
        if (same) {
            for (std::size_t i = 0; i < bandSize; ++i) {
                ++out[bandStart + i].h;
            }
            out.resize(rowStart);
        } else if (rowSize > 0) {
            bandStart = rowStart;
            bandSize = rowSize;
        }
    }
    return out;
}

}  // namespace tavu::skin
