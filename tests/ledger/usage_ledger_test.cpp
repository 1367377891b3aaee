// The usage engine's figures from kept sums equal a full count of the log.

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <string>

#include "core/settings_store.h"
#include "ledger/usage_ledger.h"
#include "log/log_record.h"
#include "support/local_zone.h"
#include "support/temp_dir.h"
#include "tariff/totals.h"
#include "tariff/usage_buckets.h"
#include "usage/usage_store.h"

namespace tavu {
namespace {

using test::LocalZone;
using test::TempDir;
using test::writeFile;

std::string two(int v) {
    return (v < 10 ? "0" : "") + std::to_string(v);
}

std::string logDate(const LocalDateTime& t) {
    return two(t.day) + "-" + two(t.month) + "-" + std::to_string(t.year);
}
std::string logTime(const LocalDateTime& t) {
    return two(t.hour) + ":" + two(t.minute) + ":" + two(t.second);
}

// A log of random connections over two years, some of them long, with a few junk lines.
std::string randomLog(unsigned seed, int records) {
    std::mt19937 rnd(seed);
    std::string out;
    std::int64_t t = std::chrono::duration_cast<std::chrono::seconds>(
                         fromLocal(2025, 1, 3, 10).time_since_epoch())
                         .count();
    const char* names[] = {"ISP", "LTE", "Modem"};
    for (int i = 0; i < records; ++i) {
        t += std::uniform_int_distribution<int>(60, 90000)(rnd);
        const int length = rnd() % 10 == 0 ? std::uniform_int_distribution<int>(0, 400000)(rnd)
                                           : std::uniform_int_distribution<int>(0, 7200)(rnd);
        const LocalDateTime a = toLocal(TimePoint{std::chrono::seconds(t)});
        const LocalDateTime b = toLocal(TimePoint{std::chrono::seconds(t + length)});
        const std::string sent = std::to_string(rnd() % 50000000);
        const std::string received = std::to_string(rnd() % 90000000);
        out += composeRecord(LogRecord{logDate(a), logTime(a), logDate(b), logTime(b), "joe",
                                       rnd() % 2 ? "ppp0" : "wwan0", names[rnd() % 3], sent,
                                       received});
        if (rnd() % 97 == 0) {
            out += "junk without fields\n31-02-2026|10:00:00|31-02-2026|10:30:00|u|d|ISP|1|2|\n";
        }
    }
    return out;
}

class LedgerAgrees : public testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(LocalZone::known(GetParam()));
        zone.emplace(GetParam());
        settings.writeString("Price", "PricePerDial", "0.15");
        settings.writeString("Price", "CostPerMinute", "0.035");
        settings.writeString("Price", "CheapCostPerMinute", "0.012");
        settings.writeString("Price", "CheapTimeStart", "22:00");
        settings.writeString("Price", "CheapTimeEnd", "07:30");
        settings.writeString("Price", "MinConTime", "00:01");
        settings.writeString("Price", "FreeMonthTime", "02:30");
        settings.writeString("Price", "CostPerMB", "0.0125");
        settings.writeInt("Price", "FreeMonthMB", 300);
        settings.writeInt("Settings", "BillingDay", 15);
    }
    void addPlan() {
        settings.writeString("Plan Mobile", "Match", "LTE");
        settings.writeString("Plan Mobile", "CostPerMB", "0.02");
        settings.writeInt("Plan Mobile", "FreeMonthMB", 1000);
        settings.writeInt("Plan Mobile", "BillingDay", 3);
    }
    void expectSame(const LogTotals& a, const LogTotals& b, const std::string& what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(a.count, b.count);
        EXPECT_EQ(a.totalTime, b.totalTime);
        EXPECT_DOUBLE_EQ(a.uploaded, b.uploaded);
        EXPECT_DOUBLE_EQ(a.downloaded, b.downloaded);
        EXPECT_NEAR(a.totalCost, b.totalCost, 1e-6);
        EXPECT_EQ(a.projectedCost.has_value(), b.projectedCost.has_value());
        if (a.projectedCost && b.projectedCost) {
            EXPECT_NEAR(*a.projectedCost, *b.projectedCost, 1e-6);
            EXPECT_NEAR(*a.projectedData, *b.projectedData, std::abs(*b.projectedData) * 1e-12);
        }
    }
    // Each connection name's figures equal what a pass over the log adds up for it.
    void compareNames(UsageLedger& ledger) {
        std::map<std::string, NamedTotals> want;
        TotalsEngine(settings, SummaryFilter::All, LocalDateTime{2026, 3, 29, 12})
            .run(log, [&](const CountedRecord& r) {
                NamedTotals& n = want[std::string(r.fields[LogFields::Connection])];
                n.device = std::string(r.fields[LogFields::Device]);
                ++n.totals.count;
                n.totals.totalTime += r.pricing.minBilled;
                n.totals.uploaded += r.sent;
                n.totals.downloaded += r.received;
                n.totals.totalCost += r.pricing.cost;
            });
        const std::vector<NamedTotals> got = ledger.byConnection();
        ASSERT_EQ(got.size(), want.size());
        for (const NamedTotals& n : got) {
            SCOPED_TRACE(n.name);
            const NamedTotals& w = want[n.name];
            EXPECT_EQ(n.device, w.device);
            EXPECT_EQ(n.totals.count, w.totals.count);
            EXPECT_EQ(n.totals.totalTime, w.totals.totalTime);
            EXPECT_EQ(n.totals.uploaded, w.totals.uploaded);
            EXPECT_EQ(n.totals.downloaded, w.totals.downloaded);
            EXPECT_NEAR(n.totals.totalCost, w.totals.totalCost, 1e-6);
        }
    }
    void compareAll(const std::string& plan) {
        UsageLedger ledger(settings, log);
        compareNames(ledger);
        for (const LocalDateTime& today :
             {LocalDateTime{2025, 6, 14, 12}, LocalDateTime{2025, 6, 15, 0},
              LocalDateTime{2026, 3, 29, 12}, LocalDateTime{2025, 10, 26, 3}}) {
            for (SummaryFilter f :
                 {SummaryFilter::All, SummaryFilter::ThisMonth, SummaryFilter::Today}) {
                const LogTotals old =
                    TotalsEngine(settings, f, today, TotalsOptions{.plan = plan}).run(log);
                expectSame(ledger.totals(f, today, plan), old,
                           "filter " + std::to_string(static_cast<int>(f)) + " on " +
                               logDate(today) + " plan " + plan);
            }
        }
        for (UsageBy by : {UsageBy::Day, UsageBy::Month, UsageBy::Period, UsageBy::Hour}) {
            // Whole buckets: the old buckets counted the connections of a bucket's days that
            // were not asked for.
            const int billing = plan == "Mobile" ? 3 : 15;
            const LogDate from =
                by == UsageBy::Period ? LogDate{billing, 2, 2025} : LogDate{1, 2, 2025};
            const LogDate to = by == UsageBy::Hour     ? LogDate{9, 2, 2025}
                               : by == UsageBy::Period ? LogDate{billing - 1, 11, 2026}
                                                       : LogDate{31, 10, 2026};
            const auto old =
                usageBuckets(settings, log, nullptr, by, from, to, {2026, 12, 1}, plan);
            const auto now = ledger.buckets(by, from, to, {2026, 12, 1}, plan);
            SCOPED_TRACE("by " + std::to_string(static_cast<int>(by)));
            std::size_t j = 0;
            for (const UsageBucket& b : old) {
                // The old buckets listed empty ones after the days asked for.
                if (b.seconds == 0 && b.uploaded == 0 && b.cost == 0) {
                    continue;
                }
                ASSERT_LT(j, now.size());
                const UsageBucket& n = now[j++];
                EXPECT_EQ(n.start.year, b.start.year);
                EXPECT_EQ(n.start.month, b.start.month);
                EXPECT_EQ(n.start.day, b.start.day);
                EXPECT_EQ(n.start.hour, b.start.hour);
                EXPECT_NEAR(n.seconds, b.seconds, 1);
                EXPECT_NEAR(n.uploaded, b.uploaded, 1e-3);
                EXPECT_NEAR(n.cost, b.cost, 1e-6);
                EXPECT_EQ(n.connections, b.connections);
            }
            EXPECT_EQ(j, now.size());
        }
    }

