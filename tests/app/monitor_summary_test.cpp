// The commands against a monitor that closed a connection at its data cap: the month summary
// counts the connection once, as the monitor's own figures have it.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "app/cli.h"
#include "core/settings_keys.h"
#include "core/text.h"
#include "log/log_record.h"
#include "monitor/monitor_core.h"
#include "support/monitor_rig.h"
#include "support/null_view.h"
#include "support/temp_dir.h"
#include "usage/usage_store.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

// The number after "key": in a JSON text.
double jsonNumber(const std::string& json, const std::string& key) {
    const auto at = json.find("\"" + key + "\":");
    return at == std::string::npos ? -1 : leadingDouble(json.substr(at + key.size() + 3));
}

TEST(MonitorAndCommands, TheConnectionClosedAtTheCapCountsOnceInTheMonthSummary) {
    test::MonitorRig<> rig("[entry Provider]\nbytes-in-per-s = 90000\nbytes-out-per-s = 10000\n");
    ASSERT_TRUE(rig.ras) << rig.lineError;
    UsageStoreSink store;
    rig.usage = &store;
    rig.settings.writeInt(keys::kSettings, keys::kBillingDay, 8);
    rig.settings.writeInt(keys::kWarnings, keys::kDataHangupMB, 20);
    test::writeFile(rig.dir.file("logfile.log"),
                    composeRecord({"05-12-2026", "10:00:00", "05-12-2026", "10:00:30", "joe",
                                   "ppp0", "Provider", "0", "5000000"}));
    rig.clock.set(fromLocal(2026, 12, 7, 23, 58, 0));
    test::NullView view;
    MonitorCore core(rig.services(), view);
    rig.ras->bringUp("Provider");
    for (int i = 0; i < 3600; ++i) {
        rig.clock.advance(1s);
        core.poll();
        if (i > 0 && !core.connected()) {
            break;
        }
    }
    ASSERT_FALSE(core.connected());
    ASSERT_EQ(rig.logLines().size(), 2u);

    std::ostringstream out;
    std::ostringstream err;
    CommandLine command;
    const auto status = runCommandLine(
        {"summary", "--config-dir", rig.dir.path(), "--filter", "month", "--format", "json"}, out,
        err, rig.clock, "/nonexistent", command);
    ASSERT_EQ(status, 0) << err.str();
    const double period = core.periodTotals().transmitted;
    EXPECT_GE(period, 20e6);
    EXPECT_LT(period, 20e6 + 100000);
    EXPECT_EQ(jsonNumber(out.str(), "total_data_transmitted"), period) << out.str();
}

}  // namespace
}  // namespace tavu
