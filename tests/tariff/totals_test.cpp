#include "tariff/totals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <random>

#include "core/settings_store.h"
#include "core/text.h"
#include "log/log_file.h"
#include "log/log_record.h"
#include "support/local_zone.h"
#include "support/temp_dir.h"
#include "tariff/billing_period.h"

namespace tavu {
namespace {

using test::TempDir;
using test::writeFile;

// 15 March 2026.
const LocalDateTime kToday{2026, 3, 15, 12, 0, 0, 0};

std::string line(const char* date, const char* start, const char* end, const char* sent = "0",
                 const char* received = "0", const char* user = "joe") {
    return composeRecord(LogRecord{date, start, date, end, user, "ttyS0", "ISP", sent, received});
}

class Totals : public testing::Test {
  protected:
    TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    std::string log = dir.file("logfile.log");
};

TEST_F(Totals, EmptyOrMissingLogGivesZeros) {
    for (int i = 0; i < 2; ++i) {
        const LogTotals t = computeTotals(settings, log, SummaryFilter::All, kToday);
        EXPECT_EQ(t.count, 0);
        EXPECT_EQ(t.totalCost, 0);
        EXPECT_EQ(t.averageCost, 0);
        EXPECT_EQ(t.totalTime, 0);
        writeFile(log, "");
    }
}

TEST_F(Totals, SumsCountsTimesVolumesAndCosts) {
    settings.writeString("Price", "PricePerDial", "1");
    settings.writeString("Price", "CostPerMinute", "0.6");
    settings.writeString("Price", "MinConTime", "00:02");
    settings.writeString("Price", "ConnectionBlock", "00:05");
    writeFile(log, line("01-03-2026", "10:00:00", "10:00:30", "100", "1000") +   // min 120
                       line("02-03-2026", "11:00:00", "11:10:00", "50", "5x") +  // 600
                       "\r\n|||||||||\r\n");
    const LogTotals t = computeTotals(settings, log, SummaryFilter::All, kToday);
    EXPECT_EQ(t.count, 2);
    EXPECT_EQ(t.totalTime, 720);  // after the minimum, before blocks
    EXPECT_DOUBLE_EQ(t.uploaded, 150);
    EXPECT_DOUBLE_EQ(t.downloaded, 1005);
    EXPECT_DOUBLE_EQ(t.transmitted, 1155);
    // Billed 300 s and 600 s at 0.6 a minute, plus two dials.
    EXPECT_NEAR(t.totalCost, 1 + 3 + 1 + 6, 1e-9);
    EXPECT_NEAR(t.averageCost, 5.5, 1e-9);
}

TEST_F(Totals, EmptyUserKeepsVolumesInTheirColumns) {
    writeFile(log, line("01-03-2026", "10:00:00", "10:01:00", "300", "700", ""));
    const LogTotals t = computeTotals(settings, log, SummaryFilter::All, kToday);
    EXPECT_DOUBLE_EQ(t.uploaded, 300);
    EXPECT_DOUBLE_EQ(t.downloaded, 700);
}

TEST_F(Totals, FiltersCompareTheYearToo) {
    writeFile(log, line("15-03-2026", "10:00:00", "10:01:00") +      // today
                       line("01-03-2026", "10:00:00", "10:01:00") +  // this month
                       line("15-03-2025", "10:00:00", "10:01:00") +  // same day a year ago
                       line("15-04-2026", "10:00:00", "10:01:00"));
    EXPECT_EQ(computeTotals(settings, log, SummaryFilter::All, kToday).count, 4);
    EXPECT_EQ(computeTotals(settings, log, SummaryFilter::ThisMonth, kToday).count, 2);
    EXPECT_EQ(computeTotals(settings, log, SummaryFilter::Today, kToday).count, 1);
    // The stored filter is the default.
    settings.writeInt("Settings", "SummaryWhen", 2);
    EXPECT_EQ(computeTotals(settings, log, kToday).count, 1);
    settings.writeInt("Settings", "SummaryWhen", 7);
    EXPECT_EQ(computeTotals(settings, log, kToday).count, 4);
}

TEST_F(Totals, FreeTimeIsDeductedOnlyForThisMonth) {
    settings.writeString("Price", "PricePerDial", "0.5000000000");
    settings.writeString("Price", "CostPerMinute", "0.1000000000");
    settings.writeString("Price", "FreeMonthTime", "01:00");
    // Counted costs of 10: 0.5 + 0.1 * 95 minutes.
    writeFile(log, line("02-03-2026", "10:00:00", "11:35:00"));
    LogTotals t = computeTotals(settings, log, SummaryFilter::ThisMonth, kToday);
    EXPECT_NEAR(t.totalCost, 10 - 6.5, 1e-9);
    EXPECT_NEAR(t.averageCost, 3.5, 1e-9);
    EXPECT_NEAR(computeTotals(settings, log, SummaryFilter::All, kToday).totalCost, 10, 1e-9);
    EXPECT_NEAR(computeTotals(settings, log, SummaryFilter::Today, kToday).totalCost, 0, 1e-9);

    // Counted costs of 5 give a total below zero, which stays.
    writeFile(log, line("02-03-2026", "10:00:00", "10:45:00"));
    t = computeTotals(settings, log, SummaryFilter::ThisMonth, kToday);
    EXPECT_NEAR(t.totalCost, -1.5, 1e-9);
    EXPECT_NEAR(t.averageCost, -1.5, 1e-9);

    // Nothing counted: the free value is computed from a zero tariff.
    writeFile(log, "");
    EXPECT_EQ(computeTotals(settings, log, SummaryFilter::ThisMonth, kToday).totalCost, 0);
}

TEST_F(Totals, DataIsPricedAndFreeDataDeductedInTheBillingPeriod) {
    settings.writeString("Price", "CostPerMB", "0.5000000000");
    settings.writeInt("Price", "FreeMonthMB", 3);
    settings.writeInt("Settings", "BillingDay", 15);
    writeFile(log, line("14-03-2026", "10:00:00", "10:01:00", "4000000", "0") +  // last period
                       line("15-03-2026", "10:00:00", "10:01:00", "1500000", "2500000") +
                       line("20-03-2026", "10:00:00", "10:01:00", "999999", "1"));
    // 5 MB in the period, 3 of them free.
    LogTotals t = computeTotals(settings, log, SummaryFilter::ThisMonth, kToday);
    EXPECT_EQ(t.count, 2);
    EXPECT_NEAR(t.totalCost, 2.5 - 1.5, 1e-9);
    EXPECT_NEAR(computeTotals(settings, log, SummaryFilter::All, kToday).totalCost, 4.5, 1e-9);
    // On the 14th the period began on 15 February.
    t = computeTotals(settings, log, SummaryFilter::ThisMonth, {2026, 3, 14, 23, 59, 59});
    EXPECT_EQ(t.count, 1);
    EXPECT_NEAR(t.totalCost, 2 - 1.5, 1e-9);
    // A day the period cannot start on reads as the first: the calendar month.
    settings.writeInt("Settings", "BillingDay", 29);
    EXPECT_EQ(computeTotals(settings, log, SummaryFilter::ThisMonth, kToday).count, 3);
    EXPECT_STREQ(periodFilterCaption(settings), "Only this month");
    settings.writeInt("Settings", "BillingDay", 28);
    EXPECT_STREQ(periodFilterCaption(settings), "Only this period");

    // Early in January the period began in December of the year before.
    const BillingPeriod p = billingPeriodAt(28, {2027, 1, 27, 12, 0, 0});
    EXPECT_TRUE(p.containsLogDate("28-12-2026"));
    EXPECT_TRUE(p.containsLogDate("27-01-2027"));
    EXPECT_FALSE(p.containsLogDate("27-12-2026"));
    EXPECT_FALSE(p.containsLogDate("28-01-2027"));
    EXPECT_FALSE(billingPeriodAt(1, {2026, 12, 7, 0, 0, 0}).containsLogDate("05-13-2026"));
}

TEST_F(Totals, BadLinesDoNotStopThePass) {
    std::string junk = "\x01\x02\xff|||garbage|||\r\n";
    junk += std::string(100000, 'z') + "\n";
    writeFile(log, line("01-03-2026", "10:00:00", "10:01:00", "1", "2") + junk +
                       line("02-03-2026", "10:00:00", "10:01:00", "3", "4") + "05-03-2026|10:00");
    const LogTotals t = computeTotals(settings, log, SummaryFilter::All, kToday);
    EXPECT_EQ(t.count, 5);
    EXPECT_DOUBLE_EQ(t.uploaded, 4);
    EXPECT_DOUBLE_EQ(t.downloaded, 6);
}

// The pass as it is written down: every line in turn, every local time through the time zone's
// rules, the sums added in log order.
LogTotals referenceTotals(const SettingsStore& settings, const std::string& log) {
    const BillingRules rules = BillingRules::read(settings);
    const Tariff tariff = Tariff::read(settings);
    LogTotals t;
    LogReader::forEachLine(log, [&](std::string_view line) {
        const LogFields f = splitRecord(line);
        if (line.empty() || !f.isRecord()) {
            return;
        }
        const Pricing p = priceRecord(f[LogFields::StartDate], f[LogFields::StartTime],
                                      f[LogFields::EndDate], f[LogFields::EndTime], tariff, rules);
        ++t.count;
        t.totalTime += p.minBilled;
        t.uploaded += leadingDouble(f[LogFields::BytesSent]);
        t.downloaded += leadingDouble(f[LogFields::BytesReceived]);
        t.totalCost += p.cost;
    });
    return t;
}

// Logs of connections at random moments, half of them within a day and a half of a change to or
// from summer time, with wall-clock times in the skipped and repeated hours and lines of junk
// among them, spread over several stretches of the file: the pass gives exactly the sums of the
// record-by-record reference.
TEST_F(Totals, SameSumsAsTheRecordByRecordPassInEveryZone) {
    settings.writeString("Price", "PricePerDial", "0.1300000000");
    settings.writeString("Price", "CostPerMinute", "0.0370000000");
    settings.writeString("Price", "CheapCostPerMinute", "0.0110000000");
    settings.writeString("Price", "CheapTimeStart", "22:00");
    settings.writeString("Price", "CheapTimeEnd", "06:59");
    settings.writeString("Price", "ConnectionBlock", "00:03");
    settings.writeInt("Settings", "CheapInSun", 1);
    for (const char* name :
         {"Europe/Helsinki", "America/Sao_Paulo", "Australia/Lord_Howe", "UTC"}) {
        ASSERT_TRUE(test::LocalZone::known(name)) << "the tzdata package is missing";
        test::LocalZone zone(name);
        std::vector<std::int64_t> changes;  // moments near which the offset changes
        for (std::int64_t day = 9000; day < 20500; ++day) {
            std::tm a{}, b{};
            const std::time_t t0 = day * 86400, t1 = t0 + 86400;
            localtime_r(&t0, &a);
            localtime_r(&t1, &b);
            if (a.tm_gmtoff != b.tm_gmtoff) {
                changes.push_back(t0);
            }
        }
        std::mt19937_64 rng(std::hash<std::string>{}(name));
        const auto local = [](std::int64_t moment, std::string& date, std::string& clock) {
            const std::time_t t = moment;
            std::tm tm{};
            localtime_r(&t, &tm);
            date = formatDate(tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
            clock = formatClock(tm.tm_hour, tm.tm_min, tm.tm_sec);
        };
        std::string text;
        for (int i = 0; i < 30000; ++i) {
            std::int64_t start =
                9000 * 86400 + static_cast<std::int64_t>(rng() % (11500ull * 86400));
            if (i % 2 == 0 && !changes.empty()) {
                start = changes[rng() % changes.size()] - 129600 +
                        static_cast<std::int64_t>(rng() % 259200);
            }
            LogRecord r{"",
                        "",
                        "",
                        "",
                        "joe",
                        "ttyS0",
                        "ISP",
                        std::to_string(rng() % 100000000),
                        std::to_string(rng() % 1000000000)};
            local(start, r.startDate, r.startTime);
            local(start + static_cast<std::int64_t>(rng() % 9000), r.endDate, r.endTime);
            if (i % 7 == 0) {
                // A clock time as written by hand, which may fall into a skipped or repeated hour.
                r.startTime =
                    formatClock(static_cast<int>(rng() % 24), static_cast<int>(rng() % 60), 0);
            }
            text += composeRecord(r);
            if (i % 5000 == 4999) {
                text += std::string(20000, 'z') + "\r\n\r\n|||\n" + r.startDate + "|1";
                text += "\n";
            }
        }
        writeFile(log, text);
        const LogTotals want = referenceTotals(settings, log);
        const LogTotals got = computeTotals(settings, log, SummaryFilter::All, kToday);
        EXPECT_EQ(got.count, want.count) << name;
        EXPECT_EQ(got.totalTime, want.totalTime) << name;
        // The pass adds the costs with a compensated sum, so it may differ from the plain
        // sum of the reference in the last bits, never in a shown cent.
        EXPECT_NEAR(got.totalCost, want.totalCost, 1e-9 * std::max(1.0, want.totalCost)) << name;
        EXPECT_EQ(formatFixed(got.totalCost, 2), formatFixed(want.totalCost, 2)) << name;
        EXPECT_EQ(got.uploaded, want.uploaded) << name;
        EXPECT_EQ(got.downloaded, want.downloaded) << name;
    }
}

// More free megabytes than the period counted: the free data takes off no more than the data's
// price, so the total does not go below zero.
TEST_F(Totals, FreeDataBeyondTheCountedDataLeavesNothingToPay) {
    settings.writeString("Price", "CostPerMB", "0.5");
    settings.writeInt("Price", "FreeMonthMB", 3);
    writeFile(log, line("15-03-2026", "10:00:00", "10:00:00", "400000", "600000"));
    const LogTotals t = computeTotals(settings, log, SummaryFilter::ThisMonth, kToday);
    EXPECT_EQ(t.count, 1);
    EXPECT_NEAR(t.totalCost, 0, 1e-12);
    EXPECT_EQ(formatFixed(t.totalCost, 2), "0.00");
}

// A record whose line starts exactly where a stretch of the threaded pass begins (byte
// 1,048,576) belongs to that stretch alone: counted once, whatever the threads and stretches,
// and handed on in log order, or newest first.
TEST_F(Totals, RecordAtAStretchBoundaryIsCountedOnce) {
    constexpr std::size_t kBoundary = TotalsOptions::kStretchBytes;
    std::string text;
    std::vector<double> sent;
    const auto add = [&](const std::string& user) {
        sent.push_back(static_cast<double>(1000 + sent.size()));
        text += line("01-03-2026", "10:00:00", "10:01:00",
                     std::to_string(static_cast<int>(sent.back())).c_str(), "0", user.c_str());
    };
    while (kBoundary - text.size() > 500) {
        add("joe");
    }
    // A record long enough to end exactly at the boundary.
    const std::string next = std::to_string(1000 + sent.size());
    const std::size_t bare =
        line("01-03-2026", "10:00:00", "10:01:00", next.c_str(), "0", "").size();
    add(std::string(kBoundary - text.size() - bare, 'u'));
    ASSERT_EQ(text.size(), kBoundary);
    const std::size_t atBoundary = sent.size();
    for (int i = 0; i < 20; ++i) {
        add("ann");
    }
    writeFile(log, text);
    double sum = 0;
    for (const double s : sent) {
        sum += s;
    }
    for (const TotalsOptions& options :
         {TotalsOptions{.threads = 1}, TotalsOptions{.threads = 2},
          TotalsOptions{.threads = 3, .stretchBytes = 4096},
          TotalsOptions{.threads = 2, .order = LogOrder::NewestFirst}}) {
        std::vector<double> seen;
        TotalsEngine engine(settings, SummaryFilter::All, kToday, options);
        const LogTotals t =
            engine.run(log, [&](const CountedRecord& r) { seen.push_back(r.sent); });
        if (options.order == LogOrder::NewestFirst) {
            std::reverse(seen.begin(), seen.end());
        }
        EXPECT_EQ(t.count, static_cast<std::int64_t>(sent.size())) << options.threads;
        EXPECT_EQ(t.uploaded, sum) << options.threads;
        EXPECT_EQ(seen, sent) << options.threads;
        ASSERT_GT(seen.size(), atBoundary);
        EXPECT_EQ(seen[atBoundary], sent[atBoundary]);
    }
}

TEST_F(Totals, TariffChangesArePickedUpDuringAPass) {
    settings.writeString("Price", "PricePerDial", "1");
    TariffReader reader(settings);
    EXPECT_DOUBLE_EQ(reader.forNextRecord().pricePerDial, 1);
    SettingsStore other(dir.file("tavu.ini"));
    other.writeString("Price", "PricePerDial", "2");
    double seen = 0;
    for (unsigned i = 0; i < TariffReader::kRecheckEvery; ++i) {
        seen = reader.forNextRecord().pricePerDial;
    }
    EXPECT_DOUBLE_EQ(seen, 2);
}

}  // namespace
}  // namespace tavu
