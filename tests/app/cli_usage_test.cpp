// `tavu usage` against `tavu summary`.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli.h"
#include "core/clock.h"
#include "core/settings_store.h"
#include "log/connection_journal.h"
#include "log/log_record.h"
#include "support/damaged_store.h"
#include "support/local_zone.h"
#include "support/temp_dir.h"
#include "support/usage_files.h"
#include "usage/usage_store.h"

namespace tavu {
namespace {

using test::epochOf;
using test::TempDir;
using test::writeFile;

struct UsageRun {
    std::optional<int> status;
    std::string out;
    std::string err;
};

UsageRun run(std::vector<std::string> args) {
    ManualClock clock(fromLocal(2026, 3, 15, 12));
    std::ostringstream out;
    std::ostringstream err;
    CommandLine command;
    UsageRun r;
    r.status = runCommandLine(args, out, err, clock, "/nonexistent", command);
    r.out = out.str();
    r.err = err.str();
    return r;
}

std::string record(const char* sd, const char* st, const char* ed, const char* et, const char* sent,
                   const char* received) {
    return composeRecord({sd, st, ed, et, "joe", "ttyS0", "ISP", sent, received});
}

// The value of a summary line.
std::string value(const std::string& summary, const std::string& label) {
    const auto at = summary.find(label + "\t");
    if (at == std::string::npos) {
        return "missing";
    }
    const auto from = at + label.size() + 1;
    return summary.substr(from, summary.find('\n', from) - from);
}

// The sum of the last column of a usage table.
double costs(const std::string& table) {
    std::istringstream in(table);
    std::string line;
    std::getline(in, line);  // the headings
    double sum = 0;
    while (std::getline(in, line)) {
        sum += std::stod(line.substr(line.rfind('\t') + 1));
    }
    return sum;
}

class UsageCommand : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(test::LocalZone::known("Europe/Helsinki")) << "the tzdata package is missing";
        settings.writeString("Price", "PricePerDial", "1");
        settings.writeString("Price", "CostPerMinute", "0.01");
        settings.writeString("Price", "CostPerMB", "1");
        settings.writeInt("Settings", "BillingDay", 15);
    }
    test::LocalZone zone{"Europe/Helsinki"};
    TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
};

TEST_F(UsageCommand, ARecordAcrossTheBillingDayCountsItsShareInSummaryAndUsageAlike) {
    // A day long, half of it before the period's start, 4 MB.
    writeFile(dir.file("logfile.log"),
              record("14-03-2026", "12:00:00", "15-03-2026", "12:00:00", "0", "4000000"));
    const UsageRun summary = run({"summary", "--config-dir", dir.path(), "--filter", "month"});
    EXPECT_EQ(value(summary.out, "Connections"), "1");
    EXPECT_EQ(value(summary.out, "Total time online"), "12:00:00");
    EXPECT_EQ(value(summary.out, "Total data downloaded"), "2000000");
    EXPECT_EQ(value(summary.out, "Total cost"), "9.70");  // (1 + 14.40) / 2 + 2 MB

    UsageRun r = run({"usage", "--config-dir", dir.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "start\tseconds\tuploaded\tdownloaded\tcost\n"
              "2026-03-15T00:00\t43200\t0\t2000000\t9.7000\n");
    r = run({"usage", "--config-dir", dir.path(), "--by", "period", "--from", "2026-03-01"});
    EXPECT_EQ(r.out,
              "start\tseconds\tuploaded\tdownloaded\tcost\n"
              "2026-02-15T00:00\t43200\t0\t2000000\t9.7000\n"
              "2026-03-15T00:00\t43200\t0\t2000000\t9.7000\n");
    r = run(
        {"usage", "--config-dir", dir.path(), "--by=hour", "--from=2026-03-14", "--format", "csv"});
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 25);
    EXPECT_EQ(r.out.rfind("start,seconds,uploaded,downloaded,cost\r\n2026-03-14T12:00,3600,0,"
                          "166667,0.8083\r\n",
                          0),
              0u)
        << r.out;
    r = run({"usage", "--config-dir", dir.path(), "--format", "json"});
    EXPECT_EQ(
        r.out,
        "{\"by\":\"day\",\"from\":\"2026-03-15\",\"to\":\"2026-03-15\",\"buckets\":[{\"start\":"
        "\"2026-03-15T00:00\",\"seconds\":43200,\"uploaded\":0,\"downloaded\":2000000,"
        "\"cost\":9.7000}]}\n");
}

