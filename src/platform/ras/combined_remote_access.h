#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/ras/ras_backends.h"

namespace tavu {
class SettingsStore;
}

namespace tavu::platform {

// Which service lists, dials and hangs up the connections (Dialup/Backend).
enum class RasBackend {
    Auto,            // NetworkManager's connections and pppd's peers, as far as each is there
    NetworkManager,  // NetworkManager's connections only
    Pppd,            // pppd's peers and the interface rules only
};
RasBackend rasBackend(const SettingsStore& settings);

// The remote-access service of a Linux desktop: NetworkManager's metered connections beside
// pppd's peer files. A link NetworkManager manages is NetworkManager's whatever its name: listed
// under its connection name when it counts, never listed nor taken down when it does not; the
// other links keep the interface rules. While NetworkManager is away, and after it restarted
// without taking the link over again, a link it had listed stays listed under the same name and
// handle as long as its interface is up.
class CombinedRemoteAccess : public RemoteAccess {
  public:
    using BackendFn = std::function<RasBackend()>;
    // The name of the interface with this index while it is up; nullopt when the kernel has no
    // such interface or it is down.
    using UpInterfaceFn = std::function<std::optional<std::string>(int index)>;
    CombinedRemoteAccess(std::unique_ptr<PeerFilesBackend> pppd,
                         std::unique_ptr<ManagedConnectionsBackend> nm, BackendFn backend,
                         UpInterfaceFn upInterface);
    ~CombinedRemoteAccess() override;

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
    std::string entrySource(const std::string& name) override;

    // Follows the dials of both services; returns the dial events delivered.
    int pump();
    bool dialling() const;
    // Where a message for the user goes when an entry of NetworkManager cannot be edited.
    void setNotice(std::function<void(const std::string&)> notice) { notice_ = std::move(notice); }
    // The interfaces of the links NetworkManager lists as counting, as last seen.
    std::string countedInterfaces() const;

    PeerFilesBackend& pppd() { return *pppd_; }
    ManagedConnectionsBackend& nm() { return *nm_; }

  private:
    struct Remembered {
        RasConnection connection;
        std::string interface;
        ConnectionOrigin origin;
        std::string owner;  // the NetworkManager that listed it
    };
    bool nmWanted() const;
    // Reads NetworkManager's links, refreshes what is remembered and what the interface rules
    // leave alone; false when NetworkManager is wanted, present and does not answer.
    bool refresh(std::vector<RasConnection>& nmListed);
    int remember(int code, RemoteAccess& from);

    std::unique_ptr<PeerFilesBackend> pppd_;
    std::unique_ptr<ManagedConnectionsBackend> nm_;
    BackendFn backend_;
    UpInterfaceFn upInterface_;
    std::map<int, Remembered> remembered_;  // by interface index
    std::set<std::string> managed_;         // interfaces the interface rules leave alone
    std::map<int, RemoteAccess*> errorFrom_;
    std::function<void(const std::string&)> notice_;
};

}  // namespace tavu::platform
