#pragma once

#include <cstdint>
#include <string_view>

#include "core/clock.h"
#include "tariff/plan.h"

namespace tavu {

class SettingsStore;

// The billing period: from day BillingDay 00:00:00 local time of one month to the same day of
// the next month, exclusive. With BillingDay 1 it is the calendar month.
struct BillingPeriod {
    int year = 1970;  // the first day
    int month = 1;
    int day = 1;
    int endYear = 1970;  // the first day of the next period
    int endMonth = 2;
    int endDay = 1;

    LocalDateTime start() const;
    LocalDateTime end() const;
    // Whether a date (day, month, year as the log writes them) lies in the period.
    bool containsDate(std::int64_t day, std::int64_t month, std::int64_t year) const;
    // Whether a log date "dd-mm-yyyy" lies in the period.
    bool containsLogDate(std::string_view date) const;
    // The period's length in seconds, changes of summer time included.
    std::int64_t lengthSeconds() const;
    // The seconds from its start to `now`, at least 1.
    std::int64_t elapsedSeconds(const LocalDateTime& now) const;
};

// BillingDay (the default plan's in section Settings), 1 to 28; any other value reads as 1.
int billingDay(const SettingsStore& settings, const PlanKeys& plan = {});

// The period with the given first day that holds the date of `now`.
BillingPeriod billingPeriodAt(int billingDay, const LocalDateTime& now);

// The current billing period: the one the "this month" filter, the free time and data, the cost
// check and the data caps count.
BillingPeriod currentBillingPeriod(const SettingsStore& settings, const LocalDateTime& now,
                                   const PlanKeys& plan = {});

// A data cap in whole megabytes (DataWarnMB, DataHangupMB; 0 is off). The default plan keeps it
// in section Warnings; a file that keeps it in section Settings, beside the money limits, is
// read as well. A plan keeps it in its own section.
int dataCapMB(const SettingsStore& settings, const char* key, const PlanKeys& plan = {});

// The caption of the period filter: "Only this month" for the calendar month, else "Only this
// period".
const char* periodFilterCaption(const SettingsStore& settings, const PlanKeys& plan = {});

}  // namespace tavu
