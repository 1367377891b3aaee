#include "platform/modem/modemmanager/mm_modem_service.h"

#include <algorithm>
#include <utility>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDateTime>
#include <QObject>
#include <QRegularExpression>
#include <QTimer>
#include <QVariantMap>

#include "core/text.h"

namespace tavu::platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.ModemManager1");
const QString kRootPath = QStringLiteral("/org/freedesktop/ModemManager1");
const QString kModemPathPrefix = QStringLiteral("/org/freedesktop/ModemManager1/Modem/");
const QString kObjectManagerIface = QStringLiteral("org.freedesktop.DBus.ObjectManager");
const QString kPropertiesIface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kModemIface = QStringLiteral("org.freedesktop.ModemManager1.Modem");
const QString k3gppIface = QStringLiteral("org.freedesktop.ModemManager1.Modem.Modem3gpp");
const QString kUssdIface = QStringLiteral("org.freedesktop.ModemManager1.Modem.Modem3gpp.Ussd");
const QString kMessagingIface = QStringLiteral("org.freedesktop.ModemManager1.Modem.Messaging");
const QString kSmsIface = QStringLiteral("org.freedesktop.ModemManager1.Sms");

// The USSD session's states.
constexpr unsigned kUssdActive = 2;
constexpr unsigned kUssdUserResponse = 3;
// A message's state once all of its parts are in.
constexpr unsigned kSmsReceiving = 2;
constexpr unsigned kSmsReceived = 3;
// More messages than a SIM holds are not read.
constexpr int kMaxMessages = 255;
// How long the reads of the messages may take.
constexpr int kMessagesTimeoutMs = 10000;

QDBusMessage methodCall(const QString& path, const QString& iface, const QString& method,
                        const QList<QVariant>& args = {}) {
    QDBusMessage m = QDBusMessage::createMethodCall(kService, path, iface, method);
    m.setArguments(args);
    return m;
}

bool isReply(const QDBusMessage& reply, const char* signature) {
    return reply.type() == QDBusMessage::ReplyMessage && reply.signature() == signature;
}

bool asUInt(const QVariant& v, unsigned& out) {
    if (v.metaType().id() != QMetaType::UInt)
        return false;
    out = v.toUInt();
    return true;
}

std::string asText(const QVariant& v) {
    return v.metaType().id() == QMetaType::QString ? cleanModemText(v.toString().toStdString())
                                                   : std::string();
}

// (ub): the signal in percent and whether it is recent; -1 for anything else.
int signalPercent(const QVariant& v) {
    if (!v.canConvert<QDBusArgument>())
        return -1;
    const QDBusArgument arg = v.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("(ub)"))
        return -1;
    unsigned percent = 0;
    bool recent = false;
    arg.beginStructure();
    arg >> percent >> recent;
    arg.endStructure();
    return percent <= 100 ? static_cast<int>(percent) : -1;
}

// a(su): the names of the modem's ports.
std::vector<std::string> portNames(const QVariant& v) {
    std::vector<std::string> out;
    if (!v.canConvert<QDBusArgument>())
        return out;
    const QDBusArgument arg = v.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("a(su)"))
        return out;
    arg.beginArray();
    while (!arg.atEnd() && out.size() < 64) {
        QString name;
        unsigned type = 0;
        arg.beginStructure();
        arg >> name >> type;
        arg.endStructure();
        out.push_back(cleanModemText(name.toStdString(), 256));
    }
    arg.endArray();
    return out;
}

// The number a modem's object path ends with; -1 when it does not end in one.
int pathIndex(const QString& path) {
    if (!path.startsWith(kModemPathPrefix))
        return -1;
    bool ok = false;
    const int n = path.mid(kModemPathPrefix.size()).toInt(&ok);
    return ok && n >= 0 ? n : -1;
}

// The number an object path ends with (the daemon numbers messages as they come); 0 for none.
std::int64_t trailingNumber(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? 0 : leadingInt(std::string_view(path).substr(slash + 1));
}

// a{oa{sa{sv}}}: every object's interfaces and their properties.
using Objects = std::map<QString, QMap<QString, QVariantMap>>;

bool managedObjects(const QDBusMessage& reply, Objects& out) {
    if (!isReply(reply, "a{oa{sa{sv}}}") || reply.arguments().isEmpty())
        return false;
    const QDBusArgument arg = reply.arguments().at(0).value<QDBusArgument>();
    arg.beginMap();
    while (!arg.atEnd()) {
        QDBusObjectPath path;
        QMap<QString, QVariantMap> interfaces;
        arg.beginMapEntry();
        arg >> path >> interfaces;
        arg.endMapEntry();
        out[path.path()] = interfaces;
    }
    arg.endMap();
    return true;
}

