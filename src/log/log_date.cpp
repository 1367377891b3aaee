#include "log/log_date.h"

#include "core/text.h"

namespace tavu {

namespace {

std::int64_t boundedPart(std::string_view text) {
    return logtime::bounded(leadingInt(text));
}

using logtime::digitsAt;
using logtime::firstChars;
using logtime::fromChar;
using logtime::lastChars;
using logtime::readClock;

}  // namespace

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

DateRead readLogDate(std::string_view text) {
    DateRead out;
    out.date = parseLogDate(text);
    out.valid = out.date.valid();
    if (out.valid) {
        out.days = out.date.daysSinceEpoch();
        out.weekday = out.date.weekday();
    }
    return out;
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

}  // namespace tavu
