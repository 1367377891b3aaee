#pragma once

// The chart of the current billing period: the data used so far, the data caps and the
// projection to the period's end, and the same figures in words.

#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "ledger/usage_ledger.h"
#include "tariff/billing_period.h"
#include "tariff/usage_buckets.h"

namespace tavu {

class SettingsStore;

struct ChartPoint {
    double x = 0;  // days since the period's first midnight
    double y = 0;  // megabytes (1,000,000 bytes)
};

struct DataCapLine {
    std::string name;  // "Warning" or "Hang-up"
    double megabytes = 0;
};

struct PeriodChartData {
    int days = 0;  // the period's length in days: the x axis runs from 0 to days
    // days + 1 labels: the date at each midnight from the period's first day to the next
    // period's ("15.4"; only the day, "15", when the period is one calendar month).
    std::vector<std::string> dayLabels;
    // The data used so far: from (0, 0) the total at the end of each day gone, then the total
    // now; rising or flat.
    std::vector<ChartPoint> used;
    // From now to the period's end, when there is a projection: two points.
    std::vector<ChartPoint> projection;
    std::vector<DataCapLine> caps;  // the caps that are set, warning first
    double usedMegabytes = 0;
    std::optional<double> projectedMegabytes;
    int daysLeft = 0;  // today included: 1 on the period's last day
    std::string words;
};

struct PeriodChartInput {
    BillingPeriod period;
    LocalDateTime now;
    std::vector<UsageBucket> days;  // the usage of each day of the period
    int warnMB = 0;                 // 0: no cap
    int hangupMB = 0;
    std::optional<double> projectedBytes;  // the period's data carried on to its end
};

PeriodChartData buildPeriodChart(const PeriodChartInput& input);

// The figures in words: "5,240 MB of 10,000 MB used, 12 days left, projected 8,900 MB". The
// cap named is the hang-up cap, else the warning cap; without either "5,240 MB used, ...";
// without a projection the last part is left out.
std::string periodWords(double usedMB, int capMB, int daysLeft, std::optional<double> projectedMB);

// A whole number with a comma between each group of three digits: "10,000".
std::string groupThousands(long long value);

// The period chart of the current billing period from the usage engine (live: the connections
// in progress, counted as if they ended now), the caps from the settings.
// plan: as UsageLedger::totals; the period and the caps are those of the plan chosen, or of the
// default plan when all are counted.
PeriodChartData periodChart(UsageLedger& ledger, const SettingsStore& settings,
                            const LocalDateTime& now, const std::string& plan = {},
                            const std::vector<LiveUsage>& live = {});

}  // namespace tavu
