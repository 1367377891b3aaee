// The caps that hang up, checked at every connected tick against the sums kept beside the log
// and the connections in progress; and what another program counts meanwhile.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/settings_keys.h"
#include "core/text.h"
#include "ledger/usage_ledger.h"
#include "log/connection_journal.h"
#include "log/log_record.h"
#include "monitor/monitor_core.h"
#include "support/monitor_rig.h"
#include "support/null_view.h"
#include "support/temp_dir.h"
#include "usage/usage_store.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

class StatusView : public test::NullView {
  public:
    void insertStatus(const std::string& line) override { status.push_back(line); }
    std::vector<std::string> status;
};

// 100,000 bytes a second in all.
constexpr double kPerSecond = 100000;

class Caps : public testing::Test, protected test::MonitorRig<> {
  protected:
    Caps() : MonitorRig("[entry Provider]\nbytes-in-per-s = 90000\nbytes-out-per-s = 10000\n") {
        EXPECT_TRUE(ras) << lineError;
        usage = &store;  // the rows go to usage.db beside the log, as the program keeps them
        // A new period on the 8th: the 5 MB of the 5th and the two minutes before midnight are
        // the old period's, and stay under its caps.
        settings.writeInt(keys::kSettings, keys::kBillingDay, 8);
        settings.writeInt(keys::kWarnings, keys::kDataWarnMB, 15);
        settings.writeInt(keys::kWarnings, keys::kDataHangupMB, 20);
        test::writeFile(dir.file("logfile.log"),
                        composeRecord({"05-12-2026", "10:00:00", "05-12-2026", "10:00:30", "joe",
                                       "ppp0", "Provider", "0", "5000000"}));
        clock.set(fromLocal(2026, 12, 7, 23, 58, 0));
        core = std::make_unique<MonitorCore>(services(), view);
    }

    // Seconds of the clock, each with its poll, and the cost check at each whole minute as
    // timer 5 makes it; stops when the line is down. `during` is called after each second.
    void runWhileUp(int seconds, const std::function<void()>& during = {}) {
        for (int i = 0; i < seconds; ++i) {
            clock.advance(1s);
            core->poll();
            if (clock.localNow().second == 0) {
                core->costCheck();
            }
            if (during) {
                during();
            }
            if (!core->connected()) {
                return;
            }
        }
    }

    // The period as another program counts it: a ledger of its own, and the connection the
    // monitor journals.
    LogTotals countedElsewhere() {
        UsageLedger other(settings, dir.file("logfile.log"),
                          LedgerOptions{.progress = {}, .create = false});
        return other.totals(SummaryFilter::ThisMonth, clock.localNow(), {}, other.journaled());
    }

    // The boxes whose text begins so.
    int shownTimes(const std::string& text) const {
        return static_cast<int>(
            std::count_if(prompter.shown.begin(), prompter.shown.end(),
                          [&](const Message& m) { return m.text.rfind(text, 0) == 0; }));
    }

    UsageStoreSink store;
    StatusView view;
    std::unique_ptr<MonitorCore> core;
};

