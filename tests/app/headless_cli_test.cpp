#include <gtest/gtest.h>

#include <QCoreApplication>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/cli.h"
#include "app/display_check.h"
#include "app/headless_monitor.h"
#include "app/services.h"
#include "core/clock.h"
#include "core/settings_store.h"
#include "log/log_record.h"
#include "platform/modem/fake_modem_service.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "support/temp_dir.h"
#include "usage/usage_store.h"

namespace tavu {
namespace {

using test::TempDir;
using test::writeFile;

int runArgs(std::vector<std::string> args, std::string& err) {
    ManualClock clock(fromLocal(2026, 3, 15, 12));
    std::ostringstream out;
    std::ostringstream errStream;
    CommandLine command;
    const auto status = runCommandLine(args, out, errStream, clock, "/nonexistent", command);
    err = errStream.str();
    return status.value_or(-1);
}

TEST(ReadOnlyCommands, AMissingFolderIsAnErrorAndNothingIsCreated) {
    TempDir dir;
    const std::string missing = dir.file("no/such/folder");
    for (const char* mode : {"report", "summary", "chart"}) {
        std::string err;
        std::vector<std::string> args{mode, "--config-dir", missing};
        if (args[0] == "chart") {
            args.insert(args.end(), {"--out", dir.file("c.png")});
        }
        EXPECT_EQ(runArgs(args, err), 1) << mode;
        EXPECT_EQ(err, "no such folder: " + missing + "\n");
        EXPECT_FALSE(std::filesystem::exists(dir.file("no"))) << mode;
    }

    // The configuration folder is there, but the log folder it names is not.
    SettingsStore(dir.file("tavu.ini")).writeString("Settings", "IniPath", missing + "/");
    for (const char* mode : {"report", "summary"}) {
        std::string err;
        EXPECT_EQ(runArgs({mode, "--config-dir", dir.path()}, err), 1) << mode;
        EXPECT_EQ(err, "no such folder: " + missing + "\n");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("no")));
}

TEST(NoDisplay, FoundThroughTheEnvironmentOrTheToolkitOptions) {
    std::map<std::string, std::string> vars;
    auto env = [&vars](const char* name) -> const char* {
        const auto it = vars.find(name);
        return it == vars.end() ? nullptr : it->second.c_str();
    };
    EXPECT_FALSE(displayAvailable(env, {"--config-dir", "/tmp/x"}));
    vars["DISPLAY"] = "";
    EXPECT_FALSE(displayAvailable(env, {})) << "an empty DISPLAY names no display";
    EXPECT_TRUE(displayAvailable(env, {"-platform", "offscreen"}));
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        vars.clear();
        vars[name] = ":1";
        EXPECT_TRUE(displayAvailable(env, {})) << name;
    }

    const std::string text = noDisplayText();
    EXPECT_EQ(text.rfind("TAVU needs a desktop session (no display found).\n", 0), 0u);
    for (const char* command : {"tavu report", "tavu summary", "tavu monitor"}) {
        EXPECT_NE(text.find(command), std::string::npos) << command;
    }
}

class HeadlessRun : public testing::Test {
  protected:
    HeadlessRun() : clock(fromLocal(2026, 3, 15, 12)), settings(dir.file("tavu.ini")) {
        if (QCoreApplication::instance() == nullptr) {
            app = std::make_unique<QCoreApplication>(argc, argv);  // the monitor's timers
        }
        std::string error;
        ras = platform::SimulatedRemoteAccess::fromText("[entry Provider]\n", clock, error);
    }

