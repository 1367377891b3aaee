// The main window on a simulated line with two connections up under two plans.

#include <gtest/gtest.h>

#include "core/settings_store.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "ui/main/connection_monitor.h"
#include "ui/main/monitor_fixture.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

class PlanStatus : public test::MonitorFixture {
  protected:
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        for (const QString& l : window->statusLines()) {
            out.push_back(l.toStdString());
        }
        return out;
    }

    PlanStatus() {
        std::string error;
        ras = platform::SimulatedRemoteAccess::fromText("[entry Modem]\n[entry Travel]\n", clock,
                                                        error);
        settings.writeString("Plan Modem", "Match", "Modem");
        settings.writeString("Plan Modem", "CostPerMinute", "1");
        settings.writeInt("Plan Modem", "DisWhenMonth", 1);
        settings.writeInt("Plan Modem", "DisWhenMonthInterval", 1);
        settings.writeString("Plan Travel", "Match", "Travel");
    }
};

// The cost check closes the connection of the plan over its limit and leaves the other up; the
// status list shows each plan's usage on top, and drops it when no connection is left.
TEST_F(PlanStatus, EachPlanShowsItsUsageAndOnlyItsConnectionIsClosed) {
    ConnectionMonitor& w = makeWindow(dir.file("exe"), true);
    ras->bringUp("Modem");
    ras->bringUp("Travel");
    clock.advance(1s);
    w.tick(1);
    clock.advance(2min);
    w.tick(1);
    w.tick(5);
    std::vector<std::string> shown = lines();
    ASSERT_GE(shown.size(), 4u);
    EXPECT_EQ(shown[0], "Plan Modem: 0 MB, 2.00 this period");
    EXPECT_EQ(shown[1], "Plan Travel: 0 MB, 0.00 this period");
    EXPECT_EQ(shown[2], "Connection Travel detected");

    clock.advance(1s);
    w.tick(1);
    EXPECT_TRUE(w.core().connected());
    shown = lines();
    EXPECT_EQ(shown.at(2), "Connection Modem closed");
    std::vector<platform::RasConnection> listed;
    ASSERT_TRUE(ras->listConnections(listed));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].entryName, "Travel");

    ras->drop(listed[0].handle);
    clock.advance(1s);
    w.tick(1);
    EXPECT_FALSE(w.core().connected());
    EXPECT_EQ(lines().at(0), "Connection closed");
}

}  // namespace
}  // namespace tavu
