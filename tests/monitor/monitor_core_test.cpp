#include "monitor/monitor_core.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/prompter.h"
#include "core/settings_store.h"
#include "monitor/log_file.h"
#include "platform/fakes.h"
#include "platform/simulated_remote_access.h"
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
    settings.writeInt("Settings", "ConfirmHangup", 0);
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
    settings.writeInt("Settings", "WarnWhenCallInterval", 1);  // average 2.00
    core->costCheck();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text,
              "Warning - cost per call too high. See Preferences->Warnings. Cost : 2.00");
}

TEST_F(CostCheck, NegativeLimitIsNeverExceeded) {
    settings.writeInt("Settings", "WarnWhenMonth", 1);
    settings.writeInt("Settings", "WarnWhenMonthInterval", -1);
    core->costCheck();
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(CostCheck, DisconnectLimitActsOnlyOnAConnection) {
    settings.writeInt("Settings", "DisWhenMonth", 1);
    settings.writeInt("Settings", "DisWhenMonthInterval", 1);
    settings.writeInt("Settings", "DisWhenCall", 1);
    settings.writeInt("Settings", "DisWhenCallInterval", 1);
    core->costCheck();
    EXPECT_TRUE(prompter.shown.empty()) << "nothing to close, nothing to say";

    ras->bringUp("Provider");
    pollAfter(1s);
    prompter.answers = {Answer::No, Answer::No};
    core->costCheck();
    ASSERT_EQ(prompter.shown.size(), 2u);  // two questions, no notice
    EXPECT_EQ(prompter.shown[1].buttons, Buttons::YesNo);

    prompter.shown.clear();
    prompter.answers = {Answer::Yes};
    core->costCheck();
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[1].text,
              "Warning - cost per month too high. See Preferences->Warnings. Connection closed.");
    EXPECT_EQ(prompter.shown[1].caption, "TAVU Online Timer 1.1 BETA");
    // The call limit finds nothing left to close and asks nothing.
    EXPECT_TRUE(core->userHungUp());
}

}  // namespace
}  // namespace tavu
