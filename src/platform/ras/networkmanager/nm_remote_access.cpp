#include "platform/ras/networkmanager/nm_remote_access.h"

#include <net/if.h>

#include <algorithm>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusServiceWatcher>
#include <QProcess>
#include <QStandardPaths>
#include <QVariantMap>

#include "core/text.h"
#include "platform/ras/ras_codes.h"
#include "platform/ras/ras_errors.h"

// A connection's settings as NetworkManager passes them: a{sa{sv}}.
using NmSettingsMap = QMap<QString, QVariantMap>;
Q_DECLARE_METATYPE(NmSettingsMap)

namespace tavu::platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kSettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
const QString kManagerIface = QStringLiteral("org.freedesktop.NetworkManager");
const QString kSettingsIface = QStringLiteral("org.freedesktop.NetworkManager.Settings");
const QString kConnectionIface =
    QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString kActiveIface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kDeviceIface = QStringLiteral("org.freedesktop.NetworkManager.Device");
const QString kPropertiesIface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kAgentManagerPath = QStringLiteral("/org/freedesktop/NetworkManager/AgentManager");
const QString kAgentManagerIface = QStringLiteral("org.freedesktop.NetworkManager.AgentManager");
const QString kAgentPath = QStringLiteral("/org/freedesktop/NetworkManager/SecretAgent");
const char* const kPermission = "org.freedesktop.NetworkManager.network-control";

// Every call to the daemon gives up after this long.
constexpr int kCallTimeoutMs = 5000;

QDBusMessage call(const QDBusConnection& bus, const QString& path, const QString& iface,
                  const QString& method, const QList<QVariant>& args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(kService, path, iface, method);
    m.setArguments(args);
    return bus.call(m, QDBus::Block, kCallTimeoutMs);
}

bool ok(const QDBusMessage& reply) {
    return reply.type() == QDBusMessage::ReplyMessage;
}

QVariantMap properties(const QDBusConnection& bus, const QString& path, const QString& iface) {
    const QDBusMessage reply = call(bus, path, kPropertiesIface, "GetAll", {iface});
    if (!ok(reply) || reply.arguments().isEmpty()) {
        return {};
    }
    return qdbus_cast<QVariantMap>(reply.arguments().at(0));
}

QVariant property(const QDBusConnection& bus, const QString& path, const QString& iface,
                  const QString& name) {
    const QDBusMessage reply = call(bus, path, kPropertiesIface, "Get", {iface, name});
    if (!ok(reply) || reply.arguments().isEmpty()) {
        return {};
    }
    return reply.arguments().at(0).value<QDBusVariant>().variant();
}

QList<QDBusObjectPath> pathList(const QVariant& v) {
    if (v.canConvert<QDBusArgument>()) {
        QList<QDBusObjectPath> out;
        v.value<QDBusArgument>() >> out;
        return out;
    }
    return v.value<QList<QDBusObjectPath>>();
}

QString objectPath(const QVariant& v) {
    return v.value<QDBusObjectPath>().path();
}

// A text the daemon gave, as the program may show and store it.
std::string plainText(const QVariant& v) {
    std::string s = v.toString().toStdString();
    return hasNoControlChars(s) ? s : std::string();
}

// The settings of a connection: a{sa{sv}}.
std::map<QString, QVariantMap> connectionSettings(const QDBusConnection& bus, const QString& path) {
    std::map<QString, QVariantMap> out;
    const QDBusMessage reply = call(bus, path, kConnectionIface, "GetSettings");
    if (!ok(reply) || reply.arguments().isEmpty() ||
        !reply.arguments().at(0).canConvert<QDBusArgument>()) {
        return out;
    }
    const QDBusArgument arg = reply.arguments().at(0).value<QDBusArgument>();
    arg.beginMap();
    while (!arg.atEnd()) {
        QString key;
        QVariantMap inner;
        arg.beginMapEntry();
        arg >> key >> inner;
        arg.endMapEntry();
        out[key] = inner;
    }
    arg.endMap();
    return out;
}

}  // namespace

// Receives the daemon's signals on the user-interface thread.
class NmSignals : public QObject {
    Q_OBJECT
  public:
    explicit NmSignals(NetworkManagerRemoteAccess& owner) : owner_(owner) {}

