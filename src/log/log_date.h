#pragma once

// The dates and clock times of the log: "dd-mm-yyyy" and "HH:MM:SS".

#include <cstdint>
#include <cstring>
#include <string_view>

namespace tavu {

// A clock time "HH:MM:SS" of the log in seconds since midnight.
std::int64_t clockSeconds(std::string_view text);

// Day, month and year of a log date "dd-mm-yyyy".
struct LogDate {
    std::int64_t day = 0;
    std::int64_t month = 0;
    std::int64_t year = 0;
    bool valid() const;
    std::int64_t daysSinceEpoch() const;  // only for valid dates
    int weekday() const;                  // 0 Sunday .. 6 Saturday; only for valid dates
    // The calendar date of a day since 1970-01-01.
    static LogDate fromDaysSinceEpoch(std::int64_t days);
    bool operator==(const LogDate&) const = default;
};
LogDate parseLogDate(std::string_view text);

// A date of the log as read for a record's price: parseLogDate of its text, whether that is a
// real date, and when it is, its day since 1970-01-01 and its weekday (0 Sunday).
struct DateRead {
    LogDate date;
    bool valid = false;
    std::int64_t days = 0;
    int weekday = 0;
};
DateRead readLogDate(std::string_view text);

// A clock time of the log as read for a record's price: clockSeconds of its text, and whether it
// is a real time of the day written "HH:MM:SS".
struct ClockRead {
    std::int64_t seconds = 0;
    bool valid = false;
};
inline ClockRead readLogClock(std::string_view text);

namespace logtime {

// Times beyond a century are junk; keeping them bounded keeps every product finite and exact.
inline constexpr std::int64_t kMaxSeconds = std::int64_t{100} * 366 * 86400;

inline std::int64_t bounded(std::int64_t v) {
    return v > kMaxSeconds ? kMaxSeconds : (v < -kMaxSeconds ? -kMaxSeconds : v);
}

inline std::string_view firstChars(std::string_view s, std::size_t n) {
    return s.substr(0, n);
}

inline std::string_view lastChars(std::string_view s, std::size_t n) {
    return s.size() <= n ? s : s.substr(s.size() - n);
}

inline std::string_view fromChar(std::string_view s, std::size_t pos) {
    return pos < s.size() ? s.substr(pos) : std::string_view{};
}

// Whether the characters at the given places are all digits, tested without a branch apiece.
template <std::size_t... At>
[[gnu::always_inline]] inline bool digitsAt(std::string_view t) {
    return ((static_cast<unsigned>(static_cast<unsigned char>(t[At])) - '0' < 10u) & ...);
}

// Reads a clock time written "HH:MM:SS" (two digits each); false for any other text.
[[gnu::always_inline]] inline bool readClock(std::string_view t, int& h, int& m, int& s) {
    if (t.size() != 8) {
        return false;
    }
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // All eight characters at once: after the exclusive or, digits are the bytes 0 to 9 and
    // the colons zero.
    std::uint64_t x;
    std::memcpy(&x, t.data(), 8);
    const std::uint64_t y = x ^ 0x30303A30303A3030ull;
    if ((((y + 0x7676767676767676ull) | y) & 0x8080808080808080ull) != 0 ||
        (y & 0x0000FF0000FF0000ull) != 0) {
        return false;
    }
    const auto at = [y](int i) { return static_cast<int>((y >> (8 * i)) & 0xff); };
    h = at(0) * 10 + at(1);
    m = at(3) * 10 + at(4);
    s = at(6) * 10 + at(7);
    return true;
#else
    if (t[2] != ':' || t[5] != ':' || !digitsAt<0, 1, 3, 4, 6, 7>(t)) {
        return false;
    }
    h = (t[0] - '0') * 10 + (t[1] - '0');
    m = (t[3] - '0') * 10 + (t[4] - '0');
    s = (t[6] - '0') * 10 + (t[7] - '0');
    return true;
#endif
}

}  // namespace logtime

inline ClockRead readLogClock(std::string_view text) {
    int h = 0, m = 0, s = 0;
    if (logtime::readClock(text, h, m, s)) {
        return ClockRead{h * 3600 + m * 60 + s, h < 24 && m < 60 && s < 60};
    }
    return ClockRead{clockSeconds(text), false};
}

}  // namespace tavu
