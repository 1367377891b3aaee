#include "core/clock.h"

#include <ctime>
#include <vector>

namespace tavu {

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

}  // namespace

std::optional<std::int64_t> localSpanSeconds(const LocalDateTime& from, const LocalDateTime& to) {
    std::optional<std::int64_t> best;
    for (const std::int64_t a : momentsOf(from)) {
        for (const std::int64_t b : momentsOf(to)) {
            if (b >= a && (!best || b - a < *best)) {
                best = b - a;
            }
        }
    }
    return best;
}

}  // namespace tavu
