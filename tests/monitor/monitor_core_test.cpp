#include "monitor/monitor_core.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "core/prompter.h"
#include "core/settings_store.h"
#include "log/log_file.h"
#include "platform/fakes.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "support/monitor_rig.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;
using platform::SimulatedRemoteAccess;

class RecordingView : public MonitorView {
  public:
    void setTitle(const std::string& t) override { title = t; }
    void setTrayState(bool c, const std::string& t) override {
        trayConnected = c;
        tooltip = t;
    }
    void insertStatus(const std::string& line) override { status.insert(status.begin(), line); }
    void removeStatus(const std::string& line) override {
        if (const auto it = std::find(status.begin(), status.end(), line); it != status.end()) {
            status.erase(it);
        }
    }
    void redraw() override { ++redraws; }
    void showMainWindow() override { ++shows; }
    void hideMainWindow() override { ++hides; }
    void elapsedTick(const std::string& text, std::int64_t) override { lastElapsed = text; }
    void connectionStarted() override { ++starts; }
    void dial() override { ++dials; }
    void startMailCheck() override { ++mailChecks; }

    std::string title = "TAVU";
    std::string tooltip = "Waiting for connection...";
    bool trayConnected = false;
    std::vector<std::string> status;
    std::string lastElapsed;
    int redraws = 0, shows = 0, hides = 0, starts = 0, dials = 0, mailChecks = 0;
};

constexpr const char* kScript =
    "[line]\n"
    "device = /dev/ttyS0\n"
    "[entry Provider]\n"
    "bytes-in-per-s = 1000\n"
    "bytes-out-per-s = 100\n"
    "[entry Other]\n"
    "device = /dev/ttyS1\n";

class Monitor : public testing::Test, protected test::MonitorRig<> {
  protected:
    Monitor() : MonitorRig(kScript) { EXPECT_TRUE(ras) << lineError; }

    MonitorCore& make(std::string version = "6.1") {
        core = std::make_unique<MonitorCore>(
            services(std::move(version), [this](std::chrono::milliseconds d) { paused += d; }),
            view);
        return *core;
    }

    // Moves the clock and runs the poll, as the once-a-second timer does.
    void pollAfter(std::chrono::milliseconds d) {
        clock.advance(d);
        core->poll();
    }

    std::vector<LogFields> records() {
        lines.clear();
        LogReader::forEachLine(dir.file("logfile.log"),
                               [&](std::string_view l) { lines.emplace_back(l); });
        std::vector<LogFields> out;
        for (const auto& l : lines) {
            out.push_back(splitRecord(l));
        }
        return out;
    }

    RecordingView view;
    std::unique_ptr<MonitorCore> core;
    std::chrono::milliseconds paused{0};
    std::vector<std::string> lines;
};

TEST_F(Monitor, DetectsTimesAndLogsAConnection) {
    make();
    pollAfter(1s);
    EXPECT_FALSE(core->connected());
    EXPECT_TRUE(view.status.empty());

    const auto handle = ras->bringUp("Provider");
    pollAfter(1s);
    EXPECT_TRUE(core->connected());
    EXPECT_EQ(view.status.front(), "Connection Provider detected");
    EXPECT_EQ(view.tooltip, "Connected - 00:00:00");
    EXPECT_TRUE(view.trayConnected);
    EXPECT_EQ(view.starts, 1);

    pollAfter(65s);
    EXPECT_EQ(view.title, "00:01:05");
    EXPECT_EQ(view.tooltip, "Connected - 00:01:05");
    EXPECT_EQ(view.lastElapsed, "00:01:05");
    // The line carried traffic from the moment it came up, a second before it was seen.
    EXPECT_EQ(core->display().bytesReceived, "66000");
    EXPECT_EQ(core->display().bytesTransmitted, "6600");

    ras->drop(handle);
    pollAfter(1s);
    EXPECT_FALSE(core->connected());
    EXPECT_EQ(view.status.front(), "Connection closed");
    EXPECT_EQ(view.title, "TAVU");
    EXPECT_EQ(view.tooltip, "Waiting for connection...");
    EXPECT_FALSE(view.trayConnected);
    // The display keeps the last connection, with the duration the log records.
    EXPECT_EQ(core->display().elapsed, "00:01:06");

    const auto recs = records();
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(lines[0],
              "07-12-2026|20:00:02|07-12-2026|20:01:08|joe|/dev/ttyS0|Provider|6600|66000|");
    EXPECT_EQ(view.dials, 0);
}

