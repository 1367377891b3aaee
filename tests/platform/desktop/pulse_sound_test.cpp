#include "platform/desktop/pulse_sound.h"

#include <gtest/gtest.h>

#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>
#include <chrono>
#include <csignal>
#include <memory>
#include <thread>

#include "platform/desktop/wav_builder.h"
#include "support/temp_dir.h"

namespace tavu::platform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// A quiet 16-bit WAV file of the given length.
std::string silentWav(std::uint16_t channels, std::uint32_t rate, int ms) {
    test::WavSpec w;
    w.channels = channels;
    w.rate = rate;
    w.data.assign(rate * channels * 2 * static_cast<std::uint32_t>(ms) / 1000, '\0');
    return test::makeWav(w);
}

// A private sound server with a null sink, which consumes sound in real time and plays nothing.
// Without rewinds the null sink keeps to the stream's latency instead of its default of 2 s.
class PulseSoundTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        const QString program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (program.isEmpty()) {
            skipReason_ = "pulseaudio is not installed (Debian package pulseaudio)";
            return;
        }
        dir_ = std::make_unique<test::TempDir>();
        const QString socket = QString::fromStdString(dir_->file("native"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), QString::fromStdString(dir_->path()));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(dir_->path()));
        env.remove(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"));
        env.remove(QStringLiteral("DISPLAY"));
        daemon_ = std::make_unique<QProcess>();
        daemon_->setProcessEnvironment(env);
        daemon_->setProcessChannelMode(QProcess::MergedChannels);
        daemon_->start(
            program,
            {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
             QStringLiteral("--system=false"), QStringLiteral("--use-pid-file=no"),
             QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit"),
             QStringLiteral("-L"), QStringLiteral("module-null-sink norewinds=1"),
             QStringLiteral("-L"),
             QStringLiteral("module-native-protocol-unix socket=%1 auth-anonymous=1").arg(socket)});
        if (!daemon_->waitForStarted(5000)) {
            skipReason_ = "pulseaudio did not start";
            return;
        }
        const auto start = Clock::now();
        while (since(start) < milliseconds(10000)) {
            QLocalSocket probe;
            probe.connectToServer(socket);
            if (probe.waitForConnected(200)) {
                server_ = "unix:" + socket.toStdString();
                return;
            }
            if (daemon_->state() != QProcess::Running) {
                break;
            }
            QThread::msleep(50);
        }
        skipReason_ = "pulseaudio did not answer: " + daemon_->readAll().toStdString();
    }

    static void TearDownTestSuite() {
        if (daemon_) {
            daemon_->terminate();
            if (!daemon_->waitForFinished(3000)) {
                daemon_->kill();
                daemon_->waitForFinished(3000);
            }
        }
        daemon_.reset();
        dir_.reset();
    }

    void SetUp() override {
        if (server_.empty()) {
            GTEST_SKIP() << skipReason_;
        }
    }

    static inline std::unique_ptr<test::TempDir> dir_;
    static inline std::unique_ptr<QProcess> daemon_;
    static inline std::string server_;
    static inline std::string skipReason_;
};

TEST_F(PulseSoundTest, BeepSweepsPlayForTheirLength) {
    PulseSound sound(server_);
    const auto start = Clock::now();
    EXPECT_TRUE(sound.beepSweeps());
    EXPECT_GE(since(start), milliseconds(100));
    EXPECT_LT(since(start), milliseconds(1200));
}

TEST_F(PulseSoundTest, FilesPlayToTheirEnd) {
    test::TempDir dir;
    test::writeFile(dir.file("mono.wav"), silentWav(1, 8000, 400));
    test::writeFile(dir.file("stereo.wav"), silentWav(2, 44100, 300));
    PulseSound sound(server_);
    auto start = Clock::now();
    EXPECT_TRUE(sound.playFile(dir.file("mono.wav")));
    EXPECT_GE(since(start), milliseconds(350));
    EXPECT_LT(since(start), milliseconds(1500));
    start = Clock::now();
    EXPECT_TRUE(sound.playFile(dir.file("stereo.wav")));
    EXPECT_GE(since(start), milliseconds(250));
    EXPECT_LT(since(start), milliseconds(1400));
}

TEST_F(PulseSoundTest, NoSecondSoundWhileOnePlays) {
    test::TempDir dir;
    test::writeFile(dir.file("long.wav"), silentWav(1, 8000, 800));
    PulseSound sound(server_);
    bool firstPlayed = false;
    std::thread first([&] { firstPlayed = sound.playFile(dir.file("long.wav")); });
    std::this_thread::sleep_for(milliseconds(200));
    const auto start = Clock::now();
    EXPECT_FALSE(PulseSound(server_).beepSweeps());
    EXPECT_FALSE(sound.playFile(dir.file("long.wav")));
    EXPECT_LT(since(start), milliseconds(50));
    first.join();
    EXPECT_TRUE(firstPlayed);
    EXPECT_TRUE(sound.beepSweeps());
}

TEST_F(PulseSoundTest, BadFilesAreIgnored) {
    test::TempDir dir;
    test::writeFile(dir.file("bad.wav"), "RIFF\xff\xff\xff\x7fWAVEfmt ");
    PulseSound sound(server_);
    EXPECT_FALSE(sound.playFile(dir.file("bad.wav")));
    EXPECT_FALSE(sound.playFile(dir.file("missing.wav")));
    EXPECT_FALSE(sound.playFile(""));
    EXPECT_FALSE(sound.play(Pcm{}));
    EXPECT_TRUE(sound.beepSweeps());
}

TEST_F(PulseSoundTest, StalledServerDoesNotHoldTheCaller) {
    const pid_t pid = static_cast<pid_t>(daemon_->processId());
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    PulseSound sound(server_, milliseconds(300));
    auto start = Clock::now();
    EXPECT_FALSE(sound.beepSweeps());
    EXPECT_GE(since(start), milliseconds(400));
    EXPECT_LT(since(start), milliseconds(1500));
    // The stuck playback still counts as playing.
    start = Clock::now();
    EXPECT_FALSE(sound.beepSweeps());
    EXPECT_LT(since(start), milliseconds(50));

    ASSERT_EQ(::kill(pid, SIGCONT), 0);
    bool played = false;
    for (int i = 0; i < 50 && !played; ++i) {
        std::this_thread::sleep_for(milliseconds(100));
        played = sound.beepSweeps();
    }
    EXPECT_TRUE(played);
}

TEST(PulseSound, NoServerFailsQuickly) {
    test::TempDir dir;
    PulseSound sound("unix:" + dir.file("nobody-here"));
    const auto start = Clock::now();
    EXPECT_FALSE(sound.beepSweeps());
    EXPECT_LT(since(start), milliseconds(2000));
}

}  // namespace
}  // namespace tavu::platform
