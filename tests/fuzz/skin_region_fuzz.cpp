// Any picture gives a shape that covers exactly its opaque pixels, once each, in y-x order.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ui/skin/skin_region.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const int width = 1 + data[0] % 64;
    const int stride = width + data[1] % 4;
    data += 2;
    size -= 2;
    // Each byte is one pixel: its low two bits pick one of four colours, the rest is alpha noise.
    const int height = static_cast<int>(size / static_cast<std::size_t>(stride));
    std::vector<std::uint32_t> px(size);
    for (std::size_t i = 0; i < size; ++i) {
        px[i] = (static_cast<std::uint32_t>(data[i] & 0xFC) << 24) | (0x102030u * (data[i] & 3));
    }
    const auto rects = tavu::skin::windowRegionRects(px.data(), width, height, stride);
    std::vector<int> cover(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const auto& r = rects[i];
        if (r.empty() || r.x < 0 || r.y < 0 || r.x + r.w > width || r.y + r.h > height) {
            std::abort();
        }
        if (i > 0) {
            const auto& q = rects[i - 1];
            if (!(q.y < r.y || (q.y == r.y && q.x + q.w < r.x))) {
                std::abort();
            }
        }
        for (int y = r.y; y < r.y + r.h; ++y) {
            for (int x = r.x; x < r.x + r.w; ++x) {
                ++cover[static_cast<std::size_t>(y * width + x)];
            }
        }
    }
    const std::uint32_t transparent = height > 0 ? px[0] & 0xFFFFFF : 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const bool opaque =
                (px[static_cast<std::size_t>(y * stride + x)] & 0xFFFFFF) != transparent;
            if (cover[static_cast<std::size_t>(y * width + x)] != (opaque ? 1 : 0)) {
                std::abort();
            }
        }
    }
    return 0;
}
