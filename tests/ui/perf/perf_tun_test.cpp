// A byte count of a real tun device named ppp0 beyond 2 GiB, from the kernel through the
// counters to the display, the performance window and the log. The whole program runs in a
// private network namespace of its own (root only, else skipped).

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <cstdlib>
#include <ctime>

#include "core/clock.h"
#include "core/prompter.h"
#include "core/settings_store.h"
#include "platform/fakes.h"
#include "platform/kernel/linux_counters.h"
#include "platform/linux_netns.h"
#include "platform/ras/pppd/linux_remote_access.h"
#include "support/temp_dir.h"
#include "ui/main/connection_monitor.h"
#include "ui/perf/performance_dlg.h"

namespace tavu {
namespace {

std::string g_skipReason = "not started";

using namespace std::chrono_literals;

constexpr std::size_t kPayload = 65507;  // the largest UDP payload of an IPv4 packet
constexpr int kPackets = 33000;          // 33000 x 65535 bytes > 2^31
constexpr std::int64_t kTwoGib = std::int64_t{1} << 31;

int udpSocket(const char* address, std::uint16_t port) {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &a.sin_addr);
    if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

// Packets the line delivers: written into the device, received by the kernel. The receiving
// socket is never read; once its buffer is full the kernel drops them after counting them.
std::int64_t receiveFromLine(const test::TunDevice& tun) {
    const auto packet = test::udpPacket("10.16.0.2", "10.16.0.1", 16016, kPayload);
    std::int64_t total = 0;
    for (int i = 0; i < kPackets; ++i) {
        if (!tun.inject(packet)) {
            return -1;
        }
        total += static_cast<std::int64_t>(packet.size());
    }
    return total;
}

TEST(PerformanceOnATunDevice, BytesBeyondTwoGibReachDisplayWindowAndLog) {
    if (!g_skipReason.empty()) {
        GTEST_SKIP() << g_skipReason;
    }
    test::TunDevice tun("ppp0", false);
    ASSERT_TRUE(tun.ok());
    ASSERT_TRUE(tun.setAddresses("10.16.0.1", "10.16.0.2"));
    ASSERT_TRUE(tun.setUp(true));
    const int receiver = udpSocket("10.16.0.1", 16016);
    ASSERT_GE(receiver, 0);

    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    ManualClock clock{fromLocal(2026, 12, 7, 20, 0, 0)};
    ScriptedPrompter prompter;
    platform::FakeSound sound;
    platform::FakeSystemInfo system;
    platform::FakeShell shell;
    platform::LinuxRemoteAccess ras;
    platform::LinuxDialupCounters counters;
    ConnectionMonitor window(AppContext{settings, clock, prompter, ras, &counters, sound, system,
                                        shell, dir.path(), dir.path()});
    window.trayAvailability = [] { return true; };
    window.initialise();
    auto tickAfter = [&](std::chrono::seconds s) {
        clock.advance(s);
        window.tick(ConnectionMonitor::PollTimer);
    };
    tickAfter(1s);
    ASSERT_TRUE(window.core().connected());

    const std::int64_t received = receiveFromLine(tun);
    ASSERT_GT(received, kTwoGib);
    tickAfter(1s);
    EXPECT_EQ(window.core().display().bytesReceived, std::to_string(received));
    const std::string sent = window.core().display().bytesTransmitted;

    QString shown;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<CPerformanceDlg*>(QApplication::activeModalWidget());
        if (dlg == nullptr) {
            ADD_FAILURE() << "the performance window did not open";
            return;
        }
        tickAfter(1s);
        shown = dlg->valueField(platform::BytesReceived)->text();
        dlg->accept();
    });
    window.runCommand(CmdPerformance);
    EXPECT_EQ(shown.toStdString(), std::to_string(received));

    ASSERT_TRUE(tun.setUp(false));
    tickAfter(1s);
    ASSERT_FALSE(window.core().connected());
    const std::string log = test::readFile(window.core().logPath());
    EXPECT_NE(log.find("|ppp0|ppp0|" + sent + "|" + std::to_string(received) + "|"),
              std::string::npos)
        << log;
    ::close(receiver);
}

}  // namespace
}  // namespace tavu

int main(int argc, char** argv) {
    setenv("TZ", "UTC", 1);
    tzset();
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    // The program moves into a namespace of its own before Qt starts any thread, so every
    // thread it starts later lives there too.
    tavu::g_skipReason = tavu::test::netnsUnavailableReason();
    if (tavu::g_skipReason.empty() && !GTEST_FLAG_GET(list_tests)) {
        if (::unshare(CLONE_NEWNET) != 0) {
            tavu::g_skipReason = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
        } else {
            tavu::test::writeSysctl("/proc/sys/net/ipv6/conf/default/disable_ipv6", "1");
            tavu::test::writeSysctl("/proc/sys/net/ipv6/conf/all/disable_ipv6", "1");
        }
    }
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
