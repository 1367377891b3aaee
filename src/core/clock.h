#pragma once

#include <chrono>
#include <climits>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

namespace tavu {

using TimePoint = std::chrono::system_clock::time_point;

// Broken-down local time of one moment; weekday 0 is Sunday.
struct LocalDateTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 4;
};

LocalDateTime toLocal(TimePoint t);

// Source of the current time. The program uses SystemClock; tests move a ManualClock.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
    LocalDateTime localNow() const { return toLocal(now()); }
};

// The system's clock. For the program's own tests only: when the environment variable
// TAVU_TEST_NOW holds a local date and time (2026-12-07T12:00:00), the clock reads that moment
// when it is made and runs on from there, so that a test of the whole program does not depend on
// today's date. Anything else in the variable is ignored.
class SystemClock final : public Clock {
  public:
    SystemClock();
    TimePoint now() const override { return std::chrono::system_clock::now() + shift_; }

  private:
    std::chrono::system_clock::duration shift_{};
};

// The moment a TAVU_TEST_NOW value names (YYYY-MM-DDTHH:MM:SS, local time); empty when the text
// is not one.
std::optional<TimePoint> parseTestNow(const char* text);

class ManualClock final : public Clock {
  public:
    explicit ManualClock(TimePoint start = TimePoint{}) : now_(start) {}
    TimePoint now() const override { return now_; }
    void set(TimePoint t) { now_ = t; }
    void advance(std::chrono::milliseconds d) { now_ += d; }

  private:
    TimePoint now_;
};

// The moment with the given local date and time (the local time zone decides).
TimePoint fromLocal(int year, int month, int day, int hour = 0, int minute = 0, int second = 0);

// The first moment of a local date (days since 1970-01-01, any year of a 64-bit time): the
// moment mktime gives for its midnight. Looked up in the thread's LocalOffsetCache, when one
// lives and no change of offset lies near the date.
std::int64_t localMidnight(std::int64_t days);

// The seconds from one local date and time to a later one, through the local time zone's rules
// (local to absolute time), so that a span across a change to or from summer time counts the
// time that really passed. A wall-clock time that occurs twice (the repeated hour) is read in
// the way that gives the shortest span that is not negative. Empty when the end comes before the
// start in every reading. Only the date and time fields are used.
std::optional<std::int64_t> localSpanSeconds(const LocalDateTime& from, const LocalDateTime& to);

// The same span with the moment it starts (seconds since the epoch, UTC), in the reading
// localSpanSeconds chooses.
struct LocalSpan {
    std::int64_t start = 0;
    std::int64_t seconds = 0;
};
std::optional<LocalSpan> localSpan(const LocalDateTime& from, const LocalDateTime& to);

// localSpan of two real local dates and times, each given as its date (days since 1970-01-01)
// and its seconds since midnight (0 to 86399): the same answer, without the dates read again.
std::optional<LocalSpan> localSpanOfDays(std::int64_t fromDay, std::int64_t fromSecond,
                                         std::int64_t toDay, std::int64_t toSecond);

// While an object of this class lives, localSpanSeconds on its thread looks the local time
// zone's offsets up once per date and reuses them, instead of asking the zone's rules for every
// time; dates close to a change of offset still take the full way. Meant for a pass over many
// records: the local time zone must not change while it lives. Objects nest.
class LocalOffsetCache {
  public:
    LocalOffsetCache();
    ~LocalOffsetCache();
    LocalOffsetCache(const LocalOffsetCache&) = delete;
    LocalOffsetCache& operator=(const LocalOffsetCache&) = delete;

    // The one moment at which the local clock reads the date (days since 1970-01-01) and the
    // seconds since its midnight, when no change of offset lies near that date; else empty.
    std::optional<std::int64_t> moment(std::int64_t days, std::int64_t secondOfDay) {
        if (secondOfDay >= 0 && secondOfDay < 86400 && days >= kFirstKept &&
            days < kFirstKept + static_cast<std::int64_t>(dates_.size())) {
            const std::int32_t offset = dates_[static_cast<std::size_t>(days - kFirstKept)];
            if (offset > kNearChangeMark) {
                return days * 86400 + secondOfDay - offset;
            }
        }
        return slowMoment(days, secondOfDay);
    }
    // The moments at which the local clock reads the date and the seconds since its midnight,
    // as momentsOf gives them near a change of offset too (one, two in the repeated hour, one
    // in the skipped hour): their count, 0 when the date lies beyond the dates kept.
    int readings(std::int64_t days, std::int64_t secondOfDay, std::int64_t (&out)[2]);

  private:
    // The first date kept, and the marks of a date not yet looked up and of one near a change
    // (both below any offset).
    static constexpr std::int64_t kFirstKept = -25567 - 2;
    static constexpr std::int32_t kUnknownMark = INT32_MIN;
    static constexpr std::int32_t kNearChangeMark = INT32_MIN + 1;
    std::optional<std::int64_t> slowMoment(std::int64_t days, std::int64_t secondOfDay);
    std::int32_t midnightOffset(std::int64_t days);
    // The offset at a moment within the dates kept: the offsets change at most once in a day
    // (UTC) in every zone's rules, the moment of a change found once.
    std::int32_t offsetAt(std::int64_t moment);

    LocalOffsetCache* outer_;
    std::vector<std::int32_t> midnights_;  // the offset at each UTC midnight, once asked
    std::vector<std::int32_t> dates_;      // each date's one offset, or a mark
    std::unordered_map<std::int64_t, std::int64_t> changes_;  // UTC day -> its change's moment
};

}  // namespace tavu
