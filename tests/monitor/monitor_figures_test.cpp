#include "monitor/monitor_figures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/settings_keys.h"
#include "ledger/usage_ledger.h"
#include "monitor/monitor_core.h"
#include "support/monitor_rig.h"
#include "support/null_view.h"
#include "tariff/totals.h"
#include "usage/usage_store.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

class Figures : public testing::Test, protected test::MonitorRig<> {
  protected:
    Figures()
        : MonitorRig(
              "[line]\ndevice = /dev/ttyS0\n"
              "[entry Provider]\nbytes-in-per-s = 1000\nbytes-out-per-s = 100\n") {
        EXPECT_TRUE(ras) << lineError;
        settings.writeString(keys::kPrice, keys::kCostPerMinute, "0.0100000000");
        core = std::make_unique<MonitorCore>(services(), view);
        keeper = std::make_unique<FiguresKeeper>(settings, clock, *core, "1.1 BETA");
    }
    void runFor(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            clock.advance(1s);
            core->poll();
        }
    }
    void writeLog(const std::string& text) {
        std::ofstream(dir.file("logfile.log"), std::ios::binary | std::ios::trunc) << text;
    }
    const ConnectionFigures* connection(const std::string& name) const {
        for (const ConnectionFigures& c : keeper->figures().connections) {
            if (c.name == name) {
                return &c;
            }
        }
        return nullptr;
    }
    const PeriodFigures& period() const { return keeper->figures().periods.at(0); }

    test::NullView view;
    std::unique_ptr<MonitorCore> core;
    std::unique_ptr<FiguresKeeper> keeper;
};

// Two earlier connections of Provider, one of another name in November.
constexpr const char* kLog =
    "01-12-2026|10:00:00|01-12-2026|10:10:00|joe|/dev/ttyS0|Provider|1000|5000|\n"
    "02-12-2026|10:00:00|02-12-2026|10:01:40|joe|/dev/ttyS0|Provider|500|700|\n"
    "15-11-2026|10:00:00|15-11-2026|10:00:10|joe|ppp0|Old ISP|1|2|\n";

TEST_F(Figures, CountersSumEveryRecordOfANameAndTheConnectionInProgress) {
    writeLog(kLog);
    const auto handle = ras->bringUp("Provider");
    runFor(100);
    keeper->refresh();

    const ConnectionFigures* p = connection("Provider");
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->active);
    EXPECT_EQ(p->device, "/dev/ttyS0");
    const double live = 100 - 1;  // detected at the first poll, one second in
    EXPECT_NEAR(p->seconds, 600 + 100 + live, 1);
    EXPECT_NEAR(p->received, 5000 + 700 + 1000 * live, 1000);
    EXPECT_NEAR(p->sent, 1000 + 500 + 100 * live, 100);
    EXPECT_NEAR(p->cost, 0.01 * (600 + 100 + live) / 60, 0.001);
    const ConnectionFigures* old = connection("Old ISP");
    ASSERT_NE(old, nullptr);
    EXPECT_FALSE(old->active);
    EXPECT_EQ(old->device, "ppp0");
    EXPECT_EQ(old->seconds, 10);

    // The period holds December's records and the connection in progress, not November's.
    EXPECT_NEAR(period().bytes, 1000 + 5000 + 500 + 700 + 1100 * live, 1100);
    EXPECT_EQ(period().start, std::chrono::duration_cast<std::chrono::seconds>(
                                  fromLocal(2026, 12, 1).time_since_epoch())
                                  .count());
    EXPECT_EQ(period().end, std::chrono::duration_cast<std::chrono::seconds>(
                                fromLocal(2027, 1, 1).time_since_epoch())
                                .count());
    EXPECT_GT(period().projectedBytes, period().bytes);
    ras->drop(handle);
}

TEST_F(Figures, OnceTheConnectionEndedThePeriodIsWhatTheMonthSummaryCounts) {
    writeLog(kLog);
    int changes = 0;
    core->setLineListener([&] {
        ++changes;
        keeper->refresh();
    });
    const auto handle = ras->bringUp("Provider");
    runFor(30);
    EXPECT_EQ(changes, 1) << "counted when the connection started, not at every tick";
    ras->drop(handle);
    runFor(2);
    EXPECT_EQ(changes, 2);

    const LogTotals month = computeTotals(settings, dir.file("logfile.log"),
                                          SummaryFilter::ThisMonth, clock.localNow());
    EXPECT_EQ(period().bytes, month.transmitted);
    EXPECT_EQ(period().cost, month.totalCost);
    EXPECT_EQ(period().seconds, static_cast<double>(month.totalTime));
    // The projection moves on with the clock: the summary was counted a second later.
    EXPECT_NEAR(period().projectedCost, month.projectedCost.value_or(-1), 1e-4);
    const ConnectionFigures* p = connection("Provider");
    ASSERT_NE(p, nullptr);
    EXPECT_FALSE(p->active);
}

