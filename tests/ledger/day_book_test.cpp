// The local days and hours the kept sums are counted in.

#include "ledger/day_book.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <vector>

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

// Near a change of offset the spans the cached offsets give are those of the zone's rules:
// every reading of a repeated hour, the skipped hour, across the change and up to it.
TEST(LocalDays, SpansNearAChangeOfOffsetAreThoseOfTheZoneRules) {
    for (const char* name :
         {"Europe/Helsinki", "Australia/Lord_Howe", "America/Sao_Paulo", "Asia/Beirut"}) {
        if (!LocalZone::known(name)) {
            continue;
        }
        SCOPED_TRACE(name);
        const LocalZone zone(name);
        const auto local = [](std::int64_t day, std::int64_t second) {
            const LogDate d = LogDate::fromDaysSinceEpoch(day);
            return LocalDateTime{static_cast<int>(d.year),
                                 static_cast<int>(d.month),
                                 static_cast<int>(d.day),
                                 static_cast<int>(second / 3600),
                                 static_cast<int>(second / 60 % 60),
                                 static_cast<int>(second % 60)};
        };
        const auto offsetAtNoon = [&](std::int64_t day) {
            const std::int64_t noon = day * 86400 + 43200;
            const LocalDateTime l = toLocal(TimePoint{std::chrono::seconds(noon)});
            return (LogDate{l.day, l.month, l.year}.daysSinceEpoch() - day) * 86400 +
                   l.hour * 3600 + l.minute * 60 + l.second - 43200;
        };
        int days = 0;
        for (const int year : {1921, 1942, 2018, 2019, 2026}) {
            for (std::int64_t day = LogDate{1, 1, year}.daysSinceEpoch();
                 day < LogDate{1, 1, year + 1}.daysSinceEpoch(); ++day) {
                if (offsetAtNoon(day) == offsetAtNoon(day + 1)) {
                    continue;
                }
                ++days;
                // The zone's rules asked for every span, then the same spans with the offsets
                // kept.
                struct Case {
                    std::int64_t from;
                    std::int64_t to;
                    std::optional<LocalSpan> span;
                };
                std::vector<Case> cases;
                for (std::int64_t from = day * 86400; from < (day + 3) * 86400; from += 599) {
                    for (const std::int64_t length : {0, 1, 1800, 3600, 5400, 86400}) {
                        const std::int64_t to = from + length;
                        cases.push_back({from, to,
                                         localSpan(local(from / 86400, from % 86400),
                                                   local(to / 86400, to % 86400))});
                    }
                }
                const LocalOffsetCache offsets;
                for (const Case& c : cases) {
                    const auto cached =
                        localSpanOfDays(c.from / 86400, c.from % 86400, c.to / 86400, c.to % 86400);
                    ASSERT_EQ(cached.has_value(), c.span.has_value()) << c.from << " " << c.to;
                    if (cached) {
                        ASSERT_EQ(cached->start, c.span->start) << c.from << " " << c.to;
                        ASSERT_EQ(cached->seconds, c.span->seconds) << c.from << " " << c.to;
                    }
                }
            }
        }
        EXPECT_GT(days, 0);
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
