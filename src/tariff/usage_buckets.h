#pragma once

// The log's usage in buckets of time (an hour, a day, a month or a billing period), for
// `tavu usage` and the charts.

#include <cstdint>
#include <string>
#include <vector>

#include "core/clock.h"
#include "log/log_date.h"

namespace tavu {

class SettingsStore;
class UsageSource;

enum class UsageBy { Hour, Day, Month, Period };

struct UsageBucket {
    // The bucket's local start: the hour; midnight of the day; the first of the month; the
    // billing day of the period.
    LocalDateTime start;
    std::int64_t seconds = 0;  // time online counted in it
    double uploaded = 0;       // bytes
    double downloaded = 0;
    double cost = 0;               // its share of the costs, its period's free time and data off
    std::int64_t connections = 0;  // connections with at least one second in it
};

// The buckets of the local days from..to (both included) that hold usage, in time order.
// store may be null: then every record is spread evenly over its span. plan: as
// TotalsOptions::plan (empty for all plans); each plan's free time and data come off its own
// billing periods, and the buckets by period follow the chosen plan's periods (the default
// plan's when all are counted).
std::vector<UsageBucket> usageBuckets(const SettingsStore& settings, const std::string& logPath,
                                      const UsageSource* store, UsageBy by, const LogDate& from,
                                      const LogDate& to, const LocalDateTime& today,
                                      const std::string& plan = {});

}  // namespace tavu