// Where a modem's status properties are applied; true when one of them changed the status.
bool applyModemProperties(ModemStatus& status, const QVariantMap& props) {
    const ModemStatus before = status;
    unsigned bits = 0;
    if (props.contains("AccessTechnologies") && asUInt(props.value("AccessTechnologies"), bits))
        status.accessTechnology = accessTechnologyName(bits);
    if (props.contains("SignalQuality"))
        status.signalPercent = signalPercent(props.value("SignalQuality"));
    return status.accessTechnology != before.accessTechnology ||
           status.signalPercent != before.signalPercent;
}

bool applyRegistration(ModemStatus& status, const QVariantMap& props) {
    unsigned state = 0;
    if (!props.contains("RegistrationState") || !asUInt(props.value("RegistrationState"), state))
        return false;
    const int before = status.registration;
    status.registration = state <= 100 ? static_cast<int>(state) : kRegistrationUnknown;
    status.roaming = isRoamingRegistration(status.registration);
    return status.registration != before;
}

// A message as the daemon's properties describe it. The text, else the data: as text when it
// is printable, else in hexadecimal.
ModemMessage messageOf(const QString& path, const QVariantMap& props) {
    ModemMessage m;
    m.id = path.toStdString();
    m.sender = cleanModemText(asText(props.value("Number")), 256);
    m.text = asText(props.value("Text"));
    if (m.text.empty() && props.value("Data").metaType().id() == QMetaType::QByteArray) {
        const QByteArray data = props.value("Data").toByteArray().left(kModemTextMax / 3);
        const std::string raw = data.toStdString();
        m.text =
            cleanModemText(raw) == raw ? raw : "Data: " + data.toHex(' ').toUpper().toStdString();
    }
    if (props.value("Timestamp").metaType().id() == QMetaType::QString)
        m.timestamp = ModemManagerService::parseTimestamp(props.value("Timestamp").toString());
    return m;
}

std::string errorText(const QDBusMessage& reply) {
    const std::string text = cleanModemText(reply.errorMessage().toStdString(), 512);
    return text.empty() ? cleanModemText(reply.errorName().toStdString(), 256) : text;
}

bool isNoReply(const QDBusMessage& reply) {
    return reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
           reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.Timeout");
}

bool isGone(const QDBusMessage& reply) {
    static const char* const kGone[] = {
        "org.freedesktop.DBus.Error.ServiceUnknown", "org.freedesktop.DBus.Error.UnknownObject",
        "org.freedesktop.DBus.Error.UnknownInterface", "org.freedesktop.DBus.Error.UnknownMethod",
        "org.freedesktop.DBus.Error.NameHasNoOwner"};
    return std::any_of(std::begin(kGone), std::end(kGone),
                       [&](const char* name) { return reply.errorName() == QLatin1String(name); });
}

// The daemon's signals the service follows. From any sender as far as the bus's rules go (Qt
// follows the owner of a name given here on a thread of its own); the slots take only the
// daemon's own.
struct Hook {
    QString service, path, iface, name;
    QStringList args;
    const char* slot;
};

const std::vector<Hook>& hooks() {
    static const std::vector<Hook> list = {
        {{}, {}, kPropertiesIface, "PropertiesChanged", {}, SLOT(propertiesChanged(QDBusMessage))},
        {{}, {}, kMessagingIface, "Added", {}, SLOT(messageAdded(QDBusMessage))},
        {{},
         kRootPath,
         kObjectManagerIface,
         "InterfacesAdded",
         {},
         SLOT(objectsChanged(QDBusMessage))},
        {{},
         kRootPath,
         kObjectManagerIface,
         "InterfacesRemoved",
         {},
         SLOT(objectsChanged(QDBusMessage))},
        {"org.freedesktop.DBus",
         "/org/freedesktop/DBus",
         "org.freedesktop.DBus",
         "NameOwnerChanged",
         {kService},
         SLOT(nameOwnerChanged(QDBusMessage))},
    };
    return list;
}

}  // namespace

// Receives the daemon's signals and the replies to asynchronous calls, on the user-interface
// thread. The replies' watchers are its children: they go with the service, and a reply that
// comes after that calls nothing.
class MmSignals : public QObject {
    Q_OBJECT
  public:
    explicit MmSignals(ModemManagerService& owner) : owner_(owner) {}

