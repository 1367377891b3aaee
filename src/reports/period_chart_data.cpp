#include "reports/period_chart_data.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/settings_keys.h"
#include "log/log_date.h"
#include "tariff/plan.h"
#include "tariff/totals.h"

namespace tavu {

namespace {

std::int64_t dayNumber(int year, int month, int day) {
    return LogDate{day, month, year}.daysSinceEpoch();
}

long long wholeMegabytes(double mb) {
    return std::llround(std::max(0.0, mb));
}

}  // namespace

std::string groupThousands(long long value) {
    std::string digits = std::to_string(value < 0 ? -value : value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return value < 0 ? "-" + out : out;
}

std::string periodWords(double usedMB, int capMB, int daysLeft, std::optional<double> projectedMB) {
    std::string words = groupThousands(wholeMegabytes(usedMB)) + " MB";
    if (capMB > 0) {
        words += " of " + groupThousands(capMB) + " MB";
    }
    words += " used, " + std::to_string(daysLeft) + (daysLeft == 1 ? " day" : " days") + " left";
    if (projectedMB) {
        words += ", projected " + groupThousands(wholeMegabytes(*projectedMB)) + " MB";
    }
    return words;
}

PeriodChartData buildPeriodChart(const PeriodChartInput& in) {
    PeriodChartData c;
    const BillingPeriod& p = in.period;
    const std::int64_t first = dayNumber(p.year, p.month, p.day);
    c.days = static_cast<int>(dayNumber(p.endYear, p.endMonth, p.endDay) - first);
    const bool oneMonth = p.day == 1;
    for (int i = 0; i <= c.days; ++i) {
        const LogDate d = LogDate::fromDaysSinceEpoch(first + i);
        char label[16];
        std::snprintf(label, sizeof label, oneMonth ? "%d" : "%d.%d", static_cast<int>(d.day),
                      static_cast<int>(d.month));
        c.dayLabels.emplace_back(label);
    }

    // Today's place in the period, kept inside it.
    const std::int64_t today = std::clamp<std::int64_t>(
        dayNumber(in.now.year, in.now.month, in.now.day) - first, 0, std::max(0, c.days - 1));
    const double sinceMidnight =
        (in.now.hour * 3600 + in.now.minute * 60 + in.now.second) / 86400.0;
    const double nowX = static_cast<double>(today) + std::clamp(sinceMidnight, 0.0, 1.0);

    std::vector<double> perDay(static_cast<std::size_t>(c.days), 0.0);
    for (const UsageBucket& b : in.days) {
        const std::int64_t i = dayNumber(b.start.year, b.start.month, b.start.day) - first;
        if (i < 0 || i >= c.days) {
            continue;
        }
        // Usage dated after today (a clock set back) counts with today's.
        perDay[static_cast<std::size_t>(std::min(i, today))] += (b.uploaded + b.downloaded) / 1e6;
    }
    double total = 0;
    c.used.push_back({0, 0});
    for (std::int64_t i = 0; i < today; ++i) {
        total += perDay[static_cast<std::size_t>(i)];
        c.used.push_back({static_cast<double>(i + 1), total});
    }
    if (c.days > 0) {
        total += perDay[static_cast<std::size_t>(today)];
    }
    if (nowX > c.used.back().x) {
        c.used.push_back({nowX, total});
    } else {
        c.used.back().y = total;
    }
    c.usedMegabytes = total;

    if (in.projectedBytes) {
        c.projectedMegabytes = std::max(total, *in.projectedBytes / 1e6);
        c.projection = {{nowX, total}, {static_cast<double>(c.days), *c.projectedMegabytes}};
    }
    if (in.warnMB > 0) {
        c.caps.push_back({"Warning", static_cast<double>(in.warnMB)});
    }
    if (in.hangupMB > 0) {
        c.caps.push_back({"Hang-up", static_cast<double>(in.hangupMB)});
    }
    c.daysLeft = static_cast<int>(c.days - today);
    c.words = periodWords(total, in.hangupMB > 0 ? in.hangupMB : in.warnMB, c.daysLeft,
                          c.projectedMegabytes);
    return c;
}

PeriodChartData periodChart(UsageLedger& ledger, const SettingsStore& settings,
                            const LocalDateTime& now, const std::string& plan,
                            const std::vector<LiveUsage>& live) {
    const PlanKeys planKeys = PlanKeys::of(plan.empty() ? nullptr : ledger.plans().find(plan));
    PeriodChartInput in;
    in.period = currentBillingPeriod(settings, now, planKeys);
    in.now = now;
    in.projectedBytes = ledger.totals(SummaryFilter::ThisMonth, now, plan, live).projectedData;
    const LogDate first{in.period.day, in.period.month, in.period.year};
    const LogDate last = LogDate::fromDaysSinceEpoch(
        dayNumber(in.period.endYear, in.period.endMonth, in.period.endDay) - 1);
    in.days = ledger.buckets(UsageBy::Day, first, last, now, plan, live);
    in.warnMB = std::max(0, dataCapMB(settings, keys::kDataWarnMB, planKeys));
    in.hangupMB = std::max(0, dataCapMB(settings, keys::kDataHangupMB, planKeys));
    return buildPeriodChart(in);
}

}  // namespace tavu
