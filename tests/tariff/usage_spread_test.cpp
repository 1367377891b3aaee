// The period and day totals count a connection where its usage happened.

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "core/settings_store.h"
#include "log/log_record.h"
#include "support/local_zone.h"
#include "support/temp_dir.h"
#include "tariff/totals.h"
#include "tariff/usage_buckets.h"
#include "usage/usage_source.h"

namespace tavu {
namespace {

using test::LocalZone;
using test::TempDir;
using test::writeFile;

std::string span(const char* startDate, const char* startTime, const char* endDate,
                 const char* endTime, const char* sent = "0", const char* received = "0") {
    return composeRecord(
        LogRecord{startDate, startTime, endDate, endTime, "joe", "ttyS0", "ISP", sent, received});
}

std::int64_t utc(int y, int mo, int d, int h = 0, int mi = 0) {
    return std::chrono::duration_cast<std::chrono::seconds>(
               fromLocal(y, mo, d, h, mi).time_since_epoch())
        .count();
}

class UsageSpread : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(LocalZone::known("Europe/Helsinki")) << "the tzdata package is missing";
    }
    LogTotals totals(SummaryFilter filter, const LocalDateTime& today,
                     const UsageSource* store = nullptr) {
        TotalsOptions options;
        options.store = store;
        return TotalsEngine(settings, filter, today, options).run(log);
    }

    LocalZone zone{"Europe/Helsinki"};
    TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    std::string log = dir.file("logfile.log");
};

TEST_F(UsageSpread, ARecordAcrossTheBillingDaySharesItsSecondsBytesAndPriceByPeriod) {
    settings.writeString("Price", "PricePerDial", "1");
    settings.writeString("Price", "CostPerMinute", "0.1");
    settings.writeString("Price", "CostPerMB", "0.01");
    settings.writeInt("Settings", "BillingDay", 15);
    // 48 hours, 12 of them before the 15th, and 4 MB.
    writeFile(log, span("14-03-2026", "12:00:00", "16-03-2026", "12:00:00", "1000000", "3000000"));
    const LogTotals now = totals(SummaryFilter::ThisMonth, {2026, 3, 20, 12});
    EXPECT_EQ(now.count, 1);
    EXPECT_EQ(now.totalTime, 36 * 3600);
    EXPECT_DOUBLE_EQ(now.uploaded, 750000);
    EXPECT_DOUBLE_EQ(now.downloaded, 2250000);
    EXPECT_NEAR(now.totalCost, (1 + 0.1 * 2880) * 0.75 + 0.03, 1e-9);
    const LogTotals before = totals(SummaryFilter::ThisMonth, {2026, 3, 14, 23, 59, 59});
    EXPECT_EQ(before.count, 1);
    EXPECT_EQ(before.totalTime, 12 * 3600);
    EXPECT_NEAR(before.totalCost + now.totalCost, 1 + 0.1 * 2880 + 0.04, 1e-9);
    // "All" still counts it once, whole.
    const LogTotals all = totals(SummaryFilter::All, {2026, 3, 20, 12});
    EXPECT_EQ(all.totalTime, 48 * 3600);
    EXPECT_NEAR(all.totalCost, 1 + 0.1 * 2880 + 0.04, 1e-9);
}

TEST_F(UsageSpread, BytesUsedWhileRoamingArePricedWithTheRoamingPrice) {
    settings.writeString("Price", "CostPerMB", "0.01");
    writeFile(log, span("14-03-2026", "12:00:00", "14-03-2026", "12:30:00", "1000000", "3000000"));
    MemoryUsageSource rows;
    const ConnectionKey key{"14-03-2026", "12:00:00", "ttyS0", "ISP"};
    // 4 MB in two quarters; 1 MB of the second one while roaming.
    rows.rows[key] = {UsageRow{utc(2026, 3, 14, 12), 900, 500000, 1500000, 0},
                      UsageRow{utc(2026, 3, 14, 12, 15), 900, 500000, 1500000, 1000000}};
    // Without a roaming price the roaming bytes cost what the others do.
    EXPECT_NEAR(totals(SummaryFilter::ThisMonth, {2026, 3, 20, 12}, &rows).totalCost, 0.04, 1e-9);
    settings.writeString("Price", "RoamingCostPerMB", "2.5");
    EXPECT_NEAR(totals(SummaryFilter::ThisMonth, {2026, 3, 20, 12}, &rows).totalCost, 0.03 + 2.5,
                1e-9);
    // The hourly buckets of the chart price them the same.
    const LogDate day{14, 3, 2026};
    double sum = 0;
    for (const UsageBucket& b :
         usageBuckets(settings, log, &rows, UsageBy::Hour, day, day, {2026, 3, 20, 12})) {
        sum += b.cost;
    }
    EXPECT_NEAR(sum, 0.03 + 2.5, 1e-9);
}