TEST_F(Caps, TheDataCapHangsUpWithinASecondOfTrafficAcrossTheBillingDay) {
    ras->bringUp("Provider");
    double worstLag = 0;
    runWhileUp(3600, [&] {
        const LocalDateTime now = clock.localNow();
        if (core->connected() && now.day == 8 && now.minute >= 1 && now.second % 7 == 0) {
            // Another program sees the connection in progress within a minute: the journal is
            // written every 10 seconds, the rows every minute.
            const double here = core->periodTotals().transmitted;
            const double there = countedElsewhere().transmitted;
            EXPECT_LE(there, here);
            worstLag = std::max(worstLag, here - there);
        }
    });
    ASSERT_FALSE(core->connected());
    EXPECT_GT(worstLag, 0);
    EXPECT_LE(worstLag, 70 * kPerSecond);

    // The cap is of this period's bytes: not of the connection's.
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 2u);
    const LogFields record = splitRecord(lines[1]);
    EXPECT_GT(leadingDouble(record[LogFields::BytesReceived]), 25e6);
    const double period = core->periodTotals().transmitted;
    EXPECT_GE(period, 20e6);
    EXPECT_LT(period, 20e6 + kPerSecond) << "passed by more than a second of traffic";
    EXPECT_EQ(shownTimes("You have used "), 1);
    EXPECT_EQ(shownTimes("Connection closed: the data limit of 20 MB for this period was reached."),
              1);

    // Logged and journaled no more: counted once elsewhere too.
    EXPECT_FALSE(std::filesystem::exists(ConnectionJournal::pathFor(dir.file("logfile.log"))));
    EXPECT_EQ(countedElsewhere().transmitted, period);

    // The cap raised and the line dialled again: the new cap holds the logged bytes and the new
    // connection's together.
    settings.writeInt(keys::kWarnings, keys::kDataHangupMB, 25);
    clock.advance(30s);
    ras->bringUp("Provider");
    runWhileUp(3600);
    ASSERT_FALSE(core->connected());
    const double again = core->periodTotals().transmitted;
    EXPECT_GE(again, 25e6);
    EXPECT_LT(again, 25e6 + kPerSecond);
    EXPECT_EQ(countedElsewhere().transmitted, again);
    EXPECT_EQ(shownTimes("You have used "), 1);
    EXPECT_EQ(shownTimes("Connection closed: the data limit of 25 MB for this period was reached."),
              1);
}

// A money limit that closes the line, priced by the minute's share: passed by at most a second's
// price.
TEST_F(Caps, TheMonthlyCostLimitHangsUpWithinASecond) {
    settings.writeInt(keys::kWarnings, keys::kDataHangupMB, 0);
    settings.writeString(keys::kPrice, keys::kCostPerMinute, "0.6000000000");
    settings.writeInt(keys::kSettings, keys::kDisWhenMonth, 1);
    settings.writeString(keys::kSettings, keys::kDisWhenMonthInterval, "2.00");
    ras->bringUp("Provider");
    runWhileUp(3600);
    ASSERT_FALSE(core->connected());
    const double cost = core->periodTotals().totalCost;
    EXPECT_GT(cost, 2.0);
    EXPECT_LE(cost, 2.0 + 0.6 / 60 + 1e-9);
    EXPECT_EQ(shownTimes("Warning - cost per month too high. See Preferences->Warnings. "
                         "Connection closed."),
              1);
}

// A usage store that cannot be used is said once, and the cap holds by a count of the log.
TEST_F(Caps, AStoreThatCannotBeUsedIsSaidOnceAndTheCapStillHolds) {
    test::writeFile(dir.file("usage.db"), std::string(4096, 'x'));
    ras->bringUp("Provider");
    runWhileUp(3600);
    ASSERT_FALSE(core->connected());
    EXPECT_EQ(
        std::count_if(view.status.begin(), view.status.end(),
                      [](const std::string& l) { return l.find("usage.db") != std::string::npos; }),
        1)
        << testing::PrintToString(view.status);
    const double period = core->periodTotals().transmitted;
    EXPECT_GE(period, 20e6);
    EXPECT_LT(period, 20e6 + kPerSecond);
}

// With no limit that hangs up, a tick counts nothing: no ledger is opened.
TEST_F(Caps, WithoutACapATickCountsNothing) {
    settings.writeInt(keys::kWarnings, keys::kDataHangupMB, 0);
    ras->bringUp("Provider");
    runWhileUp(59);
    EXPECT_FALSE(core->ledgerKeeper().opened());
    runWhileUp(1);  // the cost check at the whole minute
    EXPECT_TRUE(core->ledgerKeeper().opened());
    const std::uint64_t counts = core->ledgerKeeper().counts();
    runWhileUp(600);
    EXPECT_EQ(core->ledgerKeeper().counts(), counts) << "the log did not change";
}

}  // namespace
}  // namespace tavu