    std::optional<LocalZone> zone;
    TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    std::string log = dir.file("logfile.log");
};

TEST_P(LedgerAgrees, WithTheFullPassWithoutPlans) {
    writeFile(log, randomLog(7, 3000));
    compareAll("");
}

TEST_P(LedgerAgrees, WithTheFullPassForEachPlan) {
    addPlan();
    writeFile(log, randomLog(8, 3000));
    compareAll("");
    compareAll("Mobile");
    compareAll("Default");
}

// Each record counts in its own plan's sums, whatever names the records before it had: names
// of one length with the same first and last letters, long names that differ at their end,
// and short lines whose names lie near the line's start.
TEST_P(LedgerAgrees, CountsEachRecordInItsOwnPlan) {
    settings.writeString("Plan Mobile", "Match", "LXE, Mobile broadband 1, wwan1");
    settings.writeString("Plan Mobile", "CostPerMB", "0.02");
    const char* names[][2] = {{"LTE", "wwan0"},
                              {"LXE", "wwan0"},
                              {"Mobile broadband 1", "ppp0"},
                              {"Mobile broadband 2", "ppp0"},
                              {"LTE", "wwan1"},
                              {"", ""}};
    std::string text;
    for (int i = 0; i < 120; ++i) {
        const auto& n = names[i % 6];
        const std::string day = two(1 + i % 28);
        text +=
            composeRecord({day + "-03-2025", "10:00:00", day + "-03-2025", "10:30:" + two(i % 60),
                           "u", n[1], n[0], std::to_string(1000 + i), std::to_string(5000 + i)});
        if (i % 17 == 0) {
            text += "a|b|c|d|e|wwan1|LXE|1|2|\n";
        }
    }
    writeFile(log, text);
    UsageLedger ledger(settings, log);
    const LocalDateTime today{2025, 3, 20, 12};
    for (const std::string plan : {"Mobile", "Default", ""}) {
        expectSame(
            ledger.totals(SummaryFilter::All, today, plan),
            TotalsEngine(settings, SummaryFilter::All, today, TotalsOptions{.plan = plan}).run(log),
            "plan " + plan);
    }
}

