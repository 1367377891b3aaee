#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ras/remote_access.h"

namespace tavu::platform {

// The dial-up service of pppd's peer files and the interface rules, as the service that joins
// it with NetworkManager uses it.
class PeerFilesBackend : public RemoteAccess {
  public:
    // Interfaces that another service owns (a link NetworkManager manages): never listed, never
    // taken down here, whatever their name.
    using InterfaceFilter = std::function<bool(const std::string& ifname)>;
    virtual void setIgnoredInterfaces(InterfaceFilter ignored) = 0;
    // Follows the dials in progress and delivers their events; returns how many.
    virtual int pump() = 0;
    // True while a dial is in progress.
    virtual bool dialling() const = 0;
};

// One active connection of NetworkManager's, counted or not.
struct ManagedLink {
    RasConnection connection;  // as listConnections gives it
    std::string uuid;
    std::string interface;   // the network interface the traffic goes through, empty when none
    int ifindex = 0;         // its index, 0 when the kernel has no such interface
    bool counts = false;     // a metered connection of the program's
    bool activated = false;  // up, not still activating or going down
    std::string modem;       // ModemManager's object path of the link's modem; empty when none
};

// The dial-up service of NetworkManager's connections, as the service that joins it with the
// peer files uses it.
class ManagedConnectionsBackend : public RemoteAccess {
  public:
    // Handles: an active link is this base plus its interface index, which stays the same while
    // the link is up even when NetworkManager restarts; every handle of this service lies at or
    // above the base, every handle of the peer files below it.
    static constexpr std::uint64_t kLinkHandleBase = 1ull << 48;
    static bool isOwnHandle(std::uint64_t handle) { return handle >= kLinkHandleBase; }

    // Whether NetworkManager is on the bus now.
    virtual bool available() = 0;
    // The bus name of the running NetworkManager, which changes when it restarts; empty when
    // it is not running.
    virtual std::string owner() = 0;
    // Every active connection, counted or not; false when NetworkManager cannot be asked.
    virtual bool managedLinks(std::vector<ManagedLink>& out) = 0;
    // Whether NAME is a connection of NetworkManager's phone book.
    virtual bool hasEntry(const std::string& name) = 0;
    // Lets the bus deliver what it has; returns the dial events delivered.
    virtual int pump() = 0;
    // True while a dial has not reached its end.
    virtual bool dialling() const = 0;
};

}  // namespace tavu::platform