  public slots:
    void activeState(const QDBusMessage& m) {
        const QList<QVariant> a = m.arguments();
        if (a.size() >= 2) {
            owner_.activeStateChanged(m.path(), a[0].toUInt(), a[1].toUInt());
        }
    }
    void deviceState(const QDBusMessage& m) {
        const QList<QVariant> a = m.arguments();
        if (a.size() >= 3) {
            owner_.deviceStateChanged(m.path(), a[0].toUInt(), a[2].toUInt());
        }
    }
    void ownerChanged() {
        owner_.managerRestarted();
        owner_.changed();
    }

  private:
    NetworkManagerRemoteAccess& owner_;
};

// Answers NetworkManager's questions for the secrets of a connection being dialled with the
// password of that dial, and of no other; never stores or deletes anything. Only the running
// NetworkManager (its unique bus name now) is answered: any other caller that the bus policy
// lets through, root's programs included, gets an error.
class NmSecretAgent : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.NetworkManager.SecretAgent")
  public:
    explicit NmSecretAgent(NetworkManagerRemoteAccess& owner) : owner_(owner) {}

  public slots:
    NmSettingsMap GetSecrets(const NmSettingsMap& /*connection*/, const QDBusObjectPath& path,
                             const QString& setting, const QStringList& /*hints*/, uint /*flags*/) {
        if (!calledFromDBus() || message().service().isEmpty() ||
            message().service().toStdString() != owner_.owner()) {
            sendErrorReply(
                QStringLiteral("org.freedesktop.NetworkManager.SecretAgent.NotAuthorized"),
                QStringLiteral("Only NetworkManager is answered"));
            return {};
        }
        const std::string password = owner_.dialPassword(path.path());
        if (password.empty() || (setting != "gsm" && setting != "cdma" && setting != "pppoe")) {
            sendErrorReply(QStringLiteral("org.freedesktop.NetworkManager.SecretAgent.NoSecrets"),
                           QStringLiteral("TAVU has no secrets for this connection"));
            return {};
        }
        NmSettingsMap out;
        out[setting]["password"] = QString::fromStdString(password);
        return out;
    }
    void CancelGetSecrets(const QDBusObjectPath& /*path*/, const QString& /*setting*/) {}
    void SaveSecrets(const NmSettingsMap& /*connection*/, const QDBusObjectPath& /*path*/) {}
    void DeleteSecrets(const NmSettingsMap& /*connection*/, const QDBusObjectPath& /*path*/) {}

  private:
    NetworkManagerRemoteAccess& owner_;
};

NetworkManagerRemoteAccess::NetworkManagerRemoteAccess(QDBusConnection bus)
    : bus_(std::move(bus)), signals_(std::make_unique<NmSignals>(*this)) {
    if (!bus_.isConnected()) {
        return;
    }
    // Any path: every active connection and every device, whenever they appear.
    bus_.connect(kService, QString(), kActiveIface, "StateChanged", signals_.get(),
                 SLOT(activeState(QDBusMessage)));
    bus_.connect(kService, QString(), kDeviceIface, "StateChanged", signals_.get(),
                 SLOT(deviceState(QDBusMessage)));
    auto* watcher = new QDBusServiceWatcher(
        kService, bus_, QDBusServiceWatcher::WatchForOwnerChange, signals_.get());
    QObject::connect(watcher, &QDBusServiceWatcher::serviceOwnerChanged, signals_.get(),
                     &NmSignals::ownerChanged);
}

NetworkManagerRemoteAccess::~NetworkManagerRemoteAccess() = default;

bool NetworkManagerRemoteAccess::available() {
    return bus_.isConnected() && bus_.interface()->isServiceRegistered(kService).value();
}

std::string NetworkManagerRemoteAccess::owner() {
    return bus_.isConnected() ? bus_.interface()->serviceOwner(kService).value().toStdString()
                              : std::string();
}

