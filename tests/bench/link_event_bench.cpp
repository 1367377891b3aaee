// How soon a link that comes up is a connection of the monitor, its journal begun: from the
// kernel's link event through the Linux remote-access service to the monitor, with no poll in
// between. Needs root: it makes a tun interface ppp0 in a network namespace of its own. Run
// with QT_QPA_PLATFORM=offscreen.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstring>
#include <filesystem>

#include "core/clock.h"
#include "core/prompter.h"
#include "core/settings_store.h"
#include "log/log_file.h"
#include "monitor/monitor_core.h"
#include "platform/fakes.h"
#include "platform/kernel/linux_netlink.h"
#include "platform/ras/pppd/linux_remote_access.h"
#include "support/null_view.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

// A tun interface named ppp0 in a fresh network namespace of this thread, down; 0 and a reason
// when it cannot be made.
int makeLine(int& fd, const char*& why) {
    if (::unshare(CLONE_NEWNET) != 0) {
        why = "needs root: a network namespace of its own";
        return 0;
    }
    fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "ppp0", IFNAMSIZ - 1);
    ifr.ifr_flags = IFF_TUN | IFF_NO_PI;
    if (fd < 0 || ::ioctl(fd, TUNSETIFF, &ifr) != 0) {
        why = "needs /dev/net/tun";
        return 0;
    }
    return static_cast<int>(::if_nametoindex("ppp0"));
}

void BM_LinkUpToConnected(benchmark::State& state) {
    int tun = -1;
    const char* why = "";
    const int index = makeLine(tun, why);
    if (index == 0) {
        state.SkipWithError(why);
        return;
    }
    test::TempDir dir;
    SettingsStore settings(dir.file("tavu.ini"));
    SystemClock clock;
    ScriptedPrompter prompter;
    platform::FakeSound sound;
    LogWriter writer(prompter);
    platform::LinuxRemoteAccess ras;
    if (!ras.watchLinkEvents()) {
        state.SkipWithError("no link events");
        return;
    }
    test::NullView view;
    MonitorCore core(MonitorServices{settings,
                                     clock,
                                     prompter,
                                     ras,
                                     nullptr,
                                     sound,
                                     writer,
                                     dir.path(),
                                     "tester",
                                     "6.1",
                                     {}},
                     view);
    core.followChanges(true);
    core.poll();  // the first look, with nothing up
    const std::string journal = dir.file("logfile.log.open");
    for (auto _ : state) {
        platform::netlink::setLinkUp(index, true);
        while (!core.connected()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        state.PauseTiming();
        if (!std::filesystem::exists(journal)) {
            state.SkipWithError("no journal");
            break;
        }
        platform::netlink::setLinkUp(index, false);
        while (core.connected()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        state.ResumeTiming();
    }
    core.followChanges(false);
    ::close(tun);
}
BENCHMARK(BM_LinkUpToConnected)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tavu
