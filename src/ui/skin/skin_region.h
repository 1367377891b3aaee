#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ui/skin/skin_file.h"

namespace tavu::skin {

// The window's shape from the pixels of the up picture, given as rows of 0xAARRGGBB values
// (alpha ignored), `stride` values apart. The colour of pixel (0,0) is transparent; in every row
// each run of other colours becomes a rectangle one pixel high, a run reaching the right edge
// ending at the width. Rows with the same runs are joined into one taller band, so the result
// is sorted by y then x, with no two rectangles overlapping or touching side by side. A picture
// without an opaque pixel gives no rectangle at all: the window keeps its full rectangle.
std::vector<Rect> windowRegionRects(const std::uint32_t* pixels, int width, int height,
                                    std::ptrdiff_t stride);

}  // namespace tavu::skin