bool NetworkManagerRemoteAccess::links(std::vector<NmLink>& out) {
    out.clear();
    if (!bus_.isConnected()) {
        return false;
    }
    const QDBusMessage reply = call(bus_, kPath, kPropertiesIface, "Get",
                                    {kManagerIface, QStringLiteral("ActiveConnections")});
    if (!ok(reply) || reply.arguments().isEmpty()) {
        return false;
    }
    const QList<QDBusObjectPath> active =
        pathList(reply.arguments().at(0).value<QDBusVariant>().variant());
    for (const QDBusObjectPath& p : active) {
        const QVariantMap ac = properties(bus_, p.path(), kActiveIface);
        if (ac.isEmpty()) {
            continue;  // gone since the list was read
        }
        NmLink link;
        link.activePath = p.path();
        link.id = plainText(ac.value("Id"));
        link.uuid = plainText(ac.value("Uuid"));
        link.type = plainText(ac.value("Type"));
        link.activated = ac.value("State").toUInt() == kNmActiveActivated;
        const bool vpn = ac.value("Vpn").toBool();
        unsigned deviceMetered = 0;
        const QList<QDBusObjectPath> devices = pathList(ac.value("Devices"));
        if (!devices.isEmpty()) {
            const QVariantMap dev = properties(bus_, devices.first().path(), kDeviceIface);
            deviceMetered = dev.value("Metered").toUInt();
            std::string ip = plainText(dev.value("IpInterface"));
            link.interface = ip.empty() ? plainText(dev.value("Interface")) : ip;
            // A modem's device names ModemManager's modem object as its Udi.
            const std::string udi = plainText(dev.value("Udi"));
            if (udi.rfind("/org/freedesktop/ModemManager1/Modem/", 0) == 0)
                link.modem = udi;
        }
        int connectionMetered = 0;
        const QString settingsPath = objectPath(ac.value("Connection"));
        if (!settingsPath.isEmpty()) {
            const auto settings = connectionSettings(bus_, settingsPath);
            if (const auto it = settings.find("connection"); it != settings.end()) {
                connectionMetered = it->second.value("metered").toInt();
            }
        }
        link.counts = nmConnectionCounts(link.type, connectionMetered, deviceMetered, vpn);
        if (!link.interface.empty()) {
            link.ifindex = static_cast<int>(::if_nametoindex(link.interface.c_str()));
        }
        out.push_back(std::move(link));
    }
    return true;
}

bool NetworkManagerRemoteAccess::managedLinks(std::vector<ManagedLink>& out) {
    out.clear();
    std::vector<NmLink> all;
    if (!links(all)) {
        return false;
    }
    for (const NmLink& l : all) {
        out.push_back(ManagedLink{describe(l), l.uuid, l.interface, l.ifindex, l.counts,
                                  l.activated, l.modem});
    }
    return true;
}

RasConnection NetworkManagerRemoteAccess::describe(const NmLink& link) {
    RasConnection c;
    if (link.ifindex > 0) {
        c.handle = kLinkHandleBase + static_cast<std::uint64_t>(link.ifindex);
    } else {
        // No interface the kernel knows (yet): the active connection's number marks it.
        const QString number = link.activePath.section('/', -1);
        c.handle = kLinkHandleBase + (1ull << 32) + number.toUInt();
    }
    c.entryName = link.id.empty() ? link.interface : link.id;
    c.deviceName = link.interface;
    c.deviceType = link.type;
    return c;
}

bool NetworkManagerRemoteAccess::listConnections(std::vector<RasConnection>& out) {
    out.clear();
    std::vector<NmLink> all;
    if (!links(all)) {
        return false;
    }
    for (const NmLink& l : all) {
        if (l.counts && l.activated && out.size() < kMaxConnections) {
            out.push_back(describe(l));
        }
    }
    std::sort(out.begin(), out.end(),
              [](const RasConnection& a, const RasConnection& b) { return a.handle < b.handle; });
    return true;
}

int NetworkManagerRemoteAccess::connectionState(std::uint64_t handle) {
    if (const auto it = dials_.find(handle); it != dials_.end()) {
        const QVariant state = property(bus_, it->second.activePath, kActiveIface, "State");
        if (state.isValid() && state.toUInt() == kNmActiveActivated) {
            return RASCS_Connected;
        }
        return it->second.done || !state.isValid() ? RASCS_Disconnected
                                                   : std::max(it->second.lastState, 0);
    }
    std::vector<RasConnection> listed;
    if (listConnections(listed)) {
        for (const RasConnection& c : listed) {
            if (c.handle == handle) {
                return RASCS_Connected;
            }
        }
    }
    return RASCS_Disconnected;
}

