#include "core/clock.h"

#include <cstdlib>
#include <ctime>
#include <limits>
#include <string_view>
#include <vector>

namespace tavu {

std::optional<TimePoint> parseTestNow(const char* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    // YYYY-MM-DDTHH:MM:SS: nineteen characters, digits but for the separators.
    const std::string_view s(text);
    constexpr std::string_view kForm = "dddd-dd-ddTdd:dd:dd";
    if (s.size() != kForm.size()) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < s.size(); ++i) {
        const bool digit = s[i] >= '0' && s[i] <= '9';
        if (kForm[i] == 'd' ? !digit : s[i] != kForm[i]) {
            return std::nullopt;
        }
    }
    const auto number = [&](std::size_t at, std::size_t n) {
        int v = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            v = v * 10 + (s[i] - '0');
        }
        return v;
    };
    const int year = number(0, 4);
    const int month = number(5, 2);
    const int day = number(8, 2);
    const int hour = number(11, 2);
    const int minute = number(14, 2);
    const int second = number(17, 2);
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 ||
        second > 59) {
        return std::nullopt;
    }
    const TimePoint t = fromLocal(year, month, day, hour, minute, second);
    const LocalDateTime back = toLocal(t);
    if (back.year != year || back.month != month || back.day != day) {
        return std::nullopt;  // 31 April and the like
    }
    return t;
}

SystemClock::SystemClock() {
    if (const auto start = parseTestNow(std::getenv("TAVU_TEST_NOW"))) {
        shift_ = *start - std::chrono::system_clock::now();
    }
}

LocalDateTime toLocal(TimePoint t) {
    const std::time_t secs = std::chrono::system_clock::to_time_t(t);
    std::tm tm{};
    localtime_r(&secs, &tm);
    return LocalDateTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                         tm.tm_min,         tm.tm_sec,     tm.tm_wday};
}

