// The monitor with plans: each connection up is timed and logged on its own, and the cost check
// guards each plan's connections with that plan's limits, against that plan's usage alone.

#include <gtest/gtest.h>

#include <algorithm>

#include "core/prompter.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "log/log_file.h"
#include "monitor/monitor_core.h"
#include "monitor/monitor_figures.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "support/monitor_rig.h"
#include "support/null_view.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

class PlanView : public test::NullView {
  public:
    void setTitle(const std::string& t) override { title = t; }
    void insertStatus(const std::string& line) override { status.insert(status.begin(), line); }
    void showPlanUsage(const std::vector<std::string>& lines) override { planLines = lines; }

    std::string title;
    std::vector<std::string> status;
    std::vector<std::string> planLines;
};

// Modem: 100 KB a second on a USB modem; Travel: 1 KB a second on the second SIM's device;
// Home: the flat line, under the default plan.
constexpr const char* kLine =
    "[entry Modem]\n"
    "device = /dev/ttyUSB0\n"
    "bytes-in-per-s = 100000\n"
    "[entry Travel]\n"
    "device = /dev/ttyS2\n"
    "bytes-in-per-s = 1000\n"
    "[entry Home]\n"
    "device = /dev/ttyS0\n"
    "bytes-in-per-s = 500000\n";

class MonitorPlans : public testing::Test, protected test::MonitorRig<> {
  protected:
    MonitorPlans() : MonitorRig(kLine) {
        EXPECT_TRUE(ras) << lineError;
        settings.writeString("Plan Modem", "Match", "Modem");
        settings.writeString("Plan Travel", "Match", "/dev/ttyS2*");  // by its device
    }

    MonitorCore& make() {
        core =
            std::make_unique<MonitorCore>(services("6.1", [](std::chrono::milliseconds) {}), view);
        return *core;
    }

    void pollFor(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            clock.advance(1s);
            core->poll();
        }
    }

    std::vector<std::string> shownTexts() const {
        std::vector<std::string> out;
        for (const Message& m : prompter.shown) {
            out.push_back(m.text);
        }
        return out;
    }

    // A logged connection of 2 minutes on 7 December with these bytes received.
    static std::string logged(const char* device, const char* entry, const char* bytes) {
        return composeRecord(
            {"07-12-2026", "10:00:00", "07-12-2026", "10:02:00", "joe", device, entry, "0", bytes});
    }

    PlanView view;
    std::unique_ptr<MonitorCore> core;
};

// Each connection is timed and logged on its own, with its own start and bytes: when the one
// shown ends, the other is shown from its own start, and is logged when it ends.
TEST_F(MonitorPlans, EachConnectionIsTimedAndLoggedOnItsOwn) {
    make();
    const auto modem = ras->bringUp("Modem");
    pollFor(1);
    const auto travel = ras->bringUp("Travel");
    pollFor(1);
    EXPECT_EQ(view.status[0], "Connection Travel detected");
    EXPECT_EQ(view.status[1], "Connection Modem detected");
    pollFor(10);
    ras->drop(modem);
    pollFor(1);
    EXPECT_TRUE(core->connected());
    EXPECT_EQ(view.status[0], "Connection Modem closed");
    EXPECT_EQ(view.title, "00:00:11");  // Travel, up since 20:00:02
    ASSERT_EQ(logLines().size(), 1u);
    EXPECT_EQ(logLines()[0],
              "07-12-2026|20:00:01|07-12-2026|20:00:13|joe|/dev/ttyUSB0|Modem|0|1200000|");
    pollFor(60);
    ras->drop(travel);
    pollFor(1);
    EXPECT_FALSE(core->connected());
    EXPECT_EQ(view.status[0], "Connection closed");
    ASSERT_EQ(logLines().size(), 2u);
    EXPECT_EQ(logLines()[1],
              "07-12-2026|20:00:02|07-12-2026|20:01:14|joe|/dev/ttyS2|Travel|0|72000|");
}

// At exit every connection still up is logged.
TEST_F(MonitorPlans, ExitLogsEveryConnectionUp) {
    make();
    ras->bringUp("Modem");
    ras->bringUp("Home");
    pollFor(3);
    core->writeExitRecord();
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("|Modem|0|300000|"), std::string::npos) << lines[0];
    EXPECT_NE(lines[1].find("|Home|0|1500000|"), std::string::npos) << lines[1];
}

