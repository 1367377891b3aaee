#include "reports/usage_chart_data.h"

#include <gtest/gtest.h>

#include "core/settings_store.h"
#include "ledger/usage_ledger.h"
#include "log/log_record.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

std::string line(const char* date, const char* start, const char* end, const char* sent,
                 const char* received) {
    return composeRecord(LogRecord{date, start, date, end, "joe", "ttyS0", "ISP", sent, received});
}

class UsageChart : public testing::Test {
  protected:
    SummaryData summary(SummaryFilter filter) {
        UsageLedger ledger(settings, log);
        return summarize(ledger, settings, filter, LocalDateTime{2026, 2, 15, 12, 0, 0, 0});
    }
    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    std::string log = dir.file("logfile.log");
};

TEST_F(UsageChart, ThisMonthHasABarForEachDayWithThatDaysCostAndData) {
    settings.writeString("Price", "PricePerDial", "1");
    settings.writeString("Price", "CostPerMinute", "0.5");
    test::writeFile(log, line("03-02-2026", "10:00:00", "10:10:00", "1000000", "500000") +
                             line("03-02-2026", "12:00:00", "12:02:00", "0", "500000") +
                             line("28-02-2026", "23:00:00", "23:01:00", "1", "1") +
                             line("31-01-2026", "10:00:00", "11:00:00", "9", "9") +
                             line("31-02-2026", "10:00:00", "11:00:00", "9", "9"));
    const SummaryData s = summary(SummaryFilter::ThisMonth);
    ASSERT_EQ(s.chart.bars.size(), 28u);
    EXPECT_FALSE(s.chart.monthly);
    EXPECT_EQ(s.chart.bars[0].label, "1");
    EXPECT_EQ(s.chart.bars[27].label, "28");
    EXPECT_DOUBLE_EQ(s.chart.bars[2].cost, 6 + 2);
    EXPECT_DOUBLE_EQ(s.chart.bars[2].megabytes, 2);
    // The 28th's record, and the record of "31-02-2026", which the month's filter has always
    // counted: it stands on the month's last day, so the bars add up to the totals.
    EXPECT_DOUBLE_EQ(s.chart.bars[27].cost, 1.5 + 31);
    EXPECT_DOUBLE_EQ(s.chart.bars[1].cost, 0);
    // The totals of the same pass: February's records, the 31st included.
    EXPECT_EQ(s.totals.count, 4);
    EXPECT_DOUBLE_EQ(s.totals.totalCost, 9.5 + 31);

    const SummaryData today = summary(SummaryFilter::Today);
    ASSERT_EQ(today.chart.bars.size(), 1u);
    EXPECT_EQ(today.chart.bars[0].label, "15");
}

TEST_F(UsageChart, AllEntriesHasABarForEachMonthFromTheFirstToTheLast) {
    settings.writeString("Price", "PricePerDial", "1");
    test::writeFile(log, line("20-11-2025", "10:00:00", "10:01:00", "1", "1") +
                             line("03-02-2026", "10:00:00", "10:01:00", "1", "1") +
                             line("04-02-2026", "10:00:00", "10:01:00", "1", "1") +
                             line("no date", "10:00:00", "10:01:00", "1", "1"));
    const SummaryData s = summary(SummaryFilter::All);
    EXPECT_TRUE(s.chart.monthly);
    EXPECT_FALSE(s.chart.billingPeriods);
    ASSERT_EQ(s.chart.bars.size(), 4u);
    EXPECT_EQ(s.chart.bars[0].label, "2025-11");
    EXPECT_EQ(s.chart.bars[2].label, "2026-01");
    EXPECT_DOUBLE_EQ(s.chart.bars[2].cost, 0);
    EXPECT_DOUBLE_EQ(s.chart.bars[3].cost, 2);
    EXPECT_EQ(s.totals.count, 4);

    // A stray year far back does not stretch the chart over centuries.
    test::writeFile(log, line("01-01-1900", "10:00:00", "10:01:00", "1", "1") +
                             line("03-02-2026", "10:00:00", "10:01:00", "1", "1"));
    const SummaryData far = summary(SummaryFilter::All);
    ASSERT_FALSE(far.chart.bars.empty());
    EXPECT_LE(far.chart.bars.size(), static_cast<std::size_t>(kMaxPeriodBars));
    EXPECT_EQ(far.chart.bars.back().label, "2026-02");
}

TEST_F(UsageChart, AllEntriesShowsBillingPeriodsByTheirFirstDay) {
    settings.writeInt("Settings", "BillingDay", 15);
    settings.writeString("Price", "PricePerDial", "1");
    // 14 January lies in the period from 15 December; 15 January starts the next one.
    test::writeFile(log, line("14-01-2026", "10:00:00", "10:01:00", "1000000", "0") +
                             line("15-01-2026", "10:00:00", "10:01:00", "2000000", "0") +
                             line("16-02-2026", "10:00:00", "10:01:00", "0", "0") +
                             line("20-04-2026", "10:00:00", "10:01:00", "0", "0"));
    const SummaryData s = summary(SummaryFilter::All);
    EXPECT_TRUE(s.chart.monthly);
    EXPECT_TRUE(s.chart.billingPeriods);
    ASSERT_EQ(s.chart.bars.size(), 5u);
    EXPECT_EQ(s.chart.bars[0].label, "2025-12-15");
    EXPECT_EQ(s.chart.bars[1].label, "2026-01-15");
    EXPECT_EQ(s.chart.bars[4].label, "2026-04-15");
    EXPECT_DOUBLE_EQ(s.chart.bars[0].megabytes, 1);
    EXPECT_DOUBLE_EQ(s.chart.bars[1].megabytes, 2);
    EXPECT_DOUBLE_EQ(s.chart.bars[3].cost, 0);  // no usage from 15 March
    double sum = 0;
    for (const UsageBar& bar : s.chart.bars) {
        sum += bar.cost;
    }
    EXPECT_DOUBLE_EQ(sum, s.totals.totalCost);
}

TEST(UsageBars, PeriodsKeepTheLatestAndDaysFillTheGaps) {
    UsageBucket old, recent;
    old.start = LocalDateTime{1900, 1, 15};
    recent.start = LocalDateTime{2026, 2, 15};
    recent.cost = 3;
    const UsageChartData periods = periodBars({old, recent}, 15);
    ASSERT_EQ(periods.bars.size(), static_cast<std::size_t>(kMaxPeriodBars));
    EXPECT_EQ(periods.bars.front().label, "2016-03-15");
    EXPECT_EQ(periods.bars.back().label, "2026-02-15");
    EXPECT_DOUBLE_EQ(periods.bars.back().cost, 3);
    EXPECT_TRUE(periodBars({}, 15).bars.empty());

    // Days across a year's end are labelled day.month.
    UsageBucket newYear;
    newYear.start = LocalDateTime{2026, 1, 1};
    newYear.downloaded = 5e6;
    const UsageChartData days = dayBars({newYear}, LogDate{30, 12, 2025}, LogDate{2, 1, 2026});
    ASSERT_EQ(days.bars.size(), 4u);
    EXPECT_EQ(days.bars[0].label, "30.12");
    EXPECT_EQ(days.bars[2].label, "1.1");
    EXPECT_DOUBLE_EQ(days.bars[2].megabytes, 5);
    EXPECT_DOUBLE_EQ(days.bars[1].megabytes, 0);
}

}  // namespace
}  // namespace tavu
