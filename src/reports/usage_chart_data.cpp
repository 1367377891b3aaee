#include "reports/usage_chart_data.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

#include "tariff/billing_period.h"
#include "tariff/plan.h"

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

SummaryData summarize(UsageLedger& ledger, const SettingsStore& settings, SummaryFilter filter,
                      const LocalDateTime& today, const std::string& plan,
                      const std::vector<LiveUsage>& live) {
    SummaryData data{ledger.totals(filter, today, plan, live), {}};
    const PlanSet& plans = ledger.plans();
    const Plan* chosen = plan.empty() ? nullptr : plans.find(plan);
    if (filter != SummaryFilter::All) {
        SummaryPeriod period = summaryPeriod(settings, filter, today, PlanKeys::of(chosen));
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
        data.chart =
            dayBars(ledger.buckets(UsageBy::Day, period.first, period.last, today, plan, live),
                    period.first, period.last);
        return data;
    }
    // With all entries, the buckets are asked for no more periods than the chart shows: those
    // up to the last day used.
    const int billing = billingDay(settings, PlanKeys::of(chosen));
    const auto used = ledger.usedDays(plan, live);
    if (!used) {
        data.chart = periodBars({}, billing);
        return data;
    }
    const LogDate last = used->second;
    const BillingPeriod oldest = periodsBefore(billing, last, kMaxPeriodBars - 1);
    const LogDate first = LogDate::fromDaysSinceEpoch(
        std::max(used->first.daysSinceEpoch(), dateOf(oldest.start()).daysSinceEpoch()));
    data.chart =
        periodBars(ledger.buckets(UsageBy::Period, first, last, today, plan, live), billing);
    return data;
}

}  // namespace tavu