int NetworkManagerRemoteAccess::callError(const QString& errorName, const QString& message,
                                          int otherwise) {
    if (errorName.endsWith(".PermissionDenied") || errorName.endsWith(".AccessDenied")) {
        return failWith(ERROR_ACCESS_DENIED,
                        std::string("NetworkManager refused: this user lacks the polkit "
                                    "permission ") +
                            kPermission + " (ask the administrator to grant it)");
    }
    std::string text = message.toStdString();
    if (!hasNoControlChars(text) || text.size() > 300) {
        text = errorName.toStdString();
    }
    return failWith(otherwise, "NetworkManager: " + text);
}

int NetworkManagerRemoteAccess::hangUp(std::uint64_t handle) {
    QString activePath;
    if (const auto it = dials_.find(handle); it != dials_.end()) {
        it->second.done = true;  // a hang-up silences the rest of the dial
        forget(it->second.password);
        activePath = it->second.activePath;
    } else if (handle > kLinkHandleBase && handle < kDialHandleBase) {
        std::vector<NmLink> all;
        if (!links(all)) {
            return ERROR_INVALID_HANDLE;
        }
        for (const NmLink& l : all) {
            if (l.counts && describe(l).handle == handle) {
                activePath = l.activePath;
            }
        }
        if (activePath.isEmpty()) {
            return ERROR_INVALID_HANDLE;  // never a link that does not count
        }
    } else {
        return ERROR_INVALID_HANDLE;
    }
    const QDBusMessage reply = call(bus_, kPath, kManagerIface, "DeactivateConnection",
                                    {QVariant::fromValue(QDBusObjectPath(activePath))});
    if (ok(reply)) {
        return kRasOk;
    }
    // Already down: nothing is left to hang up.
    if (reply.errorName().endsWith(".ConnectionNotActive") ||
        reply.errorName().endsWith(".UnknownObject") ||
        reply.errorName().endsWith(".UnknownMethod")) {
        return kRasOk;
    }
    return callError(reply.errorName(), reply.errorMessage(), ERROR_INVALID_HANDLE);
}

bool NetworkManagerRemoteAccess::entries(std::vector<Entry>& out) {
    out.clear();
    if (!bus_.isConnected()) {
        return false;
    }
    const QDBusMessage reply = call(bus_, kSettingsPath, kSettingsIface, "ListConnections");
    if (!ok(reply) || reply.arguments().isEmpty()) {
        return false;
    }
    for (const QDBusObjectPath& p : pathList(reply.arguments().at(0))) {
        const auto settings = connectionSettings(bus_, p.path());
        const auto it = settings.find("connection");
        if (it == settings.end()) {
            continue;
        }
        const std::string type = plainText(it->second.value("type"));
        if (!nmConnectionCounts(type, it->second.value("metered").toInt(), 0, false)) {
            continue;
        }
        Entry e{p.path(), plainText(it->second.value("id")), plainText(it->second.value("uuid"))};
        if (!e.id.empty()) {
            out.push_back(std::move(e));
        }
    }
    std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) { return a.id < b.id; });
    return true;
}

bool NetworkManagerRemoteAccess::listEntries(std::vector<std::string>& out) {
    out.clear();
    std::vector<Entry> all;
    if (!entries(all)) {
        details_[ERROR_CANNOT_OPEN_PHONEBOOK] = "NetworkManager does not answer";
        return false;
    }
    for (const Entry& e : all) {
        out.push_back(e.id);
    }
    return true;
}

bool NetworkManagerRemoteAccess::hasEntry(const std::string& name) {
    std::vector<std::string> names;
    return listEntries(names) && std::find(names.begin(), names.end(), name) != names.end();
}

int NetworkManagerRemoteAccess::failWith(int code, std::string detail) {
    details_[code] = std::move(detail);
    return code;
}