TEST_F(UsageCommand, StoreRowsPlaceTheBytesAndADamagedStoreIsSaidOnceAndSpread) {
    writeFile(dir.file("logfile.log"),
              record("14-03-2026", "12:00:00", "15-03-2026", "12:00:00", "0", "4000000"));
    // All 4 MB came in the last quarter hour, after the billing day.
    ASSERT_TRUE(test::storeRows(
        dir.file("logfile.log"), ConnectionKey{"14-03-2026", "12:00:00", "ttyS0", "ISP"},
        {UsageRow{quarterOf(epochOf(fromLocal(2026, 3, 14, 12))), 900, 0, 0},
         UsageRow{quarterOf(epochOf(fromLocal(2026, 3, 15, 11, 45))), 900, 0, 4000000}}));
    UsageRun r = run({"summary", "--config-dir", dir.path(), "--filter", "month"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(value(r.out, "Total data downloaded"), "4000000");
    r = run({"usage", "--config-dir", dir.path(), "--from", "2026-03-14"});
    EXPECT_EQ(r.err, "");
    // The rows' days and bytes, not the spread's; their seconds are shared out of the record's
    // day, as the summary counts it.
    EXPECT_EQ(r.out,
              "start\tseconds\tuploaded\tdownloaded\tcost\n"
              "2026-03-14T00:00\t43200\t0\t0\t7.7000\n"
              "2026-03-15T00:00\t43200\t0\t4000000\t11.7000\n");

    // A damaged page of rows, which the open does not read. The sums kept from the rows while
    // they were whole still answer; a change of the tariff counts the log again, and that
    // count's read meets the damage. One message, and the figures of the even spread, not those
    // of some of the rows.
    ASSERT_GT(test::damageUsageLeaf(dir.file("usage.db")), 0u);
    r = run({"summary", "--config-dir", dir.path(), "--filter", "month"});
    EXPECT_EQ(value(r.out, "Total data downloaded"), "4000000");
    settings.writeString("Price", "CheapCostPerMinute", "0.02");  // no cheap hours: same prices
    r = run({"summary", "--config-dir", dir.path(), "--filter", "month"});
    EXPECT_EQ(value(r.out, "Total data downloaded"), "2000000");
    EXPECT_EQ(r.err, "tavu: The usage store " + dir.file("usage.db") +
                         " is not used (it is damaged); each connection's usage is spread evenly "
                         "over its time\n");
    r = run({"usage", "--config-dir", dir.path(), "--from", "2026-03-14"});
    EXPECT_NE(r.out.find("2026-03-15T00:00\t43200\t0\t2000000\t"), std::string::npos) << r.out;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("(it is damaged)"), std::string::npos) << r.err;

    // Damaged: one message, and the figures of the even spread.
    std::remove(dir.file("usage.db-wal").c_str());
    std::remove(dir.file("usage.db-shm").c_str());
    writeFile(dir.file("usage.db"), std::string(4096, 'x'));
    r = run({"summary", "--config-dir", dir.path(), "--filter", "month"});
    EXPECT_EQ(value(r.out, "Total data downloaded"), "2000000");
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("usage.db is not used"), std::string::npos) << r.err;
    // All needs no store: nothing is said.
    r = run({"summary", "--config-dir", dir.path(), "--filter", "all"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(value(r.out, "Total data downloaded"), "4000000");
}

TEST_F(UsageCommand, RowsThatHoldMoreSecondsThanTheRecordCountTheRecordsTimeEverywhere) {
    // Ten minutes and 10 MB, whose rows hold half an hour: the clock was set back during the
    // call.
    const LogRecord call{"15-03-2026", "10:00:00", "15-03-2026", "10:10:00", "joe",
                         "ttyS0",      "ISP",      "0",          "10000000"};
    writeFile(dir.file("logfile.log"), composeRecord(call));
    ASSERT_TRUE(test::storeRows(
        dir.file("logfile.log"), test::keyOf(call),
        {UsageRow{quarterOf(epochOf(fromLocal(2026, 3, 15, 9, 45))), 900, 0, 4000000},
         UsageRow{quarterOf(epochOf(fromLocal(2026, 3, 15, 10))), 900, 0, 6000000}}));
    const UsageRun summary = run({"summary", "--config-dir", dir.path(), "--filter", "month"});
    EXPECT_EQ(summary.err, "");
    EXPECT_EQ(value(summary.out, "Total time online"), "00:10:00");
    EXPECT_EQ(value(summary.out, "Total data downloaded"), "10000000");
    EXPECT_EQ(value(summary.out, "Total cost"), "11.10");  // 1 + 10 minutes + 10 MB
    const UsageRun usage = run({"usage", "--config-dir", dir.path(), "--by", "period"});
    EXPECT_EQ(usage.out,
              "start\tseconds\tuploaded\tdownloaded\tcost\n"
              "2026-03-15T00:00\t600\t0\t10000000\t11.1000\n");
    // The rows still say when: the hours split the ten minutes as the rows split their time.
    EXPECT_EQ(run({"usage", "--config-dir", dir.path(), "--by", "hour"}).out,
              "start\tseconds\tuploaded\tdownloaded\tcost\n"
              "2026-03-15T09:00\t300\t0\t4000000\t4.5500\n"
              "2026-03-15T10:00\t300\t0\t6000000\t6.5500\n");
}

TEST_F(UsageCommand, TheJournaledConnectionCountsUntilItsRecordIsLoggedAndThenOnce) {
    const std::string log = dir.file("logfile.log");
    writeFile(log, record("15-03-2026", "08:00:00", "15-03-2026", "08:30:00", "0", "1000000"));
    // In progress since 11:00, last journaled at 11:20 with its rows so far.
    LogRecord live{"15-03-2026", "11:00:00", "15-03-2026", "11:20:00", "joe",
                   "ttyS0",      "ISP",      "0",          "2000000"};
    ASSERT_TRUE(test::storeRows(
        log, test::keyOf(live),
        {UsageRow{quarterOf(epochOf(fromLocal(2026, 3, 15, 11))), 900, 0, 1500000},
         UsageRow{quarterOf(epochOf(fromLocal(2026, 3, 15, 11, 15))), 300, 0, 500000}}));
    ASSERT_TRUE(test::journalConnection(log, live, fromLocal(2026, 3, 15, 11),
                                        fromLocal(2026, 3, 15, 11, 20)));
    const auto expectCounted = [&](const char* connections, const char* time, const char* seconds,
                                   const char* downloaded, const char* cost) {
        const UsageRun summary = run({"summary", "--config-dir", dir.path(), "--filter", "month"});
        EXPECT_EQ(summary.err, "");
        EXPECT_EQ(value(summary.out, "Connections"), connections);
        EXPECT_EQ(value(summary.out, "Total time online"), time);
        EXPECT_EQ(value(summary.out, "Total data downloaded"), downloaded);
        EXPECT_EQ(value(summary.out, "Total cost"), cost);
        EXPECT_EQ(run({"usage", "--config-dir", dir.path()}).out,
                  std::string("start\tseconds\tuploaded\tdownloaded\tcost\n2026-03-15T00:00\t") +
                      seconds + "\t0\t" + downloaded + "\t" + cost + "00\n");
        const UsageRun report =
            run({"report", "--config-dir", dir.path(), "--format", "json", "--filter", "month"});
        EXPECT_EQ(report.err, "");
        const std::string totals = report.out.substr(report.out.find("\"totals\":"));
        EXPECT_EQ(totals.rfind(std::string("\"totals\":{\"connections\":") + connections +
                                   ",\"total_time_online\":" + seconds + ",\"total_cost\":" + cost,
                               0),
                  0u)
            << totals;
        return report.out;
    };
    {
        SCOPED_TRACE("journaled");
        // 08:00 for half an hour and 1 MB; 11:00 for twenty minutes and 2 MB.
        const std::string report = expectCounted("2", "00:50:00", "3000", "3000000", "5.50");
        // The listing is the log's.
        EXPECT_EQ(report.find("11:00:00"), std::string::npos) << report;
    }
    if (::getuid() == 0) {
        SCOPED_TRACE("a journal of another user");
        const std::string journal = ConnectionJournal::pathFor(log);
        ASSERT_EQ(::chown(journal.c_str(), 65534, 65534), 0);
        expectCounted("1", "00:30:00", "1800", "1000000", "2.30");
        ASSERT_EQ(::chown(journal.c_str(), 0, 0), 0);
    }
    // It ended at 11:25 with 2.5 MB: the monitor logs the record, then removes the journal.
    live.endTime = "11:25:00";
    live.bytesReceived = "2500000";
    writeFile(log, test::readFile(log) + composeRecord(live));
    {
        SCOPED_TRACE("logged while still journaled");
        expectCounted("2", "00:55:00", "3300", "3500000", "6.05");
    }
    std::remove(ConnectionJournal::pathFor(log).c_str());
    {
        SCOPED_TRACE("logged");
        expectCounted("2", "00:55:00", "3300", "3500000", "6.05");
    }
}

TEST_F(UsageCommand, ItsCostsAddUpToTheSummarysTotalWithFreeTimeAndData) {
    settings.writeString("Price", "FreeMonthTime", "00:30");
    settings.writeInt("Price", "FreeMonthMB", 3);
    writeFile(dir.file("logfile.log"),
              record("10-03-2026", "22:00:00", "15-03-2026", "02:00:00", "1000000", "2000000") +
                  record("15-03-2026", "03:00:00", "15-03-2026", "03:20:00", "0", "2500000") +
                  record("15-03-2026", "05:00:00", "15-03-2026", "05:00:00", "1", "1") +
                  record("31-02-2026", "05:00:00", "01-03-2026", "05:00:00", "7", "0") +
                  record("15-03-2026", "09:59:00", "15-03-2026", "11:01:00", "300000", "0"));
    const UsageRun summary = run({"summary", "--config-dir", dir.path(), "--filter", "month"});
    const double total = std::stod(value(summary.out, "Total cost"));
    for (const char* by : {"hour", "day", "month", "period"}) {
        const UsageRun r = run({"usage", "--config-dir", dir.path(), "--by", by});
        EXPECT_NEAR(costs(r.out), total, 0.0051) << by << "\n" << r.out << summary.out;
    }
    // From the 15th of February: the period before and the days of this one.
    const UsageRun r =
        run({"usage", "--config-dir", dir.path(), "--from", "2026-02-15", "--by", "day"});
    EXPECT_NE(r.out.find("2026-02-28T00:00\t"), std::string::npos) << "31-02 counts on the 28th";
    EXPECT_NE(r.out.find("2026-03-14T00:00\t86400\t"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("2026-03-09T00:00\t"), std::string::npos) << "no usage on the 9th";
}

TEST_F(UsageCommand, UsageErrorsAreOneLineWithStatusTwo) {
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"usage", "--by", "week"},
             {"usage", "--by"},
             {"usage", "--from", "2026-02-30"},
             {"usage", "--from", "26-02-2026"},
             {"usage", "--to", "2026-03-01", "--from", "2026-03-02"},
             {"usage", "--format", "xml"},
             {"usage", "--from", "1970-01-01", "--to", "9999-12-31"},
             {"usage", "extra"}}) {
        const UsageRun r = run(args);
        EXPECT_EQ(r.status, 2) << args[1];
        EXPECT_TRUE(r.out.empty());
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
}

}  // namespace
}  // namespace tavu