    void second(int n = 1) {
        for (int i = 0; i < n; ++i) {
            clock.advance(std::chrono::seconds(1));
            monitor->tick(HeadlessMonitor::PollTimer);
        }
    }
    std::string log() const {
        std::ifstream in(dir.file("logfile.log"));
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    void start() {
        monitor = std::make_unique<HeadlessMonitor>(settings, clock, prompter, *ras, nullptr, sound,
                                                    dir.path(), "ann", "", out);
    }

    int argc = 1;
    char name[5] = "tavu";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    TempDir dir;
    ManualClock clock;
    SettingsStore settings;
    std::unique_ptr<platform::SimulatedRemoteAccess> ras;
    std::ostringstream out;
    std::ostringstream err;
    StreamPrompter prompter{err};
    SilentSound sound;
    std::unique_ptr<HeadlessMonitor> monitor;
};

TEST_F(HeadlessRun, CostLimitHangsUpWithoutAnyoneToConfirmAndSaysSoOnStandardError) {
    // A month already over its limit: the disconnect happens without a question, although
    // ConfirmHangup is on by default.
    settings.writeString("Price", "PricePerDial", "5");
    settings.writeInt("Settings", "DisWhenMonth", 1);
    settings.writeInt("Settings", "DisWhenMonthInterval", 1);
    writeFile(dir.file("logfile.log"),
              composeRecord({"02-03-2026", "10:00:00", "02-03-2026", "10:10:00", "ann", "d",
                             "Provider", "1", "2"}));
    start();
    ras->bringUp("Provider");
    second(2);
    monitor->tick(HeadlessMonitor::CostTimer);
    second();
    std::vector<platform::RasConnection> listed;
    ASSERT_TRUE(ras->listConnections(listed));
    EXPECT_TRUE(listed.empty()) << "the cost check did not hang up";
    EXPECT_EQ(err.str().find("Are you sure ?"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("TAVU Online Timer 1.1 BETA: Warning - cost per month too high. See "
                             "Preferences->Warnings. Connection closed.\n"),
              std::string::npos);
}

TEST_F(HeadlessRun, StoppingWritesTheRecordOfAConnectionStillUpOnce) {
    start();
    ras->bringUp("Provider");
    second(5);
    monitor->stop();
    monitor->stop();
    const std::string record = log();
    EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 1) << record;
    EXPECT_NE(record.find("|12:00:01|15-03-2026|12:00:05|"), std::string::npos) << record;
    second();  // the timers have stopped: no tick runs after the end
    EXPECT_EQ(log(), record);
    // Status lines go to the output with the moment in front; nothing went to the error stream.
    EXPECT_NE(out.str().find("15-03-2026 12:00:01 Connection Provider detected\n"),
              std::string::npos)
        << out.str();
    EXPECT_TRUE(err.str().empty()) << err.str();
}

// With a modem: roaming and a message are status lines on the output, the warning goes with the
// other boxes to the error stream, and HangupWhenRoaming closes the line and logs its record.
TEST_F(HeadlessRun, TheModemsRoamingAndMessagesAreToldAndHangupWhenRoamingLogs) {
    platform::FakeModemService modem;
    const std::string id = modem.addModem(0, {"ttyS0"});
    modem.messages[id].push_back({"/m/1", "Operator", "80 % used\x1b[2J", 1});
    monitor = std::make_unique<HeadlessMonitor>(settings, clock, prompter, *ras, nullptr, sound,
                                                dir.path(), "ann", "", out, nullptr, &modem);
    monitor->start();
    modem.deliver();
    ras->bringUp("Provider");
    second(2);
    platform::ModemStatus st = modem.status(id);
    st.registration = platform::kRegistrationRoaming;
    modem.changeStatus(id, st);
    modem.deliver();
    second();
    EXPECT_NE(out.str().find("15-03-2026 12:00:00 Message from Operator: 80 % used?[2J\n"),
              std::string::npos)
        << out.str();
    EXPECT_NE(out.str().find("15-03-2026 12:00:02 Roaming\n"), std::string::npos) << out.str();
    EXPECT_NE(err.str().find("You are roaming: data may cost much more."), std::string::npos)
        << err.str();
    EXPECT_TRUE(log().empty());

    // The next run: the message is not told again; roaming hangs up.
    monitor->stop();
    monitor.reset();
    out.str("");
    settings.writeInt("Warnings", "HangupWhenRoaming", 1);
    st.registration = platform::kRegistrationHome;
    modem.changeStatus(id, st);
    monitor = std::make_unique<HeadlessMonitor>(settings, clock, prompter, *ras, nullptr, sound,
                                                dir.path(), "ann", "", out, nullptr, &modem);
    monitor->start();
    modem.deliver();
    second(2);
    st.registration = platform::kRegistrationRoaming;
    modem.changeStatus(id, st);
    modem.deliver();
    second();
    EXPECT_EQ(out.str().find("Message from"), std::string::npos) << out.str();
    std::vector<platform::RasConnection> listed;
    ASSERT_TRUE(ras->listConnections(listed));
    EXPECT_TRUE(listed.empty()) << "roaming did not hang up";
    const std::string records = log();
    EXPECT_EQ(std::count(records.begin(), records.end(), '\n'), 2) << records;
    monitor.reset();  // before the modem service it listens to
}

// The operator's reply kept in the usage store is read once there is a modem: a start without
// one opens no store (and so makes none).
TEST_F(HeadlessRun, TheStartWithoutAModemOpensNoUsageStore) {
    platform::FakeModemService modem;
    modem.addModem(0, {"ttyS0"});
    modem.daemonRunning = false;
    UsageStoreSink usage;
    monitor = std::make_unique<HeadlessMonitor>(settings, clock, prompter, *ras, nullptr, sound,
                                                dir.path(), "ann", "", out, &usage, &modem);
    monitor->start();
    modem.deliver();
    second(2);
    EXPECT_FALSE(std::filesystem::exists(dir.file("usage.db")));
    monitor.reset();
    // With the modem, the reply kept is read at the start.
    modem.daemonRunning = true;
    monitor = std::make_unique<HeadlessMonitor>(settings, clock, prompter, *ras, nullptr, sound,
                                                dir.path(), "ann", "", out, &usage, &modem);
    monitor->start();
    modem.deliver();
    EXPECT_TRUE(std::filesystem::exists(dir.file("usage.db")));
    monitor.reset();
}

}  // namespace
}  // namespace tavu