int NetworkManagerRemoteAccess::dial(const DialRequest& request, DialEventFn onEvent,
                                     std::uint64_t& handle) {
    std::vector<Entry> all;
    if (!entries(all)) {
        return failWith(ERROR_PORT_NOT_AVAILABLE, "NetworkManager does not answer");
    }
    const auto it =
        std::find_if(all.begin(), all.end(), [&](const Entry& e) { return e.id == request.entry; });
    if (it == all.end()) {
        return failWith(ERROR_CANNOT_FIND_PHONEBOOK_ENTRY, std::string());
    }
    if (!request.password.empty()) {
        offerSecrets();
    }
    // Ended dials are kept a while (a redial hangs up the attempt before it), not for ever.
    constexpr std::size_t kEndedKept = 8;
    std::size_t ended = static_cast<std::size_t>(
        std::count_if(dials_.begin(), dials_.end(), [](const auto& e) { return e.second.done; }));
    for (auto i = dials_.begin(); i != dials_.end() && ended > kEndedKept;) {
        if (i->second.done) {
            i = dials_.erase(i);
            --ended;
        } else {
            ++i;
        }
    }
    Dial d;
    d.connectionPath = it->path;
    d.password = request.password;
    handle = nextDial_++;
    dials_[handle] = d;
    const QDBusMessage reply = call(
        bus_, kPath, kManagerIface, "ActivateConnection",
        {QVariant::fromValue(QDBusObjectPath(it->path)), QVariant::fromValue(QDBusObjectPath("/")),
         QVariant::fromValue(QDBusObjectPath("/"))});
    if (!ok(reply) || reply.arguments().isEmpty()) {
        dials_.erase(handle);
        return callError(reply.errorName(), reply.errorMessage(), ERROR_PORT_NOT_AVAILABLE);
    }
    Dial& dial = dials_[handle];
    dial.activePath = objectPath(reply.arguments().at(0));
    dial.callback = std::move(onEvent);
    const QList<QDBusObjectPath> devices =
        pathList(property(bus_, dial.activePath, kActiveIface, "Devices"));
    if (!devices.isEmpty()) {
        dial.devicePath = devices.first().path();
    }
    // What was reached before the signals were asked for.
    const QVariant state = property(bus_, dials_[handle].activePath, kActiveIface, "State");
    if (state.isValid() && state.toUInt() == kNmActiveActivated) {
        activeStateChanged(dials_[handle].activePath, kNmActiveActivated, 0);
    } else if (!dials_[handle].devicePath.isEmpty()) {
        const QVariant dev = property(bus_, dials_[handle].devicePath, kDeviceIface, "State");
        if (const int s = nmDialState(dev.toUInt()); s >= 0 && s != RASCS_Connected) {
            dials_[handle].lastState = s;
        }
    }
    return kRasOk;
}

void NetworkManagerRemoteAccess::deliver(std::uint64_t handle, int state, int error) {
    auto it = dials_.find(handle);
    if (it == dials_.end() || it->second.done) {
        return;
    }
    if (error != 0 || state == RASCS_Connected || state == RASCS_Disconnected) {
        it->second.done = true;
        forget(it->second.password);  // the dial is over: its password is asked no more
    }
    if (error == 0) {
        it->second.lastState = state;
    }
    ++delivered_;
    // A copy: the callback may dial again or hang up, which changes the table.
    const DialEventFn callback = it->second.callback;
    if (callback) {
        callback(state, error);
    }
}

void NetworkManagerRemoteAccess::activeStateChanged(const QString& path, unsigned state,
                                                    unsigned reason) {
    std::vector<std::uint64_t> handles;
    for (const auto& [h, d] : dials_) {
        if (d.activePath == path && !d.done) {
            handles.push_back(h);
        }
    }
    for (const std::uint64_t h : handles) {
        if (state == kNmActiveActivated) {
            deliver(h, RASCS_Connected, 0);
        } else if (state == kNmActiveDeactivated) {
            // The device's failure, when there was one, came first; this is any other end.
            const NmFailure end = nmActivationEnd(reason);
            const int code = failWith(end.code, end.detail);
            const int last = dials_[h].lastState;
            deliver(h, last >= 0 ? last : RASCS_OpenPort, code);
        }
    }
    notifyChanged();
}

void NetworkManagerRemoteAccess::deviceStateChanged(const QString& path, unsigned state,
                                                    unsigned reason) {
    std::vector<std::uint64_t> handles;
    for (auto& [h, d] : dials_) {
        if (d.done) {
            continue;
        }
        if (d.devicePath.isEmpty()) {
            // The device was not known at the start: it is ours when its activation is.
            if (objectPath(property(bus_, path, kDeviceIface, "ActiveConnection")) ==
                d.activePath) {
                d.devicePath = path;
            }
        }
        if (d.devicePath == path) {
            handles.push_back(h);
        }
    }
    for (const std::uint64_t h : handles) {
        if (state == kNmDeviceFailed) {
            const NmFailure failure = nmDeviceFailure(reason);
            const int code = failWith(failure.code, failure.detail);
            const int last = dials_[h].lastState;
            deliver(h, last >= 0 ? last : RASCS_OpenPort, code);
        } else if (const int s = nmDialState(state); s >= 0 && s != dials_[h].lastState) {
            deliver(h, s, 0);
        }
    }
    notifyChanged();
}