namespace tavu {
namespace {

// The JSON report's prices added up, by plan.
std::map<std::string, double> pricesByPlan(const std::string& json) {
    std::map<std::string, double> sums;
    for (std::size_t at = json.find("\"price\":"); at != std::string::npos;
         at = json.find("\"price\":", at + 1)) {
        const double price = std::stod(json.substr(at + 8));
        const auto plan = json.find("\"plan\":\"", at);
        const auto close = json.find('}', at);
        const std::string name =
            plan < close ? json.substr(plan + 8, json.find('"', plan + 8) - plan - 8) : "none";
        sums[name] += price;
    }
    return sums;
}

TEST_F(UsageCommand, EachPlanAgreesInSummaryReportAndUsage) {
    const std::string log =
        record("10-03-2026", "22:00:00", "15-03-2026", "02:00:00", "1000000", "2000000") +
        composeRecord({"14-03-2026", "10:00:00", "14-03-2026", "11:00:00", "joe", "ppp0",
                       "Provider", "40000000", "0"}) +
        composeRecord({"20-03-2026", "10:00:00", "20-03-2026", "10:10:00", "joe", "ppp0",
                       "Provider", "5000000", "0"}) +
        composeRecord({"29-02-2026", "09:00:00", "01-03-2026", "09:00:00", "joe", "wwan0",
                       "Travel SIM", "3000000", "0"});
    writeFile(dir.file("logfile.log"), log);
    // Without plans the exports name none.
    UsageRun report = run({"report", "--config-dir", dir.path(), "--format", "json"});
    EXPECT_EQ(report.out.find("\"plan\""), std::string::npos);
    EXPECT_EQ(run({"summary", "--config-dir", dir.path(), "--plan", "default"}).status, 0);

    settings.writeString("Plan Modem", "Match", "ppp*");
    settings.writeString("Plan Modem", "CostPerMB", "0.02");
    settings.writeInt("Plan Modem", "FreeMonthMB", 10);
    settings.writeInt("Plan Modem", "BillingDay", 20);
    settings.writeString("Plan Travel", "Match", "Travel SIM");
    settings.writeString("Plan Travel", "CostPerMinute", "0.001");
    settings.writeInt("Plan Travel", "BillingDay", 1);
    report = run({"report", "--config-dir", dir.path(), "--format", "json"});
    const auto prices = pricesByPlan(report.out);
    ASSERT_EQ(prices.size(), 3u) << report.out;
    double sum = 0;
    for (const char* plan : {"Default", "Modem", "Travel"}) {
        const double all = std::stod(value(
            run({"summary", "--config-dir", dir.path(), "--plan", plan, "--filter", "all"}).out,
            "Total cost"));
        EXPECT_NEAR(prices.at(plan), all, 0.0051) << plan;
        sum += all;
        const double month = std::stod(value(
            run({"summary", "--config-dir", dir.path(), "--plan", plan, "--filter", "month"}).out,
            "Total cost"));
        // Usage from each plan's own period start.
        const UsageRun usage = run({"usage", "--config-dir", dir.path(), "--plan", plan});
        EXPECT_NEAR(costs(usage.out), month, 0.0051) << plan << "\n" << usage.out;
    }
    const UsageRun all = run({"summary", "--config-dir", dir.path(), "--filter", "all"});
    EXPECT_NEAR(std::stod(value(all.out, "Total cost")), sum, 0.0051);
    EXPECT_EQ(value(all.out, "Period"), "missing");
    const UsageRun periods = run({"summary", "--config-dir", dir.path(), "--filter", "month"});
    EXPECT_EQ(value(periods.out, "Period"), "Current periods of all plans");
}

TEST_F(UsageCommand, AnUnknownPlanIsAUsageError) {
    settings.writeString("Plan Modem", "Match", "ppp*");
    settings.writeString("Plan Bad,Name", "Match", "x");
    for (const auto& args : std::vector<std::vector<std::string>>{{"summary", "--plan", "Nobody"},
                                                                  {"report", "--plan", "Nobody"},
                                                                  {"usage", "--plan", "Bad,Name"},
                                                                  {"usage", "--plan"}}) {
        std::vector<std::string> full = args;
        full.insert(full.begin() + 1, {"--config-dir", dir.path()});
        const UsageRun r = run(full);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("tavu: "), std::string::npos);
    }
    const UsageRun r = run({"summary", "--config-dir", dir.path(), "--plan", "Nobody"});
    EXPECT_EQ(r.err,
              "tavu: Settings section [Plan Bad,Name] is left out: a plan name may not hold "
              "\"]\", \",\" or a control character.\n"
              "tavu: there is no plan named \"Nobody\"; the plans are Default, Modem\n");
    EXPECT_EQ(run({"--plan", "Modem"}).status, 2);  // starting the program takes no plan
    EXPECT_EQ(run({"summary", "--config-dir", dir.path(), "--plan", "MODEM"}).status, 0);
}

}  // namespace
}  // namespace tavu
