#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <sys/resource.h>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "core/prompter.h"
#include "core/settings_store.h"
#include "net/auto_upgrade_check.h"
#include "net/fake_tcp_server.h"
#include "net/net_socket.h"
#include "net/upgrade_query.h"
#include "support/temp_dir.h"

extern char** environ;

namespace tavu::net {
namespace {

using namespace std::chrono_literals;
using test::FakeTcpServer;

// The reference server, started on a free loopback port.
class ReferenceServer {
  public:
    explicit ReferenceServer(std::vector<std::string> options) {
        std::vector<std::string> args = {TAVU_UPGRADE_SERVER, "--bind", "127.0.0.1", "--port", "0"};
        args.insert(args.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        int out[2];
        if (::pipe(out) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        // "tavu-upgrade-server listening on 127.0.0.1:PORT"
        FILE* in = ::fdopen(out[0], "r");
        char line[200] = {};
        if (in && std::fgets(line, sizeof line, in)) {
            const std::string text = line;
            const auto colon = text.rfind(':');
            if (text.rfind("tavu-upgrade-server listening on ", 0) == 0 &&
                colon != std::string::npos) {
                port_ = std::atoi(text.c_str() + colon + 1);
            }
        }
        if (in) {
            std::fclose(in);
        }
    }
    ~ReferenceServer() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

  private:
    pid_t pid_ = -1;
    int port_ = 0;
};

TEST(UpgradeServer, AnswersByTheClientsVersion) {
    ReferenceServer current({});
    ASSERT_GT(current.port(), 0);
    EXPECT_EQ(upgradeQuery(current.address()), "OK");
    EXPECT_EQ(upgradeAnswerText(upgradeQuery(current.address())),
              "No update avaible. Please try again later.");

    ReferenceServer newer({"--current", "2.0", "--message", "TAVU 2.0 is out: <b>get it</b>"});
    EXPECT_EQ(upgradeQuery(newer.address()), "TAVU 2.0 is out: <b>get it</b>");

    // Only "OK" means nothing new.
    ReferenceServer lower({"--current", "2.0", "--message", "ok"});
    EXPECT_EQ(upgradeAnswerText(upgradeQuery(lower.address())), "ok");

    // A question the server does not know gets no answer.
    EXPECT_EQ(upgradeQuery(current.address(), "WhatTimeIsIt?"), kUpgradeConnectFailureText);
}

TEST(UpgradeServer, ASilentClientHoldsNobodyUp) {
    ReferenceServer server({"--timeout", "1"});
    ASSERT_GT(server.port(), 0);
    const auto addresses = resolve("127.0.0.1");
    ASSERT_FALSE(addresses.empty());
    TcpConnection silent;
    ASSERT_TRUE(silent.connect(addresses.front(), server.port(), 1s));
    // Others are served while it says nothing.
    EXPECT_EQ(upgradeQuery(server.address()), "OK");
    EXPECT_EQ(upgradeQuery(server.address()), "OK");
    // Then the server gives up on it and closes.
    bool closed = false;
    silent.receiveSome(10, std::chrono::steady_clock::now() + 5s, &closed);
    EXPECT_TRUE(closed);
}

// The server's processor time so far, from /proc.
std::chrono::milliseconds cpuTime(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), {});
    std::istringstream fields(stat.substr(stat.rfind(')') + 2));
    std::string field;
    long long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        ticks += i >= 14 ? std::stoll(field) : 0;  // utime and stime
    }
    return std::chrono::milliseconds(ticks * 1000 / ::sysconf(_SC_CLK_TCK));
}

TEST(UpgradeServer, SurvivesWantOfDescriptorsThreadsAndReaders) {
    const auto local = resolve("127.0.0.1");
    ASSERT_FALSE(local.empty());
    {
        // Out of descriptors: the pending client waits, the server does not spin on it.
        ReferenceServer server({});
        ASSERT_GT(server.port(), 0);
        std::set<int> open;
        for (const auto& e :
             std::filesystem::directory_iterator("/proc/" + std::to_string(server.pid()) + "/fd")) {
            open.insert(std::stoi(e.path().filename().string()));
        }
        int lowestFree = 0;
        while (open.count(lowestFree)) {
            ++lowestFree;
        }
        rlimit old{};
        ASSERT_EQ(::prlimit(server.pid(), RLIMIT_NOFILE, nullptr, &old), 0);
        const rlimit none{rlim_t(lowestFree), old.rlim_max};
        ASSERT_EQ(::prlimit(server.pid(), RLIMIT_NOFILE, &none, nullptr), 0);
        TcpConnection pending;
        ASSERT_TRUE(pending.connect(local.front(), server.port(), 1s));
        const auto before = cpuTime(server.pid());
        std::this_thread::sleep_for(1s);
        EXPECT_LT(cpuTime(server.pid()) - before, 100ms);
        ASSERT_EQ(::prlimit(server.pid(), RLIMIT_NOFILE, &old, nullptr), 0);
        EXPECT_EQ(upgradeQuery(server.address()), "OK");
    }
    {
        // No memory for a client's thread: that client is turned away, the server stays.
        ReferenceServer server({});
        ASSERT_GT(server.port(), 0);
        std::ifstream status("/proc/" + std::to_string(server.pid()) + "/status");
        long long vmKb = 0;
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("VmSize:", 0) == 0) {
                vmKb = std::stoll(line.substr(7));
            }
        }
        rlimit old{};
        ASSERT_EQ(::prlimit(server.pid(), RLIMIT_AS, nullptr, &old), 0);
        const rlimit tight{rlim_t(vmKb + 1024) * 1024, old.rlim_max};
        ASSERT_EQ(::prlimit(server.pid(), RLIMIT_AS, &tight, nullptr), 0);
        EXPECT_EQ(upgradeQuery(server.address()), kUpgradeConnectFailureText);
        EXPECT_TRUE(server.running());
        ::prlimit(server.pid(), RLIMIT_AS, &old, nullptr);
        EXPECT_EQ(upgradeQuery(server.address()), "OK");
    }
    {
        // A client that asks and never reads a long answer loses its slot at the time-out.
        test::TempDir dir;
        test::writeFile(dir.file("news"), std::string(16 << 20, 'n'));
        ReferenceServer server({"--timeout", "1", "--max-clients", "1", "--current", "2.0",
                                "--message-file", dir.file("news")});
        ASSERT_GT(server.port(), 0);
        const int reader = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int small = 4096;
        ::setsockopt(reader, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        sockaddr_in to = *reinterpret_cast<const sockaddr_in*>(&local.front().storage);
        to.sin_port = htons(static_cast<std::uint16_t>(server.port()));
        ASSERT_EQ(::connect(reader, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
        const std::string request = "1.1 BETA\nIsUpgradeAvaible?\n";
        ASSERT_EQ(::send(reader, request.data(), request.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(request.size()));
        std::string answer;
        for (int i = 0; i < 50 && answer != std::string(1000, 'n'); ++i) {
            std::this_thread::sleep_for(100ms);
            answer = upgradeQuery(server.address(), upgrade::kQuestion, 1s);
        }
        EXPECT_EQ(answer, std::string(1000, 'n'));
        ::close(reader);
    }
}

TEST(UpgradeQuery, SendsVersionAndQuestionAndReadsUpToTheZeroByte) {
    std::string request;
    FakeTcpServer server([&](int fd) {
        request = FakeTcpServer::readLines(fd, 2);
        FakeTcpServer::sendBytes(fd, "Up");
        std::this_thread::sleep_for(50ms);
        FakeTcpServer::sendBytes(fd, std::string("grade now\0ignored", 17));
    });
    EXPECT_EQ(upgradeQuery(server.address()), "Upgrade now");
    EXPECT_EQ(request, "1.1 BETA\nIsUpgradeAvaible?\n");
}

TEST(UpgradeQuery, LongSilentAndMissingServers) {
    {
        // 1000 bytes without a zero byte are the whole answer; more are not read.
        FakeTcpServer server([](int fd) {
            FakeTcpServer::sendBytes(fd, std::string(1000, 'a') + "bbbb");
            std::this_thread::sleep_for(300ms);
        });
        EXPECT_EQ(upgradeQuery(server.address(), upgrade::kQuestion, 5s), std::string(1000, 'a'));
    }
    {
        // Accepts, never answers: the time-out ends it as a failure.
        FakeTcpServer server([](int) { std::this_thread::sleep_for(500ms); });
        EXPECT_EQ(upgradeQuery(server.address(), upgrade::kQuestion, 100ms),
                  kUpgradeConnectFailureText);
    }
    {
        FakeTcpServer server([](int fd) { FakeTcpServer::sendBytes(fd, std::string(1, '\0')); });
        EXPECT_EQ(upgradeQuery(server.address()), kUpgradeConnectFailureText);
    }
    int closedPort = 0;
    {
        FakeTcpServer gone([](int) {});
        closedPort = gone.port();
    }
    EXPECT_EQ(upgradeQuery("127.0.0.1:" + std::to_string(closedPort)), kUpgradeConnectFailureText);
    EXPECT_EQ(upgradeQuery("tavu15.invalid:70000"), kUpgradeConnectFailureText);
}

TEST(UpgradeQuery, ServerOfTheSettings) {
    test::TempDir dir;
    SettingsStore settings(dir.file("tavu.ini"));
    EXPECT_EQ(configuredUpgradeServer(settings), kDefaultUpgradeServer);
    FakeTcpServer server([](int fd) {
        FakeTcpServer::readLines(fd, 2);
        FakeTcpServer::sendBytes(fd, std::string("News\0", 5));
    });
    settings.writeString("Settings", "UpgradeServer", server.address());
    const UpgradeQueryJob job = makeUpgradeQueryJob(settings);
    settings.writeString("Settings", "UpgradeServer", "tavu15.invalid");
    EXPECT_EQ(job(), "News") << "the job keeps the server it was made with";
}

// Runs the automatic check with a job that answers `answer` and waits for it to finish.
struct AutoRun {
    bool started = false;
    int asked = 0;
    bool finished = false;
};

AutoRun runAutoCheck(SettingsStore& settings, ScriptedPrompter& prompter, std::string answer) {
    AutoRun run;
    auto asked = std::make_shared<std::atomic<int>>(0);
    AutoUpgradeCheck check(settings, prompter, [answer, asked] {
        return UpgradeQueryJob([answer, asked] {
            ++*asked;
            return answer;
        });
    });
    QEventLoop loop;
    QObject::connect(&check, &AutoUpgradeCheck::finished, &loop, [&] {
        run.finished = true;
        loop.quit();
    });
    run.started = check.start();
    if (run.started) {
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    run.asked = *asked;
    return run;
}

TEST(AutoUpgradeCheck, ShowsOnlyNewsUnderItsOwnCaption) {
    test::TempDir dir;
    SettingsStore settings(dir.file("tavu.ini"));
    ScriptedPrompter prompter;

    EXPECT_TRUE(runAutoCheck(settings, prompter, "OK").finished);
    EXPECT_TRUE(runAutoCheck(settings, prompter, kUpgradeConnectFailureText).finished);
    EXPECT_TRUE(prompter.shown.empty());

    const AutoRun news = runAutoCheck(settings, prompter, "ok, 1.2 is out");
    EXPECT_TRUE(news.finished);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "ok, 1.2 is out");
    EXPECT_EQ(prompter.shown[0].caption, "Tavu");

    settings.writeInt("Settings", "DisableUpgrade", 1);
    const AutoRun off = runAutoCheck(settings, prompter, "news");
    EXPECT_FALSE(off.started);
    EXPECT_EQ(off.asked, 0);
    settings.writeInt("Settings", "DisableUpgrade", 2);  // only 1 switches it off
    EXPECT_EQ(runAutoCheck(settings, prompter, "news").asked, 1);
}

}  // namespace
}  // namespace tavu::net
