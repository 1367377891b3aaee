#include <gtest/gtest.h>

#include <signal.h>

#include <filesystem>
#include <sstream>
#include <thread>

#include "app/cli.h"
#include "core/clock.h"
#include "core/prompter.h"
#include "core/settings_store.h"
#include "log/log_file.h"
#include "monitor/monitor_core.h"
#include "platform/fakes.h"
#include "platform/linux_netns.h"
#include "support/as_user.h"
#include "support/dial_rig.h"
#include "support/null_view.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

// A clock that runs a hundred times faster than real time, so that the redial pause passes
// without the test waiting for it.
class RushingClock final : public Clock {
  public:
    TimePoint now() const override {
        t_ += 20ms;
        return t_;
    }

  private:
    mutable TimePoint t_ = fromLocal(2026, 12, 7, 20);
};

using test::NullView;

// The entry and interface names are this test's own: pppd's pid files go to the real /run.
constexpr const char* kEntry = "tavu11isp";
constexpr const char* kIfname = "tavu11p0";

struct DialCli {
    test::DialRig rig;
    test::TempDir config;
    SettingsStore settings{config.file("tavu.ini")};
    RushingClock clock;

    explicit DialCli(std::vector<std::string> answers, bool silent = false)
        : rig(std::move(answers), silent, kEntry) {
        rig.standin({{"rundir", "/run"}, {"ifname", kIfname}});
        settings.writeString("Dialup", "PeersDir", rig.paths.peersDir);
        settings.writeString("Dialup", "ChatDir", rig.paths.chatDir);
        settings.writeString("Dialup", "Pppd", rig.paths.pppd);
        settings.writeString("Dialup", "Chat", rig.paths.chat);
        // The stand-in's interface is a tun device: its name makes it a dial-up line.
        settings.writeString("Dialup", "Interfaces", std::string("ppp* ") + kIfname);
        settings.writeString("Settings", "DefaultCon", kEntry);
        settings.writeInt("Settings", "RedialWhenBusy", 1);
        settings.writeInt("Settings", "RedialTimes", 3);
        settings.writeString("Connections", std::string(kEntry) + "User", "alice");
        settings.writeString("Connections", std::string(kEntry) + "Password", "secret");
    }

    struct Result {
        int status = -1;
        std::string out;
    };
    Result run(std::vector<std::string> args, const std::string& input = {}) {
        args.insert(args.end(), {"--config-dir", config.path()});
        std::ostringstream out, err;
        std::istringstream in(input);
        CommandLine command;
        const auto status = runCommandLine(args, out, err, clock, "/nonexistent", command, in);
        return {status.value_or(-1), out.str() + err.str()};
    }
};

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

