#include "reports/period_chart_data.h"

#include <gtest/gtest.h>

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "log/log_record.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

UsageBucket day(int year, int month, int d, double megabytes) {
    UsageBucket b;
    b.start = LocalDateTime{year, month, d};
    b.downloaded = megabytes * 1e6 / 2;
    b.uploaded = megabytes * 1e6 / 2;
    return b;
}

// The period from 15 April to 15 May 2026 (30 days), at 18:00 on 3 May.
PeriodChartInput mayThird() {
    PeriodChartInput in;
    in.now = LocalDateTime{2026, 5, 3, 18, 0, 0};
    in.period = billingPeriodAt(15, in.now);
    in.days = {day(2026, 4, 14, 77), day(2026, 4, 15, 1000), day(2026, 4, 20, 500),
               day(2026, 5, 3, 240), day(2026, 5, 15, 99)};
    return in;
}

TEST(PeriodChart, UsedRisesDayByDayToNowAndIgnoresOtherPeriods) {
    const PeriodChartData c = buildPeriodChart(mayThird());
    EXPECT_EQ(c.days, 30);
    ASSERT_EQ(c.dayLabels.size(), 31u);
    EXPECT_EQ(c.dayLabels.front(), "15.4");
    EXPECT_EQ(c.dayLabels[16], "1.5");
    EXPECT_EQ(c.dayLabels.back(), "15.5");
    // (0, 0), the ends of the 18 days gone, then now: 3 May is the period's 19th day.
    ASSERT_EQ(c.used.size(), 20u);
    EXPECT_DOUBLE_EQ(c.used[0].y, 0);
    EXPECT_DOUBLE_EQ(c.used[1].x, 1);
    EXPECT_DOUBLE_EQ(c.used[1].y, 1000);
    EXPECT_DOUBLE_EQ(c.used[5].y, 1000);
    EXPECT_DOUBLE_EQ(c.used[6].y, 1500);
    EXPECT_DOUBLE_EQ(c.used[18].y, 1500);
    EXPECT_DOUBLE_EQ(c.used.back().x, 18.75);
    EXPECT_DOUBLE_EQ(c.used.back().y, 1740);
    for (std::size_t i = 1; i < c.used.size(); ++i) {
        EXPECT_GT(c.used[i].x, c.used[i - 1].x);
        EXPECT_GE(c.used[i].y, c.used[i - 1].y);
    }
    EXPECT_DOUBLE_EQ(c.usedMegabytes, 1740);
    EXPECT_EQ(c.daysLeft, 12);
    EXPECT_TRUE(c.caps.empty());
    EXPECT_TRUE(c.projection.empty());
    EXPECT_EQ(c.words, "1,740 MB used, 12 days left");
}

TEST(PeriodChart, UsageDatedAfterTodayCountsNow) {
    PeriodChartInput in = mayThird();
    in.days.push_back(day(2026, 5, 10, 60));
    const PeriodChartData c = buildPeriodChart(in);
    EXPECT_DOUBLE_EQ(c.used.back().y, 1800);
    EXPECT_DOUBLE_EQ(c.used.back().x, 18.75);
}

TEST(PeriodChart, CapsThatAreSetAndTheProjectionFromNowToTheEnd) {
    PeriodChartInput in = mayThird();
    in.warnMB = 8000;
    in.hangupMB = 10000;
    in.projectedBytes = 8'900.4e6;
    PeriodChartData c = buildPeriodChart(in);
    ASSERT_EQ(c.caps.size(), 2u);
    EXPECT_EQ(c.caps[0].name, "Warning");
    EXPECT_DOUBLE_EQ(c.caps[0].megabytes, 8000);
    EXPECT_EQ(c.caps[1].name, "Hang-up");
    ASSERT_EQ(c.projection.size(), 2u);
    EXPECT_DOUBLE_EQ(c.projection[0].x, 18.75);
    EXPECT_DOUBLE_EQ(c.projection[0].y, 1740);
    EXPECT_DOUBLE_EQ(c.projection[1].x, 30);
    EXPECT_DOUBLE_EQ(c.projection[1].y, 8900.4);
    EXPECT_EQ(c.words, "1,740 MB of 10,000 MB used, 12 days left, projected 8,900 MB");

    // Only the warning set: it is the one named.
    in.hangupMB = 0;
    c = buildPeriodChart(in);
    ASSERT_EQ(c.caps.size(), 1u);
    EXPECT_EQ(c.caps[0].name, "Warning");
    EXPECT_EQ(c.words, "1,740 MB of 8,000 MB used, 12 days left, projected 8,900 MB");

    // A projection below the use so far (a rounding of the pace) never points down.
    in.projectedBytes = 1e6;
    c = buildPeriodChart(in);
    EXPECT_DOUBLE_EQ(c.projection[1].y, 1740);
}

