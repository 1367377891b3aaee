#include "reports/usage_chart_data.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <tuple>

#include "log/log_record.h"
#include "tariff/billing_period.h"

namespace tavu {

namespace {

LogDate dateOf(const LocalDateTime& t) {
    return LogDate{t.day, t.month, t.year};
}

LocalDateTime midnightOf(const LogDate& d) {
    return LocalDateTime{static_cast<int>(d.year), static_cast<int>(d.month),
                         static_cast<int>(d.day)};
}

// The period that starts `back` periods before the one holding `date`.
BillingPeriod periodsBefore(int billingDay, const LogDate& date, int back) {
    const BillingPeriod p = billingPeriodAt(billingDay, midnightOf(date));
    const int months = p.year * 12 + p.month - 1 - back;
    return billingPeriodAt(billingDay, LocalDateTime{months / 12, months % 12 + 1, p.day});
}

}  // namespace

UsageChartData dayBars(const std::vector<UsageBucket>& days, const LogDate& first,
                       const LogDate& last) {
    UsageChartData chart;
    if (!first.valid() || !last.valid()) {
        return chart;
    }
    std::map<std::int64_t, const UsageBucket*> byDay;
    for (const UsageBucket& b : days) {
        byDay[dateOf(b.start).daysSinceEpoch()] = &b;
    }
    const bool twoMonths = first.month != last.month || first.year != last.year;
    for (std::int64_t k = first.daysSinceEpoch(); k <= last.daysSinceEpoch(); ++k) {
        const LogDate d = LogDate::fromDaysSinceEpoch(k);
        char label[32];
        std::snprintf(label, sizeof label, twoMonths ? "%d.%d" : "%d", static_cast<int>(d.day),
                      static_cast<int>(d.month));
        UsageBar bar;
        bar.label = label;
        if (const auto it = byDay.find(k); it != byDay.end()) {
            bar.cost = it->second->cost;
            bar.megabytes = (it->second->uploaded + it->second->downloaded) / 1e6;
        }
        chart.bars.push_back(std::move(bar));
    }
    return chart;
}

UsageChartData periodBars(const std::vector<UsageBucket>& periods, int billingDay) {
    UsageChartData chart;
    chart.monthly = true;
    chart.billingPeriods = billingDay != 1;
    if (periods.empty()) {
        return chart;
    }
    using Key = std::tuple<int, int, int>;
    std::map<Key, const UsageBucket*> byStart;
    for (const UsageBucket& b : periods) {
        const BillingPeriod p = billingPeriodAt(billingDay, b.start);
        byStart[Key{p.year, p.month, p.day}] = &b;
    }
    // Periods counted as months since year 0, each starting in its month.
    const auto index = [](const Key& k) { return std::get<0>(k) * 12 + std::get<1>(k) - 1; };
    const int lastIndex = index(byStart.rbegin()->first);
    const int firstIndex = std::max(index(byStart.begin()->first), lastIndex - kMaxPeriodBars + 1);
    for (int m = firstIndex; m <= lastIndex; ++m) {
        const BillingPeriod p =
            billingPeriodAt(billingDay, LocalDateTime{m / 12, m % 12 + 1, billingDay});
        char label[32];
        if (chart.billingPeriods) {
            std::snprintf(label, sizeof label, "%04d-%02d-%02d", p.year, p.month, p.day);
        } else {
            std::snprintf(label, sizeof label, "%04d-%02d", p.year, p.month);
        }
        UsageBar bar;
        bar.label = label;
        if (const auto it = byStart.find(Key{p.year, p.month, p.day}); it != byStart.end()) {
            bar.cost = it->second->cost;
            bar.megabytes = (it->second->uploaded + it->second->downloaded) / 1e6;
        }
        chart.bars.push_back(std::move(bar));
    }
    return chart;
}

SummaryData summarize(const SettingsStore& settings, const std::string& logPath,
                      SummaryFilter filter, const LocalDateTime& today, const UsageSource* store,
                      const std::string& plan) {
    TotalsEngine engine(settings, filter, today, TotalsOptions{.store = store, .plan = plan});
    SummaryPeriod period = engine.period();
    const PlanSet& plans = engine.plans();
    const Plan* chosen = plan.empty() ? nullptr : plans.find(plan);
    if (plan.empty() && filter == SummaryFilter::ThisMonth) {
        for (const Plan& p : plans.plans) {
            const SummaryPeriod own = summaryPeriod(settings, filter, today, PlanKeys(p));
            if (own.first.daysSinceEpoch() < period.first.daysSinceEpoch()) {
                period.first = own.first;
            }
            if (own.last.daysSinceEpoch() > period.last.daysSinceEpoch()) {
                period.last = own.last;
            }
        }
    }
    // With all entries, the span of the log's dates, so that the buckets are asked for no
    // more than the chart shows.
    std::optional<std::int64_t> earliest, latest;
    const LogTotals totals = engine.run(logPath, [&](const CountedRecord& r) {
        if (filter != SummaryFilter::All) {
            return;
        }
        const LogDate start = parseLogDate(r.fields[LogFields::StartDate]);
        if (!start.valid()) {
            return;
        }
        const LogDate end = parseLogDate(r.fields[LogFields::EndDate]);
        const std::int64_t s = start.daysSinceEpoch();
        const std::int64_t e = end.valid() ? std::max(s, end.daysSinceEpoch()) : s;
        earliest = std::min(earliest.value_or(s), s);
        latest = std::max(latest.value_or(e), e);
    });

    SummaryData data{totals, {}};
    if (filter != SummaryFilter::All) {
        data.chart = dayBars(usageBuckets(settings, logPath, store, UsageBy::Day, period.first,
                                          period.last, today, plan),
                             period.first, period.last);
        return data;
    }
    const int billing = billingDay(settings, PlanKeys::of(chosen));
    if (!earliest) {
        data.chart = periodBars({}, billing);
        return data;
    }
    const LogDate last = LogDate::fromDaysSinceEpoch(*latest);
    const BillingPeriod oldest = periodsBefore(billing, last, kMaxPeriodBars - 1);
    const LogDate first =
        LogDate::fromDaysSinceEpoch(std::max(*earliest, dateOf(oldest.start()).daysSinceEpoch()));
    data.chart = periodBars(
        usageBuckets(settings, logPath, store, UsageBy::Period, first, last, today, plan), billing);
    return data;
}

}  // namespace tavu