// Two connections up under two plans: the one whose plan crossed its data cap is hung up, the
// other stays up. The logged usage counts in the plan of its connection only.
TEST_F(MonitorPlans, OnlyTheConnectionsOfThePlanOverItsCapAreHungUp) {
    settings.writeInt("Plan Modem", "DataHangupMB", 3);
    settings.writeInt("Plan Travel", "DataHangupMB", 3);
    // 2 MB of Modem, 2.9 MB of Travel and 500 MB of the default plan already this period.
    test::writeFile(dir.file("logfile.log"), logged("/dev/ttyUSB0", "Modem", "2000000") +
                                                 logged("/dev/ttyS2", "Travel", "2900000") +
                                                 logged("/dev/ttyS0", "Home", "500000000"));
    make();
    ras->bringUp("Modem");
    pollFor(1);
    const auto travel = ras->bringUp("Travel");
    pollFor(1);
    pollFor(5);  // Modem: 2.7 MB, Travel 2.906 MB
    core->costCheck();
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(view.planLines, (std::vector<std::string>{"Plan Modem: 2 MB, 0.00 this period",
                                                        "Plan Travel: 2 MB, 0.00 this period"}));
    pollFor(5);  // Modem: 3.2 MB
    core->costCheck();
    EXPECT_EQ(shownTexts(), std::vector<std::string>{"Connection closed: the data limit of 3 MB "
                                                     "for this period in plan Modem was reached."});
    std::vector<platform::RasConnection> listed;
    ASSERT_TRUE(ras->listConnections(listed));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].handle, travel);
    // Closed at the tick that reached the cap: within a second of Modem's traffic past it.
    const std::vector<std::string> lines = logLines();
    ASSERT_EQ(lines.size(), 4u);
    const LogFields modem = splitRecord(lines[3]);
    EXPECT_EQ(modem[LogFields::Connection], "Modem");
    EXPECT_GE(leadingDouble(modem[LogFields::BytesReceived]), 1e6);
    EXPECT_LT(leadingDouble(modem[LogFields::BytesReceived]), 1e6 + 100000);

    pollFor(60);
    core->costCheck();
    EXPECT_TRUE(core->connected()) << "Travel stays under its cap";
    EXPECT_EQ(prompter.shown.size(), 1u);
}

// A warning names its plan and comes once in each of its plan's periods; each plan's period
// starts on its own billing day.
TEST_F(MonitorPlans, WarningsOncePerPlanAndPeriod) {
    settings.writeInt("Plan Modem", "DataWarnMB", 1);
    settings.writeInt("Plan Modem", "BillingDay", 8);  // a new period at midnight
    settings.writeInt("Plan Travel", "DataWarnMB", 1);
    clock.set(fromLocal(2026, 12, 7, 23, 0, 0));
    make();
    ras->bringUp("Modem");
    ras->bringUp("Travel");
    pollFor(20);  // Modem 2 MB; Travel 20 KB
    core->costCheck();
    EXPECT_EQ(shownTexts(),
              std::vector<std::string>{"You have used 2 MB of data in plan Modem in this period."});
    pollFor(1000);  // Travel 1 MB
    core->costCheck();
    core->costCheck();
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[1].text, "You have used 1 MB of data in plan Travel in this period.");
    // After midnight: a new period for Modem only, which counts what came after midnight.
    clock.advance(44min);
    pollFor(1);
    core->costCheck();
    ASSERT_EQ(prompter.shown.size(), 3u);
    EXPECT_EQ(prompter.shown[2].text.rfind("You have used ", 0), 0u);
    EXPECT_NE(prompter.shown[2].text.find(" MB of data in plan Modem in this period."),
              std::string::npos);
}

// Money limits are the plan's own, priced with its own tariff; a connection of the default
// plan is neither counted in nor closed by another plan's limits.
TEST_F(MonitorPlans, MoneyLimitsPerPlanLeaveTheDefaultPlanAlone) {
    settings.writeString("Plan Modem", "CostPerMinute", "1");
    settings.writeInt("Plan Modem", "WarnWhenMonth", 1);
    settings.writeInt("Plan Modem", "WarnWhenMonthInterval", 2);
    settings.writeInt("Plan Modem", "DisWhenMonth", 1);
    settings.writeInt("Plan Modem", "DisWhenMonthInterval", 3);
    // The default plan is free and its limit low: Modem's cost must not reach it.
    settings.writeInt("Settings", "WarnWhenMonth", 1);
    settings.writeInt("Settings", "WarnWhenMonthInterval", 1);
    make();
    const auto home = ras->bringUp("Home");
    ras->bringUp("Modem");
    pollFor(150);
    core->costCheck();
    EXPECT_EQ(shownTexts(),
              std::vector<std::string>{"Warning - cost per month too high in plan Modem. See "
                                       "Preferences->Warnings. Cost : 2.48"});
    pollFor(60);
    core->costCheck();
    ASSERT_EQ(prompter.shown.size(), 2u) << "the warning is not repeated";
    EXPECT_EQ(prompter.shown[1].text,
              "Warning - cost per month too high in plan Modem. See Preferences->Warnings. "
              "Connection closed.");
    pollFor(1);
    std::vector<platform::RasConnection> listed;
    ASSERT_TRUE(ras->listConnections(listed));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].handle, home);
    EXPECT_TRUE(core->connected());
    core->costCheck();
    EXPECT_EQ(view.planLines, std::vector<std::string>{"Plan Default: 105 MB, 0.00 this period"});
}

// The metrics count every connection in progress, each in its own plan's period, not only the
// one the window shows.
TEST_F(MonitorPlans, TheFiguresCountEveryConnectionUp) {
    make();
    ras->bringUp("Modem");
    pollFor(1);
    ras->bringUp("Travel");
    pollFor(10);
    FiguresKeeper keeper(settings, clock, *core, "1.1 BETA");
    keeper.refresh();
    const MetricsFigures& f = keeper.figures();
    int active = 0;
    for (const ConnectionFigures& c : f.connections) {
        active += c.active ? 1 : 0;
        if (c.name == "Travel") {
            EXPECT_TRUE(c.active);
            EXPECT_GT(c.received, 0);
        }
    }
    EXPECT_EQ(active, 2);
    double travelBytes = -1;
    for (const PeriodFigures& p : f.periods) {
        if (p.plan == "Travel") {
            travelBytes = p.bytes;
        }
    }
    EXPECT_GT(travelBytes, 0);
}

}  // namespace
}  // namespace tavu
