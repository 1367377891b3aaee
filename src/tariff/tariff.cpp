#include "tariff/tariff.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/clock.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "log/log_date.h"

namespace tavu {

namespace {

using logtime::bounded;
using logtime::firstChars;
using logtime::lastChars;

std::int64_t boundedPart(std::string_view text) {
    return bounded(leadingInt(text));
}

bool validClock(std::string_view t) {
    int h = 0, m = 0, s = 0;
    return logtime::readClock(t, h, m, s) && h < 24 && m < 60 && s < 60;
}

}  // namespace

std::int64_t tariffTimeSeconds(std::string_view text) {
    if (text.find(':') == std::string_view::npos) {
        return bounded(boundedPart(text) * 60);
    }
    return bounded(boundedPart(firstChars(text, 2)) * 3600 + boundedPart(lastChars(text, 2)) * 60);
}

Tariff Tariff::read(const SettingsStore& s, const PlanKeys& plan) {
    const std::string_view price = plan.section(keys::kPrice);
    const std::string_view settings = plan.section(keys::kSettings);
    Tariff t;
    t.pricePerDial = leadingDouble(s.readString(price, keys::kPricePerDial));
    t.costPerMinute = leadingDouble(s.readString(price, keys::kCostPerMinute));
    t.cheapCostPerMinute = leadingDouble(s.readString(price, keys::kCheapCostPerMinute));
    t.cheapStart = tariffTimeSeconds(s.readString(price, keys::kCheapTimeStart));
    t.cheapEnd = tariffTimeSeconds(s.readString(price, keys::kCheapTimeEnd));
    t.cheapSaturday = s.readInt(settings, keys::kCheapInSat, 0) == 1;
    t.cheapSunday = s.readInt(settings, keys::kCheapInSun, 0) == 1;
    t.costPerMB = leadingDouble(s.readString(price, keys::kCostPerMB));
    const std::string roaming = s.readString(price, keys::kRoamingCostPerMB);
    t.roamingCostPerMB = trim(roaming).empty() ? t.costPerMB : leadingDouble(roaming);
    return t;
}

BillingRules BillingRules::read(const SettingsStore& s, const PlanKeys& plan) {
    const std::string_view price = plan.section(keys::kPrice);
    BillingRules r;
    r.minLength = tariffTimeSeconds(s.readString(price, keys::kMinConTime, "00:00"));
    const std::string block = s.readString(price, keys::kConnectionBlock, "00:00");
    r.blocks = block != "00:00";
    r.block = tariffTimeSeconds(block);
    return r;
}

std::string freeMonthTimeText(const SettingsStore& s, const PlanKeys& plan) {
    return s.readString(plan.section(keys::kPrice), keys::kFreeMonthTime, "00:00");
}

int freeMonthMB(const SettingsStore& s, const PlanKeys& plan) {
    return std::max(0, s.readInt(plan.section(keys::kPrice), keys::kFreeMonthMB, 0));
}

double dataCost(const Tariff& t, double bytes) {
    // Without a data price a record costs exactly its time, whatever its byte fields hold.
    return t.costPerMB == 0 ? 0.0 : t.costPerMB * bytes / 1e6;
}

double dataCost(const Tariff& t, double bytes, double roamingBytes) {
    const double roaming = std::clamp(roamingBytes, 0.0, std::max(0.0, bytes));
    return dataCost(t, bytes - roaming) +
           (t.roamingCostPerMB == 0 ? 0.0 : t.roamingCostPerMB * roaming / 1e6);
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
            if (const auto span = localSpan(local(sd, start), local(ed, end))) {
                p.duration = bounded(span->seconds);
                p.placed = p.duration == span->seconds;
                p.start = span->start;
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
