#include "core/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tavu {
namespace {

TEST(TestNow, ReadsALocalDateAndTime) {
    const auto t = parseTestNow("2028-02-29T23:59:58");
    ASSERT_TRUE(t.has_value());
    const LocalDateTime l = toLocal(*t);
    EXPECT_EQ(l.year, 2028);
    EXPECT_EQ(l.month, 2);
    EXPECT_EQ(l.day, 29);
    EXPECT_EQ(l.hour, 23);
    EXPECT_EQ(l.minute, 59);
    EXPECT_EQ(l.second, 58);
}

TEST(TestNow, AnythingElseIsIgnored) {
    for (const char* bad : {"", "2026-12-07", "2026-12-07 12:00:00", "2026-12-07T12:00:0x",
                            "2027-02-29T12:00:00", "2026-13-01T00:00:00", "2026-12-07T24:00:00",
                            "2026-12-07T12:00:00Z", "1969-12-31T23:59:59"}) {
        EXPECT_FALSE(parseTestNow(bad).has_value()) << bad;
    }
    EXPECT_FALSE(parseTestNow(nullptr).has_value());
}

// The program's clock starts at the moment the variable names and runs on from there.
TEST(TestNow, SystemClockStartsThere) {
    setenv("TAVU_TEST_NOW", "2031-07-04T08:30:00", 1);
    const SystemClock shifted;
    unsetenv("TAVU_TEST_NOW");
    const auto start = *parseTestNow("2031-07-04T08:30:00");
    EXPECT_GE(shifted.now(), start);
    EXPECT_LT(shifted.now(), start + std::chrono::minutes(1));
    const SystemClock plain;
    EXPECT_LT(plain.now(), start);
}

}  // namespace
}  // namespace tavu
