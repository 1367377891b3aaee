#include "tariff/tariff.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "core/clock.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"

namespace tavu {

namespace {

std::string_view firstChars(std::string_view s, std::size_t n) {
    return s.substr(0, n);
}

std::string_view lastChars(std::string_view s, std::size_t n) {
    return s.size() <= n ? s : s.substr(s.size() - n);
}

std::string_view fromChar(std::string_view s, std::size_t pos) {
    return pos < s.size() ? s.substr(pos) : std::string_view{};
}

// Times beyond a century are junk; keeping them bounded keeps every product finite and exact.
constexpr std::int64_t kMaxSeconds = std::int64_t{100} * 366 * 86400;

std::int64_t bounded(std::int64_t v) {
    return v > kMaxSeconds ? kMaxSeconds : (v < -kMaxSeconds ? -kMaxSeconds : v);
}

std::int64_t boundedPart(std::string_view text) {
    return bounded(leadingInt(text));
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

bool validClock(std::string_view t) {
    int h = 0, m = 0, s = 0;
    return readClock(t, h, m, s) && h < 24 && m < 60 && s < 60;
}

}  // namespace

std::int64_t tariffTimeSeconds(std::string_view text) {
    if (text.find(':') == std::string_view::npos) {
        return bounded(boundedPart(text) * 60);
    }
    return bounded(boundedPart(firstChars(text, 2)) * 3600 + boundedPart(lastChars(text, 2)) * 60);
}

namespace {

int twoDigits(std::string_view t, std::size_t at) {
    return (t[at] - '0') * 10 + (t[at + 1] - '0');
}

}  // namespace

std::int64_t clockSeconds(std::string_view text) {
    // The log's own form, "HH:MM:SS", read at once; anything else field by field.
    int h = 0, m = 0, s = 0;
    if (readClock(text, h, m, s)) {
        return h * 3600 + m * 60 + s;
    }
    return boundedPart(firstChars(text, 2)) * 3600 + boundedPart(fromChar(text, 3)) * 60 +
           boundedPart(lastChars(text, 2));
}

LogDate parseLogDate(std::string_view text) {
    if (text.size() == 10) {
        // Records come in the order of time: most dates are the one read just before. (The
        // first remembered text, ten zero bytes, reads as the zero date either way.)
        thread_local char lastText[10] = {};
        thread_local LogDate last{};
        if (std::memcmp(lastText, text.data(), 10) == 0) {
            return last;
        }
        if (text[2] == '-' && text[5] == '-' && digitsAt<0, 1, 3, 4, 6, 7, 8, 9>(text)) {
            std::memcpy(lastText, text.data(), 10);
            last = LogDate{twoDigits(text, 0), twoDigits(text, 3),
                           twoDigits(text, 6) * 100 + twoDigits(text, 8)};
            return last;
        }
    }
    return LogDate{leadingInt(firstChars(text, 2)), leadingInt(fromChar(text, 3).substr(0, 2)),
                   leadingInt(lastChars(text, 4))};
}

bool LogDate::valid() const {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) {
        return false;
    }
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int dim = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= dim;
}

std::int64_t LogDate::daysSinceEpoch() const {
    // Days from the civil date (proleptic Gregorian calendar).
    const std::int64_t y = year - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t mp = (month + 9) % 12;
    const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

LogDate LogDate::fromDaysSinceEpoch(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const std::int64_t doe = days - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    return LogDate{day, month, yoe + era * 400 + (month <= 2 ? 1 : 0)};
}

int LogDate::weekday() const {
    const std::int64_t d = daysSinceEpoch();
    return static_cast<int>(((d % 7) + 11) % 7);  // 1970-01-01 was a Thursday
}

Tariff Tariff::read(const SettingsStore& s) {
    Tariff t;
    t.pricePerDial = leadingDouble(s.readString(keys::kPrice, keys::kPricePerDial));
    t.costPerMinute = leadingDouble(s.readString(keys::kPrice, keys::kCostPerMinute));
    t.cheapCostPerMinute = leadingDouble(s.readString(keys::kPrice, keys::kCheapCostPerMinute));
    t.cheapStart = tariffTimeSeconds(s.readString(keys::kPrice, keys::kCheapTimeStart));
    t.cheapEnd = tariffTimeSeconds(s.readString(keys::kPrice, keys::kCheapTimeEnd));
    t.cheapSaturday = s.readInt(keys::kSettings, keys::kCheapInSat, 0) == 1;
    t.cheapSunday = s.readInt(keys::kSettings, keys::kCheapInSun, 0) == 1;
    t.costPerMB = leadingDouble(s.readString(keys::kPrice, keys::kCostPerMB));
    return t;
}

BillingRules BillingRules::read(const SettingsStore& s) {
    BillingRules r;
    r.minLength = tariffTimeSeconds(s.readString(keys::kPrice, keys::kMinConTime, "00:00"));
    const std::string block = s.readString(keys::kPrice, keys::kConnectionBlock, "00:00");
    r.blocks = block != "00:00";
    r.block = tariffTimeSeconds(block);
    return r;
}

double dataCost(const Tariff& t, double bytes) {
    // Without a data price a record costs exactly its time, whatever its byte fields hold.
    return t.costPerMB == 0 ? 0.0 : t.costPerMB * bytes / 1e6;
}

bool ratioIsWhole(double ratio) {
    return formatFixed(ratio, 10) == formatFixed(std::round(ratio), 10);
}

Pricing priceRecord(std::string_view startDate, std::string_view startTime,
                    std::string_view endDate, std::string_view endTime, const Tariff& t,
                    const BillingRules& rules, double bytes) {
    Pricing p;
    const std::int64_t start = clockSeconds(startTime);
    const std::int64_t end = clockSeconds(endTime);
    const LogDate sd = parseLogDate(startDate);
    const bool startDateValid = sd.valid();

    // 1. Duration: the time that passed between the two local dates and times when both are
    // real (a change to or from summer time included); else the clock times alone, wrapping
    // once at midnight.
    bool spanned = false;
    if (startDateValid && validClock(startTime) && validClock(endTime)) {
        const LogDate ed = parseLogDate(endDate);
        if (ed.valid()) {
            const auto local = [](const LogDate& d, std::int64_t secs) {
                return LocalDateTime{
                    static_cast<int>(d.year),         static_cast<int>(d.month),
                    static_cast<int>(d.day),          static_cast<int>(secs / 3600),
                    static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60)};
            };
            if (const auto span = localSpanSeconds(local(sd, start), local(ed, end))) {
                p.duration = bounded(*span);
                spanned = true;
            }
        }
    }
    if (!spanned && end != start) {
        p.duration = start > end ? 86400 - (start - end) : end - start;
    }
    if (p.duration < 0) {
        p.duration = 0;
    }

    // 2. Minimal length.
    p.minBilled = rules.minLength > p.duration ? rules.minLength : p.duration;
    p.billed = p.minBilled;

    // 3. Blocks: whole blocks of whole minutes. For blocks below 2e10 s the ten-decimal test
    // of the ratio is exactly divisibility, since a remainder leaves at least 1/block.
    if (rules.blocks && rules.block > 0 && p.billed % rules.block != 0) {
        const std::int64_t blockMinutes = rules.block / 60;
        const std::int64_t count = p.billed / rules.block + 1;
        p.billed = count * blockMinutes * 60;
    }

    // 4. Cheap window: only the start time decides.
    if (t.cheapStart < t.cheapEnd) {
        p.cheap = start > t.cheapStart && start < t.cheapEnd;
    } else if (t.cheapStart > t.cheapEnd) {
        p.cheap = start > t.cheapStart || start < t.cheapEnd;
    }

    // 5. Weekend.
    if (startDateValid) {
        const int wd = sd.weekday();
        if ((t.cheapSaturday && wd == 6) || (t.cheapSunday && wd == 0)) {
            p.cheap = true;
        }
    }

    // 6. Cost, not rounded.
    const double rate = p.cheap ? t.cheapCostPerMinute : t.costPerMinute;
    p.cost = t.pricePerDial + rate * (1.0 / 60.0) * static_cast<double>(p.billed);
    // 7. Data.
    if (t.costPerMB != 0) {
        p.cost += dataCost(t, bytes);
    }
    return p;
}

}  // namespace tavu