TimePoint fromLocal(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

namespace {

// The local time zone's offset from UTC at a moment, in seconds.
std::int64_t utcOffsetAt(std::int64_t moment) {
    const auto secs = static_cast<std::time_t>(moment);
    std::tm tm{};
    if (localtime_r(&secs, &tm) == nullptr) {
        return 0;
    }
    return tm.tm_gmtoff;
}

// The moments at which the local clock reads the given date and time: one as a rule, two in the
// repeated hour, and in the skipped hour the reading with the offset in force before the change.
std::vector<std::int64_t> momentsOf(const LocalDateTime& t) {
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    const std::int64_t wall = timegm(&tm);  // the reading as if it were UTC
    // Offsets stay within a day and change at most once around one day, so the offsets a day
    // before and after are the only ones this reading can have.
    const std::int64_t before = utcOffsetAt(wall - 86400);
    const std::int64_t after = utcOffsetAt(wall + 86400);
    if (before == after) {
        return {wall - before};
    }
    std::vector<std::int64_t> out;
    for (const std::int64_t offset : {before, after}) {
        const std::int64_t moment = wall - offset;
        if (utcOffsetAt(moment) == offset && (out.empty() || out.front() != moment)) {
            out.push_back(moment);
        }
    }
    if (out.empty()) {
        out.push_back(wall - before);
    }
    return out;
}

// Days since 1970-01-01 of a civil date (proleptic Gregorian); a day past the month's end runs
// on into the next month, as timegm reads it.
std::int64_t daysFromCivil(std::int64_t year, std::int64_t month, std::int64_t day) {
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

// The dates the cache keeps: 1900 to 2200, with two days to spare either side.
constexpr std::int64_t kFirstDay = -25567 - 2;
constexpr std::int64_t kDayCount = 84006 + 2 - kFirstDay;
constexpr std::int32_t kUnknown = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kNearChange = kUnknown + 1;
static_assert(kUnknown == INT32_MIN && kNearChange == INT32_MIN + 1);
static_assert(kFirstDay == -25567 - 2);

thread_local LocalOffsetCache* tCache = nullptr;

std::optional<std::int64_t> cachedMoment(LocalOffsetCache& cache, const LocalDateTime& t) {
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour < 0 || t.hour > 23 ||
        t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 59) {
        return std::nullopt;
    }
    return cache.moment(daysFromCivil(t.year, t.month, t.day),
                        t.hour * 3600 + t.minute * 60 + t.second);
}

}  // namespace

LocalOffsetCache::LocalOffsetCache()
    : outer_(tCache),
      midnights_(static_cast<std::size_t>(kDayCount), kUnknown),
      dates_(static_cast<std::size_t>(kDayCount), kUnknown) {
    tCache = this;
}

LocalOffsetCache::~LocalOffsetCache() {
    tCache = outer_;
}

std::int32_t LocalOffsetCache::midnightOffset(std::int64_t days) {
    std::int32_t& o = midnights_[static_cast<std::size_t>(days - kFirstDay)];
    if (o == kUnknown) {
        o = static_cast<std::int32_t>(utcOffsetAt(days * 86400));
    }
    return o;
}

std::optional<std::int64_t> LocalOffsetCache::slowMoment(std::int64_t days,
                                                         std::int64_t secondOfDay) {
    if (secondOfDay < 0 || secondOfDay >= 86400 || days - 1 < kFirstDay ||
        days + 2 >= kFirstDay + kDayCount) {
        return std::nullopt;
    }
    std::int32_t& offset = dates_[static_cast<std::size_t>(days - kFirstDay)];
    if (offset == kUnknown) {
        // Every reading of this date's times looks at the offsets from the midnight (UTC) before
        // it to the one two days after it (see momentsOf). The same offset at the four midnights
        // means no change in between: offsets change at most once a day.
        const std::int32_t o = midnightOffset(days - 1);
        const bool steady = midnightOffset(days) == o && midnightOffset(days + 1) == o &&
                            midnightOffset(days + 2) == o;
        offset = steady ? o : kNearChange;
    }
    if (offset == kNearChange) {
        return std::nullopt;
    }
    return days * 86400 + secondOfDay - offset;
}

std::int32_t LocalOffsetCache::offsetAt(std::int64_t moment) {
    const std::int64_t day = moment >= 0 ? moment / 86400 : -((-moment + 86399) / 86400);
    const std::int32_t before = midnightOffset(day);
    const std::int32_t after = midnightOffset(day + 1);
    if (before == after) {
        return before;
    }
    auto [it, added] = changes_.try_emplace(day, 0);
    if (added) {
        // The first moment of the day with the new offset.
        std::int64_t lo = day * 86400;
        std::int64_t hi = lo + 86400;
        while (hi - lo > 1) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            (utcOffsetAt(mid) == before ? lo : hi) = mid;
        }
        it->second = hi;
    }
    return moment < it->second ? before : after;
}

int LocalOffsetCache::readings(std::int64_t days, std::int64_t secondOfDay,
                               std::int64_t (&out)[2]) {
    if (secondOfDay < 0 || secondOfDay >= 86400 || days - 2 < kFirstDay ||
        days + 3 >= kFirstDay + kDayCount) {
        return 0;
    }
    // As momentsOf, with the offsets kept.
    const std::int64_t wall = days * 86400 + secondOfDay;
    const std::int64_t before = offsetAt(wall - 86400);
    const std::int64_t after = offsetAt(wall + 86400);
    if (before == after) {
        out[0] = wall - before;
        return 1;
    }
    int n = 0;
    for (const std::int64_t offset : {before, after}) {
        const std::int64_t moment = wall - offset;
        if (offsetAt(moment) == offset && (n == 0 || out[0] != moment)) {
            out[n++] = moment;
        }
    }
    if (n == 0) {
        out[n++] = wall - before;
    }
    return n;
}