    // Calls fn with the reply, or with an error reply when none came within timeoutMs.
    void call(const QDBusMessage& message, int timeoutMs,
              std::function<void(const QDBusMessage&)> fn) {
        auto* watcher =
            new QDBusPendingCallWatcher(owner_.bus_.asyncCall(message, timeoutMs), this);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, this,
                         [fn = std::move(fn)](QDBusPendingCallWatcher* w) {
                             w->deleteLater();
                             fn(w->reply());
                         });
    }

  public slots:
    void propertiesChanged(const QDBusMessage& m) {
        if (fromDaemon(m))
            owner_.propertiesChanged(m);
    }
    void messageAdded(const QDBusMessage& m) {
        if (fromDaemon(m))
            owner_.messageAdded(m);
    }
    void objectsChanged(const QDBusMessage& m) {
        if (!fromDaemon(m))
            return;
        owner_.known_ = false;
        // A modem that went is told as gone.
        if (m.member() != QLatin1String("InterfacesRemoved") || m.arguments().isEmpty())
            return;
        const std::string path = m.arguments().at(0).value<QDBusObjectPath>().path().toStdString();
        if (owner_.modems_.erase(path) > 0)
            owner_.notifyStatusChanged(path, ModemStatus{});
    }
    void nameOwnerChanged(const QDBusMessage& m) {
        if (m.signature() != QLatin1String("sss") || m.arguments().at(0).toString() != kService)
            return;
        owner_.owner_ = m.arguments().at(2).toString();
        owner_.ownerChanged();
    }

  private:
    bool fromDaemon(const QDBusMessage& m) const {
        return !owner_.owner_.isEmpty() && m.service() == owner_.owner_;
    }

    ModemManagerService& owner_;
};

ModemManagerService::ModemManagerService(QDBusConnection bus)
    : bus_(std::move(bus)), signals_(std::make_unique<MmSignals>(*this)) {
    if (!bus_.isConnected())
        return;
    // Any path: every modem and message, whenever they appear; and the daemon starting, ending
    // or starting again.
    for (const Hook& h : hooks())
        bus_.connect(h.service, h.path, h.iface, h.name, h.args, QString(), signals_.get(), h.slot);
    owner_ = bus_.interface()->serviceOwner(kService).value();
}

ModemManagerService::~ModemManagerService() {
    // Nothing is dispatched to a service that is gone, even while the program ends.
    if (!bus_.isConnected())
        return;
    for (const Hook& h : hooks()) {
        bus_.disconnect(h.service, h.path, h.iface, h.name, h.args, QString(), signals_.get(),
                        h.slot);
    }
}

bool ModemManagerService::available() {
    return bus_.isConnected() && bus_.interface()->isServiceRegistered(kService).value();
}

bool ModemManagerService::refresh() {
    if (!bus_.isConnected())
        return false;
    const QDBusMessage reply =
        bus_.call(methodCall(kRootPath, kObjectManagerIface, "GetManagedObjects"), QDBus::Block,
                  kCallTimeoutMs);
    Objects objects;
    if (!managedObjects(reply, objects))
        return false;
    std::map<std::string, Modem> found;
    for (const auto& [path, interfaces] : objects) {
        const int index = pathIndex(path);
        if (index < 0 || !interfaces.contains(kModemIface))
            continue;
        const QVariantMap props = interfaces.value(kModemIface);
        Modem m;
        m.info.id = path.toStdString();
        m.info.index = index;
        m.info.model = cleanModemText(asText(props.value("Model")), 256);
        m.info.ports = portNames(props.value("Ports"));
        m.status.present = true;
        applyModemProperties(m.status, props);
        applyRegistration(m.status, interfaces.value(k3gppIface));
        m.ussd = interfaces.contains(kUssdIface);
        m.messaging = interfaces.contains(kMessagingIface);
        found[m.info.id] = std::move(m);
    }
    modems_ = std::move(found);
    known_ = true;
    return true;
}

const ModemManagerService::Modem* ModemManagerService::find(const std::string& id) {
    auto it = modems_.find(id);
    if (it == modems_.end() || !known_) {
        refresh();
        it = modems_.find(id);
    }
    return it == modems_.end() ? nullptr : &it->second;
}

std::vector<ModemInfo> ModemManagerService::modems() {
    std::vector<ModemInfo> out;
    if (!refresh())
        return out;
    for (const auto& [id, m] : modems_)
        out.push_back(m.info);
    std::sort(out.begin(), out.end(),
              [](const ModemInfo& a, const ModemInfo& b) { return a.index < b.index; });
    return out;
}

ModemStatus ModemManagerService::status(const std::string& modem) {
    const Modem* m = find(modem);
    return m == nullptr ? ModemStatus{} : m->status;
}

void ModemManagerService::later(std::function<void()> fn) {
    QTimer::singleShot(0, signals_.get(), std::move(fn));
}