TEST_F(Monitor, PollsAtMostOncePerSecond) {
    make();
    ras->setListingFails(true);
    pollAfter(1s);
    core->poll();
    core->poll();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "Unknown Error - RAS INI Failure");
    EXPECT_EQ(prompter.shown[0].caption, "Error");
    pollAfter(1s);
    EXPECT_EQ(prompter.shown.size(), 2u);
    // A clock set back pauses the poll only until its next whole second.
    clock.advance(-10s);
    core->poll();
    EXPECT_EQ(prompter.shown.size(), 2u);
    pollAfter(1s);
    EXPECT_EQ(prompter.shown.size(), 3u);
}

// The line's own news between two polls: a connection that comes up is timed from that moment
// and its journal begun at once; one that goes is logged at once; the monitor's own hang-up
// leaves the end to the poll, which sees it within a second.
TEST_F(Monitor, LooksAtOnceWhenTheLineSaysItChanged) {
    make();
    ras->setTellsChanges(true);
    core->followChanges(true);
    pollAfter(1s);
    clock.advance(300ms);
    const auto handle = ras->bringUp("Provider");
    EXPECT_TRUE(core->connected());
    EXPECT_EQ(view.status.front(), "Connection Provider detected");
    EXPECT_TRUE(std::filesystem::exists(dir.file("logfile.log.open")));
    clock.advance(1500ms);
    ras->drop(handle);
    EXPECT_FALSE(core->connected());
    ASSERT_EQ(records().size(), 1u);
    EXPECT_EQ(lines[0], "07-12-2026|20:00:01|07-12-2026|20:00:02|joe|/dev/ttyS0|Provider|0|0|");

    ras->bringUp("Provider");
    settings.writeInt("Settings", "ConfirmHangup", 0);
    core->hangupCommand();
    EXPECT_TRUE(core->connected());
    pollAfter(1s);
    EXPECT_FALSE(core->connected());
    EXPECT_EQ(records().size(), 2u);

    core->followChanges(false);
    ras->bringUp("Provider");
    EXPECT_FALSE(core->connected());
}

TEST_F(Monitor, FollowsTheFirstOfTwoConnections) {
    make();
    const auto first = ras->bringUp("Provider");
    ras->bringUp("Other");
    pollAfter(1s);
    EXPECT_EQ(view.status.front(), "Connection Provider detected");
    ras->drop(first);
    pollAfter(1s);
    // The other one is still listed, so the connection counts as up: no record yet.
    EXPECT_TRUE(core->connected());
    EXPECT_TRUE(records().empty());
}

TEST_F(Monitor, MidnightAndTwentyFiveHours) {
    clock.set(fromLocal(2026, 12, 7, 23, 59, 30));
    make();
    const auto handle = ras->bringUp("Provider");
    pollAfter(0s);
    pollAfter(25h);
    EXPECT_EQ(view.title, "25:00:00");
    EXPECT_EQ(view.tooltip, "Connected - 25:00:00");
    ras->drop(handle);
    pollAfter(1s);
    records();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, 39), "07-12-2026|23:59:30|09-12-2026|00:59:31");
}

TEST_F(Monitor, ExitRecordLeavesTheConnectionUp) {
    make();
    ras->bringUp("Provider");
    pollAfter(1s);
    pollAfter(30s);
    core->writeExitRecord();
    EXPECT_EQ(records().size(), 1u);
    std::vector<platform::RasConnection> listed;
    ras->listConnections(listed);
    EXPECT_EQ(listed.size(), 1u);
    EXPECT_TRUE(sound.played.empty());
}

TEST_F(Monitor, NoExitRecordWhenIdle) {
    make();
    pollAfter(1s);
    core->writeExitRecord();
    EXPECT_TRUE(records().empty());
}

