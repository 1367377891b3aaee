#include <gtest/gtest.h>

#include <sstream>

#include "app/cli.h"
#include "core/clock.h"
#include "core/settings_store.h"
#include "net/fake_tcp_server.h"
#include "net/netns_support.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using test::FakeTcpServer;

struct NetRun {
    std::optional<int> status;
    std::string out;
    std::string err;
};

NetRun runIn(const test::TempDir& dir, std::vector<std::string> args) {
    args.insert(args.begin(), {"--config-dir", dir.path()});
    ManualClock clock(fromLocal(2026, 12, 7, 12));
    std::ostringstream out, err;
    CommandLine command;
    NetRun r;
    r.status = runCommandLine(args, out, err, clock, "/nonexistent", command);
    r.out = out.str();
    r.err = err.str();
    return r;
}

FakeTcpServer answering(const std::string& bytes) {
    return FakeTcpServer([bytes](int fd) {
        FakeTcpServer::readLines(fd, 2);
        FakeTcpServer::sendBytes(fd, bytes);
    });
}

TEST(NetCommandLine, UpgradeCheckPrintsTheOutcome) {
    test::TempDir dir;
    SettingsStore settings(dir.file("tavu.ini"));
    {
        FakeTcpServer server = answering(std::string("OK\0", 3));
        settings.writeString("Settings", "UpgradeServer", server.address());
        const NetRun r = runIn(dir, {"upgrade-check"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "No update avaible. Please try again later.\n");
    }
    {
        FakeTcpServer server = answering(std::string("Version 1.2 is out\0", 19));
        settings.writeString("Settings", "UpgradeServer", server.address());
        const NetRun r = runIn(dir, {"upgrade-check"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "Version 1.2 is out\n");
    }
    {
        // Nothing the server sends may steer the terminal.
        FakeTcpServer server =
            answering(std::string("\x1b]0;owned\x07\x1b[2J\tNew\r\nv\xc2\x9b"
                                  "1m\0",
                                  26));
        settings.writeString("Settings", "UpgradeServer", server.address());
        EXPECT_EQ(runIn(dir, {"upgrade-check"}).out, "?]0;owned??[2J\tNew\r\nv?1m\n");
    }
    int closedPort = 0;
    {
        FakeTcpServer gone([](int) {});
        closedPort = gone.port();
    }
    settings.writeString("Settings", "UpgradeServer", "127.0.0.1:" + std::to_string(closedPort));
    const NetRun failed = runIn(dir, {"upgrade-check"});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err, "Error - can't connect to the server !!!\n");
    EXPECT_EQ(runIn(dir, {"upgrade-check", "now"}).status, 2);
}

TEST(NetCommandLine, TimeFromTheSettingsOrTheArgument) {
    test::TempDir dir;
    SettingsStore settings(dir.file("tavu.ini"));
    FakeTcpServer server([](int fd) { FakeTcpServer::sendBytes(fd, "\x83\xaa\x7e\x80"); });
    settings.writeString("Inet", "TimeServer", server.address());
    const NetRun fromSettings = runIn(dir, {"time"});
    EXPECT_EQ(fromSettings.status, 0);
    EXPECT_EQ(fromSettings.out, "Thu Jan 01 00:00:00 1970\n");
    const NetRun fromArgument = runIn(dir, {"time", server.address()});
    EXPECT_EQ(fromArgument.out, "Thu Jan 01 00:00:00 1970\n");
    EXPECT_EQ(settings.readString("Inet", "RemoteTime", "none"), "none");

    FakeTcpServer mute([](int) {});
    const NetRun failed = runIn(dir, {"time", mute.address()});
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.err, "Unable to get time\n");
}

TEST(NetCommandLine, LookupFailureAndUsage) {
    test::TempDir dir;
    const NetRun bad = runIn(dir, {"reverse", "not-an-address"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "Can't resolve not-an-address\n");
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"lookup"}, {"reverse", "a", "b"}, {"ping"}, {"time", "a", "b"}}) {
        EXPECT_EQ(runIn(dir, args).status, 2) << args[0];
    }
}

TEST(NetCommandLine, PingReportsTheSecondEcho) {
    test::TempDir dir;
    NetRun reached, missed;
    const std::string why = test::runInLoopbackNetns([&] {
        reached = runIn(dir, {"ping", "127.0.0.1"});
        missed = runIn(dir, {"ping", "192.0.2.1"});  // no route in the namespace
    });
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    EXPECT_EQ(reached.status, 0);
    EXPECT_EQ(reached.out.rfind("[Ping] 127.0.0.1 [", 0), 0u) << reached.out;
    EXPECT_EQ(std::count(reached.out.begin(), reached.out.end(), '\n'), 1);
    EXPECT_EQ(missed.status, 1);
    EXPECT_EQ(missed.err.rfind("[Ping] Error ", 0), 0u) << missed.err;
}

}  // namespace
}  // namespace tavu
