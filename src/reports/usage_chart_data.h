#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "tariff/totals.h"

namespace tavu {

class SettingsStore;

// One bar pair of the usage chart: the cost and the data of one day or one month.
struct UsageBar {
    std::string label;     // the day of the month ("7"; "7.4" when the period spans two months)
                           // or the month ("2026-04")
    double cost = 0;       // the records' costs, before the free time of the month
    double megabytes = 0;  // bytes sent and received, 1 MB being 1,000,000 bytes
};

struct UsageChartData {
    bool monthly = false;  // a bar a month ("Show all entries"), else a bar a day of the period
    std::vector<UsageBar> bars;
};

// Sorts the records a totals pass counts into the chart's bars: a bar for each day of the
// period, or for "Show all entries" a bar for each month from the first record's to the last
// one's (at most kMaxMonths, the latest). Records whose start date is no date have no bar.
class UsageCollector {
  public:
    explicit UsageCollector(const SummaryPeriod& period) : period_(period) {}

    void add(std::string_view startDate, double cost, double bytes);
    UsageChartData finish() const;

    static constexpr std::int64_t kMaxMonths = 120;

  private:
    struct Sum {
        double cost = 0;
        double bytes = 0;
    };
    SummaryPeriod period_;
    std::map<std::int64_t, Sum> sums_;  // by day since the epoch, or by month (year × 12 + m - 1)
};

// The Summary's totals and its chart, from one pass over the log.
struct SummaryData {
    LogTotals totals;
    UsageChartData chart;
};
SummaryData summarize(const SettingsStore& settings, const std::string& logPath,
                      SummaryFilter filter, const LocalDateTime& today);

}  // namespace tavu