namespace {

// The civil date of a day since 1970-01-01 (proleptic Gregorian).
void civilFromDays(std::int64_t days, std::int64_t& year, std::int64_t& month, std::int64_t& day) {
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    month = mp < 10 ? mp + 3 : mp - 9;
    day = doy - (153 * mp + 2) / 5 + 1;
    year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

LocalDateTime localDateTimeOf(std::int64_t days, std::int64_t second) {
    std::int64_t y = 0;
    std::int64_t m = 0;
    std::int64_t d = 0;
    civilFromDays(days, y, m, d);
    return LocalDateTime{static_cast<int>(y),
                         static_cast<int>(m),
                         static_cast<int>(d),
                         static_cast<int>(second / 3600),
                         static_cast<int>(second / 60 % 60),
                         static_cast<int>(second % 60)};
}

std::optional<LocalSpan> spanOfMoments(const LocalDateTime& from, const LocalDateTime& to) {
    std::optional<LocalSpan> best;
    for (const std::int64_t a : momentsOf(from)) {
        for (const std::int64_t b : momentsOf(to)) {
            if (b >= a && (!best || b - a < best->seconds)) {
                best = LocalSpan{a, b - a};
            }
        }
    }
    return best;
}

}  // namespace

std::int64_t localMidnight(std::int64_t days) {
    if (tCache != nullptr) {
        if (const auto m = tCache->moment(days, 0)) {
            return *m;
        }
    }
    // mktime in whole seconds: a time_point in nanoseconds would not reach beyond the years
    // 1677 to 2262.
    std::int64_t y = 0;
    std::int64_t m = 0;
    std::int64_t d = 0;
    civilFromDays(days, y, m, d);
    std::tm tm{};
    tm.tm_year = static_cast<int>(y - 1900);
    tm.tm_mon = static_cast<int>(m - 1);
    tm.tm_mday = static_cast<int>(d);
    tm.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&tm));
}

std::optional<LocalSpan> localSpanOfDays(std::int64_t fromDay, std::int64_t fromSecond,
                                         std::int64_t toDay, std::int64_t toSecond) {
    if (tCache != nullptr) {
        const auto a = tCache->moment(fromDay, fromSecond);
        // Two times of one plain date share its offset.
        const auto b = !a ? std::nullopt
                       : fromDay == toDay
                           ? std::optional<std::int64_t>(*a + (toSecond - fromSecond))
                           : tCache->moment(toDay, toSecond);
        if (a && b) {
            return *b >= *a ? std::optional<LocalSpan>(LocalSpan{*a, *b - *a}) : std::nullopt;
        }
        // Near a change of offset: every reading of each, the shortest span that is not
        // negative.
        std::int64_t from[2];
        std::int64_t to[2];
        const int nf = tCache->readings(fromDay, fromSecond, from);
        const int nt = nf == 0 ? 0 : tCache->readings(toDay, toSecond, to);
        if (nt != 0) {
            std::optional<LocalSpan> best;
            for (int i = 0; i < nf; ++i) {
                for (int j = 0; j < nt; ++j) {
                    if (to[j] >= from[i] && (!best || to[j] - from[i] < best->seconds)) {
                        best = LocalSpan{from[i], to[j] - from[i]};
                    }
                }
            }
            return best;
        }
    }
    return spanOfMoments(localDateTimeOf(fromDay, fromSecond), localDateTimeOf(toDay, toSecond));
}

std::optional<std::int64_t> localSpanSeconds(const LocalDateTime& from, const LocalDateTime& to) {
    const std::optional<LocalSpan> span = localSpan(from, to);
    return span ? std::optional<std::int64_t>(span->seconds) : std::nullopt;
}

std::optional<LocalSpan> localSpan(const LocalDateTime& from, const LocalDateTime& to) {
    if (tCache != nullptr) {
        const auto a = cachedMoment(*tCache, from);
        const bool sameDate = from.year == to.year && from.month == to.month && from.day == to.day;
        // Two times of one plain date share its offset.
        const auto b = !a ? std::nullopt
                       : sameDate && to.hour >= 0 && to.hour <= 23 && to.minute >= 0 &&
                               to.minute <= 59 && to.second >= 0 && to.second <= 59
                           ? std::optional<std::int64_t>(*a + (to.hour - from.hour) * 3600 +
                                                         (to.minute - from.minute) * 60 +
                                                         (to.second - from.second))
                           : cachedMoment(*tCache, to);
        if (a && b) {
            return *b >= *a ? std::optional<LocalSpan>(LocalSpan{*a, *b - *a}) : std::nullopt;
        }
    }
    return spanOfMoments(from, to);
}

}  // namespace tavu
