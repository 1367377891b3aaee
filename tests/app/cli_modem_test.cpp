#include <gtest/gtest.h>

#include <sstream>

#include "app/cli.h"
#include "core/clock.h"
#include "core/settings_store.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

struct ModemRun {
    std::optional<int> status;
    std::string out;
    std::string err;
};

ModemRun runIn(const test::TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {"--config-dir", dir.path()});
    ManualClock clock(fromLocal(2026, 12, 7, 12));
    std::ostringstream out, err;
    CommandLine command;
    ModemRun r;
    r.status = runCommandLine(args, out, err, clock, "/nonexistent", command);
    r.out = out.str();
    r.err = err.str();
    return r;
}

TEST(ModemCommandLine, OnlyAModemNumberIsTaken) {
    test::TempDir dir;
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"balance", "--modem"},
                                               {"balance", "--modem", "-1"},
                                               {"balance", "--modem", "1x"},
                                               {"balance", "--modem", "99999999999"},
                                               {"messages", "--modem="},
                                               {"messages", "extra"}}) {
        const ModemRun r = runIn(dir, args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("see tavu --help"), std::string::npos) << r.err;
    }
}

TEST(ModemCommandLine, NoCodeIsToldBeforeAnyModemIsAsked) {
    test::TempDir dir;
    SettingsStore settings(dir.file("tavu.ini"));
    settings.writeString("Settings", "BalanceUSSD", "   ");
    // No bus at all: the code is looked at first.
    setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
    const ModemRun r = runIn(dir, {"balance", "--modem", "0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "No balance code is set: set BalanceUSSD in the [Settings] section, for "
              "example BalanceUSSD=*100#.\n");
    // With a code and no daemon to ask: the message the user is given for a missing modem.
    settings.writeString("Settings", "BalanceUSSD", "*100#");
    const ModemRun none = runIn(dir, {"balance"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.err, "No modem that can ask for the balance.\n");
    EXPECT_TRUE(none.out.empty());
    unsetenv("DBUS_SYSTEM_BUS_ADDRESS");
}

}  // namespace
}  // namespace tavu
