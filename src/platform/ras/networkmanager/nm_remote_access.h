#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <QDBusConnection>
#include <QString>

#include "platform/ras/networkmanager/nm_states.h"
#include "platform/ras/ras_backends.h"

namespace tavu::platform {

// One active connection of NetworkManager as the program sees it.
struct NmLink {
    QString activePath;  // the active connection's object
    std::string id;      // the connection's name
    std::string uuid;
    std::string type;        // connection.type: gsm, pppoe, tun, 802-3-ethernet, ...
    std::string interface;   // the network interface the traffic goes through, empty when none
    int ifindex = 0;         // its index, 0 when the kernel has no such interface
    bool counts = false;     // a metered connection of the program's
    bool activated = false;  // up, not still activating or going down
    std::string modem;       // ModemManager's object path of the device's modem; empty when none
};

class NmSignals;
class NmSecretAgent;

// Remote access through NetworkManager on the system bus: its active connections that count
// (see nmConnectionCounts) are the connections, named by their connection name, with the
// network interface as the device; its connections of those kinds are the phone book. A dial
// activates the connection and follows the device's states; a hang-up deactivates it, so that
// NetworkManager sees a deactivation by the user.
class NetworkManagerRemoteAccess : public ManagedConnectionsBackend {
  public:
    // Handles: an active link is kLinkHandleBase plus its interface index (a link without an
    // interface the kernel knows: that base plus 2^32 plus its active connection's number); a
    // dial is this base plus a count.
    static constexpr std::uint64_t kDialHandleBase = 1ull << 56;

    explicit NetworkManagerRemoteAccess(QDBusConnection bus = QDBusConnection::systemBus());
    ~NetworkManagerRemoteAccess() override;

    // Whether NetworkManager is on the bus now.
    bool available() override;
    // The bus name of the running NetworkManager, which changes when it restarts; empty when
    // it is not running.
    std::string owner() override;
    // Every active connection, counted or not; false when NetworkManager cannot be asked.
    bool links(std::vector<NmLink>& out);
    bool managedLinks(std::vector<ManagedLink>& out) override;

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

    // Whether NAME is a connection of NetworkManager's phone book.
    bool hasEntry(const std::string& name) override;
    // True while a dial has not reached its end.
    bool dialling() const override;
    // Lets the bus deliver what it has (for a caller without an event loop); returns the dial
    // events delivered.
    int pump() override;
    // The program that edits a connection (with --edit UUID); tests point it elsewhere.
    void setEditorProgram(std::string path) { editor_ = std::move(path); }

    // The record of a link as listConnections gives it.
    static RasConnection describe(const NmLink& link);

  private:
    friend class NmSignals;
    friend class NmSecretAgent;
    struct Entry {
        QString path;
        std::string id;
        std::string uuid;
    };
    struct Dial {
        QString connectionPath;
        std::string password;  // given for this dial only
        QString activePath;
        QString devicePath;
        int lastState = -1;
        bool done = false;
        DialEventFn callback;
    };
    bool entries(std::vector<Entry>& out);
    int failWith(int code, std::string detail);
    int callError(const QString& errorName, const QString& message, int otherwise);
    void activeStateChanged(const QString& path, unsigned state, unsigned reason);
    void deviceStateChanged(const QString& path, unsigned state, unsigned reason);
    void deliver(std::uint64_t handle, int state, int error);
    void changed() { notifyChanged(); }
    // The password of the dial in progress of a connection; empty when there is none.
    std::string dialPassword(const QString& connectionPath) const;
    // Makes the secret agent known to NetworkManager.
    void offerSecrets();
    // NetworkManager's bus name changed (it restarted or went): every pending dial ends.
    void managerRestarted();
    // Wipes a password that is not needed any more.
    static void forget(std::string& password);

    QDBusConnection bus_;
    std::unique_ptr<NmSignals> signals_;
    std::unique_ptr<NmSecretAgent> agent_;
    std::map<std::uint64_t, Dial> dials_;
    std::map<int, std::string> details_;
    std::uint64_t nextDial_ = kDialHandleBase + 1;
    std::string editor_ = "nm-connection-editor";
    int delivered_ = 0;
};

}  // namespace tavu::platform
