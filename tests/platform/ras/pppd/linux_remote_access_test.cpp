#include "platform/ras/pppd/linux_remote_access.h"

#include <gtest/gtest.h>

#include <linux/capability.h>
#include <net/if_arp.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "platform/kernel/linux_counters.h"
#include "platform/linux_netns.h"
#include "support/temp_dir.h"

extern char** environ;

namespace {

// Started again with this variable set, the test program stands in for a pppd: it only waits
// for a signal, and gives up by itself after half a minute.
[[maybe_unused]] const bool kIsFakePppd = [] {
    const char* v = std::getenv("TAVU_TEST_FAKE_PPPD");
    if (v && v[0] == '1') {
        ::alarm(30);
        for (;;) {
            ::pause();
        }
    }
    return false;
}();

}  // namespace

namespace tavu::platform {
namespace {

using test::TempDir;
using test::writeFile;
using namespace std::string_literals;

// A fake tree of run, proc and peers folders.
struct FakeTree {
    TempDir dir;
    LinuxRasPaths paths;
    FakeTree() {
        for (const char* d : {"run", "varrun", "proc", "peers"}) {
            std::filesystem::create_directory(dir.file(d));
        }
        paths = {{dir.file("run"), dir.file("varrun")}, dir.file("proc"), dir.file("peers")};
    }
    // A pid file for the interface, and when cmdline is given a process with that command line.
    void pppd(const std::string& ifname, int pid, std::optional<std::string> cmdline = {},
              std::size_t runDir = 0) const {
        writeFile(paths.runDirs[runDir] + "/" + ifname + ".pid", std::to_string(pid) + "\n");
        const std::string proc = paths.procDir + "/" + std::to_string(pid);
        if (cmdline) {
            std::filesystem::create_directory(proc);
            writeFile(proc + "/cmdline", *cmdline);
        }
    }
    // Entry, device and device type of a point-to-point interface, joined by "|".
    std::string shown(const char* ifname, const char* kind = "ppp") const {
        netlink::LinkInfo link{5, ifname, 0, ARPHRD_PPP, kind, false, {}};
        const RasConnection c = describeConnection(paths, link);
        EXPECT_EQ(c.handle, 5u);
        return c.entryName + "|" + c.deviceName + "|" + c.deviceType;
    }
};

TEST(LinuxRasFiles, PidFileTakesOnlyAPlainPid) {
    TempDir dir;
    const std::string path = dir.file("p.pid");
    for (const auto& [text, pid] :
         {std::pair{"1234\n", 1234}, {" 77 \r\nppp0\n", 77}, {"45", 45}}) {
        writeFile(path, text);
        EXPECT_EQ(readPidFile(path), pid) << text;
    }
    for (const std::string& junk :
         {std::string(), std::string("abc"), std::string("-5"), std::string("0"), std::string("1"),
          std::string("2147483648"), std::string("12 34"), std::string("\n12"),
          std::string("12\0"
                      "34",
                      5),
          std::string(5000, '7')}) {
        writeFile(path, junk);
        EXPECT_EQ(readPidFile(path), 0) << junk;
    }
    EXPECT_EQ(readPidFile(dir.file("missing")), 0);
    EXPECT_EQ(readPidFile(dir.path()), 0);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_EQ(readPidFile(dir.file("fifo")), 0);  // without blocking on it
}

TEST(LinuxRasFiles, PeerNamesAndOptionsFiles) {
    for (const char* good : {"myisp", "my isp", "provider-2", "a.b"}) {
        EXPECT_TRUE(isValidPeerName(good)) << good;
    }
    for (const std::string& bad :
         {std::string(), std::string("."), std::string(".hidden"), std::string("../x"),
          std::string("a/b"), std::string("x..y"), std::string("a\nb"), std::string(300, 'a')}) {
        EXPECT_FALSE(isValidPeerName(bad)) << bad;
    }

    TempDir dir;
    const std::string peer = dir.file("peer");
    writeFile(peer,
              "# /dev/ttyS9 is the old port\nconnect \"/usr/sbin/chat -f /dev/ttyS8\"\n"
              "user 'me /dev/ttyS7'\nttyUSB0 115200\n/dev/ttyS1\n");
    EXPECT_EQ(deviceFromOptionsFile(peer), "/dev/ttyUSB0");
    writeFile(peer,
              "noauth\n/dev/../etc/passwd\n/etc/ttyS0\n/dev/\nmodem\nmodemx\n"
              "ipparam ttyS0\n\"unterminated /dev/ttyS0");
    EXPECT_EQ(deviceFromOptionsFile(peer), "");
    writeFile(peer, std::string("\0\xff\x01 /dev/ttyACM0\n", 17));
    EXPECT_EQ(deviceFromOptionsFile(peer), "/dev/ttyACM0");
    EXPECT_EQ(deviceFromOptionsFile(dir.file("missing")), "");
}

TEST(LinuxRasFiles, ConnectionIsNamedAfterItsPppdElseItsInterface) {
    FakeTree t;
    t.pppd("ppp0", 4242,
           "/usr/sbin/pppd\0call\0myisp\0/dev/ttyS0\0"
           "115200"s);
    EXPECT_EQ(t.shown("ppp0"), "myisp|/dev/ttyS0|modem");
    EXPECT_EQ(findPppd(t.paths, "ppp0").pid, 4242);

    // The device from the peer file; the pid file in the second run folder.
    t.pppd("ppp1", 4343, "pppd\0call\0other\0nodetach"s, 1);
    writeFile(t.paths.peersDir + "/other", "ttyS3\n");
    EXPECT_EQ(t.shown("ppp1"), "other|/dev/ttyS3|modem");
    // A dial of this program's calls the entry's line options; a monitor that may not read the
    // setuid pppd's standard input takes the device from the entry's peer file.
    t.pppd("ppp8", 5050, "/usr/sbin/pppd\0call\0.tavu/other\0nodetach\0passwordfd\0003"s);
    EXPECT_EQ(t.shown("ppp8"), "other|/dev/ttyS3|modem");
    t.pppd("ppp9", 5151, "/usr/sbin/pppd\0call\0.tavu/../x"s);
    EXPECT_EQ(t.shown("ppp9"), "ppp9|ppp9|ppp");

    // pppd over Ethernet has no serial device.
    t.pppd("ppp2", 4444, "pppd\0call\0dsl\0plugin\0rp-pppoe.so\0eth0"s);
    EXPECT_EQ(t.shown("ppp2"), "dsl|ppp2|ppp");

    // A hostile peer name is not used, nor the file it points at read.
    t.pppd("ppp3", 4545, "pppd\0call\0../peers/other"s);
    EXPECT_EQ(t.shown("ppp3"), "ppp3|ppp3|ppp");
    EXPECT_EQ(findPppd(t.paths, "ppp3").pid, 4545);

    // No pppd: the process is gone, is something else, shows no command line, or "call" has no
    // name.
    t.pppd("ppp4", 4646);
    t.pppd("ppp5", 4747, "/bin/sleep\0call\0myisp"s);
    t.pppd("ppp6", 4848, ""s);
    t.pppd("ppp7", 4949, "/usr/sbin/pppd\0call"s);
    for (const char* name : {"ppp4", "ppp5", "ppp6", "ppp7"}) {
        EXPECT_EQ(t.shown(name, ""), std::string(name) + "|" + name + "|ppp");
    }
    EXPECT_EQ(findPppd(t.paths, "ppp5").pid, 0);
    EXPECT_EQ(findPppd(t.paths, "../ppp0").pid, 0);
    EXPECT_EQ(t.shown("wg0", "wireguard"), "wg0|wg0|wireguard");
}

TEST(LinuxRasPhoneBook, ListsPeerFilesAndDeletesOnlyInsideTheFolder) {
    FakeTree t;
    for (const char* f : {"myisp", "other", ".hidden", "myisp~", "old.bak", "x.dpkg-old"}) {
        writeFile(t.paths.peersDir + "/" + f, "");
    }
    std::filesystem::create_directory(t.paths.peersDir + "/sub");
    writeFile(t.dir.file("outside"), "");
    LinuxRemoteAccess ras(t.paths);
    std::vector<std::string> entries;
    ASSERT_TRUE(ras.listEntries(entries));
    EXPECT_EQ(entries, (std::vector<std::string>{"myisp", "other"}));

    for (const char* bad : {"", "..", "../outside", "sub", "missing", ".hidden/.."}) {
        EXPECT_EQ(ras.deleteEntry(bad), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY) << bad;
    }
    EXPECT_TRUE(std::filesystem::exists(t.dir.file("outside")));
    EXPECT_EQ(ras.deleteEntry("other"), kRasOk);
    ASSERT_TRUE(ras.listEntries(entries));
    EXPECT_EQ(entries, std::vector<std::string>{"myisp"});

    LinuxRasPaths none = t.paths;
    none.peersDir = t.dir.file("no-such-folder");
    EXPECT_FALSE(LinuxRemoteAccess(none).listEntries(entries));
    EXPECT_TRUE(entries.empty());
}

// --- Against the kernel, in a private network namespace -------------------------------------

#define SKIP_WITHOUT_NETNS()                                                  \
    if (const std::string why = test::netnsUnavailableReason(); !why.empty()) \
    GTEST_SKIP() << why

void runOrSkip(const std::function<void()>& body) {
    const std::string failure = test::runInNewNetns(body);
    if (!failure.empty()) {
        GTEST_SKIP() << failure;
    }
}

TEST(LinuxRasKernel, ListsUpPointToPointInterfacesAndHangsUpByTakingThemDown) {
    SKIP_WITHOUT_NETNS();
    FakeTree t;  // no pid files: no pppd owns these interfaces
    runOrSkip([&] {
        test::TunDevice ppp0("ppp0", false), dsl1("dsl1", false), tap("tap9", true),
            down("ppp7", false);
        ASSERT_TRUE(ppp0.ok() && dsl1.ok() && tap.ok() && down.ok());
        ASSERT_TRUE(ppp0.setAddresses("10.9.0.1", "10.9.0.2"));
        ASSERT_TRUE(ppp0.setUp(true) && dsl1.setUp(true) && tap.setUp(true));

        LinuxRemoteAccess ras(t.paths, [] { return std::string("ppp* dsl*"); });
        std::vector<RasConnection> list;
        ASSERT_TRUE(ras.listConnections(list));
        ASSERT_EQ(list.size(), 2u);
        EXPECT_EQ(list[0].handle, static_cast<std::uint64_t>(ppp0.index()));
        EXPECT_EQ(list[0].entryName, "ppp0");
        EXPECT_EQ(list[0].deviceName, "ppp0");
        EXPECT_EQ(list[0].deviceType, "tun");
        EXPECT_EQ(list[1].handle, static_cast<std::uint64_t>(dsl1.index()));
        EXPECT_EQ(list[1].entryName, "dsl1");

        EXPECT_EQ(ras.connectionState(ppp0.index()), RASCS_Connected);
        EXPECT_EQ(ras.connectionState(down.index()), RASCS_Disconnected);
        EXPECT_EQ(ras.connectionState(tap.index()), RASCS_Disconnected);
        EXPECT_EQ(ras.connectionState(0), RASCS_Disconnected);
        EXPECT_EQ(ras.connectionState(1ull << 40), RASCS_Disconnected);

        EXPECT_EQ(ras.hangUp(tap.index()), ERROR_INVALID_HANDLE);
        EXPECT_EQ(ras.hangUp(down.index()), ERROR_INVALID_HANDLE);
        EXPECT_EQ(ras.hangUp(424242), ERROR_INVALID_HANDLE);
        EXPECT_EQ(ras.hangUp(dsl1.index()), kRasOk);
        EXPECT_EQ(ras.connectionState(dsl1.index()), RASCS_Disconnected);
        ASSERT_TRUE(ras.listConnections(list));
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].entryName, "ppp0");

        // An interface that comes up again is listed again.
        ASSERT_TRUE(dsl1.setUp(true));
        ASSERT_TRUE(ras.listConnections(list));
        EXPECT_EQ(list.size(), 2u);

        // Without the right to configure interfaces (dropped for this thread only) the hang-up
        // is refused and the connection stays.
        __user_cap_header_struct head{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct caps[2]{};
        ASSERT_EQ(::syscall(SYS_capget, &head, caps), 0);
        caps[CAP_NET_ADMIN / 32].effective &= ~(1u << (CAP_NET_ADMIN % 32));
        ASSERT_EQ(::syscall(SYS_capset, &head, caps), 0);
        EXPECT_EQ(ras.hangUp(dsl1.index()), ERROR_ACCESS_DENIED);
        EXPECT_EQ(ras.connectionState(dsl1.index()), RASCS_Connected);
    });
}

// A child process whose command line reads like a pppd dialling "myisp" on /dev/ttyS0.
class FakePppd {
  public:
    FakePppd() {
        const char* argv[] = {"/usr/sbin/pppd", "call", "myisp", "/dev/ttyS0", "115200", nullptr};
        std::vector<char*> env;
        for (char** e = environ; *e; ++e) {
            env.push_back(*e);
        }
        std::string marker = "TAVU_TEST_FAKE_PPPD=1";
        env.push_back(marker.data());
        env.push_back(nullptr);
        if (::posix_spawn(&pid_, "/proc/self/exe", nullptr, nullptr, const_cast<char* const*>(argv),
                          env.data()) != 0) {
            pid_ = 0;
        }
        // The parent may run on before exec has put the new command line in place.
        for (int i = 0; i < 200 && pid_ > 0; ++i) {
            if (test::readFile("/proc/" + std::to_string(pid_) + "/cmdline").starts_with(argv[0])) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~FakePppd() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }

    // The signal that ended the child, waiting up to five seconds; 0 when it still runs.
    int waitForSignal() {
        for (int i = 0; i < 500 && pid_ > 0; ++i) {
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                return WIFSIGNALED(status) ? WTERMSIG(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return 0;
    }

  private:
    pid_t pid_ = 0;
};

TEST(LinuxRasKernel, PppdOwnedInterfaceIsNamedAfterItsPeerAndHungUpThroughPppd) {
    SKIP_WITHOUT_NETNS();
    FakeTree t;
    t.paths.procDir = "/proc";
    runOrSkip([&] {
        test::TunDevice ppp0("ppp0", false);
        ASSERT_TRUE(ppp0.ok() && ppp0.setUp(true));
        FakePppd pppd;
        ASSERT_GT(pppd.pid(), 0);
        writeFile(t.paths.runDirs[0] + "/ppp0.pid", std::to_string(pppd.pid()) + "\n");

        LinuxRemoteAccess ras(t.paths);
        std::vector<RasConnection> list;
        ASSERT_TRUE(ras.listConnections(list));
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].entryName, "myisp");
        EXPECT_EQ(list[0].deviceName, "/dev/ttyS0");
        EXPECT_EQ(list[0].deviceType, "modem");

        // pppd is asked to end the call; taking the interface down is its own business.
        EXPECT_EQ(ras.hangUp(ppp0.index()), kRasOk);
        EXPECT_EQ(pppd.waitForSignal(), SIGTERM);
        EXPECT_EQ(ras.connectionState(ppp0.index()), RASCS_Connected);

        // A stale pid file naming some other process (this one): no signal, the interface goes
        // down instead.
        writeFile(t.paths.runDirs[0] + "/ppp0.pid", std::to_string(::getpid()) + "\n");
        EXPECT_EQ(ras.hangUp(ppp0.index()), kRasOk);
        EXPECT_EQ(ras.connectionState(ppp0.index()), RASCS_Disconnected);
    });
}

}  // namespace
}  // namespace tavu::platform