void NetworkManagerRemoteAccess::forget(std::string& password) {
    std::fill(password.begin(), password.end(), '\0');
    password.clear();
    password.shrink_to_fit();
}

void NetworkManagerRemoteAccess::managerRestarted() {
    // A new NetworkManager knows nothing of the dials the old one had under way: they end, and
    // their passwords go with them.
    std::vector<std::uint64_t> pending;
    for (const auto& [h, d] : dials_) {
        if (!d.done) {
            pending.push_back(h);
        }
    }
    for (const std::uint64_t h : pending) {
        const int code = failWith(ERROR_REMOTE_DISCONNECTION, "NetworkManager restarted");
        const int last = dials_[h].lastState;
        deliver(h, last >= 0 ? last : RASCS_OpenPort, code);
    }
}

std::string NetworkManagerRemoteAccess::dialPassword(const QString& connectionPath) const {
    for (const auto& [h, d] : dials_) {
        if (!d.done && d.connectionPath == connectionPath) {
            return d.password;
        }
    }
    return {};
}

void NetworkManagerRemoteAccess::offerSecrets() {
    if (!agent_) {
        qDBusRegisterMetaType<NmSettingsMap>();
        agent_ = std::make_unique<NmSecretAgent>(*this);
        bus_.registerObject(kAgentPath, agent_.get(), QDBusConnection::ExportAllSlots);
    }
    // Again at every dial: NetworkManager forgets the agent when it restarts.
    call(bus_, kAgentManagerPath, kAgentManagerIface, "Register", {QStringLiteral("tavu.dialer")});
}

bool NetworkManagerRemoteAccess::dialling() const {
    return std::any_of(dials_.begin(), dials_.end(), [](const auto& d) { return !d.second.done; });
}

int NetworkManagerRemoteAccess::pump() {
    delivered_ = 0;
    QCoreApplication::processEvents();
    return delivered_;
}

std::string NetworkManagerRemoteAccess::errorText(int code) {
    const auto it = details_.find(code);
    if (it == details_.end()) {
        return rasErrorText(code, RasBackend::NetworkManager);
    }
    // The permission's detail says all there is to say.
    return rasTextWithDetail(rasErrorText(code, RasBackend::NetworkManager), it->second,
                             code == ERROR_ACCESS_DENIED);
}

ConnectionOrigin NetworkManagerRemoteAccess::connectionOrigin(std::uint64_t handle) {
    std::vector<NmLink> all;
    if (!links(all)) {
        return {};
    }
    for (const NmLink& l : all) {
        if (l.counts && describe(l).handle == handle) {
            return ConnectionOrigin{"nm " + l.uuid + " " + std::to_string(l.ifindex), 0};
        }
    }
    return {};
}

int NetworkManagerRemoteAccess::createEntry() {
    return editEntry(std::string());
}

int NetworkManagerRemoteAccess::editEntry(const std::string& name) {
    const QString program = QStandardPaths::findExecutable(QString::fromStdString(editor_));
    if (program.isEmpty()) {
        return failWith(ERROR_NOT_SUPPORTED,
                        "NetworkManager's connection editor (nm-connection-editor) is not "
                        "installed: edit the connection in the desktop's network settings or "
                        "with nmcli");
    }
    QStringList args;
    if (!name.empty()) {
        std::vector<Entry> all;
        entries(all);
        const auto it =
            std::find_if(all.begin(), all.end(), [&](const Entry& e) { return e.id == name; });
        if (it == all.end()) {
            return failWith(ERROR_CANNOT_FIND_PHONEBOOK_ENTRY, std::string());
        }
        args << "--edit" << QString::fromStdString(it->uuid);
    } else {
        args << "--create";
    }
    // Started directly, never through a command interpreter.
    return QProcess::startDetached(program, args)
               ? kRasOk
               : failWith(ERROR_NOT_SUPPORTED, "the connection editor did not start");
}

int NetworkManagerRemoteAccess::deleteEntry(const std::string& /*name*/) {
    // The connections belong to NetworkManager: its own tools delete them.
    return failWith(ERROR_NOT_SUPPORTED,
                    "a connection of NetworkManager is deleted in NetworkManager's own tools");
}

}  // namespace tavu::platform

#include "nm_remote_access.moc"