TEST_F(Monitor, RedialsUnlessTheUserHungUp) {
    settings.writeInt("Settings", "Redial", 1);
    settings.writeInt("Settings", "ConfirmHangup", 0);
    make();
    auto handle = ras->bringUp("Provider");
    pollAfter(1s);
    ras->drop(handle);  // the far end drops the line
    pollAfter(1s);
    EXPECT_EQ(view.dials, 1);

    ras->bringUp("Provider");
    pollAfter(1s);
    core->hangupCommand();
    EXPECT_EQ(view.status.front(), "Hangup...");
    EXPECT_TRUE(core->userHungUp());
    EXPECT_EQ(paused, 200ms);
    pollAfter(1s);
    EXPECT_FALSE(core->connected());
    EXPECT_EQ(view.dials, 1) << "no redial after the user hung up";

    // The mark lasts for the rest of the run.
    handle = ras->bringUp("Provider");
    pollAfter(1s);
    ras->drop(handle);
    pollAfter(1s);
    EXPECT_EQ(view.dials, 1);
}

TEST_F(Monitor, HangupAsksFirst) {
    make();
    core->hangupCommand();
    EXPECT_EQ(view.status.front(), "Not connected...");
    EXPECT_TRUE(prompter.shown.empty());

    ras->bringUp("Provider");
    pollAfter(1s);
    prompter.answers = {Answer::No};
    core->hangupCommand();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text,
              "You are about to hangup an active connection. Are you sure ?");
    EXPECT_EQ(prompter.shown[0].caption, "Are you sure ?");
    EXPECT_EQ(prompter.shown[0].buttons, Buttons::YesNo);
    EXPECT_EQ(view.status.front(), "Connection Provider detected");  // "Hangup..." taken back
    pollAfter(1s);
    EXPECT_TRUE(core->connected());
    EXPECT_FALSE(core->userHungUp());

    prompter.answers = {Answer::Yes};
    core->hangupCommand();
    pollAfter(1s);
    EXPECT_FALSE(core->connected());
}

TEST_F(Monitor, ShowsAndHidesWithTheConnectionWhenAsked) {
    settings.writeInt("Settings", "ShowWhenConnected", 1);
    make();
    const auto handle = ras->bringUp("Provider");
    pollAfter(1s);
    EXPECT_EQ(view.shows, 1);
    ras->drop(handle);
    pollAfter(1s);
    EXPECT_EQ(view.hides, 1);
}

TEST_F(Monitor, PlaysTheSignals) {
    settings.writeInt("Settings", "ActionWhenConMade", 1);
    settings.writeInt("Settings", "ActionWhenConDropped", 2);
    settings.writeString("Settings", "SoundWhenConDropped", "/sounds/bye.wav");
    make();
    const auto handle = ras->bringUp("Provider");
    pollAfter(1s);
    ras->drop(handle);
    pollAfter(1s);
    EXPECT_EQ(sound.played, (std::vector<std::string>{"beep", "/sounds/bye.wav"}));
    settings.writeString("Settings", "SoundWhenConDropped", "");
    ras->drop(ras->bringUp("Provider"));
    pollAfter(1s);
}

TEST_F(Monitor, OldSystemWaitsForTheConnectedState) {
    make("4.10");
    std::uint64_t handle = 0;
    ASSERT_EQ(ras->dial(
                  {"Provider", "", ""}, [](int, int) {}, handle),
              0);
    ras->processDue();
    ras->bringUp("Other");  // listed and connected, but not the first
    pollAfter(1s);
    EXPECT_TRUE(core->connected());
}

// --- The "when connected" action ------------------------------------------------------------

TEST_F(Monitor, AutoHangupOnlyAfterAnIdleInterval) {
    settings.writeInt("Settings", "HangupComboState", 1);
    settings.writeInt("Settings", "HangupInterval", 1);
    std::string error;
    ras = SimulatedRemoteAccess::fromText("[entry Quiet]\n[entry Busy]\nbytes-in-per-s = 100\n",
                                          clock, error);
    counters = std::make_unique<platform::SimulatedCounters>(*ras);
    make();
    const auto busy = ras->bringUp("Busy");
    for (int i = 0; i < 70; ++i) {
        pollAfter(1s);
    }
    core->whenConnectedTimer();
    EXPECT_TRUE(core->connected()) << "6 KB a minute is not idle";
    ras->drop(busy);
    pollAfter(1s);

    ras->bringUp("Quiet");
    for (int i = 0; i < 30; ++i) {
        pollAfter(1s);
    }
    core->whenConnectedTimer();
    pollAfter(1s);
    EXPECT_TRUE(core->connected()) << "younger than the interval";
    for (int i = 0; i < 40; ++i) {
        pollAfter(1s);
    }
    core->whenConnectedTimer();
    pollAfter(1s);
    EXPECT_FALSE(core->connected());
    EXPECT_TRUE(prompter.shown.empty()) << "an automatic hang-up asks nothing";
    EXPECT_EQ(view.status[1], "Idle connection closed");
}

