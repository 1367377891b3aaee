#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel/linux_netlink.h"
#include "platform/ras/pppd/linux_peers.h"
#include "platform/ras/ras_backends.h"

class QSocketNotifier;
class QTimer;

namespace tavu {
class SettingsStore;
}

namespace tavu::platform {

// Where the Linux remote-access side looks for pppd and its peers; tests point these at a tree
// of their own.
struct LinuxRasPaths {
    std::vector<std::string> runDirs = {"/run", "/var/run"};  // pppd's IFNAME.pid files
    std::string procDir = "/proc";
    std::string peersDir = "/etc/ppp/peers";
    // Where the chat scripts and the two programs are, unless the settings say otherwise.
    std::string chatDir = "/etc/chatscripts";
    std::string pppd = "/usr/sbin/pppd";
    std::string chat = "/usr/sbin/chat";
    // The setuid helper that a user other than root dials and hangs up through.
    std::string dialHelper = kDefaultDialHelper;
    // Where pppd takes a dial's options from. Auto: its command line when root dials or when
    // pppd is not setuid root; otherwise the entry's line options (see kLineOptionsFolder),
    // since a setuid pppd takes noauth, linkname and plugin only from root or its peers folder.
    enum class PppdOptions { Auto, CommandLine, LineOptions };
    PppdOptions pppdOptions = PppdOptions::Auto;
};

class ModemDial;

// The pppd that owns an interface, as far as it could be found.
struct PppdProcess {
    pid_t pid = 0;       // 0: none found
    std::string peer;    // its `linkname` (else `call`) argument, empty when absent or unusable
    std::string device;  // the serial device, empty when none is known
};

// A name that can stand for a file in the peers folder: no path separators, no "..", not hidden.
bool isValidPeerName(std::string_view name);

// The pid of a pid file's first line; 0 when the file holds no usable pid.
pid_t readPidFile(const std::string& path);

// The serial device named in a pppd options file (a path under /dev or a name pppd looks up
// there, not an option's argument); empty when there is none.
std::string deviceFromOptionsFile(const std::string& path);

// Finds the pppd of an interface through its pid file (IFNAME.pid, else the ppp-LINKNAME.pid
// whose second line names the interface) and its command line.
PppdProcess findPppd(const LinuxRasPaths& paths, const std::string& ifname);

// The start of a process in clock ticks after the boot (field 22 of PROC/PID/stat); -1 when it
// cannot be read.
long long processStartTicks(const std::string& procDir, pid_t pid);

// The moment of the boot in seconds since the epoch (btime of PROC/stat); 0 when unknown.
std::int64_t bootTime(const std::string& procDir);

// The origin of an interface owned by a pppd: the pppd's pid and start, and that start as the
// moment the connection came up at the latest. Empty when no pppd owns the interface.
ConnectionOrigin pppdOrigin(const LinuxRasPaths& paths, const std::string& ifname);

// What the program shows of one dial-up interface.
RasConnection describeConnection(const LinuxRasPaths& paths, const netlink::LinkInfo& link);

// Remote access on Linux: every dial-up interface (netlink::isDialupLink, with the patterns
// read afresh for every call) is a connection, identified by its interface index; the phone
// book is pppd's peers folder. A dial opens the entry's serial line, runs chat(8) on it and then
// pppd; its handle is not an interface index (it lies above every index) and stays valid after
// the dial has ended.
class LinuxRemoteAccess : public PeerFilesBackend {
  public:
    explicit LinuxRemoteAccess(LinuxRasPaths paths = {}, InterfacePatterns patterns = {});
    // The folders and programs are read from the settings (section Dialup) at every use.
    explicit LinuxRemoteAccess(const SettingsStore& settings, LinuxRasPaths paths = {},
                               InterfacePatterns patterns = {});
    ~LinuxRemoteAccess() override;

    bool listConnections(std::vector<RasConnection>& out) override;
    int connectionState(std::uint64_t handle) override;
    int hangUp(std::uint64_t handle) override;
    int dial(const DialRequest& request, DialEventFn onEvent, std::uint64_t& handle) override;
    std::string errorText(int code) override;
    ConnectionOrigin connectionOrigin(std::uint64_t handle) override;

    bool listEntries(std::vector<std::string>& out) override;
    int createEntry() override;
    int editEntry(const std::string& name) override;
    int deleteEntry(const std::string& name) override;

    // Follows the dials in progress and delivers their events; returns how many. Dials started
    // from inside an event wait for the next call.
    int pump() override;
    // True while a dial is in progress.
    bool dialling() const override { return !dials_.empty(); }
    // Non-zero: a timer of this period calls pump (needs a Qt event loop on this thread).
    void setAutoDrive(int periodMs);

    // The folders and programs as they stand now.
    DialupPaths dialupPaths() const;

    void setIgnoredInterfaces(InterfaceFilter ignored) override { ignored_ = std::move(ignored); }

    // Listens to the kernel's link events from now on (needs a Qt event loop on this thread):
    // each burst of them tells the change listener, so that a link that comes up or goes down
    // is seen at once. False when the kernel's events cannot be had; the poll still sees it.
    bool watchLinkEvents();

  private:
    LinuxRasPaths effectivePaths() const;
    bool isOurLink(const netlink::LinkInfo& link) const;
    int failWith(int code, std::string detail);
    void updateTimer();

    LinuxRasPaths paths_;
    InterfacePatterns patterns_;
    InterfaceFilter ignored_;
    const SettingsStore* settings_ = nullptr;
    std::map<std::uint64_t, std::unique_ptr<ModemDial>> dials_;
    std::map<std::uint64_t, DialEventFn> callbacks_;
    std::map<std::uint64_t, pid_t> ended_;  // dials that ended: their pppd, 0 when none
    std::set<std::uint64_t> hungUp_;
    std::map<int, std::string> details_;  // per error code, what the last failure added
    std::uint64_t nextDial_ = 1ull << 32;
    std::unique_ptr<QTimer> timer_;
    int eventFd_ = -1;
    std::unique_ptr<QSocketNotifier> events_;
    int autoDriveMs_ = 0;
};

}  // namespace tavu::platform