TEST_F(UsageSpread, AConnectionEndingAtThePeriodsStartIsNotInIt) {
    settings.writeInt("Settings", "BillingDay", 15);
    writeFile(log, span("14-03-2026", "22:00:00", "15-03-2026", "00:00:00", "5", "5") +
                       span("15-03-2026", "00:00:00", "15-03-2026", "00:00:01", "1", "1"));
    const LogTotals t = totals(SummaryFilter::ThisMonth, {2026, 3, 15, 12});
    EXPECT_EQ(t.count, 1);
    EXPECT_EQ(t.totalTime, 1);
    EXPECT_DOUBLE_EQ(t.uploaded + t.downloaded, 2);
}

TEST_F(UsageSpread, TodayCountsTheHoursOfAShortSummerTimeDayAndALeapDay) {
    // 28 March 23:00 to 30 March 01:00 is 25 hours: 29 March has only 23.
    writeFile(log, span("28-03-2026", "23:00:00", "30-03-2026", "01:00:00", "0", "2500"));
    LogTotals t = totals(SummaryFilter::Today, {2026, 3, 29, 12});
    EXPECT_EQ(t.totalTime, 23 * 3600);
    EXPECT_DOUBLE_EQ(t.downloaded, 2300);
    writeFile(log, span("28-02-2028", "12:00:00", "01-03-2028", "12:00:00", "0", "4800"));
    t = totals(SummaryFilter::Today, {2028, 2, 29, 12});
    EXPECT_EQ(t.totalTime, 24 * 3600);
    EXPECT_DOUBLE_EQ(t.downloaded, 2400);
    EXPECT_EQ(totals(SummaryFilter::Today, {2028, 3, 1, 12}).totalTime, 12 * 3600);
}

TEST_F(UsageSpread, AFortyDayConnectionCountsInEachMonthItSpans) {
    settings.writeString("Price", "PricePerDial", "4");
    // 1 January to 10 February: 31 days in January, 9 in February.
    writeFile(log, span("01-01-2026", "00:00:00", "10-02-2026", "00:00:00", "0", "4000"));
    const LogTotals jan = totals(SummaryFilter::ThisMonth, {2026, 1, 20});
    const LogTotals feb = totals(SummaryFilter::ThisMonth, {2026, 2, 20});
    const LogTotals mar = totals(SummaryFilter::ThisMonth, {2026, 3, 20});
    EXPECT_EQ(jan.totalTime, 31 * 86400);
    EXPECT_EQ(feb.totalTime, 9 * 86400);
    EXPECT_DOUBLE_EQ(feb.downloaded, 900);
    EXPECT_NEAR(jan.totalCost, 3.1, 1e-9);
    EXPECT_NEAR(feb.totalCost, 0.9, 1e-9);
    EXPECT_EQ(mar.count, 0);
    // Averages divide by the connections with seconds in the period.
    EXPECT_NEAR(feb.averageCost, 0.9, 1e-9);
}

TEST_F(UsageSpread, RecordsThatCannotBePlacedCountWhollyOnTheirStartDate) {
    settings.writeString("Price", "PricePerDial", "1");
    settings.writeInt("Settings", "BillingDay", 15);
    writeFile(log, span("31-02-2026", "10:00:00", "01-03-2026", "10:00:00") +      // no such date
                       span("20-02-2026", "10:00:00", "19-02-2026", "10:00:00") +  // ends first
                       span("25-02-2026", "10:00:00", "25-02-2026", "10:00:00") +  // no length
                       span("14-02-2026", "10:00:00", "13-02-2026", "10:00:00"));  // before
    const LogTotals t = totals(SummaryFilter::ThisMonth, {2026, 3, 1, 12});
    EXPECT_EQ(t.count, 3);
    EXPECT_NEAR(t.totalCost, 3, 1e-9);
}

