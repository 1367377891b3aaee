#include "platform/ras/pppd/linux_dialer.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/linux_netns.h"
#include "platform/ras/pppd/linux_remote_access.h"
#include "platform/ras/ras_codes.h"
#include "support/as_user.h"
#include "support/dial_rig.h"

namespace tavu::platform {
namespace {

using test::DialRig;
using namespace std::chrono_literals;

constexpr const char* kPppdPeers = "/etc/ppp/peers";

#define SKIP_WITHOUT_CHAT()                                                  \
    if (const std::string why = test::dialUnavailableReason(); !why.empty()) \
    GTEST_SKIP() << why

#define SKIP_WITHOUT_NETNS()                                                  \
    if (const std::string why = test::netnsUnavailableReason(); !why.empty()) \
    GTEST_SKIP() << why

struct DialRun {
    std::vector<DialEvent> events;
    std::uint64_t handle = 0;
    int status = -1;  // what dial() returned
    int lastError() const { return events.empty() ? 0 : events.back().error; }
    bool has(int state) const {
        return std::any_of(events.begin(), events.end(),
                           [state](const DialEvent& e) { return e.state == state; });
    }
};

// Dials and follows the dial until it ends (or 20 s pass); step is called after every pump and
// may hang up.
DialRun dialToEnd(LinuxRemoteAccess& ras, const std::string& password = "secret",
                  const std::function<void(DialRun&)>& step = {}) {
    DialRun run;
    run.status = ras.dial(
        {"isp", "alice", password},
        [&run](int state, int error) {
            run.events.push_back({state, error});
        },
        run.handle);
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (run.status == 0 && ras.dialling() && std::chrono::steady_clock::now() < end) {
        ras.pump();
        if (step) {
            step(run);
        }
        std::this_thread::sleep_for(10ms);
    }
    return run;
}

bool processGone(pid_t pid) {
    return pid > 0 && ::kill(pid, 0) != 0;
}

std::string procFile(pid_t pid, const char* name) {
    return test::readFile("/proc/" + std::to_string(pid) + "/" + name);
}

TEST(LinuxDialErrors, ChatAndPppdStatusesMapToErrorNumbers) {
    const std::vector<std::string> aborts = {"BUSY",      "NO CARRIER", "NO DIALTONE",
                                             "NO ANSWER", "ERROR",      "VOICE"};
    std::string detail;
    EXPECT_EQ(chatExitError(0, aborts, true, detail), 0);
    EXPECT_EQ(chatExitError(4, aborts, true, detail), ERROR_LINE_BUSY);
    EXPECT_EQ(chatExitError(5, aborts, true, detail), ERROR_NO_CARRIER);
    EXPECT_EQ(chatExitError(6, aborts, true, detail), ERROR_NO_DIALTONE);
    EXPECT_EQ(chatExitError(7, aborts, true, detail), ERROR_NO_ANSWER);
    EXPECT_EQ(chatExitError(8, aborts, true, detail), ERROR_FROM_DEVICE);
    EXPECT_EQ(chatExitError(9, aborts, true, detail), ERROR_VOICE_ANSWER);
    // An abort the script does not have, a time-out before and after the number.
    EXPECT_EQ(chatExitError(10, aborts, true, detail), ERROR_FROM_DEVICE);
    EXPECT_EQ(chatExitError(3, aborts, false, detail), ERROR_DEVICE_NOT_READY);
    EXPECT_EQ(chatExitError(3, aborts, true, detail), ERROR_NO_ANSWER);
    // The order of the script counts, not the name.
    EXPECT_EQ(chatExitError(4, {"NO CARRIER", "BUSY"}, true, detail), ERROR_NO_CARRIER);

    EXPECT_EQ(pppdExitError(19, detail), ERROR_AUTHENTICATION_FAILURE);
    EXPECT_EQ(pppdExitError(4, detail), ERROR_RASMAN_CANNOT_INITIALIZE);
    EXPECT_EQ(pppdExitError(16, detail), ERROR_REMOTE_DISCONNECTION);
    EXPECT_EQ(pppdExitError(10, detail), ERROR_PPP_NOT_CONVERGING);
    EXPECT_EQ(pppdExitError(42, detail), ERROR_UNKNOWN);
    EXPECT_NE(detail.find("status 42"), std::string::npos);
}

TEST(LinuxDial, ModemAnswersGiveTheirErrorsAndReleaseTheLine) {
    SKIP_WITHOUT_CHAT();
    const std::vector<std::pair<std::string, int>> cases = {{"BUSY", ERROR_LINE_BUSY},
                                                            {"NO CARRIER", ERROR_NO_CARRIER},
                                                            {"NO DIALTONE", ERROR_NO_DIALTONE},
                                                            {"NO ANSWER", ERROR_NO_ANSWER},
                                                            {"ERROR", ERROR_FROM_DEVICE}};
    for (const auto& [answer, code] : cases) {
        SCOPED_TRACE(answer);
        DialRig rig({answer});
        ASSERT_TRUE(rig.modem.ok());
        ASSERT_EQ(rig.entryProblem, "");
        LinuxRemoteAccess ras(rig.rasPaths());
        const DialRun run = dialToEnd(ras);
        ASSERT_EQ(run.status, 0);
        const std::vector<DialEvent> expected = {{RASCS_OpenPort, 0},
                                                 {RASCS_PortOpened, 0},
                                                 {RASCS_ConnectDevice, 0},
                                                 {RASCS_ConnectDevice, code}};
        EXPECT_EQ(run.events, expected);
        EXPECT_FALSE(ras.errorText(code).empty());
        EXPECT_TRUE(rig.modem.waitForCloses(1));
        EXPECT_EQ(rig.modem.commands(), (std::vector<std::string>{"ATZ", "ATDT5551234"}));
        // After a failed dial, hanging up its handle is harmless.
        EXPECT_EQ(ras.hangUp(run.handle), 0);
    }
}

TEST(LinuxDial, SilentModemAndMissingPiecesGivePlainErrors) {
    SKIP_WITHOUT_CHAT();
    DialRig rig({}, true);
    // A modem that answers nothing: the script's short time-out ends chat before the number.
    test::writeFile(rig.paths.chatDir + "/isp", "TIMEOUT 1\n'' ATZ\nOK ATDT1\nCONNECT ''\n");
    LinuxRemoteAccess ras(rig.rasPaths());
    DialRun run = dialToEnd(ras);
    EXPECT_EQ(run.lastError(), ERROR_DEVICE_NOT_READY);
    EXPECT_FALSE(run.has(RASCS_ConnectDevice));

    // No such entry; an entry without a device; a device that cannot be opened.
    std::uint64_t handle = 0;
    EXPECT_EQ(ras.dial({"nothere", "", ""}, {}, handle), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    test::writeFile(rig.paths.peersDir + "/nodev", "connect 'chat -f /x'\n");
    EXPECT_EQ(ras.dial({"nodev", "", ""}, {}, handle), ERROR_CORRUPT_PHONEBOOK);
    EXPECT_NE(ras.errorText(ERROR_CORRUPT_PHONEBOOK).find("serial device"), std::string::npos);
    test::writeFile(rig.paths.peersDir + "/isp",
                    "/dev/ttyTAVU11none\nconnect 'chat -f " + rig.paths.chatDir + "/isp'\n");
    run = dialToEnd(ras);
    EXPECT_EQ(run.events, (std::vector<DialEvent>{{RASCS_OpenPort, 0},
                                                  {RASCS_OpenPort, ERROR_PORT_NOT_AVAILABLE}}));
    EXPECT_NE(ras.errorText(ERROR_PORT_NOT_AVAILABLE).find("/dev/ttyTAVU11none"),
              std::string::npos);
}

TEST(LinuxDial, WrongPasswordIs691AndReleasesTheLine) {
    SKIP_WITHOUT_CHAT();
    DialRig rig({"CONNECT 115200"});
    LinuxRemoteAccess ras(rig.rasPaths());
    const DialRun run = dialToEnd(ras, "wrong");
    EXPECT_TRUE(run.has(RASCS_DeviceConnected));
    EXPECT_TRUE(run.has(RASCS_Authenticate));
    EXPECT_EQ(run.lastError(), ERROR_AUTHENTICATION_FAILURE);
    EXPECT_TRUE(rig.modem.waitForCloses(1));
}

TEST(LinuxDial, CancelDuringChatStopsItAndReleasesTheLine) {
    SKIP_WITHOUT_CHAT();
    DialRig rig({}, true);
    LinuxRemoteAccess ras(rig.rasPaths());
    int pumpsAfterOpen = 0;
    const DialRun run = dialToEnd(ras, "secret", [&](DialRun& r) {
        if (r.has(RASCS_PortOpened) && ++pumpsAfterOpen == 20) {
            EXPECT_TRUE(rig.modem.inUse());
            EXPECT_EQ(ras.hangUp(r.handle), 0);
        }
    });
    EXPECT_FALSE(ras.dialling());
    EXPECT_EQ(run.events.back().state, RASCS_PortOpened);
    EXPECT_EQ(run.lastError(), 0);  // no event after the hang-up
    EXPECT_TRUE(rig.modem.waitForCloses(1));
}

// The rest needs a network namespace of its own for the interface the stand-in brings up.
void inNetns(const std::function<void()>& body) {
    const std::string failure = test::runInNewNetns(body);
    ASSERT_EQ(failure, "");
}

// Root gives pppd the entry's options on its command line; a member of group dip calls the
// entry's line options, since pppd takes noauth, linkname and plugin only from root or its peers
// folder.
TEST(LinuxDial, ConnectsThroughChatAndPppdAndIsNamedAfterTheEntry) {
    SKIP_WITHOUT_CHAT();
    SKIP_WITHOUT_NETNS();
    DialRig rig({"CONNECT 115200"});
    for (const bool asRoot : {true, false}) {
        SCOPED_TRACE(asRoot ? "as root" : "as a member of group dip");
        inNetns([&] {
            LinuxRasPaths paths = rig.rasPaths();
            paths.pppdOptions = asRoot ? LinuxRasPaths::PppdOptions::CommandLine
                                       : LinuxRasPaths::PppdOptions::LineOptions;
            LinuxRemoteAccess ras(paths);
            const DialRun run = dialToEnd(ras);
            const std::vector<DialEvent> expected = {{RASCS_OpenPort, 0},
                                                     {RASCS_PortOpened, 0},
                                                     {RASCS_ConnectDevice, 0},
                                                     {RASCS_DeviceConnected, 0},
                                                     {RASCS_AllDevicesConnected, 0},
                                                     {RASCS_Authenticate, 0},
                                                     {RASCS_Authenticated, 0},
                                                     {RASCS_Projected, 0},
                                                     {RASCS_Connected, 0}};
            ASSERT_EQ(run.events, expected);
            EXPECT_EQ(ras.connectionState(run.handle), RASCS_Connected);

            // pppd got the line as its standard input, the entry's options without the device,
            // the speed and the connect line, and the password only on the plugin's descriptor.
            const std::vector<std::string> args = rig.pppdArgs();
            auto has = [&](const std::string& a) {
                return std::find(args.begin(), args.end(), a) != args.end();
            };
            EXPECT_TRUE(has("nodetach") && has("alice") && has("passwordfd"));
            if (asRoot) {
                EXPECT_TRUE(has("noauth") && has("defaultroute") && has("linkname") && has("isp") &&
                            has("passwordfd.so"));
                EXPECT_FALSE(has("call"));
            } else {
                EXPECT_TRUE(has("call") && has(".tavu/isp"));
                EXPECT_FALSE(has("noauth") || has("linkname") || has("plugin"));
            }
            EXPECT_FALSE(has(rig.modem.device()) || has("115200") || has("connect") ||
                         has("secret"));

            std::vector<RasConnection> connections;
            ASSERT_TRUE(ras.listConnections(connections));
            ASSERT_EQ(connections.size(), 1u);
            EXPECT_EQ(connections[0].entryName, "isp");
            EXPECT_EQ(connections[0].deviceName, rig.modem.device());
            EXPECT_EQ(connections[0].deviceType, "modem");
            const PppdProcess pppd = findPppd(rig.rasPaths(), "ppp0");
            ASSERT_NE(pppd.pid, 0);
            for (const char* file : {"cmdline", "environ"}) {
                EXPECT_EQ(procFile(pppd.pid, file).find("secret"), std::string::npos) << file;
            }
            EXPECT_EQ(procFile(::getpid(), "environ").find("secret"), std::string::npos);

            EXPECT_EQ(ras.hangUp(connections[0].handle), 0);
            ras.pump();
            EXPECT_TRUE(processGone(pppd.pid));
            EXPECT_EQ(ras.connectionState(run.handle), RASCS_Disconnected);
            EXPECT_TRUE(rig.modem.waitForCloses(asRoot ? 1 : 2));
        });
    }
}

// udev names modems by symbolic links under /dev, such as /dev/modem.
TEST(LinuxDial, EntryOnALinkUnderDevConnects) {
    SKIP_WITHOUT_CHAT();
    SKIP_WITHOUT_NETNS();
    DialRig rig({"CONNECT"});
    const std::string link = "/dev/tavu-test-modem-" + std::to_string(::getpid());
    ASSERT_EQ(::symlink(rig.modem.device().c_str(), link.c_str()), 0);
    struct Unlink {
        std::string path;
        ~Unlink() { ::unlink(path.c_str()); }
    } unlinkAfter{link};
    EntryForm form;
    form.name = "isp";
    form.number = "5551234";
    form.device = link;
    ASSERT_EQ(writeEntryFiles(rig.paths, form), "");
    inNetns([&] {
        LinuxRemoteAccess ras(rig.rasPaths());
        const DialRun run = dialToEnd(ras);
        EXPECT_TRUE(run.has(RASCS_Connected)) << run.lastError();
        std::vector<RasConnection> connections;
        ASSERT_TRUE(ras.listConnections(connections));
        ASSERT_EQ(connections.size(), 1u);
        EXPECT_EQ(ras.hangUp(connections[0].handle), 0);
    });
    EXPECT_TRUE(rig.modem.waitForCloses(1));
}

TEST(LinuxDial, CancelDuringPppdStopsItAndReleasesTheLine) {
    SKIP_WITHOUT_CHAT();
    SKIP_WITHOUT_NETNS();
    DialRig rig({"CONNECT"});
    rig.standin({{"hold-before-auth", "1"}});
    inNetns([&] {
        LinuxRemoteAccess ras(rig.rasPaths());
        pid_t pppd = 0;
        const DialRun run = dialToEnd(ras, "secret", [&](DialRun& r) {
            if (r.has(RASCS_Authenticate) && pppd == 0) {
                const std::vector<std::string> args = rig.pppdArgs();
                ASSERT_FALSE(args.empty());
                EXPECT_EQ(ras.hangUp(r.handle), 0);
                pppd = -1;
            }
        });
        EXPECT_EQ(pppd, -1);
        EXPECT_FALSE(ras.dialling());
        EXPECT_EQ(run.lastError(), 0);
        EXPECT_TRUE(rig.modem.waitForCloses(1));
    });
}

TEST(LinuxDial, RealPppdWithoutKernelSupportGivesAPlainText) {
    SKIP_WITHOUT_CHAT();
    SKIP_WITHOUT_NETNS();
    if (::access("/dev/ppp", F_OK) == 0) {
        GTEST_SKIP() << "this kernel has PPP";
    }
    DialRig rig({"CONNECT"});
    platform::LinuxRasPaths paths = rig.rasPaths();
    paths.pppd = "/usr/sbin/pppd";
    if (::access(paths.pppd.c_str(), X_OK) != 0) {
        GTEST_SKIP() << "pppd is not installed";
    }
    LinuxRemoteAccess ras(paths);
    const DialRun run = dialToEnd(ras);
    EXPECT_TRUE(run.has(RASCS_DeviceConnected));
    EXPECT_EQ(run.lastError(), ERROR_RASMAN_CANNOT_INITIALIZE);
    EXPECT_NE(ras.errorText(run.lastError()).find("no support for PPP"), std::string::npos);
    EXPECT_TRUE(rig.modem.waitForCloses(1));
}

// Puts a /dev of its own over /dev, with the pseudo-terminals and a ppp node that is a copy of
// /dev/null: pppd then goes on past its check for the kernel's PPP to the line (where setting the
// line discipline fails).
bool devWithStandInPpp(const std::string& dir) {
    const std::string null = dir + "/null", ppp = dir + "/ppp", pts = dir + "/pts";
    return (::mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST) &&
           ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "mode=755") == 0 &&
           ::mknod(null.c_str(), S_IFCHR, ::makedev(1, 3)) == 0 &&
           ::mknod(ppp.c_str(), S_IFCHR, ::makedev(1, 3)) == 0 &&
           ::chmod(null.c_str(), 0666) == 0 && ::chmod(ppp.c_str(), 0666) == 0 &&
           ::mkdir(pts.c_str(), 0755) == 0 &&
           ::mount("/dev/pts", pts.c_str(), nullptr, MS_BIND | MS_REC, nullptr) == 0 &&
           ::mount(dir.c_str(), "/dev", nullptr, MS_BIND | MS_REC, nullptr) == 0;
}

// Runs the real pppd on a terminal (its standard input) and returns "STATUS|what it said".
std::string runRealPppd(const std::string& terminal, std::vector<std::string> args) {
    args.insert(args.begin(), "/usr/sbin/pppd");
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const int tty = ::open(terminal.c_str(), O_RDWR | O_NOCTTY);
    int out[2];
    if (tty < 0 || ::pipe(out) != 0) {
        return "the terminal could not be opened";
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(tty, 0);
        ::dup2(out[1], 1);
        ::dup2(out[1], 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(tty);
    std::string said;
    char buf[512];
    const auto end = std::chrono::steady_clock::now() + 20s;
    for (pollfd p{out[0], POLLIN, 0}; std::chrono::steady_clock::now() < end;) {
        if (::poll(&p, 1, 100) == 1) {
            const ssize_t n = ::read(out[0], buf, sizeof buf);
            if (n <= 0) {
                break;
            }
            said.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(out[0]);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1) + "|" + said;
}

// A member of group dip dials with the real pppd, which is setuid root and takes options such
// as noauth only from root or its peers folder. The rig's folder is mounted over pppd's in a
// mount namespace of the child's own.
TEST(LinuxDial, GroupDipMemberDialsWithTheRealPppdThroughTheLineOptions) {
    SKIP_WITHOUT_CHAT();
    const group* dip = ::getgrnam("dip");
    struct stat pppd {};
    if (::geteuid() != 0 || !dip || ::stat(kPppdPeers, &pppd) != 0 ||
        ::stat("/usr/sbin/pppd", &pppd) != 0 || (pppd.st_mode & S_ISUID) == 0) {
        GTEST_SKIP() << "needs root, group dip, and pppd installed setuid root";
    }
    if (::access("/dev/ppp", F_OK) == 0) {
        GTEST_SKIP() << "this kernel has PPP";
    }
    const gid_t dipGid = dip->gr_gid;
    DialRig rig({"CONNECT"});
    // The files as Debian has them: the folders root's and group dip's, the line the user's.
    for (const auto& e : std::filesystem::recursive_directory_iterator(rig.dir.path())) {
        [[maybe_unused]] const int r = ::lchown(e.path().c_str(), 0, dipGid);
    }
    ::chmod(rig.paths.peersDir.c_str(), 02750);
    ::chmod(rig.paths.chatDir.c_str(), 0750);
    ASSERT_EQ(::chown(rig.modem.device().c_str(), 65534, dipGid), 0);
    // The dial helper as the package installs it: setuid root, run only by group dip.
    const std::string helper = rig.dir.file("tavu-dial-helper");
    std::filesystem::copy_file(TAVU_DIAL_HELPER_BUILT, helper);
    ASSERT_EQ(::chown(helper.c_str(), 0, dipGid), 0);
    ASSERT_EQ(::chmod(helper.c_str(), 04750), 0);

    const auto pppdsNamespace = [&](bool standInPpp) {
        return [&, standInPpp] {
            return ::unshare(CLONE_NEWNS) == 0 &&
                   ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   ::mount(rig.paths.peersDir.c_str(), kPppdPeers, nullptr, MS_BIND, nullptr) ==
                       0 &&
                   (!standInPpp || devWithStandInPpp(rig.dir.file("dev")));
        };
    };
    const auto dialAsDipMember = [&](const std::string& pppdPath = "/usr/sbin/pppd",
                                     bool standInPpp = false) {
        return test::inChildAs(
            65534, dipGid,
            [&] {
                LinuxRasPaths paths = rig.rasPaths();
                paths.peersDir = kPppdPeers;
                paths.pppd = pppdPath;
                paths.dialHelper = helper;
                LinuxRemoteAccess ras(paths);
                DialRun run = dialToEnd(ras);
                const int code = run.status != 0 ? run.status : run.lastError();
                return std::to_string(code) + "|" + ras.errorText(code);
            },
            pppdsNamespace(standInPpp));
    };
    // Through the helper, pppd took every option as root's and went on to the kernel, which has
    // no PPP.
    const std::string dialled = dialAsDipMember();
    EXPECT_EQ(dialled.substr(0, dialled.find('|')), std::to_string(ERROR_RASMAN_CANNOT_INITIALIZE))
        << dialled;
    EXPECT_TRUE(rig.modem.waitForCloses(1));
    EXPECT_EQ(rig.modem.dials(), 1);

    // Only root may read the line options: a member who calls them with the setuid pppd, where
    // pppd would run their connect check as that member, is refused.
    const std::string calledDirectly = test::inChildAs(
        65534, dipGid,
        [&] {
            return runRealPppd(rig.modem.device(), {"call", ".tavu/isp", "nodetach", "logfd", "2"});
        },
        pppdsNamespace(false));
    EXPECT_EQ(calledDirectly.substr(0, calledDirectly.find('|')), "2") << calledDirectly;
    EXPECT_NE(calledDirectly.find("Permission denied"), std::string::npos) << calledDirectly;
    EXPECT_EQ(rig.modem.dials(), 1);

    // Line options older than the peer file: the helper, which alone can read them, refuses them
    // before the modem dials, naming what root does.
    const std::string peerPath = rig.paths.peersDir + "/isp";
    const std::string peerText = test::readFile(peerPath);
    test::writeFile(peerPath, peerText + "usepeerdns\n");
    const std::string stale = dialAsDipMember();
    EXPECT_EQ(stale.substr(0, stale.find('|')), std::to_string(ERROR_ACCESS_DENIED)) << stale;
    EXPECT_NE(stale.find("was changed"), std::string::npos) << stale;
    EXPECT_NE(stale.find("tavu prepare isp"), std::string::npos) << stale;
    EXPECT_EQ(rig.modem.dials(), 1);
    test::writeFile(peerPath, peerText);

    // Without line options the dial stops before the line is opened, saying what root does.
    std::filesystem::remove(rig.paths.peersDir + "/.tavu/isp");
    const std::string refused = dialAsDipMember();
    EXPECT_EQ(refused.substr(0, refused.find('|')), std::to_string(ERROR_ACCESS_DENIED)) << refused;
    EXPECT_NE(refused.find("tavu prepare isp"), std::string::npos) << refused;
    EXPECT_EQ(rig.modem.dials(), 1);

    // A pppd that is not setuid root gets the options on its command line from anyone (the
    // stand-in then fails, since it may not make an interface).
    const std::string plain = dialAsDipMember(rig.paths.pppd);
    EXPECT_NE(plain.substr(0, plain.find('|')), std::to_string(ERROR_ACCESS_DENIED)) << plain;
    EXPECT_EQ(rig.modem.dials(), 2);

    // The line options' root-only options stay on the entry's device. A member who calls them on
    // a terminal of their own gets pppd on the entry's device; one who names their terminal
    // after "call" gets pppd stopped by the connect check (status 8) before any link. So does
    // one who calls the peer file, whose chat would otherwise dial their terminal, which answers.
    // Should the line options be readable, as an older version left them, the connect check and
    // the pinned scripts still hold.
    ASSERT_EQ(writeLineOptions(rig.paths, "isp"), "");
    ASSERT_EQ(::chmod((rig.paths.peersDir + "/.tavu").c_str(), 0755), 0);
    ASSERT_EQ(::chmod((rig.paths.peersDir + "/.tavu/isp").c_str(), 0644), 0);
    test::ModemEmulator usersOwn({"CONNECT"});
    ASSERT_EQ(::chown(usersOwn.device().c_str(), 65534, dipGid), 0);
    const auto pppdAsDipMember = [&](const std::vector<std::string>& args) {
        return test::inChildAs(
            65534, dipGid, [&] { return runRealPppd(usersOwn.device(), args); },
            pppdsNamespace(true));
    };
    const std::string named =
        pppdAsDipMember({"call", ".tavu/isp", usersOwn.device(), "nodetach", "logfd", "2"});
    EXPECT_EQ(named.substr(0, named.find('|')), "8") << named;
    const std::string peerFile =
        pppdAsDipMember({"call", "isp", usersOwn.device(), "nodetach", "logfd", "2"});
    EXPECT_EQ(peerFile.substr(0, peerFile.find('|')), "8") << peerFile;
    EXPECT_EQ(usersOwn.dials(), 0);
    const std::string dry =
        pppdAsDipMember({"call", ".tavu/isp", "nodetach", "logfd", "2", "dryrun"});
    EXPECT_NE(dry.find("\n" + rig.modem.device() + "\t\t# (from /etc/ppp/peers/.tavu/isp)"),
              std::string::npos)
        << dry;
    // The scripts that pppd runs as root on the line are set by the line options: a member
    // cannot send the modem a number of their own.
    for (const char* script : {"init", "welcome", "disconnect"}) {
        const std::string chosen = pppdAsDipMember(
            {"call", ".tavu/isp", script, "printf ATDT5550666", "nodetach", "logfd", "2"});
        EXPECT_EQ(chosen.substr(0, chosen.find('|')), "2") << chosen;
        EXPECT_NE(chosen.find("cannot be overridden"), std::string::npos) << chosen;
    }
    EXPECT_EQ(rig.modem.dials(), 2);
    // The program's own dial passes the check and goes on to the line (status 1: no PPP line
    // discipline in this kernel).
    const std::string own = dialAsDipMember("/usr/sbin/pppd", true);
    EXPECT_NE(own.find("status 1"), std::string::npos) << own;
}

TEST(LinuxDial, ErrorTextWithADetailEndsInOneFullStop) {
    SKIP_WITHOUT_CHAT();
    DialRig rig({}, true);
    LinuxRemoteAccess ras(rig.rasPaths());
    test::writeFile(rig.paths.peersDir + "/nodev", "connect 'chat -f /x'\n");
    std::uint64_t handle = 0;
    ASSERT_EQ(ras.dial({"nodev", "", ""}, {}, handle), ERROR_CORRUPT_PHONEBOOK);
    const std::string text = ras.errorText(ERROR_CORRUPT_PHONEBOOK);
    EXPECT_TRUE(text.ends_with(").")) << text;
    EXPECT_EQ(text.find(".)"), std::string::npos) << text;
}

}  // namespace
}  // namespace tavu::platform
