// The local days and hours the kept sums are counted in.

#include "ledger/day_book.h"

#include <gtest/gtest.h>

#include <chrono>

#include "core/clock.h"
#include "log/log_date.h"
#include "support/local_zone.h"

namespace tavu {
namespace {

using test::LocalZone;

// Midnights taken from the offsets the cache keeps are those mktime gives, in zones whose
// clocks turn at midnight (the midnight skipped or repeated), by half an hour, or by odd
// seconds in their early years.
TEST(LocalDays, MidnightsFromTheOffsetCacheAreThoseOfMktime) {
    for (const char* name :
         {"America/Sao_Paulo", "Asia/Beirut", "Australia/Lord_Howe", "Europe/Helsinki"}) {
        if (!LocalZone::known(name)) {
            continue;
        }
        SCOPED_TRACE(name);
        const LocalZone zone(name);
        const LocalOffsetCache offsets;
        LocalDays days;
        // 1900 to 2200, the cache's dates, and a little beyond.
        for (std::int64_t d = LogDate{1, 1, 1899}.daysSinceEpoch();
             d <= LogDate{1, 1, 2201}.daysSinceEpoch(); ++d) {
            const LogDate date = LogDate::fromDaysSinceEpoch(d);
            const std::int64_t expected =
                std::chrono::duration_cast<std::chrono::seconds>(
                    fromLocal(static_cast<int>(date.year), static_cast<int>(date.month),
                              static_cast<int>(date.day))
                        .time_since_epoch())
                    .count();
            ASSERT_EQ(days.start(d), expected) << date.day << "-" << date.month << "-" << date.year;
        }
    }
}

// A moment's day is the one whose midnights enclose it, whatever the day's length.
TEST(LocalDays, AMomentBelongsToTheDayThatHoldsIt) {
    const LocalZone zone("Australia/Lord_Howe");
    LocalDays days;
    for (std::int64_t d :
         {LogDate{5, 4, 2026}.daysSinceEpoch(), LogDate{4, 10, 2026}.daysSinceEpoch(),
          LogDate{15, 7, 2300}.daysSinceEpoch(), LogDate{1, 1, 1}.daysSinceEpoch()}) {
        EXPECT_EQ(days.dayOf(days.start(d)), d);
        EXPECT_EQ(days.dayOf(days.start(d) - 1), d - 1);
        EXPECT_EQ(days.dayOf(days.start(d + 1) - 1), d);
    }
    EXPECT_EQ(days.hoursIn(LogDate{5, 4, 2026}.daysSinceEpoch()), 25);   // 24.5 hours
    EXPECT_EQ(days.hoursIn(LogDate{4, 10, 2026}.daysSinceEpoch()), 24);  // 23.5 hours
}

}  // namespace
}  // namespace tavu