namespace tavu::platform {
namespace {

TEST(LinuxRasFiles, PppdOriginNamesTheProcessAndItsStart) {
    FakeTree t;
    // The command name may hold blanks and parentheses; the start is field 22.
    const std::string fields = " S 1 4242 4242 0 -1 4194560 100 0 0 0 1 2 0 0 20 0 1 0 ";
    t.pppd("ppp0", 4242, "/usr/sbin/pppd\0call\0myisp"s);
    writeFile(t.paths.procDir + "/4242/stat", "4242 (pp) d)" + fields + "500 1000 200\n");
    writeFile(t.paths.procDir + "/stat", "cpu  1 2 3\nctxt 99\nbtime 1700000000\nprocesses 5\n");
    EXPECT_EQ(processStartTicks(t.paths.procDir, 4242), 500);
    EXPECT_EQ(bootTime(t.paths.procDir), 1700000000);
    const ConnectionOrigin o = pppdOrigin(t.paths, "ppp0");
    EXPECT_EQ(o.mark, "pppd 4242 500");
    EXPECT_EQ(o.upSince, 1700000000 + 500 / ::sysconf(_SC_CLK_TCK));

    // A stat cut short, or no pppd: nothing.
    writeFile(t.paths.procDir + "/4242/stat", "4242 (pppd) S 1 4242");
    EXPECT_EQ(processStartTicks(t.paths.procDir, 4242), -1);
    EXPECT_EQ(pppdOrigin(t.paths, "ppp0").mark, "");
    EXPECT_EQ(pppdOrigin(t.paths, "ppp9").mark, "");
}

TEST(LinuxRasKernel, ConnectionOriginIsItsPppdOrNothing) {
    SKIP_WITHOUT_NETNS();
    FakeTree t;
    t.paths.procDir = "/proc";
    runOrSkip([&] {
        test::TunDevice ppp0("ppp0", false);
        ASSERT_TRUE(ppp0.ok() && ppp0.setUp(true));
        LinuxRemoteAccess ras(t.paths);
        EXPECT_EQ(ras.connectionOrigin(ppp0.index()).mark, "");

        FakePppd pppd;
        ASSERT_GT(pppd.pid(), 0);
        writeFile(t.paths.runDirs[0] + "/ppp0.pid", std::to_string(pppd.pid()) + "\n");
        const ConnectionOrigin o = ras.connectionOrigin(ppp0.index());
        EXPECT_TRUE(o.mark.starts_with("pppd " + std::to_string(pppd.pid()) + " ")) << o.mark;
        EXPECT_NEAR(static_cast<double>(o.upSince), static_cast<double>(::time(nullptr)), 3.0);
        ASSERT_TRUE(ppp0.setUp(false));
        EXPECT_EQ(ras.connectionOrigin(ppp0.index()).mark, "");
    });
}

// A VPN tunnel (tun0) with a peer address and traffic, beside a tun device named ppp0: only
// ppp0 is a dial-up line. The tunnel is never listed, never counted and never taken down.
TEST(LinuxRasKernel, TunnelsBesideADialupLineAreLeftAlone) {
    SKIP_WITHOUT_NETNS();
    FakeTree t;
    runOrSkip([&] {
        test::TunDevice ppp0("ppp0", false), tun0("tun0", false);
        ASSERT_TRUE(ppp0.ok() && tun0.ok());
        ASSERT_TRUE(ppp0.setAddresses("10.13.0.1", "10.13.0.2") &&
                    tun0.setAddresses("10.13.1.1", "10.13.1.2"));
        ASSERT_TRUE(ppp0.setUp(true) && tun0.setUp(true));
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(tun0.inject(test::udpPacket("10.13.1.2", "10.13.1.1", 5013, 100)));
        }
        ASSERT_TRUE(ppp0.inject(test::udpPacket("10.13.0.2", "10.13.0.1", 5013, 12)));

        LinuxRemoteAccess ras(t.paths);
        std::vector<RasConnection> list;
        ASSERT_TRUE(ras.listConnections(list));
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].entryName, "ppp0");
        EXPECT_EQ(ras.connectionState(tun0.index()), RASCS_Disconnected);
        EXPECT_EQ(ras.hangUp(tun0.index()), ERROR_INVALID_HANDLE);
        netlink::LinkInfo link;
        ASSERT_TRUE(netlink::getLink(tun0.index(), link));
        EXPECT_TRUE(link.flags & IFF_UP) << "the tunnel must stay up";