TEST_F(UsageSpread, StoreRowsDecideWhereSecondsAndBytesCount) {
    settings.writeString("Price", "PricePerDial", "2");
    settings.writeString("Price", "CostPerMB", "1");
    // 2 hours across midnight; the store says 1 hour 30 min and 7 MB after it.
    writeFile(log, span("09-03-2026", "23:00:00", "10-03-2026", "01:00:00", "0", "8000000") +
                       span("08-03-2026", "10:00:00", "08-03-2026", "11:00:00", "0", "1"));
    MemoryUsageSource store;
    auto& rows = store.rows[ConnectionKey{"09-03-2026", "23:00:00", "ttyS0", "ISP"}];
    const std::int64_t midnight = utc(2026, 3, 10);
    rows.push_back(UsageRow{midnight - 900, 900, 0, 1000000});
    for (int q = 0; q < 6; ++q) {
        rows.push_back(UsageRow{midnight + q * 900, 900, 500000, 666666});
    }
    // The second record has rows only on its own day: none on the 10th.
    store.rows[ConnectionKey{"08-03-2026", "10:00:00", "ttyS0", "ISP"}].push_back(
        UsageRow{utc(2026, 3, 8, 10), 900, 0, 1});
    const LogTotals t = totals(SummaryFilter::Today, {2026, 3, 10, 12}, &store);
    EXPECT_EQ(t.count, 1);
    EXPECT_EQ(t.totalTime, 5400);
    EXPECT_DOUBLE_EQ(t.uploaded, 3000000);
    EXPECT_DOUBLE_EQ(t.downloaded, 3999996);
    EXPECT_NEAR(t.totalCost, 2 * 0.75 + 6.999996, 1e-9);
    // Without the store the record is spread evenly: half of it on the 10th.
    const LogTotals even = totals(SummaryFilter::Today, {2026, 3, 10, 12});
    EXPECT_EQ(even.totalTime, 3600);
    EXPECT_DOUBLE_EQ(even.downloaded, 4000000);
}

TEST_F(UsageSpread, QuarterHourRowsMeetLocalMidnightInNepalAndChatham) {
    for (const char* name : {"Asia/Kathmandu", "Pacific/Chatham"}) {
        ASSERT_TRUE(LocalZone::known(name)) << "the tzdata package is missing";
        LocalZone here(name);
        writeFile(log, span("09-03-2026", "23:00:00", "10-03-2026", "01:00:00", "0", "0"));
        MemoryUsageSource store;
        auto& rows = store.rows[ConnectionKey{"09-03-2026", "23:00:00", "ttyS0", "ISP"}];
        const std::int64_t midnight = utc(2026, 3, 10);
        EXPECT_EQ(quarterOf(midnight), midnight) << name;
        for (int q = -4; q < 4; ++q) {
            rows.push_back(UsageRow{midnight + q * 900, 900, 0, q < 0 ? 1 : 100});
        }
        const LogTotals t = totals(SummaryFilter::Today, {2026, 3, 10, 12}, &store);
        EXPECT_DOUBLE_EQ(t.downloaded, 400) << name;
        EXPECT_EQ(t.totalTime, 3600) << name;
    }
}

TEST_F(UsageSpread, TheProjectionPricesTheScaledDataAndTakesTheFreeDataOffOnce) {
    settings.writeString("Price", "CostPerMB", "0.01");
    settings.writeInt("Price", "FreeMonthMB", 5000);
    // November 2026 has 30 days and no change of summer time; 16,750 MB used so far, and
    // 16,750/22,019 of the month gone: the pace carries on to 22,019 MB.
    writeFile(log, span("01-11-2026", "00:00:00", "01-11-2026", "00:01:00", "0", "16750000000"));
    const std::int64_t gone = 30LL * 86400 * 16750 / 22019;
    const LocalDateTime today = toLocal(fromLocal(2026, 11, 1) + std::chrono::seconds(gone));
    const LogTotals t = totals(SummaryFilter::ThisMonth, today);
    EXPECT_NEAR(t.totalCost, 117.5, 1e-9);
    EXPECT_NEAR(*t.projectedData / 1e6, 22019, 0.01);
    EXPECT_NEAR(*t.projectedCost, 170.19, 0.005);
}

