#include "net/net_time.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <ctime>
#include <thread>

#include "net/fake_tcp_server.h"
#include "net/netns_support.h"
#include "support/temp_dir.h"

extern char** environ;

namespace tavu::net {
namespace {

using namespace std::chrono_literals;
using test::FakeTcpServer;

TEST(TimeProtocol, CountsFrom1900AndWrapsIntoTheNextEra) {
    EXPECT_EQ(formatUtc(timeProtocolToUnix(2208988800u)), "Thu Jan 01 00:00:00 1970");
    EXPECT_EQ(formatUtc(timeProtocolToUnix(3913056000u)), "Mon Jan 01 00:00:00 2024");
    EXPECT_EQ(formatUtc(timeProtocolToUnix(0xFFFFFFFFu)), "Thu Feb 07 06:28:15 2036");
    // After the wrap on 2036-02-07 the counter starts again at 0.
    EXPECT_EQ(formatUtc(timeProtocolToUnix(0u)), "Thu Feb 07 06:28:16 2036");
    EXPECT_EQ(formatUtc(timeProtocolToUnix(2208988799u)), "Sun Feb 07 06:28:15 2106");
    // Past the end of signed 32-bit time.
    EXPECT_EQ(formatUtc(timeProtocolToUnix(61505152u)), "Tue Jan 19 03:14:08 2038");
    EXPECT_EQ(formatUtc(4102444800), "Fri Jan 01 00:00:00 2100");
}

std::string fourBytes(std::uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

TEST(TimeQuery, AnswersOfAFakeServer) {
    {
        FakeTcpServer server([](int fd) { FakeTcpServer::sendBytes(fd, fourBytes(2208988800u)); });
        const TimeQueryResult r = queryTime(server.address());
        EXPECT_TRUE(r.ok);
        EXPECT_EQ(r.text, "Thu Jan 01 00:00:00 1970");
    }
    {
        // The network splits the answer in two: both pieces are read.
        FakeTcpServer server([](int fd) {
            const std::string all = fourBytes(3913056000u);
            FakeTcpServer::sendBytes(fd, all.substr(0, 2));
            std::this_thread::sleep_for(100ms);
            FakeTcpServer::sendBytes(fd, all.substr(2));
        });
        EXPECT_EQ(queryTime(server.address()).text, "Mon Jan 01 00:00:00 2024");
    }
    {
        FakeTcpServer server([](int) {});  // closes without a word
        const TimeQueryResult r = queryTime(server.address());
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.text, "Unable to get time");
    }
    {
        FakeTcpServer server([](int fd) { FakeTcpServer::sendBytes(fd, "abc"); });
        EXPECT_EQ(queryTime(server.address()).text, "Unable to get time");
    }
    {
        // Connected but silent: the time-out ends the wait.
        FakeTcpServer server([](int) { std::this_thread::sleep_for(500ms); });
        EXPECT_EQ(queryTime(server.address(), 100ms).text, "Unable to get time");
    }
}

TEST(TimeQuery, FailuresBeforeTheAnswer) {
    int closedPort = 0;
    {
        FakeTcpServer gone([](int) {});
        closedPort = gone.port();
    }
    EXPECT_EQ(queryTime("127.0.0.1:" + std::to_string(closedPort)).text,
              "Cannot establish connection");
    EXPECT_EQ(queryTime("").text, "Cannot resolve");
    EXPECT_EQ(queryTime("host:notaport").text, "Cannot resolve");
}

// xinetd's built-in time service in a namespace of the test's own.
TEST(TimeQuery, RealTimeServiceOfXinetd) {
    if (::access("/usr/sbin/xinetd", X_OK) != 0) {
        GTEST_SKIP() << "xinetd is not installed";
    }
    test::TempDir dir;
    test::writeFile(dir.file("xinetd.conf"),
                    "service time\n{\n  type = INTERNAL\n  id = time-stream\n"
                    "  socket_type = stream\n  protocol = tcp\n  user = root\n  wait = no\n"
                    "  bind = 127.0.0.1\n  port = 37\n}\n");
    TimeQueryResult result;
    std::int64_t before = 0;
    std::int64_t after = 0;
    const std::string why = test::runInLoopbackNetns([&] {
        const std::string conf = dir.file("xinetd.conf");
        const std::string pidFile = dir.file("xinetd.pid");
        const std::string logFile = dir.file("xinetd.log");
        const char* argv[] = {"xinetd",     "-dontfork",     "-f",
                              conf.c_str(), "-pidfile",      pidFile.c_str(),
                              "-filelog",   logFile.c_str(), nullptr};
        pid_t pid = 0;
        if (::posix_spawn(&pid, "/usr/sbin/xinetd", nullptr, nullptr, const_cast<char**>(argv),
                          environ) != 0) {
            return;
        }
        // Wait until it listens (it reads its configuration first).
        for (int i = 0; i < 100; ++i) {
            before = std::time(nullptr);
            result = queryTime("127.0.0.1", 2s);
            after = std::time(nullptr);
            if (result.ok) {
                break;
            }
            std::this_thread::sleep_for(50ms);
        }
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    });
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    ASSERT_TRUE(result.ok) << result.text << "\n" << test::readFile(dir.file("xinetd.log"));
    EXPECT_TRUE(result.text == formatUtc(before) || result.text == formatUtc(after) ||
                result.text == formatUtc(before + 1))
        << result.text;
}

}  // namespace
}  // namespace tavu::net
