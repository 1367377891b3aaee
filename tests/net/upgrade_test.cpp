#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <atomic>
#include <cstdio>
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
