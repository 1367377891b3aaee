#include "platform/desktop/single_instance.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>

#include "support/temp_dir.h"

namespace tavu::platform {
namespace {

using std::chrono::milliseconds;

// Runs the event loop until the condition holds or the time is up.
bool processUntil(const std::function<bool()>& done, int ms = 3000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

class SingleInstanceTest : public testing::Test {
  protected:
    test::TempDir runtime_;
    QString dir_ = QString::fromStdString(runtime_.file("tavu"));
};

TEST_F(SingleInstanceTest, SecondCopySendsACommandByName) {
    SingleInstance running(dir_);
    QStringList commands;
    int activations = 0;
    QObject::connect(&running, &SingleInstance::commandRequested,
                     [&](const QString& name) { commands << name; });
    QObject::connect(&running, &SingleInstance::activated, [&] { ++activations; });
    ASSERT_TRUE(running.listen());
    SingleInstance second(dir_);
    EXPECT_TRUE(second.sendCommand("connect"));
    EXPECT_TRUE(second.sendCommand("preferences:3"));
    EXPECT_TRUE(processUntil([&] { return commands.size() == 2; }));
    EXPECT_EQ(commands, (QStringList{"connect", "preferences:3"}));
    EXPECT_EQ(activations, 0);
    // Names the channel refuses never leave this process.
    EXPECT_FALSE(second.sendCommand("rm -rf"));
    EXPECT_FALSE(second.sendCommand(QString(25, 'a')));
    EXPECT_FALSE(second.sendCommand(""));
    // A malformed request is dropped without an answer.
    QLocalSocket raw;
    raw.connectToServer(running.socketPath());
    ASSERT_TRUE(raw.waitForConnected(1000));
    raw.write("command a b\n");
    raw.flush();
    EXPECT_TRUE(processUntil([&] { return raw.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_EQ(commands.size(), 2);
    // Nobody listening: the request fails.
    test::TempDir empty;
    SingleInstance lonely(QString::fromStdString(empty.file("tavu")));
    EXPECT_FALSE(lonely.sendCommand("connect", milliseconds(500)));
}

TEST_F(SingleInstanceTest, SecondCopyActivatesTheFirst) {
    SingleInstance running(dir_);
    int activations = 0;
    QObject::connect(&running, &SingleInstance::activated, [&] { ++activations; });
    ASSERT_TRUE(running.listen());

    struct stat st {};
    ASSERT_EQ(::lstat(dir_.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    SingleInstance second(dir_);
    EXPECT_FALSE(second.listen());  // the running copy keeps its place
    EXPECT_TRUE(second.activateRunning());
    EXPECT_TRUE(processUntil([&] { return activations == 1; }));
    EXPECT_TRUE(second.activateRunning());
    EXPECT_TRUE(processUntil([&] { return activations == 2; }));
    EXPECT_TRUE(running.isListening());
}

TEST_F(SingleInstanceTest, NobodyListeningFailsQuickly) {
    SingleInstance lonely(dir_);
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(lonely.activateRunning());
    EXPECT_LT(timer.elapsed(), 500);

    // Once the running copy has ended, its socket is gone and nobody answers.
    {
        SingleInstance running(dir_);
        ASSERT_TRUE(running.listen());
    }
    timer.restart();
    EXPECT_FALSE(lonely.activateRunning());
    EXPECT_LT(timer.elapsed(), 500);
}

TEST_F(SingleInstanceTest, StaleSocketOfACrashedCopyIsTakenOver) {
    ASSERT_TRUE(preparePrivateDir(dir_));
    SingleInstance fresh(dir_);
    const QByteArray path = fresh.socketPath().toLocal8Bit();
    // A bound socket closed without removing its file, as a crash leaves it.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.constData(), sizeof addr.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
    ASSERT_TRUE(std::filesystem::exists(path.toStdString()));

    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(SingleInstance(dir_).activateRunning());
    EXPECT_LT(timer.elapsed(), 500);

    int activations = 0;
    QObject::connect(&fresh, &SingleInstance::activated, [&] { ++activations; });
    ASSERT_TRUE(fresh.listen());
    EXPECT_TRUE(SingleInstance(dir_).activateRunning());
    EXPECT_TRUE(processUntil([&] { return activations == 1; }));
}

TEST_F(SingleInstanceTest, ForeignMessagesDoNotActivate) {
    SingleInstance running(dir_);
    int activations = 0;
    QObject::connect(&running, &SingleInstance::activated, [&] { ++activations; });
    ASSERT_TRUE(running.listen());

    const auto send = [&](const QByteArray& bytes) {
        QLocalSocket client;
        client.connectToServer(running.socketPath());
        EXPECT_TRUE(client.waitForConnected(1000));
        client.write(bytes);
        client.flush();
        // The running copy drops the connection instead of answering.
        return processUntil([&] {
            return client.state() == QLocalSocket::UnconnectedState && client.bytesAvailable() == 0;
        });
    };
    EXPECT_TRUE(send("54321\n"));
    EXPECT_TRUE(send("12345 and more\n"));
    EXPECT_TRUE(send(QByteArray(100000, '1')));
    // A client that says nothing is dropped after a while.
    EXPECT_TRUE(send(QByteArray()));
    EXPECT_EQ(activations, 0);

    EXPECT_TRUE(SingleInstance(dir_).activateRunning());
    EXPECT_TRUE(processUntil([&] { return activations == 1; }));
}

TEST_F(SingleInstanceTest, FolderMustBeOurOwnAndReal) {
    // Too open: tightened.
    ASSERT_EQ(::mkdir(dir_.toLocal8Bit().constData(), 0777), 0);
    ::chmod(dir_.toLocal8Bit().constData(), 0777);
    EXPECT_TRUE(preparePrivateDir(dir_));
    struct stat st {};
    ASSERT_EQ(::lstat(dir_.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // A symbolic link, even to a folder of ours, is refused.
    const std::string link = runtime_.file("link");
    std::filesystem::create_directory_symlink(dir_.toStdString(), link);
    EXPECT_FALSE(preparePrivateDir(QString::fromStdString(link)));
    EXPECT_FALSE(SingleInstance(QString::fromStdString(link)).listen());
    EXPECT_FALSE(SingleInstance(QString::fromStdString(link)).activateRunning());

    // A plain file, or a folder whose parent is missing.
    test::writeFile(runtime_.file("file"), "");
    EXPECT_FALSE(preparePrivateDir(QString::fromStdString(runtime_.file("file"))));
    EXPECT_FALSE(preparePrivateDir(QString::fromStdString(runtime_.file("no/such"))));

    // Another user's folder (only root can make one to test with).
    if (::geteuid() == 0) {
        const std::string foreign = runtime_.file("foreign");
        ASSERT_EQ(::mkdir(foreign.c_str(), 0700), 0);
        ASSERT_EQ(::chown(foreign.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(preparePrivateDir(QString::fromStdString(foreign)));
        EXPECT_FALSE(SingleInstance(QString::fromStdString(foreign)).activateRunning());
    }
}

// Without a runtime folder the socket's folder is in the user's cache folder, never a name in
// /tmp that another user could take first; a folder there that is not the user's own is refused.
TEST(SingleInstanceDir, PerUserRuntimeFolderOrTheUsersCache) {
    const auto saved = [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        return v != nullptr ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto restore = [](const char* name, const std::optional<std::string>& v) {
        v ? ::setenv(name, v->c_str(), 1) : ::unsetenv(name);
    };
    const auto runtime = saved("XDG_RUNTIME_DIR");
    const auto cache = saved("XDG_CACHE_HOME");
    const auto home = saved("HOME");
    test::TempDir dir;

    ::setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
    EXPECT_EQ(SingleInstance::defaultDir(), QStringLiteral("/run/user/4242/tavu"));
    ::unsetenv("XDG_RUNTIME_DIR");
    ::setenv("XDG_CACHE_HOME", dir.file("cache").c_str(), 1);
    EXPECT_EQ(SingleInstance::defaultDir(), QString::fromStdString(dir.file("cache/tavu")));
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("cache")));
    ::setenv("XDG_RUNTIME_DIR", "relative", 1);
    ::setenv("XDG_CACHE_HOME", "relative", 1);
    ::setenv("HOME", dir.path().c_str(), 1);
    EXPECT_EQ(SingleInstance::defaultDir(), QString::fromStdString(dir.file(".cache/tavu")));
    SingleInstance fallback;
    EXPECT_TRUE(fallback.placeIsPrivate());
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file(".cache/tavu").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0700u);

    // Squatted by another user: refused, with a message that names the folder.
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(dir.file(".cache/tavu").c_str(), 65534, 65534), 0);
        EXPECT_FALSE(fallback.placeIsPrivate());
        EXPECT_NE(
            fallback.notPrivateText().indexOf(QString::fromStdString(dir.file(".cache/tavu"))), -1);
    }
    restore("XDG_RUNTIME_DIR", runtime);
    restore("XDG_CACHE_HOME", cache);
    restore("HOME", home);
}

TEST(SingleInstanceChild, DISABLED_ActivateFromEnvironment) {
    const char* dir = std::getenv("TAVU_TEST_INSTANCE_DIR");
    ASSERT_NE(dir, nullptr);
    EXPECT_TRUE(SingleInstance(QString::fromLocal8Bit(dir)).activateRunning());
}

TEST_F(SingleInstanceTest, ActivationFromAnotherProcess) {
    SingleInstance running(dir_);
    int activations = 0;
    QObject::connect(&running, &SingleInstance::activated, [&] { ++activations; });
    ASSERT_TRUE(running.listen());

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TAVU_TEST_INSTANCE_DIR"), dir_);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(
        QCoreApplication::applicationFilePath(),
        {QStringLiteral("--gtest_also_run_disabled_tests"),
         QStringLiteral("--gtest_filter=SingleInstanceChild.DISABLED_ActivateFromEnvironment")});
    ASSERT_TRUE(child.waitForStarted(5000));
    // The event loop must run meanwhile, or the running copy could not answer.
    ASSERT_TRUE(processUntil([&] { return child.state() == QProcess::NotRunning; }, 10000));
    EXPECT_EQ(child.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(child.exitCode(), 0) << child.readAll().toStdString();
    EXPECT_TRUE(processUntil([&] { return activations == 1; }));
}

}  // namespace
}  // namespace tavu::platform
