#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/ras/networkmanager/nm_remote_access.h"
#include "platform/ras/pppd/linux_remote_access.h"

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
    CombinedRemoteAccess(std::unique_ptr<LinuxRemoteAccess> pppd,
                         std::unique_ptr<NetworkManagerRemoteAccess> nm, BackendFn backend);
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

    LinuxRemoteAccess& pppd() { return *pppd_; }
    NetworkManagerRemoteAccess& nm() { return *nm_; }

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

    std::unique_ptr<LinuxRemoteAccess> pppd_;
    std::unique_ptr<NetworkManagerRemoteAccess> nm_;
    BackendFn backend_;
    std::map<int, Remembered> remembered_;  // by interface index
    std::set<std::string> managed_;         // interfaces the interface rules leave alone
    std::map<int, RemoteAccess*> errorFrom_;
    std::function<void(const std::string&)> notice_;
};

// The service of the desktop: the peer files and interface rules of the settings, and
// NetworkManager on the system bus, as Dialup/Backend says at every use.
std::unique_ptr<CombinedRemoteAccess> makeDesktopRemoteAccess(const SettingsStore& settings,
                                                              InterfacePatterns patterns = {});

}  // namespace tavu::platform