TEST_F(Figures, CountersNeverGoDownWhenTheLogIsCutShort) {
    writeLog(kLog);
    keeper->refresh();
    const ConnectionFigures before = *connection("Provider");
    EXPECT_EQ(before.received, 5700);

    // Rotated by hand: only the last record is left, and a new one of another name.
    writeLog(
        "02-12-2026|10:00:00|02-12-2026|10:01:40|joe|/dev/ttyS0|Provider|500|700|\n"
        "03-12-2026|10:00:00|03-12-2026|10:00:01|joe|ppp1|New|1|1|\n");
    EXPECT_EQ(connection("New"), nullptr) << "a scrape reads the figures as last counted";
    keeper->refresh();
    const ConnectionFigures* after = connection("Provider");
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->received, before.received);
    EXPECT_EQ(after->sent, before.sent);
    EXPECT_EQ(after->seconds, before.seconds);
    EXPECT_EQ(after->cost, before.cost);
    EXPECT_NE(connection("Old ISP"), nullptr) << "a name that left the log stays";
    EXPECT_NE(connection("New"), nullptr);
    // The period is a gauge: it follows the log down.
    EXPECT_EQ(period().bytes, 1200 + 2);
}

TEST_F(Figures, WhileNoConnectionIsUpTheUsageStoreIsReadButNeverMade) {
    writeLog(kLog);
    UsageStoreSink store;
    usage = &store;
    MonitorCore keeping(services(), view);
    FiguresKeeper withStore(settings, clock, keeping, "1.1 BETA");
    withStore.refresh();
    EXPECT_FALSE(std::filesystem::exists(dir.file("usage.db")));
    EXPECT_EQ(withStore.figures().periods.at(0).bytes, 1000 + 5000 + 500 + 700);
}

// At rest the figures are the ledger's, counted again only when the log, the settings or the
// day changed; the looks in between count nothing.
TEST_F(Figures, AtRestTheLedgersFiguresAreCountedOnlyWhenOneMayHaveChanged) {
    writeLog(kLog);
    keeper->refresh();
    const std::uint64_t counted = keeper->counts();
    const std::uint64_t ledgerCounts = core->ledgerKeeper().counts();
    for (int i = 0; i < 10; ++i) {
        clock.advance(60s);
        keeper->refreshIfChanged();
    }
    EXPECT_EQ(keeper->counts(), counted);
    EXPECT_EQ(core->ledgerKeeper().counts(), ledgerCounts);

    const auto expectTheLedgers = [&](const char* when) {
        SCOPED_TRACE(when);
        UsageLedger ledger(settings, dir.file("logfile.log"),
                           LedgerOptions{.progress = {}, .create = false});
        const LogTotals month = ledger.totals(SummaryFilter::ThisMonth, clock.localNow());
        EXPECT_EQ(period().bytes, month.transmitted);
        EXPECT_EQ(period().cost, month.totalCost);
        EXPECT_EQ(period().seconds, static_cast<double>(month.totalTime));
        EXPECT_EQ(period().projectedCost, month.projectedCost.value_or(-1));
        for (const NamedTotals& n : ledger.byConnection()) {
            const ConnectionFigures* c = connection(n.name);
            ASSERT_NE(c, nullptr) << n.name;
            EXPECT_EQ(c->device, n.device);
            EXPECT_EQ(c->seconds, static_cast<double>(n.totals.totalTime));
            EXPECT_EQ(c->sent, n.totals.uploaded);
            EXPECT_EQ(c->received, n.totals.downloaded);
            EXPECT_EQ(c->cost, n.totals.totalCost);
        }
    };
    // Another program adds a record.
    std::ofstream(dir.file("logfile.log"), std::ios::app | std::ios::binary)
        << "03-12-2026|10:00:00|03-12-2026|10:00:30|joe|ppp1|Other|5|6|\n";
    keeper->refreshIfChanged();
    EXPECT_EQ(keeper->counts(), counted + 1);
    expectTheLedgers("a record added");
    ASSERT_NE(connection("Other"), nullptr);
    settings.writeString(keys::kPrice, keys::kCostPerMinute, "0.0200000000");
    keeper->refreshIfChanged();
    EXPECT_EQ(keeper->counts(), counted + 2);
    expectTheLedgers("a new price");
    clock.advance(std::chrono::hours(4));  // past midnight
    keeper->refreshIfChanged();
    EXPECT_EQ(keeper->counts(), counted + 3);
    expectTheLedgers("the next day");
    keeper->refreshIfChanged();
    EXPECT_EQ(keeper->counts(), counted + 3);
}