        LinuxDialupCounters counters;
        CounterValues v{};
        ASSERT_TRUE(counters.read(v));
        EXPECT_EQ(v[BytesReceived], 40);  // ppp0's one packet, none of the tunnel's
        EXPECT_EQ(v[FramesReceived], 1);

        // Taking the dial-up line down leaves no connection, whatever the tunnel does.
        ASSERT_EQ(ras.hangUp(ppp0.index()), kRasOk);
        ASSERT_TRUE(ras.listConnections(list));
        EXPECT_TRUE(list.empty());
    });
}

// Dialup/Interfaces names more lines, read afresh at every look.
TEST(LinuxRasKernel, InterfacesSettingAddsNamedLines) {
    SKIP_WITHOUT_NETNS();
    FakeTree t;
    runOrSkip([&] {
        test::TunDevice wg0("wg0", false), ppp3("ppp3", false);
        ASSERT_TRUE(wg0.ok() && ppp3.ok() && wg0.setUp(true) && ppp3.setUp(true));
        std::string patterns = "wg*";
        LinuxRemoteAccess ras(t.paths, [&] { return patterns; });
        std::vector<RasConnection> list;
        ASSERT_TRUE(ras.listConnections(list));
        ASSERT_EQ(list.size(), 1u);
        EXPECT_EQ(list[0].entryName, "wg0");
        patterns = "";
        ASSERT_TRUE(ras.listConnections(list));
        EXPECT_TRUE(list.empty()) << "a tun device is not of link type PPP";
    });
}

TEST(DialupInterfaces, ShellPatternsSeparatedByBlanks) {
    EXPECT_TRUE(nameMatchesPatterns("ppp0", kDefaultDialupInterfaces));
    EXPECT_FALSE(nameMatchesPatterns("tun0", kDefaultDialupInterfaces));
    EXPECT_FALSE(nameMatchesPatterns("xppp0", kDefaultDialupInterfaces));
    EXPECT_TRUE(nameMatchesPatterns("dsl1", "  ppp*\tdsl? "));
    EXPECT_FALSE(nameMatchesPatterns("dsl10", "ppp* dsl?"));
    EXPECT_TRUE(nameMatchesPatterns("modem", "[lm]odem"));
    EXPECT_FALSE(nameMatchesPatterns("ppp0", ""));
    EXPECT_FALSE(nameMatchesPatterns("", "*"));
}

}  // namespace
}  // namespace tavu::platform