TEST_F(UsageSpread, BucketsHaveTheHoursOfTheDayAndTheirLocalStart) {
    // 25 October 2026 has 25 hours in Helsinki: 03:00 comes twice.
    writeFile(log, span("25-10-2026", "00:00:00", "26-10-2026", "00:00:00", "0", "2500"));
    const LogDate day{25, 10, 2026};
    const auto hours =
        usageBuckets(settings, log, nullptr, UsageBy::Hour, day, day, {2026, 10, 30});
    ASSERT_EQ(hours.size(), 25u);
    EXPECT_EQ(hours[3].start.hour, 3);
    EXPECT_EQ(hours[4].start.hour, 3);
    EXPECT_EQ(hours[24].start.hour, 23);
    for (const UsageBucket& b : hours) {
        EXPECT_EQ(b.seconds, 3600);
        EXPECT_DOUBLE_EQ(b.downloaded, 100);
        EXPECT_EQ(b.connections, 1);
    }
    const auto days = usageBuckets(settings, log, nullptr, UsageBy::Day, day, LogDate{26, 10, 2026},
                                   {2026, 10, 30});
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].seconds, 25 * 3600);
}

TEST_F(UsageSpread, BucketsTakeTheFreeDataOffTheEarliestUsageFirst) {
    settings.writeString("Price", "CostPerMB", "1");
    settings.writeInt("Price", "FreeMonthMB", 3);
    settings.writeInt("Settings", "BillingDay", 2);
    writeFile(log, span("01-03-2026", "10:00:00", "01-03-2026", "11:00:00", "0", "2000000") +
                       span("02-03-2026", "10:00:00", "02-03-2026", "11:00:00", "0", "2000000") +
                       span("03-03-2026", "10:00:00", "03-03-2026", "11:00:00", "0", "2000000"));
    const auto days = usageBuckets(settings, log, nullptr, UsageBy::Day, LogDate{1, 3, 2026},
                                   LogDate{3, 3, 2026}, {2026, 3, 3});
    ASSERT_EQ(days.size(), 3u);
    EXPECT_NEAR(days[0].cost, 0, 1e-9);  // the period before: its own 3 MB free
    EXPECT_NEAR(days[1].cost, 0, 1e-9);
    EXPECT_NEAR(days[2].cost, 1, 1e-9);
    EXPECT_NEAR(days[1].cost + days[2].cost,
                totals(SummaryFilter::ThisMonth, {2026, 3, 3, 12}).totalCost, 1e-9);
}

TEST_F(UsageSpread, BucketsFollowTheStoreRowsInNepal) {
    ASSERT_TRUE(LocalZone::known("Asia/Kathmandu")) << "the tzdata package is missing";
    LocalZone here("Asia/Kathmandu");
    writeFile(log, span("09-03-2026", "23:00:00", "10-03-2026", "01:00:00", "0", "999"));
    MemoryUsageSource store;
    auto& rows = store.rows[ConnectionKey{"09-03-2026", "23:00:00", "ttyS0", "ISP"}];
    const std::int64_t midnight = utc(2026, 3, 10);
    for (int q = -4; q < 4; ++q) {
        rows.push_back(UsageRow{midnight + q * 900, 900, 0, q < 0 ? 1 : 100});
    }
    const auto days = usageBuckets(settings, log, &store, UsageBy::Day, LogDate{9, 3, 2026},
                                   LogDate{10, 3, 2026}, {2026, 3, 10});
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].start.day, 9);
    EXPECT_DOUBLE_EQ(days[0].downloaded, 4);
    EXPECT_DOUBLE_EQ(days[1].downloaded, 400);
    EXPECT_EQ(days[1].seconds, 3600);
}

TEST_F(UsageSpread, AFortyDayConnectionFillsItsBillingPeriods) {
    settings.writeInt("Settings", "BillingDay", 15);
    writeFile(log, span("01-01-2026", "00:00:00", "10-02-2026", "00:00:00", "0", "4000"));
    const auto periods = usageBuckets(settings, log, nullptr, UsageBy::Period, LogDate{1, 1, 2026},
                                      LogDate{28, 2, 2026}, {2026, 2, 28});
    ASSERT_EQ(periods.size(), 2u);
    EXPECT_EQ(periods[0].start.month, 12);  // from 15 December
    EXPECT_EQ(periods[0].seconds, 14 * 86400);
    EXPECT_EQ(periods[1].seconds, 26 * 86400);
    EXPECT_NEAR(periods[1].downloaded, 2600, 1e-6);
}

}  // namespace
}  // namespace tavu