TEST(PrepareCommand, RootWritesTheLineOptionsOfEveryEntryOrTheNamedOnes) {
    DialCli cli({"CONNECT"});
    const platform::DialupPaths paths = cli.rig.paths;
    std::filesystem::remove_all(paths.peersDir + "/.tavu");
    test::writeFile(paths.peersDir + "/provider",
                    "/dev/ttyS0\nconnect \"/usr/sbin/chat -v -f /etc/chatscripts/provider\"\n"
                    "noauth\ndefaultroute\n");
    if (::geteuid() == 0) {
        ::chmod(cli.config.path().c_str(), 0755);
        ::chmod(cli.config.file("tavu.ini").c_str(), 0644);
        const std::string denied = test::asNobody([&] { return cli.run({"prepare"}).out; });
        EXPECT_NE(denied.find("needs root"), std::string::npos) << denied;
    }
    EXPECT_EQ(platform::lineOptionsState(paths, "provider"), platform::LineOptionsState::Missing);

    // The rig's modem is a pseudo-terminal, which another user could take over: its entry gets
    // no line options, and the message names the device.
    auto r = cli.run({"prepare"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.rfind("provider: members of the group dip can dial it.\n"
                          "tavu11isp: The device /dev/pts/",
                          0),
              0u)
        << r.out;
    EXPECT_EQ(platform::lineOptionsState(paths, "provider"), platform::LineOptionsState::Current);
    EXPECT_EQ(platform::lineOptionsState(paths, kEntry), platform::LineOptionsState::Missing);
    r = cli.run({"prepare", "provider", "nosuch", "../x"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("provider: members"), std::string::npos);
    EXPECT_NE(r.out.find("nosuch: The entry file"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("../x: The entry name"), std::string::npos) << r.out;
}

TEST(DialCommand, ErrorsOtherThanBusyAreNotRedialled) {
    if (const std::string why = test::dialUnavailableReason(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    for (const auto& [answer, text] : std::vector<std::pair<std::string, std::string>>{
             {"NO CARRIER", "There was no carrier on the line."},
             {"NO DIALTONE", "There is no dial tone."}}) {
        SCOPED_TRACE(answer);
        DialCli cli({answer});
        const auto r = cli.run({"dial"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out,
                  "Connecting to tavu11isp...\nOpening the port...\n"
                  "Port has been opened successfully\nConnecting to the device...\n" +
                      text + "\n");
        EXPECT_EQ(cli.rig.modem.dials(), 1);
        EXPECT_TRUE(cli.rig.modem.waitForCloses(1));
    }
}

TEST(DialCommand, BusyRedialsUpToTheLimitAndOtherCredentialsAreTaken) {
    if (const std::string why = test::dialUnavailableReason(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    DialCli cli({"BUSY"});
    cli.settings.writeInt("Connections", "RememberPassword", 0);
    auto r = cli.run({"dial"});
    EXPECT_EQ(r.status, 1);
    // Rule 1 with RedialTimes 3: the first and second busy results redial, the third ends.
    EXPECT_EQ(cli.rig.modem.dials(), 3);
    EXPECT_EQ(count(r.out, "Redialing, please wait..."), 2u);
    EXPECT_TRUE(r.out.ends_with("The line is busy.\n")) << r.out;
    // Not to be remembered: the stored user name and password are gone after the dial.
    EXPECT_EQ(cli.settings.readString("Connections", "tavu11ispUser", "x"), "");
    EXPECT_EQ(cli.settings.readString("Connections", "tavu11ispPassword", "x"), "");

    // A wrong password given on standard input: pppd's authentication failure.
    DialCli wrong({"CONNECT"});
    r = wrong.run({"dial", kEntry, "--user", "bob", "--password-stdin"}, "guess\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(
        r.out.ends_with("Access was denied because the user name or password is not "
                        "valid.\n"))
        << r.out;
    const std::vector<std::string> args = wrong.rig.pppdArgs();
    EXPECT_NE(std::find(args.begin(), args.end(), "bob"), args.end());

    EXPECT_EQ(cli.run({"dial", "--bogus"}).status, 2);
}

TEST(DialCommand, CtrlCCancelsAndReleasesTheLine) {
    if (const std::string why = test::dialUnavailableReason(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    DialCli cli({}, true);
    std::thread presser([&] {
        // The handler is in place before the line is opened.
        while (!cli.rig.modem.inUse()) {
            std::this_thread::sleep_for(10ms);
        }
        ::kill(::getpid(), SIGINT);
    });
    const auto r = cli.run({"dial"});
    presser.join();
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.ends_with("The connection was closed by the user.\n")) << r.out;
    EXPECT_TRUE(cli.rig.modem.waitForCloses(1));
}

TEST(DialCommand, BusyThenConnectedIsTimedAndLoggedUnderTheEntryThenHungUp) {
    if (const std::string why = test::dialUnavailableReason() + test::netnsUnavailableReason();
        !why.empty()) {
        GTEST_SKIP() << why;
    }
    DialCli cli({"BUSY", "CONNECT 115200"});
    const std::string failure = test::runInNewNetns([&] {
        auto r = cli.run({"dial"});
        ASSERT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(cli.rig.modem.dials(), 2);
        EXPECT_EQ(count(r.out, "Line is busy.\nRedialing, please wait...\n"), 1u);
        EXPECT_TRUE(r.out.ends_with("Registering your computer on the network...\n"
                                    "Projection result information is available.\n"
                                    "Connected to remote server successfully!\n") ||
                    r.out.ends_with("Projection result information is available.\n"
                                    "Connected to remote server successfully!\n"))
            << r.out;

        r = cli.run({"entries"});
        EXPECT_EQ(r.out, "tavu11isp (default)\n");

        // The monitor of another process finds the connection and names it after the entry.
        ManualClock clock(fromLocal(2026, 12, 7, 20));
        ScriptedPrompter prompter;
        platform::FakeSound sound;
        LogWriter writer(prompter);
        platform::LinuxRemoteAccess ras(cli.settings);
        NullView view;
        MonitorCore monitor({cli.settings, clock, prompter, ras, nullptr, sound, writer,
                             cli.config.path(), "joe", "6.1", [](std::chrono::milliseconds) {}},
                            view);
        clock.advance(1s);
        monitor.poll();
        ASSERT_TRUE(monitor.connected());

        r = cli.run({"hangup"});
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(r.out, "Hung up tavu11isp.\n");
        EXPECT_TRUE(cli.rig.modem.waitForCloses(2));
        clock.advance(5s);
        monitor.poll();
        EXPECT_FALSE(monitor.connected());
        std::vector<std::string> lines;
        LogReader::forEachLine(cli.config.file("logfile.log"),
                               [&](std::string_view l) { lines.emplace_back(l); });
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_NE(lines[0].find("|" + cli.rig.modem.device() + "|tavu11isp|"), std::string::npos)
            << lines[0];

        r = cli.run({"hangup"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.out, "Not connected...\n");
    });
    EXPECT_EQ(failure, "");
}

}  // namespace
}  // namespace tavu