void ModemManagerService::initiateUssd(const std::string& modem, const std::string& code,
                                       int deadlineMs, UssdFn done) {
    const Modem* m = find(modem);
    if (m == nullptr || !m->ussd) {
        later([done = std::move(done)] { done({UssdResult::NoModem, {}}); });
        return;
    }
    const QString path = QString::fromStdString(modem);
    // A session left open (by another program, or one that never got its answer) is closed
    // first: the daemon takes no new request while one is open.
    const QDBusMessage state =
        bus_.call(methodCall(path, kPropertiesIface, "Get", {kUssdIface, QStringLiteral("State")}),
                  QDBus::Block, kCallTimeoutMs);
    if (isReply(state, "v")) {
        unsigned s = 0;
        if (asUInt(state.arguments().at(0).value<QDBusVariant>().variant(), s) &&
            (s == kUssdActive || s == kUssdUserResponse)) {
            bus_.call(methodCall(path, kUssdIface, "Cancel"), QDBus::Block, kCallTimeoutMs);
        }
    }
    signals_->call(
        methodCall(path, kUssdIface, "Initiate", {QString::fromStdString(code)}),
        std::max(deadlineMs, 1), [this, path, done = std::move(done)](const QDBusMessage& reply) {
            if (reply.type() == QDBusMessage::ErrorMessage) {
                if (isNoReply(reply) && !available()) {
                    done({UssdResult::Failed, "ModemManager ended before the operator answered."});
                } else if (isNoReply(reply)) {
                    // Nobody waits for that answer any more.
                    bus_.asyncCall(methodCall(path, kUssdIface, "Cancel"), kCallTimeoutMs);
                    done({UssdResult::TimedOut, {}});
                } else if (isGone(reply)) {
                    done({UssdResult::NoModem, {}});
                } else {
                    done({UssdResult::Failed, errorText(reply)});
                }
                return;
            }
            if (!isReply(reply, "s")) {
                done({UssdResult::Failed, "The modem's answer could not be read."});
                return;
            }
            UssdResult result{UssdResult::Reply,
                              cleanModemText(reply.arguments().at(0).toString().toStdString())};
            // The network asks for more: that session is not ours to go on with.
            const QDBusMessage state = bus_.call(
                methodCall(path, kPropertiesIface, "Get", {kUssdIface, QStringLiteral("State")}),
                QDBus::Block, kCallTimeoutMs);
            unsigned s = 0;
            if (isReply(state, "v") &&
                asUInt(state.arguments().at(0).value<QDBusVariant>().variant(), s) &&
                s == kUssdUserResponse) {
                result.kind = UssdResult::NeedsResponse;
                bus_.asyncCall(methodCall(path, kUssdIface, "Cancel"), kCallTimeoutMs);
            }
            done(result);
        });
}

void ModemManagerService::listMessages(const std::string& modem, MessagesFn done) {
    const Modem* m = find(modem);
    if (m == nullptr || !m->messaging) {
        later([done = std::move(done)] { done(false, {}, "No modem that keeps text messages."); });
        return;
    }
    signals_->call(
        methodCall(QString::fromStdString(modem), kMessagingIface, "List"), kMessagesTimeoutMs,
        [this, done = std::move(done)](const QDBusMessage& reply) {
            if (!isReply(reply, "ao")) {
                done(false, {},
                     reply.type() == QDBusMessage::ErrorMessage
                         ? errorText(reply)
                         : std::string("The modem's list of messages could not be read."));
                return;
            }
            QList<QDBusObjectPath> paths;
            reply.arguments().at(0).value<QDBusArgument>() >> paths;
            if (paths.size() > kMaxMessages)
                paths.erase(paths.begin() + kMaxMessages, paths.end());
            struct Gather {
                std::vector<ModemMessage> messages;
                qsizetype left = 0;
                MessagesFn done;
            };
            auto gather = std::make_shared<Gather>();
            gather->left = paths.size();
            gather->done = done;
            if (paths.isEmpty()) {
                done(true, {}, {});
                return;
            }
            for (const QDBusObjectPath& p : paths) {
                const QString path = p.path();
                signals_->call(
                    methodCall(path, kPropertiesIface, "GetAll", {kSmsIface}), kMessagesTimeoutMs,
                    [gather, path](const QDBusMessage& props) {
                        if (isReply(props, "a{sv}")) {
                            const QVariantMap map =
                                qdbus_cast<QVariantMap>(props.arguments().at(0));
                            unsigned state = 0;
                            if (asUInt(map.value("State"), state) && state == kSmsReceived)
                                gather->messages.push_back(messageOf(path, map));
                        }
                        if (--gather->left > 0)
                            return;
                        std::stable_sort(gather->messages.begin(), gather->messages.end(),
                                         [](const ModemMessage& a, const ModemMessage& b) {
                                             return std::pair(a.timestamp, trailingNumber(a.id)) <
                                                    std::pair(b.timestamp, trailingNumber(b.id));
                                         });
                        gather->done(true, gather->messages, {});
                    });
            }
        });
}

