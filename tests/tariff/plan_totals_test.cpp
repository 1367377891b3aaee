// Three connections under three plans, priced by hand.

#include <gtest/gtest.h>

#include <numeric>

#include "core/settings_store.h"
#include "log/log_record.h"
#include "support/local_zone.h"
#include "support/temp_dir.h"
#include "tariff/totals.h"
#include "tariff/usage_buckets.h"
#include "usage/usage_source.h"

namespace tavu {
namespace {

using test::writeFile;

// 10 March 2024, noon: the Modem's period began on 15 February, the SIM's on 28 February (the
// leap day within), the default plan's on 1 March.
const LocalDateTime kNow{2024, 3, 10, 12, 0, 0, 0};

std::string record(const char* date, const char* start, const char* end, const char* device,
                   const char* connection, const char* bytes) {
    return composeRecord({date, start, date, end, "joe", device, connection, bytes, "0"});
}

class PlanTotals : public testing::Test {
  protected:
    void SetUp() override {
        // The default plan: by the minute, the calendar month.
        settings.writeString("Price", "PricePerDial", "0.5");
        settings.writeString("Price", "CostPerMinute", "0.1");
        // A modem by the megabyte with 100 MB free from the 15th.
        settings.writeString("Plan Modem", "Match", "ppp*");
        settings.writeString("Plan Modem", "CostPerMB", "0.01");
        settings.writeInt("Plan Modem", "FreeMonthMB", 100);
        settings.writeInt("Plan Modem", "BillingDay", 15);
        // A travel SIM by the minute (two at least) and the megabyte from the 28th.
        settings.writeString("Plan Travel", "Match", "Travel SIM");
        settings.writeString("Plan Travel", "CostPerMinute", "0.02");
        settings.writeString("Plan Travel", "MinConTime", "00:02");
        settings.writeString("Plan Travel", "CostPerMB", "0.05");
        settings.writeInt("Plan Travel", "BillingDay", 28);
        writeFile(
            log,
            record("14-02-2024", "10:00:00", "10:10:00", "ppp0", "Provider", "30000000") +
                record("20-02-2024", "10:00:00", "10:10:00", "ppp1", "Provider", "150000000") +
                record("27-02-2024", "10:00:00", "10:05:00", "wwan0", "Travel SIM", "1000000") +
                record("29-02-2024", "09:00:00", "09:01:00", "wwan0", "Travel SIM", "2000000") +
                record("29-02-2024", "20:00:00", "20:10:00", "eth0", "Home DSL", "0") +
                record("01-03-2024", "20:00:00", "20:30:00", "eth0", "Home DSL", "0") +
                record("05-03-2024", "10:00:00", "10:10:00", "ppp0", "Provider", "50000000"));
    }
    LogTotals totals(SummaryFilter filter, const std::string& plan = {}) {
        return TotalsEngine(settings, filter, kNow, TotalsOptions{.plan = plan}).run(log);
    }

