#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "ledger/usage_ledger.h"
#include "log/log_date.h"
#include "tariff/totals.h"
#include "tariff/usage_buckets.h"

namespace tavu {

class SettingsStore;

// One bar pair of the usage chart: the cost and the data of one day, month or billing period.
struct UsageBar {
    std::string label;     // the day of the month ("7"; "7.4" when the days span two months),
                           // the month ("2026-04") or the period's first day ("2026-04-15")
    double cost = 0;       // its share of the costs, its period's free time and data off
    double megabytes = 0;  // bytes sent and received, 1 MB being 1,000,000 bytes
};

struct UsageChartData {
    bool monthly = false;         // a bar a period ("Show all entries"), else a bar a day
    bool billingPeriods = false;  // with monthly: the periods start on a day other than the 1st
    std::vector<UsageBar> bars;
};

// The most bars of the "Show all entries" chart: the latest ten years.
inline constexpr int kMaxPeriodBars = 120;

// A bar for each day from first to last (both included), from the usage of each day.
UsageChartData dayBars(const std::vector<UsageBucket>& days, const LogDate& first,
                       const LogDate& last);

// A bar for each billing period (starting on billingDay) from the first period with usage to
// the last one, at most kMaxPeriodBars, the latest; labelled by the month with billing day 1,
// else by the period's first day.
UsageChartData periodBars(const std::vector<UsageBucket>& periods, int billingDay);

// Where a window gets the connections in progress of the log at logPath from, each as a count
// made now sees it; stored: the rows the usage engine reads (null when it uses no store).
using LiveUsageFeed =
    std::function<std::vector<LiveUsage>(const std::string& logPath, const UsageSource* stored)>;

// The Summary's totals and its chart, both from the usage engine; live: the connections in
// progress, counted as if they ended now. plan: as UsageLedger::totals. With the period filter
// and several plans the chart's days run from the first day of the earliest of their current
// periods to the last of the latest.
struct SummaryData {
    LogTotals totals;
    UsageChartData chart;
};
SummaryData summarize(UsageLedger& ledger, const SettingsStore& settings, SummaryFilter filter,
                      const LocalDateTime& today, const std::string& plan = {},
                      const std::vector<LiveUsage>& live = {});

}  // namespace tavu