// Dates far from now, before 1678 and after 2262 too, are counted on their own days, and the
// count ends.
TEST_P(LedgerAgrees, CountsFarDatesOnTheirDays) {
    writeFile(log,
              "15-07-2300|10:00:00|15-07-2300|12:00:00|u|ppp0|ISP|100|200|\r\n"
              "31-12-9999|22:00:00|31-12-9999|22:30:00|u|ppp0|ISP|1|2|\r\n"
              "01-03-1650|23:30:00|02-03-1650|00:30:00|u|ppp0|ISP|3|4|\r\n"
              "05-05-0005|10:00:00|05-05-0005|10:00:10|u|ppp0|ISP|5|6|\r\n");
    UsageLedger ledger(settings, log);
    const LocalDateTime today{2026, 3, 15, 12};
    expectSame(ledger.totals(SummaryFilter::All, today),
               TotalsEngine(settings, SummaryFilter::All, today).run(log), "all");
    const auto far = ledger.buckets(UsageBy::Day, {1, 7, 2300}, {31, 7, 2300}, today);
    ASSERT_EQ(far.size(), 1u);
    EXPECT_EQ(far[0].start.day, 15);
    EXPECT_EQ(far[0].seconds, 7200);
    EXPECT_EQ(far[0].connections, 1);
    const auto last = ledger.buckets(UsageBy::Day, {31, 12, 9999}, {31, 12, 9999}, today);
    ASSERT_EQ(last.size(), 1u);
    EXPECT_EQ(last[0].seconds, 1800);
    const auto early = ledger.buckets(UsageBy::Day, {1, 3, 1650}, {2, 3, 1650}, today);
    ASSERT_EQ(early.size(), 2u);
    EXPECT_EQ(early[0].seconds + early[1].seconds, 3600);
}

