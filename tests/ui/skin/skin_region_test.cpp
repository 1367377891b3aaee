#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ui/skin/skin_region.h"

namespace tavu::skin {
namespace {

constexpr std::uint32_t M = 0xFFFF00FF;  // magenta
constexpr std::uint32_t K = 0xFF000000;  // black
constexpr std::uint32_t W = 0xFFFFFFFF;  // white

std::vector<Rect> regionOf(const std::vector<std::uint32_t>& px, int width) {
    return windowRegionRects(px.data(), width, static_cast<int>(px.size()) / width, width);
}

TEST(SkinRegion, EveryPixelOfTheCornerColourIsAHole) {
    const std::vector<std::uint32_t> px = {
        M, K, K, M, W,  //
        M, M, M, M, M,  //
        K, M, W, W, M,  //
    };
    EXPECT_EQ(regionOf(px, 5),
              (std::vector<Rect>{{1, 0, 2, 1}, {4, 0, 1, 1}, {0, 2, 1, 1}, {2, 2, 2, 1}}));
}

TEST(SkinRegion, RunsReachingTheRightEdgeEndAtTheWidth) {
    const std::vector<std::uint32_t> px = {M, M, K, K, K, K};
    EXPECT_EQ(regionOf(px, 6), (std::vector<Rect>{{2, 0, 4, 1}}));
}

TEST(SkinRegion, NoOpaquePixelGivesNoRegion) {
    EXPECT_TRUE(regionOf(std::vector<std::uint32_t>(12, K), 4).empty());
    EXPECT_TRUE(windowRegionRects(nullptr, 4, 4, 4).empty());
    const std::uint32_t one = K;
    EXPECT_TRUE(windowRegionRects(&one, 0, 1, 1).empty());
}

TEST(SkinRegion, AlphaDoesNotCountAndStrideSkipsPadding) {
    // Rows of 3 pixels, 5 apart; the padding is opaque and must not show.
    const std::vector<std::uint32_t> px = {
        0x00FF00FF, 0x80FF00FF, K, W, W,  //
        K,          0x00FF00FF, M, W, W,  //
    };
    EXPECT_EQ(windowRegionRects(px.data(), 3, 2, 5),
              (std::vector<Rect>{{2, 0, 1, 1}, {0, 1, 1, 1}}));
}

TEST(SkinRegion, EqualRowsJoinIntoOneBand) {
    const std::vector<std::uint32_t> px = {
        M, K, M, K,  //
        M, K, M, K,  //
        M, K, M, K,  //
        M, K, K, K,  //
        M, M, M, M,  //
        M, K, K, K,  //
    };
    EXPECT_EQ(regionOf(px, 4),
              (std::vector<Rect>{{1, 0, 1, 3}, {3, 0, 1, 3}, {1, 3, 3, 1}, {1, 5, 3, 1}}));
}

// Random pictures: the rectangles cover exactly the opaque pixels, once each, in y-x order.
TEST(SkinRegion, CoversExactlyTheOpaquePixels) {
    std::mt19937 rng(7);
    for (int round = 0; round < 200; ++round) {
        const int w = 1 + static_cast<int>(rng() % 17);
        const int h = 1 + static_cast<int>(rng() % 9);
        std::vector<std::uint32_t> px(static_cast<std::size_t>(w * h));
        for (auto& p : px) {
            p = rng() % 3 == 0 ? M : (rng() % 2 ? K : W);
        }
        px[0] = rng() % 4 == 0 ? K : M;
        const auto rects = regionOf(px, w);
        std::vector<int> cover(px.size(), 0);
        for (std::size_t i = 0; i < rects.size(); ++i) {
            const Rect& r = rects[i];
            ASSERT_FALSE(r.empty());
            if (i > 0) {
                const Rect& q = rects[i - 1];
                EXPECT_TRUE(q.y < r.y || (q.y == r.y && q.x + q.w < r.x));
            }
            for (int y = r.y; y < r.y + r.h; ++y) {
                for (int x = r.x; x < r.x + r.w; ++x) {
                    ++cover[static_cast<std::size_t>(y * w + x)];
                }
            }
        }
        for (std::size_t i = 0; i < px.size(); ++i) {
            EXPECT_EQ(cover[i], (px[i] & 0xFFFFFF) == (px[0] & 0xFFFFFF) ? 0 : 1)
                << "round " << round << " pixel " << i;
        }
    }
}

}  // namespace
}  // namespace tavu::skin