TEST_F(Monitor, StayOnlineChecksMail) {
    settings.writeInt("Settings", "HangupComboState", 2);
    make();
    core->whenConnectedTimer();
    EXPECT_EQ(view.mailChecks, 0);
    ras->bringUp("Provider");
    pollAfter(1s);
    core->whenConnectedTimer();
    EXPECT_EQ(view.mailChecks, 1);
    // A change of the setting acts only after a restart.
    settings.writeInt("Settings", "HangupComboState", 0);
    core->whenConnectedTimer();
    EXPECT_EQ(view.mailChecks, 2);
}

// --- The cost check ----------------------------------------------------------------------------

class CostCheck : public Monitor {
  protected:
    void SetUp() override {
        settings.writeString("Price", "CostPerMinute", "1");
        // 5.00 this month, 3.00 last December, 100.00 in November.
        test::writeFile(dir.file("logfile.log"),
                        composeRecord({"01-12-2026", "10:00:00", "01-12-2026", "10:02:00", "joe",
                                       "d", "i", "0", "0"}) +
                            composeRecord({"02-12-2026", "10:00:00", "02-12-2026", "10:03:00",
                                           "joe", "d", "i", "0", "0"}) +
                            composeRecord({"02-12-2025", "10:00:00", "02-12-2025", "10:03:00",
                                           "joe", "d", "i", "0", "0"}) +
                            composeRecord({"02-11-2026", "10:00:00", "02-11-2026", "11:40:00",
                                           "joe", "d", "i", "0", "0"}));
        make();
        // The limits guard a connection; this one has just started and costs nothing yet.
        ras->bringUp("Provider");
        pollAfter(1s);
    }
};

TEST_F(CostCheck, MonthFiguresIgnoreTheSummaryFilter) {
    settings.writeInt("Settings", "WarnWhenMonth", 1);
    settings.writeInt("Settings", "WarnWhenMonthInterval", 5);  // equal: nothing
    settings.writeInt("Settings", "SummaryWhen", 0);
    core->costCheck();
    EXPECT_TRUE(prompter.shown.empty());
    settings.writeInt("Settings", "WarnWhenMonthInterval", 4);
    core->costCheck();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text,
              "Warning - cost per month too high. See Preferences->Warnings. Cost : 5.00");
    EXPECT_EQ(prompter.shown[0].caption, "Warning");
    EXPECT_EQ(prompter.shown[0].icon, Icon::Error);
}

TEST_F(CostCheck, FreeTimeAndCallAverage) {
    settings.writeString("Price", "FreeMonthTime", "00:01");
    settings.writeInt("Settings", "WarnWhenMonth", 1);
    settings.writeInt("Settings", "WarnWhenMonthInterval", 4);  // 5 - 1 free minute = 4
    settings.writeInt("Settings", "WarnWhenCall", 1);
    settings.writeInt("Settings", "WarnWhenCallInterval", 1);  // 4 over three calls
    core->costCheck();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text,
              "Warning - cost per call too high. See Preferences->Warnings. Cost : 1.33");
}