TEST_F(Figures, OnlyTheCapsThatAreSet) {
    keeper->refresh();
    EXPECT_FALSE(period().warnCapBytes);
    EXPECT_FALSE(period().hangupCapBytes);
    settings.writeInt(keys::kWarnings, keys::kDataHangupMB, 5000);
    keeper->refresh();
    EXPECT_FALSE(period().warnCapBytes);
    EXPECT_EQ(period().hangupCapBytes, 5e9);
    EXPECT_EQ(period().plan, "Default") << "without plans, one series of the default plan";
    EXPECT_EQ(keeper->figures().periods.size(), 1u);
}

// Two plans with billing days of their own: the default plan's period is the calendar month,
// plan Modem's runs from the 10th.
constexpr const char* kPlansLog =
    "20-11-2026|10:00:00|20-11-2026|10:10:00|joe|/dev/ttyS0|Provider|9|9|\n"
    "01-12-2026|10:00:00|01-12-2026|10:10:00|joe|/dev/ttyS0|Provider|1000|5000|\n"
    "05-11-2026|10:00:00|05-11-2026|10:00:10|joe|ppp1|Modem|10|20|\n"
    "15-11-2026|10:00:00|15-11-2026|10:01:00|joe|ppp1|Modem|1000000|2000000|\n"
    "02-12-2026|10:00:00|02-12-2026|10:01:40|joe|/dev/ttyS0|Provider|500|700|\n";

std::int64_t epoch(int year, int month, int day) {
    return std::chrono::duration_cast<std::chrono::seconds>(
               fromLocal(year, month, day).time_since_epoch())
        .count();
}

TEST_F(Figures, EachPlanIsCountedInItsOwnPeriodWithItsOwnCaps) {
    writeLog(kPlansLog);
    settings.writeInt(keys::kWarnings, keys::kDataWarnMB, 100);
    settings.writeString("Plan Modem", "Match", "ppp*");
    settings.writeInt("Plan Modem", keys::kBillingDay, 10);
    settings.writeString("Plan Modem", keys::kCostPerMB, "1.5");
    settings.writeInt("Plan Modem", keys::kFreeMonthMB, 1);
    settings.writeInt("Plan Modem", keys::kDataHangupMB, 300);
    const auto handle = ras->bringUp("Provider");
    runFor(10);
    keeper->refresh();
    const auto& periods = keeper->figures().periods;
    ASSERT_EQ(periods.size(), 2u);
    const PeriodFigures& home = periods[0];
    const PeriodFigures& modem = periods[1];
    EXPECT_EQ(home.plan, "Default");
    EXPECT_EQ(modem.plan, "Modem");
    EXPECT_EQ(home.start, epoch(2026, 12, 1));
    EXPECT_EQ(modem.start, epoch(2026, 11, 10));
    EXPECT_EQ(modem.end, epoch(2026, 12, 10));
    // The connection in progress counts in the default plan only.
    EXPECT_GT(home.bytes, 1000 + 5000 + 500 + 700);
    EXPECT_EQ(modem.bytes, 3e6);
    EXPECT_DOUBLE_EQ(modem.cost, 1.5 * (3 - 1)) << "its own data price and free data";
    EXPECT_EQ(home.warnCapBytes, 1e8);
    EXPECT_FALSE(home.hangupCapBytes);
    EXPECT_FALSE(modem.warnCapBytes) << "the default plan's cap is not the plan's";
    EXPECT_EQ(modem.hangupCapBytes, 3e8);
    ras->drop(handle);
    runFor(2);
    keeper->refresh();

    // Each series is what the month summary of that plan counts.
    for (const PeriodFigures& p : keeper->figures().periods) {
        const LogTotals month = TotalsEngine(settings, SummaryFilter::ThisMonth, clock.localNow(),
                                             TotalsOptions{.plan = p.plan})
                                    .run(dir.file("logfile.log"));
        EXPECT_EQ(p.bytes, month.transmitted) << p.plan;
        EXPECT_EQ(p.cost, month.totalCost) << p.plan;
        EXPECT_EQ(p.seconds, static_cast<double>(month.totalTime)) << p.plan;
    }

    // On the 10th plan Modem starts a new period; the default plan's goes on.
    clock.advance(std::chrono::hours(24 * 3));
    keeper->refresh();
    EXPECT_EQ(keeper->figures().periods[1].start, epoch(2026, 12, 10));
    EXPECT_EQ(keeper->figures().periods[1].bytes, 0);
    EXPECT_EQ(keeper->figures().periods[0].start, epoch(2026, 12, 1));
    EXPECT_GT(keeper->figures().periods[0].bytes, 7200);
}

}  // namespace
}  // namespace tavu
