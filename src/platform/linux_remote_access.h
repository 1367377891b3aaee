#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/linux_netlink.h"
#include "platform/remote_access.h"

namespace tavu::platform {

// Where the Linux remote-access side looks for pppd and its peers; tests point these at a tree
// of their own.
struct LinuxRasPaths {
    std::vector<std::string> runDirs = {"/run", "/var/run"};  // pppd's IFNAME.pid files
    std::string procDir = "/proc";
    std::string peersDir = "/etc/ppp/peers";
};

// The pppd that owns an interface, as far as it could be found.
struct PppdProcess {
    pid_t pid = 0;       // 0: none found
    std::string peer;    // the `call NAME` argument, empty when absent or unusable
    std::string device;  // the serial device, empty when none is known
};

// A name that can stand for a file in the peers folder: no path separators, no "..", not hidden.
bool isValidPeerName(std::string_view name);

// The pid of a pid file's first line; 0 when the file holds no usable pid.
pid_t readPidFile(const std::string& path);

// The serial device named in a pppd options file (a /dev/tty... word or a bare tty name);
// empty when there is none.
std::string deviceFromOptionsFile(const std::string& path);

// Finds the pppd of an interface through its pid file and its command line.
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
// book is pppd's peers folder.
class LinuxRemoteAccess : public RemoteAccess {
  public:
    explicit LinuxRemoteAccess(LinuxRasPaths paths = {}, InterfacePatterns patterns = {});

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

  private:
    LinuxRasPaths paths_;
    InterfacePatterns patterns_;
};

}  // namespace tavu::platform