// The figures a count of the log from its start gives: the log copied to a folder of its own,
// counted with no store.
struct Recount {
    Recount(const SettingsStore& settings, const std::string& log) {
        std::ifstream in(log, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        writeFile(dir.file("logfile.log"), text);
        ledger.emplace(settings, dir.file("logfile.log"),
                       LedgerOptions{.progress = {}, .create = false});
    }
    TempDir dir;
    std::optional<UsageLedger> ledger;
};

class KeptSums : public LedgerAgrees {
  protected:
    // The kept figures equal a recount, every filter, every grain.
    void expectRecount(UsageLedger& kept, const std::string& what) {
        SCOPED_TRACE(what);
        Recount fresh(settings, log);
        for (SummaryFilter f :
             {SummaryFilter::All, SummaryFilter::ThisMonth, SummaryFilter::Today}) {
            expectSame(kept.totals(f, today), fresh.ledger->totals(f, today), "totals");
        }
        compareNames(kept);
        for (UsageBy by : {UsageBy::Hour, UsageBy::Day, UsageBy::Month, UsageBy::Period}) {
            const auto a = kept.buckets(by, {1, 1, 2025}, {31, 12, 2026}, today);
            const auto b = fresh.ledger->buckets(by, {1, 1, 2025}, {31, 12, 2026}, today);
            ASSERT_EQ(a.size(), b.size());
            for (std::size_t i = 0; i < a.size(); ++i) {
                EXPECT_EQ(a[i].seconds, b[i].seconds);
                EXPECT_DOUBLE_EQ(a[i].uploaded, b[i].uploaded);
                EXPECT_NEAR(a[i].cost, b[i].cost, 1e-9);
                EXPECT_EQ(a[i].connections, b[i].connections);
            }
        }
    }
    LocalDateTime today{2025, 6, 20, 12};
};

TEST_P(KeptSums, AreCountedOnceThenReadAndOnlyTheNewTailIsCounted) {
    const std::string text = randomLog(9, 2000);
    const std::size_t half = text.find('\n', text.size() / 2) + 1;
    writeFile(log, text.substr(0, half));
    {
        UsageLedger first(settings, log);
        EXPECT_TRUE(first.countedWhole());
        EXPECT_EQ(first.problem(), "");
    }
    UsageLedger again(settings, log);
    EXPECT_FALSE(again.countedWhole());
    expectRecount(again, "read back");
    // The log grows, the last line not yet ended.
    std::ofstream(log, std::ios::app) << text.substr(half, text.size() - half - 20);
    UsageLedger grown(settings, log);
    EXPECT_FALSE(grown.countedWhole());
    expectRecount(grown, "grown");
    again.refresh();
    EXPECT_FALSE(again.countedWhole());
    expectRecount(again, "refreshed");
}

TEST_P(KeptSums, AreCountedAgainAfterAnEditATruncationOrANewTariff) {
    writeFile(log, randomLog(10, 2000));
    UsageLedger(settings, log);
    {
        // Edited in place in the middle: the same length, other bytes.
        std::fstream f(log, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(static_cast<std::streamoff>(std::filesystem::file_size(log) / 2));
        f.write("9", 1);
    }
    UsageLedger edited(settings, log);
    EXPECT_TRUE(edited.countedWhole());
    expectRecount(edited, "edited");
    std::filesystem::resize_file(log, std::filesystem::file_size(log) / 3);
    UsageLedger cut(settings, log);
    EXPECT_TRUE(cut.countedWhole());
    expectRecount(cut, "truncated");
    settings.writeString("Price", "CostPerMinute", "0.5");
    cut.refresh();
    EXPECT_TRUE(cut.countedWhole());
    expectRecount(cut, "new tariff");
    // An edit in the middle and a record added after it.
    {
        std::fstream f(log, std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(10);
        f.write("7", 1);
    }
    std::ofstream(log, std::ios::app) << randomLog(11, 3);
    UsageLedger both(settings, log);
    expectRecount(both, "edited and grown");
}

TEST_P(KeptSums, ADamagedSumIsCountedAgainNotShown) {
    writeFile(log, randomLog(12, 500));
    UsageLedger(settings, log);
    std::string error;
    auto store = UsageStore::open(UsageStore::pathFor(log), false, error);
    ASSERT_NE(store, nullptr) << error;
    ASSERT_EQ(
        sqlite3_exec(store->database(),
                     "UPDATE kept_days SET days = substr(days, 1, 20) || x'00' || substr(days, 22)",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
    store.reset();
    UsageLedger damaged(settings, log);
    const LogTotals t = damaged.totals(SummaryFilter::ThisMonth, today);
    EXPECT_NE(damaged.problem(), "");
    Recount fresh(settings, log);
    expectSame(t, fresh.ledger->totals(SummaryFilter::ThisMonth, today), "damaged");
}

// A whole count tells its progress first with nothing done, then stretch by stretch, in order,
// up to the log's whole lines; a count of the new tail alone tells none.
TEST_P(KeptSums, TellTheProgressOfAWholeCountFromItsStart) {
    const std::string text = randomLog(13, 30000);
    ASSERT_GT(text.size(), std::size_t{2} << 20);
    writeFile(log, text);
    std::vector<std::pair<std::uint64_t, std::uint64_t>> seen;
    const LedgerOptions options{
        .progress = [&](std::uint64_t done, std::uint64_t all) { seen.emplace_back(done, all); }};
    {
        UsageLedger first(settings, log, options);
        ASSERT_TRUE(first.countedWhole());
    }
    ASSERT_GE(seen.size(), 3u);
    EXPECT_EQ(seen.front(), std::pair(std::uint64_t{0}, std::uint64_t{text.size()}));
    EXPECT_EQ(seen.back(), std::pair(std::uint64_t{text.size()}, std::uint64_t{text.size()}));
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_GT(seen[i].first, seen[i - 1].first);
        EXPECT_EQ(seen[i].second, text.size());
    }
    seen.clear();
    std::ofstream(log, std::ios::app) << randomLog(14, 3);
    UsageLedger grown(settings, log, options);
    EXPECT_FALSE(grown.countedWhole());
    EXPECT_TRUE(seen.empty());
}

// The span of the days used, read from the kept sums' first and last months alone.
TEST_P(KeptSums, UsedDaysSpanThePlansUsageAndTheConnectionInProgress) {
    addPlan();
    const auto line = [](const char* from, const char* start, const char* to, const char* end,
                         const char* name) {
        return composeRecord(LogRecord{from, start, to, end, "joe", "ppp0", name, "1", "2"});
    };
    writeFile(log, line("31-12-2024", "23:30:00", "01-01-2025", "00:30:00", "ISP") +
                       line("10-03-2025", "10:00:00", "10-03-2025", "11:00:00", "LTE") +
                       line("05-05-2025", "10:00:00", "05-05-2025", "10:10:00", "ISP"));
    UsageLedger(settings, log);
    UsageLedger kept(settings, log);
    ASSERT_FALSE(kept.countedWhole());
    using Span = std::optional<std::pair<LogDate, LogDate>>;
    EXPECT_EQ(kept.usedDays(), Span({LogDate{31, 12, 2024}, LogDate{5, 5, 2025}}));
    EXPECT_EQ(kept.usedDays("Default"), kept.usedDays());
    EXPECT_EQ(kept.usedDays("Mobile"), Span({LogDate{10, 3, 2025}, LogDate{10, 3, 2025}}));
    EXPECT_EQ(kept.usedDays("Nobody"), std::nullopt);
    const LiveUsage live{LogRecord{"19-06-2025", "23:00:00", "20-06-2025", "01:00:00", "joe",
                                   "ppp0", "LTE", "1", "1"},
                         {}};
    EXPECT_EQ(kept.usedDays("Mobile", {live}), Span({LogDate{10, 3, 2025}, LogDate{20, 6, 2025}}));
    Recount fresh(settings, log);
    EXPECT_EQ(fresh.ledger->usedDays("Mobile"), kept.usedDays("Mobile"));
    EXPECT_EQ(fresh.ledger->usedDays(), kept.usedDays());
    writeFile(log, "");
    kept.refresh();
    EXPECT_EQ(kept.usedDays(), std::nullopt);
}

// Sums kept by an earlier version (another check sum, another state) are counted again, without
// a word to the user.
TEST_P(KeptSums, SumsOfAnEarlierVersionAreCountedAgainQuietly) {
    writeFile(log, randomLog(13, 300));
    UsageLedger(settings, log);
    std::string error;
    auto store = UsageStore::open(UsageStore::pathFor(log), false, error);
    ASSERT_NE(store, nullptr) << error;
    ASSERT_EQ(sqlite3_exec(store->database(),
                           "UPDATE kept_state SET state = CAST('tavu kept sums 1' AS BLOB) || "
                           "x'0011223344556677'",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    store.reset();
    UsageLedger again(settings, log);
    EXPECT_TRUE(again.countedWhole());
    EXPECT_EQ(again.problem(), "");
    expectRecount(again, "earlier version");
}

INSTANTIATE_TEST_SUITE_P(Zones, KeptSums, testing::Values("UTC", "Australia/Lord_Howe"));

INSTANTIATE_TEST_SUITE_P(Zones, LedgerAgrees,
                         testing::Values("UTC", "Europe/Helsinki", "Australia/Lord_Howe"));

}  // namespace
}  // namespace tavu
