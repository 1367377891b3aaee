#include <gtest/gtest.h>

#include "ui/common/screen_fit.h"

namespace tavu {
namespace {

TEST(ScreenFit, KeepsWhatFitsAndMovesTheRestOntoTheScreenItOverlapsMost) {
    // A 1920 x 1080 screen beside a 1280 x 1024 one on its right, both with a 40-pixel panel.
    const QList<QRect> areas = {QRect(0, 0, 1920, 1040), QRect(1920, 0, 1280, 984)};
    const QRect onSecond(2000, 100, 390, 292);
    EXPECT_EQ(fitOnScreens(onSecond, areas), onSecond);

    // Across both: it goes whole onto the one that holds more of it.
    EXPECT_EQ(fitOnScreens(QRect(1800, 100, 390, 292), areas), QRect(1920, 100, 390, 292));
    EXPECT_EQ(fitOnScreens(QRect(1700, 100, 390, 292), areas), QRect(1530, 100, 390, 292));
    // Under the second screen's panel.
    EXPECT_EQ(fitOnScreens(QRect(2000, 900, 390, 292), areas), QRect(2000, 692, 390, 292));
    // Stored at twice the scale, far beyond everything: onto the first screen, at its nearest
    // edge.
    EXPECT_EQ(fitOnScreens(QRect(7000, 5000, 390, 292), areas.mid(0, 1)),
              QRect(1530, 748, 390, 292));
    // Lying on no screen goes to the first (the primary) one.
    EXPECT_EQ(fitOnScreens(QRect(-900, -700, 390, 292), areas), QRect(0, 0, 390, 292));
    // Larger than the screen: its top-left corner is kept on it, its size unchanged.
    EXPECT_EQ(fitOnScreens(QRect(-50, -50, 2000, 1200), areas), QRect(0, 0, 2000, 1200));
    EXPECT_EQ(fitOnScreens(QRect(5, 5, 10, 10), {}), QRect(5, 5, 10, 10));
}

}  // namespace
}  // namespace tavu
