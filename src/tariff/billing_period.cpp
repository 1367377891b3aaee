#include "tariff/billing_period.h"

#include <algorithm>

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "tariff/tariff.h"

namespace tavu {

namespace {

std::int64_t dateKey(std::int64_t day, std::int64_t month, std::int64_t year) {
    return (year * 100 + month) * 100 + day;
}

LocalDateTime midnight(int year, int month, int day) {
    LocalDateTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    return t;
}

}  // namespace

LocalDateTime BillingPeriod::start() const {
    return midnight(year, month, day);
}

LocalDateTime BillingPeriod::end() const {
    return midnight(endYear, endMonth, endDay);
}

bool BillingPeriod::containsDate(std::int64_t d, std::int64_t m, std::int64_t y) const {
    if (m < 1 || m > 12) {
        return false;
    }
    // The log's day is two characters: a day of 00 or below counts as the first, so that a
    // period of whole calendar months takes every record of its month and year, as it always did.
    const std::int64_t key = dateKey(std::clamp<std::int64_t>(d, 1, 31), m, y);
    return key >= dateKey(day, month, year) && key < dateKey(endDay, endMonth, endYear);
}

bool BillingPeriod::containsLogDate(std::string_view date) const {
    if (date.size() < 10) {
        return false;
    }
    const LogDate d = parseLogDate(date);
    return containsDate(d.day, d.month, d.year);
}

std::int64_t BillingPeriod::lengthSeconds() const {
    return std::max<std::int64_t>(1, localSpanSeconds(start(), end()).value_or(1));
}

std::int64_t BillingPeriod::elapsedSeconds(const LocalDateTime& now) const {
    return std::max<std::int64_t>(1, localSpanSeconds(start(), now).value_or(1));
}

int billingDay(const SettingsStore& settings, const PlanKeys& plan) {
    const int d = settings.readInt(plan.section(keys::kSettings), keys::kBillingDay, 1);
    return d >= 1 && d <= 28 ? d : 1;
}

BillingPeriod billingPeriodAt(int firstDay, const LocalDateTime& now) {
    if (firstDay < 1 || firstDay > 28) {
        firstDay = 1;
    }
    BillingPeriod p;
    p.day = p.endDay = firstDay;
    p.year = now.year;
    p.month = now.month;
    if (now.day < firstDay) {
        if (--p.month == 0) {
            p.month = 12;
            --p.year;
        }
    }
    p.endYear = p.year;
    p.endMonth = p.month + 1;
    if (p.endMonth == 13) {
        p.endMonth = 1;
        ++p.endYear;
    }
    return p;
}

BillingPeriod currentBillingPeriod(const SettingsStore& settings, const LocalDateTime& now,
                                   const PlanKeys& plan) {
    return billingPeriodAt(billingDay(settings, plan), now);
}

const char* periodFilterCaption(const SettingsStore& settings, const PlanKeys& plan) {
    return billingDay(settings, plan) == 1 ? "Only this month" : "Only this period";
}

int dataCapMB(const SettingsStore& settings, const char* key, const PlanKeys& plan) {
    if (!plan.isDefault()) {
        return settings.readInt(plan.section(keys::kWarnings), key, 0);
    }
    return settings.readInt(keys::kWarnings, key, settings.readInt(keys::kSettings, key, 0));
}

}  // namespace tavu