void ModemManagerService::deleteMessage(const std::string& modem, const std::string& id,
                                        DoneFn done) {
    const Modem* m = find(modem);
    if (m == nullptr || !m->messaging) {
        later([done = std::move(done)] { done(false, "No modem that keeps text messages."); });
        return;
    }
    signals_->call(methodCall(QString::fromStdString(modem), kMessagingIface, "Delete",
                              {QVariant::fromValue(QDBusObjectPath(QString::fromStdString(id)))}),
                   kMessagesTimeoutMs, [done = std::move(done)](const QDBusMessage& reply) {
                       if (reply.type() == QDBusMessage::ReplyMessage)
                           done(true, {});
                       else
                           done(false, errorText(reply));
                   });
}

void ModemManagerService::propertiesChanged(const QDBusMessage& message) {
    if (message.signature() != QLatin1String("sa{sv}as"))
        return;
    const QString iface = message.arguments().at(0).toString();
    const QVariantMap props = qdbus_cast<QVariantMap>(message.arguments().at(1));
    if (iface == kSmsIface) {
        unsigned state = 0;
        const auto awaited = awaited_.find(message.path().toStdString());
        if (awaited != awaited_.end() && asUInt(props.value("State"), state) &&
            state == kSmsReceived) {
            reportWhenReceived(QString::fromStdString(awaited->second), message.path());
        }
        return;
    }
    if (iface != kModemIface && iface != k3gppIface)
        return;
    const auto it = modems_.find(message.path().toStdString());
    if (it == modems_.end())
        return;
    ModemStatus& status = it->second.status;
    const bool changed = iface == kModemIface ? applyModemProperties(status, props)
                                              : applyRegistration(status, props);
    if (changed)
        notifyStatusChanged(it->first, status);
}

void ModemManagerService::messageAdded(const QDBusMessage& message) {
    if (message.signature() != QLatin1String("ob"))
        return;
    if (!message.arguments().at(1).toBool())
        return;  // one the user stored, not one that arrived
    reportWhenReceived(message.path(), message.arguments().at(0).value<QDBusObjectPath>().path());
}

void ModemManagerService::reportWhenReceived(const QString& modem, const QString& sms) {
    const std::string id = sms.toStdString();
    if (reported_.count(id) > 0)
        return;
    signals_->call(methodCall(sms, kPropertiesIface, "GetAll", {kSmsIface}), kMessagesTimeoutMs,
                   [this, sms, id, holder = modem.toStdString()](const QDBusMessage& reply) {
                       if (!isReply(reply, "a{sv}") || reported_.count(id) > 0)
                           return;
                       const QVariantMap map = qdbus_cast<QVariantMap>(reply.arguments().at(0));
                       unsigned state = 0;
                       if (!asUInt(map.value("State"), state))
                           return;
                       if (state == kSmsReceiving) {
                           awaited_[id] = holder;
                           return;
                       }
                       if (state != kSmsReceived)
                           return;
                       awaited_.erase(id);
                       reported_.insert(id);
                       notifyMessageAdded(holder, messageOf(sms, map));
                   });
}

void ModemManagerService::ownerChanged() {
    known_ = false;
    const auto gone = std::move(modems_);
    modems_.clear();
    awaited_.clear();
    for (const auto& [path, m] : gone) {
        (void)m;
        notifyStatusChanged(path, ModemStatus{});
    }
}

std::int64_t ModemManagerService::parseTimestamp(const QString& text) {
    QString t = text.trimmed();
    // "+02" and "+0200" as well as "+02:00".
    static const QRegularExpression kShortZone(QStringLiteral("([+-])(\\d\\d)(\\d\\d)?$"));
    const QRegularExpressionMatch zone = kShortZone.match(t);
    if (zone.hasMatch() && t.size() > 19) {
        const QString minutes =
            zone.captured(3).isEmpty() ? QStringLiteral("00") : zone.captured(3);
        t = t.left(zone.capturedStart(0)) + zone.captured(1) + zone.captured(2) + ':' + minutes;
    }
    const QDateTime when = QDateTime::fromString(t, Qt::ISODate);
    return when.isValid() ? when.toSecsSinceEpoch() : 0;
}

}  // namespace tavu::platform

#include "mm_modem_service.moc"
