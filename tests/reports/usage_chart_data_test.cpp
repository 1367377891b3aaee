#include "reports/usage_chart_data.h"

#include <gtest/gtest.h>

#include "core/settings_store.h"
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
        return summarize(settings, log, filter, LocalDateTime{2026, 2, 15, 12, 0, 0, 0});
    }
    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    std::string log = dir.file("logfile.log");
};

TEST_F(UsageChart, ThisMonthHasABarForEachDayWithThatDaysCostAndData) {
    settings.writeString("Price", "PricePerDial", "1");
    settings.writeString("Price", "CostPerMinute", "0.5");
    settings.writeString("Price", "FreeMonthTime", "00:10");
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
    EXPECT_DOUBLE_EQ(s.chart.bars[27].cost, 1.5);
    EXPECT_DOUBLE_EQ(s.chart.bars[1].cost, 0);
    // The totals of the same pass: February's records, the 31st included as the month's
    // filter has always counted it (it has no bar), the free time deducted.
    EXPECT_EQ(s.totals.count, 4);
    EXPECT_DOUBLE_EQ(s.totals.totalCost, 9.5 + 31 - 6);

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
    ASSERT_EQ(far.chart.bars.size(), static_cast<std::size_t>(UsageCollector::kMaxMonths));
    EXPECT_EQ(far.chart.bars.back().label, "2026-02");
}

}  // namespace
}  // namespace tavu