TEST(PeriodChart, LastDayOfTheCalendarMonth) {
    PeriodChartInput in;
    in.now = LocalDateTime{2026, 2, 28, 23, 0, 0};
    in.period = billingPeriodAt(1, in.now);
    in.days = {day(2026, 2, 28, 0.4)};
    const PeriodChartData c = buildPeriodChart(in);
    EXPECT_EQ(c.days, 28);
    EXPECT_EQ(c.dayLabels.front(), "1");
    EXPECT_EQ(c.dayLabels.back(), "1");
    EXPECT_EQ(c.daysLeft, 1);
    EXPECT_NEAR(c.used.back().x, 27 + 23.0 / 24, 1e-9);
    EXPECT_EQ(c.words, "0 MB used, 1 day left");

    // The first second of a period: the line is the one point (0, 0).
    in.now = LocalDateTime{2026, 3, 1, 0, 0, 0};
    in.period = billingPeriodAt(1, in.now);
    const PeriodChartData start = buildPeriodChart(in);
    ASSERT_EQ(start.used.size(), 1u);
    EXPECT_EQ(start.daysLeft, 31);
}

TEST(PeriodChart, WordsGroupThousandsAndCountDays) {
    EXPECT_EQ(groupThousands(0), "0");
    EXPECT_EQ(groupThousands(999), "999");
    EXPECT_EQ(groupThousands(1000), "1,000");
    EXPECT_EQ(groupThousands(1234567), "1,234,567");
    EXPECT_EQ(groupThousands(-1234), "-1,234");
    EXPECT_EQ(periodWords(5239.6, 10000, 12, 8900.0),
              "5,240 MB of 10,000 MB used, 12 days left, projected 8,900 MB");
    EXPECT_EQ(periodWords(5240, 0, 12, 8900.0), "5,240 MB used, 12 days left, projected 8,900 MB");
    EXPECT_EQ(periodWords(0, 0, 1, std::nullopt), "0 MB used, 1 day left");
    EXPECT_EQ(periodWords(0, 0, 0, 0.0), "0 MB used, 0 days left, projected 0 MB");
}

TEST(PeriodChart, FromTheLogWithTheCapsReadAsTheCostCheckReadsThem) {
    test::TempDir dir;
    SettingsStore settings(dir.file("tavu.ini"));
    settings.writeInt(keys::kSettings, keys::kBillingDay, 15);
    // A cap kept beside the money limits is read as well; one in Warnings wins.
    settings.writeInt(keys::kSettings, keys::kDataWarnMB, 3000);
    settings.writeInt(keys::kSettings, keys::kDataHangupMB, 9000);
    settings.writeInt(keys::kWarnings, keys::kDataHangupMB, 4000);
    const std::string log = dir.file("logfile.log");
    test::writeFile(log, composeRecord(LogRecord{"20-04-2026", "10:00:00", "20-04-2026", "11:00:00",
                                                 "joe", "ttyS0", "ISP", "600000000", "400000000"}) +
                             composeRecord(LogRecord{"10-04-2026", "10:00:00", "10-04-2026",
                                                     "11:00:00", "joe", "ttyS0", "ISP", "5", "5"}));
    UsageLedger ledger(settings, log);
    const PeriodChartData c = periodChart(ledger, settings, LocalDateTime{2026, 5, 3, 18, 0, 0});
    ASSERT_EQ(c.caps.size(), 2u);
    EXPECT_DOUBLE_EQ(c.caps[0].megabytes, 3000);
    EXPECT_DOUBLE_EQ(c.caps[1].megabytes, 4000);
    EXPECT_DOUBLE_EQ(c.usedMegabytes, 1000);
    ASSERT_TRUE(c.projectedMegabytes.has_value());
    EXPECT_NEAR(*c.projectedMegabytes, 1000 * 30 / 18.75, 1);
    EXPECT_EQ(c.words.rfind("1,000 MB of 4,000 MB used, 12 days left, projected 1,6", 0), 0u)
        << c.words;
}

}  // namespace
}  // namespace tavu
