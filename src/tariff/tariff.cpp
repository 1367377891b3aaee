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

namespace {

// The dates last read on this thread, by their text: records come in the order of time, and
// most start and end on the date of the record before.
class DateMemo {
  public:
    const DateRead& read(std::string_view text) {
        if (text.size() != kSize) {
            other_ = readLogDate(text);
            return other_;
        }
        for (Entry& e : entries_) {
            if (e.used && std::memcmp(e.text, text.data(), kSize) == 0) {
                return e.read;
            }
        }
        Entry& e = entries_[next_];
        next_ = (next_ + 1) % kEntries;
        std::memcpy(e.text, text.data(), kSize);
        e.used = true;
        e.read = readLogDate(text);
        return e.read;
    }

  private:
    static constexpr std::size_t kSize = 10;
    static constexpr std::size_t kEntries = 2;
    struct Entry {
        char text[kSize] = {};
        bool used = false;
        DateRead read;
    };
    Entry entries_[kEntries];
    std::size_t next_ = 0;
    DateRead other_;
};

thread_local DateMemo tDates;

}  // namespace

Pricing priceRecord(std::string_view startDate, std::string_view startTime,
                    std::string_view endDate, std::string_view endTime, const Tariff& t,
                    const BillingRules& rules, double bytes) {
    DateMemo& dates = tDates;
    const DateRead sd = dates.read(startDate);
    return priceRead(sd, readLogClock(startTime), dates.read(endDate), readLogClock(endTime), t,
                     rules, bytes);
}

Pricing priceRead(const DateRead& sd, ClockRead startClock, const DateRead& ed, ClockRead endClock,
                  const Tariff& t, const BillingRules& rules, double bytes) {
    Pricing p;
    const std::int64_t start = startClock.seconds;
    const std::int64_t end = endClock.seconds;

    // 1. Duration: the time that passed between the two local dates and times when both are
    // real (a change to or from summer time included); else the clock times alone, wrapping
    // once at midnight.
    bool spanned = false;
    if (sd.valid && startClock.valid && endClock.valid && ed.valid) {
        if (const auto span = localSpanOfDays(sd.days, start, ed.days, end)) {
            p.duration = bounded(span->seconds);
            p.placed = p.duration == span->seconds;
            p.start = span->start;
            spanned = true;
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
    if (sd.valid) {
        const int wd = sd.weekday;
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
