#include "reports/usage_chart_data.h"

#include <algorithm>
#include <cstdio>

#include "core/text.h"
#include "log/log_record.h"

namespace tavu {

void UsageCollector::add(std::string_view startDate, double cost, double bytes) {
    const LogDate d = parseLogDate(startDate);
    if (startDate.size() < 10 || !d.valid()) {
        return;
    }
    const std::int64_t key =
        period_.filter == SummaryFilter::All ? d.year * 12 + d.month - 1 : d.daysSinceEpoch();
    Sum& s = sums_[key];
    s.cost += cost;
    s.bytes += bytes;
}

UsageChartData UsageCollector::finish() const {
    UsageChartData chart;
    chart.monthly = period_.filter == SummaryFilter::All;
    std::int64_t first, last;
    if (chart.monthly) {
        if (sums_.empty()) {
            return chart;
        }
        last = sums_.rbegin()->first;
        first = std::max(sums_.begin()->first, last - kMaxMonths + 1);
    } else {
        first = period_.first.daysSinceEpoch();
        last = period_.last.daysSinceEpoch();
    }
    const bool twoMonths = period_.first.month != period_.last.month;
    for (std::int64_t k = first; k <= last; ++k) {
        UsageBar bar;
        char label[32];
        if (chart.monthly) {
            std::snprintf(label, sizeof label, "%04d-%02d", static_cast<int>(k / 12),
                          static_cast<int>(k % 12 + 1));
        } else {
            const LogDate d = LogDate::fromDaysSinceEpoch(k);
            std::snprintf(label, sizeof label, twoMonths ? "%d.%d" : "%d", static_cast<int>(d.day),
                          static_cast<int>(d.month));
        }
        bar.label = label;
        if (const auto it = sums_.find(k); it != sums_.end()) {
            bar.cost = it->second.cost;
            bar.megabytes = it->second.bytes / 1e6;
        }
        chart.bars.push_back(std::move(bar));
    }
    return chart;
}

SummaryData summarize(const SettingsStore& settings, const std::string& logPath,
                      SummaryFilter filter, const LocalDateTime& today) {
    TotalsEngine engine(settings, filter, today);
    UsageCollector usage(engine.period());
    const LogTotals totals = engine.run(logPath, [&](const CountedRecord& r) {
        usage.add(r.fields[LogFields::StartDate], r.pricing.cost, r.sent + r.received);
    });
    return SummaryData{totals, usage.finish()};
}

}  // namespace tavu