TEST_F(CostCheck, NegativeLimitIsNeverExceeded) {
    settings.writeInt("Settings", "WarnWhenMonth", 1);
    settings.writeInt("Settings", "WarnWhenMonthInterval", -1);
    core->costCheck();
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(CostCheck, LimitsActOnlyOnAConnectionAndNeverAsk) {
    settings.writeInt("Settings", "WarnWhenMonth", 1);
    settings.writeInt("Settings", "DisWhenMonth", 1);
    settings.writeInt("Settings", "DisWhenMonthInterval", 1);
    settings.writeInt("Settings", "DisWhenCall", 1);
    settings.writeInt("Settings", "DisWhenCallInterval", 1);
    core->costCheck();
    ASSERT_EQ(prompter.shown.size(), 2u);  // a warning, then the notice; no question
    EXPECT_EQ(prompter.shown[1].text,
              "Warning - cost per month too high. See Preferences->Warnings. Connection closed.");
    EXPECT_EQ(prompter.shown[1].caption, "TAVU Online Timer 1.1 BETA");
    EXPECT_TRUE(core->userHungUp());
    pollAfter(1s);
    EXPECT_FALSE(core->connected());

    prompter.shown.clear();
    core->costCheck();
    EXPECT_TRUE(prompter.shown.empty()) << "no connection, nothing to warn about or close";
}

// One long connection crosses a limit while it is up: the check at every tick, which counts it
// as if it ended now, closes it within a second of the crossing (the line is seen down at the
// next poll), says which limit did it, and the connection is logged once.
TEST_F(Monitor, ALongConnectionIsClosedWhenItCrossesALimit) {
    struct Case {
        const char* section;
        const char* key;
        int value;
        std::int64_t crossing;  // seconds after the start
        const char* notice;
    };
    settings.writeString("Price", "CostPerMinute", "1");
    settings.writeInt("Settings", "DisWhenMonthInterval", 3);
    settings.writeInt("Settings", "BillingDay", 7);
    for (const Case& c : {
             // 3.00 is not above the limit; 3.02 is, at 181 s.
             Case{"Settings", "DisWhenMonth", 1, 181,
                  "Warning - cost per month too high. See Preferences->Warnings. Connection "
                  "closed."},
             // 100 KB a second: 3 MB after 30 s.
             Case{"Warnings", "DataHangupMB", 3, 30,
                  "Connection closed: the data limit of 3 MB for this period was reached."},
         }) {
        SCOPED_TRACE(c.key);
        test::TempDir fresh;
        settings.writeString("Settings", "IniPath", fresh.path());
        settings.writeInt(c.section, c.key, c.value);
        std::string error;
        ras = SimulatedRemoteAccess::fromText("[entry Fast]\nbytes-in-per-s = 100000\n", clock,
                                              error);
        counters = std::make_unique<platform::SimulatedCounters>(*ras);
        make();
        prompter.shown.clear();
        ras->bringUp("Fast");
        pollAfter(1s);
        const auto start = clock.now();
        // An hour of polls, the cost check every minute; a late check (70 s of clock) first.
        int seconds = 0;
        clock.advance(9s);
        while (core->connected() && seconds < 3600) {
            pollAfter(1s);
            if (++seconds % 60 == 0) {
                core->costCheck();
            }
        }
        ASSERT_FALSE(core->connected());
        const auto closedAfter =
            std::chrono::duration_cast<std::chrono::seconds>(clock.now() - start).count();
        EXPECT_GE(closedAfter, c.crossing);
        EXPECT_LE(closedAfter, c.crossing + 1);
        ASSERT_EQ(prompter.shown.size(), 1u) << "no question before the hang-up";
        EXPECT_EQ(prompter.shown[0].text, c.notice);
        for (int i = 0; i < 120; ++i) {
            pollAfter(1s);
            core->costCheck();
        }
        std::vector<std::string> logged;
        LogReader::forEachLine(fresh.file("logfile.log"),
                               [&](std::string_view l) { logged.emplace_back(l); });
        EXPECT_EQ(logged.size(), 1u);
        EXPECT_EQ(prompter.shown.size(), 1u);
        settings.writeInt(c.section, c.key, 0);
    }
}

// The data cap is reached at exactly its megabytes in bytes (1 MB = 1,000,000 bytes): a byte
// less keeps the line, the cap itself closes it.
TEST_F(Monitor, DataCapReachedExactlyHangsUp) {
    settings.writeInt("Warnings", "DataHangupMB", 3);
    settings.writeInt("Settings", "BillingDay", 8);  // the period began on 8 November
    for (const auto& [bytes, closes] : {std::pair{"2999999", false}, std::pair{"3000000", true}}) {
        SCOPED_TRACE(bytes);
        test::writeFile(dir.file("logfile.log"),
                        composeRecord({"08-11-2026", "10:00:00", "08-11-2026", "10:02:00", "joe",
                                       "d", "i", bytes, "0"}));
        std::string error;
        ras = SimulatedRemoteAccess::fromText("[entry Idle]\nbytes-in-per-s = 0\n", clock, error);
        counters = std::make_unique<platform::SimulatedCounters>(*ras);
        make();
        prompter.shown.clear();
        ras->bringUp("Idle");
        pollAfter(1s);
        ASSERT_TRUE(core->connected());
        core->costCheck();
        pollAfter(1s);
        EXPECT_EQ(core->connected(), !closes);
    }
}

// An always-on connection that began before the billing day counts in the new period by the
// share of its usage after the period's start: it warns once in each period and reaches the
// cap in the new one.
TEST_F(Monitor, AnAlwaysOnConnectionReachesTheCapInTheNewPeriod) {
    settings.writeInt("Settings", "BillingDay", 8);
    settings.writeInt("Warnings", "DataWarnMB", 300);
    settings.writeInt("Warnings", "DataHangupMB", 400);
    std::string error;
    ras = SimulatedRemoteAccess::fromText("[entry Fast]\nbytes-in-per-s = 100000\n", clock, error);
    counters = std::make_unique<platform::SimulatedCounters>(*ras);
    clock.set(fromLocal(2026, 12, 7, 23, 0, 0));
    make();
    ras->bringUp("Fast");
    pollAfter(1s);
    const auto start = clock.now();
    std::vector<std::int64_t> warnedAt;
    for (int minute = 0; minute < 180 && core->connected(); ++minute) {
        const std::size_t before = prompter.shown.size();
        pollAfter(60s);
        core->costCheck();
        if (prompter.shown.size() != before) {
            warnedAt.push_back(
                std::chrono::duration_cast<std::chrono::seconds>(clock.now() - start).count());
        }
    }
    ASSERT_FALSE(core->connected());
    // 360 MB before midnight: the warning at 300 MB, no hang-up in the old period.
    ASSERT_EQ(warnedAt.size(), 3u);
    EXPECT_EQ(prompter.shown[0].text.rfind("You have used 30", 0), 0u) << prompter.shown[0].text;
    EXPECT_GE(warnedAt[0], 3000);
    EXPECT_LE(warnedAt[0], 3070);
    // After midnight the new period counts only what came after it: 300 MB at 00:50.
    EXPECT_EQ(prompter.shown[1].text.rfind("You have used 30", 0), 0u) << prompter.shown[1].text;
    EXPECT_GE(warnedAt[1], 3600 + 3000);
    EXPECT_LE(warnedAt[1], 3600 + 3070);
    EXPECT_EQ(prompter.shown[2].text,
              "Connection closed: the data limit of 400 MB for this period was reached.");
    EXPECT_GE(warnedAt[2], 3600 + 4000);
    EXPECT_LE(warnedAt[2], 3600 + 4070);
}

TEST_F(Monitor, DataWarningOncePerBillingPeriod) {
    settings.writeInt("Settings", "DataWarnMB", 2);  // kept beside the money limits
    settings.writeInt("Settings", "BillingDay", 8);  // the period ends tomorrow
    test::writeFile(dir.file("logfile.log"),
                    composeRecord({"08-11-2026", "10:00:00", "08-11-2026", "10:02:00", "joe", "d",
                                   "i", "1500000", "0"}) +
                        composeRecord({"07-11-2026", "10:00:00", "07-11-2026", "10:02:00", "joe",
                                       "d", "i", "9000000", "0"}));
    std::string error;
    ras = SimulatedRemoteAccess::fromText("[entry Fast]\nbytes-in-per-s = 100000\n", clock, error);
    counters = std::make_unique<platform::SimulatedCounters>(*ras);
    make();
    core->costCheck();
    auto line = ras->bringUp("Fast");
    pollAfter(1s);
    core->costCheck();
    EXPECT_TRUE(prompter.shown.empty()) << "1.5 MB logged in this period";
    pollAfter(5s);
    core->costCheck();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "You have used 2 MB of data in this period.");
    pollAfter(60s);
    core->costCheck();
    EXPECT_EQ(prompter.shown.size(), 1u);
    ras->drop(line);
    pollAfter(1s);
    clock.set(fromLocal(2026, 12, 8, 0, 0, 1));  // a new period
    ras->bringUp("Fast");
    pollAfter(1s);
    pollAfter(25s);
    core->costCheck();
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[1].text, "You have used 2 MB of data in this period.");
}

}  // namespace
}  // namespace tavu