    test::LocalZone utc{"UTC"};
    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    std::string log = dir.file("logfile.log");
};

TEST_F(PlanTotals, EachRecordIsPricedByItsPlanAndAllPlansAddUp) {
    // Default: 0.5 + 0.1 a minute: 1.50 and 3.50. Modem: 0.30, 1.50, 0.50. Travel: 5 minutes
    // 0.10 + 1 MB 0.05, and the minimal 2 minutes 0.04 + 2 MB 0.10.
    EXPECT_NEAR(totals(SummaryFilter::All, "Default").totalCost, 5.00, 1e-9);
    EXPECT_NEAR(totals(SummaryFilter::All, "modem").totalCost, 2.30, 1e-9);
    EXPECT_NEAR(totals(SummaryFilter::All, "Travel").totalCost, 0.29, 1e-9);
    const LogTotals all = totals(SummaryFilter::All);
    EXPECT_NEAR(all.totalCost, 7.59, 1e-9);
    EXPECT_EQ(all.count, 7);
    EXPECT_FALSE(all.periodsOfAllPlans);
    EXPECT_EQ(totals(SummaryFilter::All, "Nobody").count, 0);

    // Each plan's current period: the default plan's 3.50; the Modem's 2.00 less 100 free MB
    // (1.00); the SIM's leap-day record 0.14 (the 27th was its period before).
    const LogTotals modem = totals(SummaryFilter::ThisMonth, "Modem");
    EXPECT_EQ(modem.count, 2);
    EXPECT_NEAR(modem.totalCost, 1.00, 1e-9);
    EXPECT_NEAR(totals(SummaryFilter::ThisMonth, "Travel").totalCost, 0.14, 1e-9);
    const LogTotals periods = totals(SummaryFilter::ThisMonth);
    EXPECT_TRUE(periods.periodsOfAllPlans);
    EXPECT_EQ(periods.count, 4);
    EXPECT_NEAR(periods.totalCost, 4.64, 1e-9);
    EXPECT_NEAR(periods.averageCost, 1.16, 1e-9);
    EXPECT_NEAR(periods.transmitted, 202e6, 1e-3);
    // Each projected over its own period (31, 29 and 29 days, 9.5, 24.5 and 11.5 of them gone),
    // the Modem's free data taken off the projection, then added.
    const double projected = 3.5 * 31 / 9.5 + (2.0 * 29 / 24.5 - 1.0) + 0.14 * 29 / 11.5;
    ASSERT_TRUE(periods.projectedCost);
    EXPECT_NEAR(*periods.projectedCost, projected, 1e-9);
    EXPECT_NEAR(*periods.projectedData, 200e6 * 29 / 24.5 + 2e6 * 29 / 11.5, 1e-3);
}

TEST_F(PlanTotals, UsageBucketsTakeEachPlansFreeDataOffItsOwnPeriod) {
    const auto sum = [](const std::vector<UsageBucket>& buckets) {
        return std::accumulate(buckets.begin(), buckets.end(), 0.0,
                               [](double s, const UsageBucket& b) { return s + b.cost; });
    };
    // The Modem's free 100 MB come off the 20 February record: 0.50 and 0.50 remain.
    const auto modem = usageBuckets(settings, log, nullptr, UsageBy::Day, LogDate{15, 2, 2024},
                                    LogDate{14, 3, 2024}, kNow, "Modem");
    ASSERT_EQ(modem.size(), 2u);
    EXPECT_NEAR(modem[0].cost, 0.50, 1e-9);
    EXPECT_NEAR(sum(modem), totals(SummaryFilter::ThisMonth, "Modem").totalCost, 1e-9);
    // All plans from 1 to 10 March: the home line's 3.50 and the modem's 0.50; the leap day
    // holds the SIM's 0.14 and the home line's 1.50 in one bucket.
    const auto march = usageBuckets(settings, log, nullptr, UsageBy::Day, LogDate{29, 2, 2024},
                                    LogDate{10, 3, 2024}, kNow);
    ASSERT_EQ(march.size(), 3u);
    EXPECT_EQ(march[0].connections, 2);
    EXPECT_NEAR(march[0].cost, 1.64, 1e-9);
    EXPECT_NEAR(sum(march), 1.64 + 3.5 + 0.5, 1e-9);
    // By period, all plans follow the default plan's months.
    const auto months = usageBuckets(settings, log, nullptr, UsageBy::Period, LogDate{1, 2, 2024},
                                     LogDate{31, 3, 2024}, kNow);
    ASSERT_EQ(months.size(), 2u);
    EXPECT_EQ(months[1].start.month, 3);
    EXPECT_EQ(months[0].connections + months[1].connections, 7);
}

// Bytes used while roaming are priced with the RoamingCostPerMB of the record's own plan, not
// with the default plan's; a plan without one prices them as its other bytes.
TEST_F(PlanTotals, RoamingBytesArePricedWithTheirPlansRoamingPrice) {
    settings.writeString("Price", "RoamingCostPerMB", "9");
    settings.writeString("Plan Travel", "RoamingCostPerMB", "1");
    const auto at = [](int d, int h) {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   fromLocal(2024, d == 29 ? 2 : 3, d, h, 0).time_since_epoch())
            .count();
    };
    MemoryUsageSource rows;
    // The SIM's leap-day 2 MB, 1 MB of them roaming; the modem's 50 MB, 10 MB roaming.
    rows.rows[ConnectionKey{"29-02-2024", "09:00:00", "wwan0", "Travel SIM"}] = {
        UsageRow{at(29, 9), 60, 2000000, 0, 1000000}};
    rows.rows[ConnectionKey{"05-03-2024", "10:00:00", "ppp0", "Provider"}] = {
        UsageRow{at(5, 10), 600, 50000000, 0, 10000000}};
    const auto period = [&](const std::string& plan) {
        return TotalsEngine(settings, SummaryFilter::ThisMonth, kNow,
                            TotalsOptions{.store = &rows, .plan = plan})
            .run(log)
            .totalCost;
    };
    // Two minutes 0.04, 1 MB at 0.05 and 1 MB roaming at 1.00.
    EXPECT_NEAR(period("Travel"), 1.09, 1e-9);
    // The chart's buckets price them the same.
    double buckets = 0;
    for (const UsageBucket& b :
         usageBuckets(settings, log, &rows, UsageBy::Day, LogDate{28, 2, 2024},
                      LogDate{10, 3, 2024}, kNow, "Travel")) {
        buckets += b.cost;
    }
    EXPECT_NEAR(buckets, 1.09, 1e-9);
    // The modem's plan has no roaming price: unchanged (1.00, as without the rows).
    EXPECT_NEAR(period("Modem"), 1.00, 1e-9);
}

}  // namespace
}  // namespace tavu
