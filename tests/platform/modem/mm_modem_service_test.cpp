#include "platform/modem/modemmanager/mm_modem_service.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include "support/real_modem_daemon.h"

// One port of a modem, as the daemon lists them: (su).
struct PortEntry {
    QString name;
    uint type = 0;
};
Q_DECLARE_METATYPE(PortEntry)
QDBusArgument& operator<<(QDBusArgument& a, const PortEntry& p) {
    a.beginStructure();
    a << p.name << p.type;
    a.endStructure();
    return a;
}
const QDBusArgument& operator>>(const QDBusArgument& a, PortEntry& p) {
    a.beginStructure();
    a >> p.name >> p.type;
    a.endStructure();
    return a;
}
using Interfaces = QMap<QString, QVariantMap>;
using Objects = QMap<QDBusObjectPath, Interfaces>;
Q_DECLARE_METATYPE(Interfaces)
Q_DECLARE_METATYPE(Objects)

namespace tavu::platform {
namespace {

const QString kService = "org.freedesktop.ModemManager1";
const QString kModem0 = "/org/freedesktop/ModemManager1/Modem/0";
const QString kModemIface = "org.freedesktop.ModemManager1.Modem";
const QString k3gppIface = "org.freedesktop.ModemManager1.Modem.Modem3gpp";
const QString kUssdIface = "org.freedesktop.ModemManager1.Modem.Modem3gpp.Ussd";
const QString kMessagingIface = "org.freedesktop.ModemManager1.Modem.Messaging";
const QString kSmsIface = "org.freedesktop.ModemManager1.Sms";

// Runs the event loop until ready() or the time is up.
bool waitUntil(const std::function<bool()>& ready, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!ready() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return ready();
}

// A private bus of the test's own.
class PrivateBus {
  public:
    PrivateBus() {
        QProcess p;
        p.start("dbus-daemon", {"--session", "--fork", "--print-address=1", "--print-pid=1"});
        if (!p.waitForFinished(10000) || p.exitCode() != 0)
            return;
        const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n');
        if (lines.size() < 2)
            return;
        address = lines[0].trimmed();
        pid = lines[1].trimmed().toLongLong();
    }
    ~PrivateBus() {
        if (pid > 0)
            ::kill(static_cast<pid_t>(pid), SIGTERM);
    }
    QString address;
    qint64 pid = 0;
};

QVariant structOf(uint u, bool b) {
    QDBusArgument a;
    a.beginStructure();
    a << u << b;
    a.endStructure();
    return QVariant::fromValue(a);
}

// ModemManager as the tests script it, answering on a thread of its own (the service's
// synchronous calls block the test's thread). handle() answers a call; returning false leaves
// it unanswered.
class ScriptedDaemon : public QDBusVirtualObject {
  public:
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
        {
            std::lock_guard<std::mutex> lock(mutex);
            calls.push_back(m.interface() + "." + m.member());
        }
        std::optional<QDBusMessage> reply = answer(m);
        if (reply)
            c.send(*reply);
        return true;
    }

    std::function<std::optional<QDBusMessage>(const QDBusMessage&)> answer;
    std::mutex mutex;
    std::vector<QString> calls;
    int count(const QString& call) {
        std::lock_guard<std::mutex> lock(mutex);
        return static_cast<int>(std::count(calls.begin(), calls.end(), call));
    }
};

// One modem 0 with the USSD and messaging interfaces, registered at home, on LTE at 70 %.
Objects oneModem() {
    QVariantMap modem;
    modem["Model"] = "Test modem";
    modem["AccessTechnologies"] = 1u << 14;
    modem["SignalQuality"] = structOf(70, true);
    modem["Ports"] = QVariant::fromValue(QList<PortEntry>{{"ttyUSB2", 3}, {"wwan0", 2}});
    Interfaces ifaces;
    ifaces[kModemIface] = modem;
    ifaces[k3gppIface] = QVariantMap{{"RegistrationState", 1u}};
    ifaces[kUssdIface] = QVariantMap{{"State", 1u}};
    ifaces[kMessagingIface] = QVariantMap{};
    Objects objects;
    objects[QDBusObjectPath(kModem0)] = ifaces;
    return objects;
}

class ScriptedDaemonTest : public testing::Test {
  protected:
    void SetUp() override {
        qDBusRegisterMetaType<PortEntry>();
        qDBusRegisterMetaType<QList<PortEntry>>();
        qDBusRegisterMetaType<Interfaces>();
        qDBusRegisterMetaType<Objects>();
        if (bus_.address.isEmpty())
            GTEST_SKIP() << "dbus-daemon cannot be started";
        daemonBus_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(bus_.address, "daemon"));
        ASSERT_TRUE(daemonBus_->isConnected());
        daemon_.answer = [this](const QDBusMessage& m) { return answer(m); };
        ASSERT_TRUE(daemonBus_->registerVirtualObject("/org/freedesktop/ModemManager1", &daemon_,
                                                      QDBusConnection::SubPath));
        thread_.start();
        daemon_.moveToThread(&thread_);
        ASSERT_TRUE(daemonBus_->registerService(kService));
        programBus_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(bus_.address, "program"));
        service_ = std::make_unique<ModemManagerService>(*programBus_);
    }
    void TearDown() override {
        service_.reset();
        if (daemonBus_) {
            daemonBus_->unregisterObject("/org/freedesktop/ModemManager1",
                                         QDBusConnection::UnregisterTree);
            QDBusConnection::disconnectFromBus("daemon");
            QDBusConnection::disconnectFromBus("program");
        }
        thread_.quit();
        thread_.wait();
    }

    // The default script: oneModem(), replies to USSD from ussdReply, messages from sms.
    std::optional<QDBusMessage> answer(const QDBusMessage& m) {
        const QString call = m.interface() + "." + m.member();
        if (call == "org.freedesktop.DBus.ObjectManager.GetManagedObjects")
            return objectsReply ? objectsReply(m) : m.createReply(QVariant::fromValue(objects));
        if (call == kUssdIface + ".Initiate") {
            if (!ussdReply)
                return std::nullopt;  // never answers
            return ussdReply(m);
        }
        if (call == kUssdIface + ".Cancel") {
            ussdState = 1;
            return m.createReply();
        }
        if (call == "org.freedesktop.DBus.Properties.Get" && m.arguments().value(0) == kUssdIface)
            return m.createReply(QVariant::fromValue(QDBusVariant(uint(ussdState))));
        if (call == kMessagingIface + ".List") {
            QList<QDBusObjectPath> paths;
            for (const auto& [path, props] : sms)
                paths << QDBusObjectPath(path);
            return m.createReply(QVariant::fromValue(paths));
        }
        if (call == "org.freedesktop.DBus.Properties.GetAll" &&
            m.arguments().value(0) == kSmsIface) {
            for (const auto& [path, props] : sms) {
                if (path == m.path())
                    return m.createReply(props);
            }
            return m.createErrorReply("org.freedesktop.DBus.Error.UnknownObject", "gone");
        }
        return m.createErrorReply("org.freedesktop.DBus.Error.UnknownMethod", call);
    }

    UssdResult ussd(const std::string& modem = kModem0.toStdString(), int deadlineMs = 3000) {
        std::optional<UssdResult> result;
        service_->initiateUssd(modem, "*100#", deadlineMs,
                               [&](const UssdResult& r) { result = r; });
        EXPECT_FALSE(result) << "answered from within the call";
        EXPECT_TRUE(waitUntil([&] { return result.has_value(); }, deadlineMs + 3000));
        return result.value_or(UssdResult{UssdResult::Failed, "no callback"});
    }

    void emitSignal(QDBusConnection& from, const QString& path, const QString& iface,
                    const QString& name, const QVariantList& args) {
        QDBusMessage s = QDBusMessage::createSignal(path, iface, name);
        s.setArguments(args);
        from.send(s);
    }

    PrivateBus bus_;
    std::unique_ptr<QDBusConnection> daemonBus_;
    std::unique_ptr<QDBusConnection> programBus_;
    QThread thread_;
    ScriptedDaemon daemon_;
    std::unique_ptr<ModemManagerService> service_;

    // The script; read on the daemon's thread while the test waits.
    Objects objects = oneModem();
    std::function<std::optional<QDBusMessage>(const QDBusMessage&)> objectsReply;
    std::function<std::optional<QDBusMessage>(const QDBusMessage&)> ussdReply =
        [](const QDBusMessage& m) { return m.createReply(QString("1.5 GB left")); };
    std::atomic<unsigned> ussdState{1};
    std::vector<std::pair<QString, QVariantMap>> sms;
};

TEST_F(ScriptedDaemonTest, ModemsStatusAndChoiceComeFromTheObjects) {
    const auto modems = service_->modems();
    ASSERT_EQ(modems.size(), 1u);
    EXPECT_EQ(modems[0].index, 0);
    EXPECT_EQ(modems[0].model, "Test modem");
    EXPECT_EQ(modems[0].ports, (std::vector<std::string>{"ttyUSB2", "wwan0"}));
    EXPECT_EQ(service_->chooseModem("/dev/ttyUSB2", -1), kModem0.toStdString());
    const ModemStatus s = service_->status(kModem0.toStdString());
    EXPECT_TRUE(s.present);
    EXPECT_EQ(s.registration, kRegistrationHome);
    EXPECT_FALSE(s.roaming);
    EXPECT_EQ(s.accessTechnology, "LTE");
    EXPECT_EQ(s.signalPercent, 70);
    EXPECT_FALSE(service_->status("/org/freedesktop/ModemManager1/Modem/9").present);
}

TEST_F(ScriptedDaemonTest, PropertiesOfTheWrongTypeAreUnknownNotGuessed) {
    Interfaces& ifaces = objects[QDBusObjectPath(kModem0)];
    ifaces[kModemIface]["AccessTechnologies"] = QString("LTE");
    ifaces[kModemIface]["SignalQuality"] = structOf(250, true);  // beyond 100 %
    ifaces[kModemIface]["Ports"] = QStringList{"ttyUSB2"};
    ifaces[kModemIface]["Model"] = 42u;
    ifaces[k3gppIface]["RegistrationState"] = QString("roaming");
    const auto modems = service_->modems();
    ASSERT_EQ(modems.size(), 1u);
    EXPECT_TRUE(modems[0].ports.empty());
    EXPECT_EQ(modems[0].model, "");
    const ModemStatus s = service_->status(kModem0.toStdString());
    EXPECT_TRUE(s.present);
    EXPECT_EQ(s.registration, kRegistrationUnknown);
    EXPECT_EQ(s.accessTechnology, "");
    EXPECT_EQ(s.signalPercent, -1);
}

TEST_F(ScriptedDaemonTest, AListOfObjectsOfTheWrongShapeIsNoModem) {
    objectsReply = [](const QDBusMessage& m) { return m.createReply(QString("no objects")); };
    EXPECT_TRUE(service_->available());
    EXPECT_TRUE(service_->modems().empty());
    EXPECT_EQ(ussd().kind, UssdResult::NoModem);
}

TEST_F(ScriptedDaemonTest, UssdRepliesAreCleanedAndBounded) {
    std::string hostile = "A\x1b[2J\x07";
    hostile += std::string(64 * 1024, 'x');
    ussdReply = [hostile](const QDBusMessage& m) {
        return m.createReply(QString::fromStdString(hostile));
    };
    const UssdResult r = ussd();
    EXPECT_EQ(r.kind, UssdResult::Reply);
    EXPECT_EQ(r.text.substr(0, 6), "A?[2J?");
    EXPECT_EQ(r.text.size(), kModemTextMax);
    EXPECT_EQ(daemon_.count(kUssdIface + ".Initiate"), 1);
}

TEST_F(ScriptedDaemonTest, AReplyOfTheWrongTypeOrAnErrorFails) {
    ussdReply = [](const QDBusMessage& m) { return m.createReply(QVariant(42u)); };
    UssdResult r = ussd();
    EXPECT_EQ(r.kind, UssdResult::Failed);
    EXPECT_EQ(r.text, "The modem's answer could not be read.");
    ussdReply = [](const QDBusMessage& m) {
        return m.createErrorReply("org.freedesktop.ModemManager1.Error.Core.WrongState",
                                  "Busy\x1b[31m");
    };
    r = ussd();
    EXPECT_EQ(r.kind, UssdResult::Failed);
    EXPECT_EQ(r.text, "Busy?[31m");
}

TEST_F(ScriptedDaemonTest, NoAnswerEndsAtTheDeadlineAndTheSessionIsCancelled) {
    ussdReply = nullptr;
    QElapsedTimer t;
    t.start();
    const UssdResult r = ussd(kModem0.toStdString(), 300);
    EXPECT_EQ(r.kind, UssdResult::TimedOut);
    EXPECT_LT(t.elapsed(), 3000);
    EXPECT_TRUE(waitUntil([&] { return daemon_.count(kUssdIface + ".Cancel") == 1; }));
}

TEST_F(ScriptedDaemonTest, ARequestForMoreIsCancelledAndShownAsItIs) {
    ussdReply = [this](const QDBusMessage& m) {
        ussdState = 3;  // user-response
        return m.createReply(QString("1 more data, 2 more minutes"));
    };
    const UssdResult r = ussd();
    EXPECT_EQ(r.kind, UssdResult::NeedsResponse);
    EXPECT_EQ(r.text, "1 more data, 2 more minutes");
    EXPECT_TRUE(waitUntil([&] { return daemon_.count(kUssdIface + ".Cancel") == 1; }));
    // A session another program left open is closed before a new request.
    ussdState = 2;
    ussdReply = [](const QDBusMessage& m) { return m.createReply(QString("ok")); };
    EXPECT_EQ(ussd().kind, UssdResult::Reply);
    EXPECT_EQ(daemon_.count(kUssdIface + ".Cancel"), 2);
}

TEST_F(ScriptedDaemonTest, AModemWithoutUssdOrAnUnknownOneIsNoModem) {
    objects[QDBusObjectPath(kModem0)].remove(kUssdIface);
    EXPECT_EQ(ussd().kind, UssdResult::NoModem);
    EXPECT_EQ(ussd("/org/freedesktop/ModemManager1/Modem/5").kind, UssdResult::NoModem);
    EXPECT_EQ(daemon_.count(kUssdIface + ".Initiate"), 0);
}

TEST_F(ScriptedDaemonTest, MessagesAreReadWithTheirDataAndOddOnesLeftOut) {
    sms.push_back({"/org/freedesktop/ModemManager1/SMS/2",
                   {{"State", 3u},
                    {"Number", "+358401112223"},
                    {"Text", "80 % used\x1b"},
                    {"Timestamp", "2026-12-07T12:40:00+02"}}});
    sms.push_back({"/org/freedesktop/ModemManager1/SMS/1",
                   {{"State", 3u},
                    {"Number", 7u},  // not a text
                    {"Text", ""},
                    {"Data", QByteArray("\x00\xff", 2)},
                    {"Timestamp", "garbage"}}});
    // Still arriving, and one that was sent: not listed.
    sms.push_back({"/org/freedesktop/ModemManager1/SMS/3", {{"State", 2u}, {"Text", "half"}}});
    sms.push_back({"/org/freedesktop/ModemManager1/SMS/4", {{"State", 5u}, {"Text", "sent"}}});
    std::optional<std::vector<ModemMessage>> list;
    service_->listMessages(kModem0.toStdString(),
                           [&](bool ok, const std::vector<ModemMessage>& m, const std::string&) {
                               EXPECT_TRUE(ok);
                               list = m;
                           });
    ASSERT_TRUE(waitUntil([&] { return list.has_value(); }));
    ASSERT_EQ(list->size(), 2u);
    // No time stamp sorts first.
    EXPECT_EQ((*list)[0].sender, "");
    EXPECT_EQ((*list)[0].text, "Data: 00 FF");
    EXPECT_EQ((*list)[0].timestamp, 0);
    EXPECT_EQ((*list)[1].text, "80 % used?");
    EXPECT_EQ((*list)[1].timestamp, 1796640000);  // 10:40 UTC
}

TEST_F(ScriptedDaemonTest, OnlyTheDaemonsOwnSignalsAreHeardAndAMessageIsToldOnce) {
    std::vector<ModemStatus> statuses;
    std::vector<ModemMessage> added;
    ModemService::Listener listener;
    listener.statusChanged = [&](const std::string&, const ModemStatus& s) {
        statuses.push_back(s);
    };
    listener.messageAdded = [&](const std::string& modem, const ModemMessage& m) {
        EXPECT_EQ(modem, kModem0.toStdString());
        added.push_back(m);
    };
    service_->setListener(listener);
    ASSERT_TRUE(service_->status(kModem0.toStdString()).present);
    // Another program on the bus pretends to be the daemon.
    QDBusConnection impostor = QDBusConnection::connectToBus(bus_.address, "impostor");
    emitSignal(impostor, kModem0, "org.freedesktop.DBus.Properties", "PropertiesChanged",
               {k3gppIface, QVariantMap{{"RegistrationState", 5u}}, QStringList{}});
    // The daemon itself.
    emitSignal(*daemonBus_, kModem0, "org.freedesktop.DBus.Properties", "PropertiesChanged",
               {k3gppIface, QVariantMap{{"RegistrationState", 5u}}, QStringList{}});
    ASSERT_TRUE(waitUntil([&] { return !statuses.empty(); }));
    EXPECT_TRUE(statuses.back().roaming);
    EXPECT_EQ(service_->status(kModem0.toStdString()).registration, kRegistrationRoaming);
    // The same again is no change; a signal of the wrong shape is nothing.
    emitSignal(*daemonBus_, kModem0, "org.freedesktop.DBus.Properties", "PropertiesChanged",
               {k3gppIface, QVariantMap{{"RegistrationState", 5u}}, QStringList{}});
    emitSignal(*daemonBus_, kModem0, "org.freedesktop.DBus.Properties", "PropertiesChanged",
               {k3gppIface, QString("junk")});
    emitSignal(*daemonBus_, kModem0, "org.freedesktop.DBus.Properties", "PropertiesChanged",
               {kModemIface, QVariantMap{{"SignalQuality", structOf(40, true)}}, QStringList{}});
    ASSERT_TRUE(waitUntil([&] { return statuses.size() >= 2; }));
    EXPECT_EQ(statuses.back().signalPercent, 40);

    // A message that arrives in parts is told once it is whole, and only once.
    const QString path = "/org/freedesktop/ModemManager1/SMS/7";
    sms.push_back({path, {{"State", 2u}, {"Number", "Operator"}, {"Text", "Hel"}}});
    const QVariantList addedArgs{QVariant::fromValue(QDBusObjectPath(path)), true};
    emitSignal(impostor, kModem0, kMessagingIface, "Added", addedArgs);
    emitSignal(*daemonBus_, kModem0, kMessagingIface, "Added", addedArgs);
    ASSERT_TRUE(
        waitUntil([&] { return daemon_.count("org.freedesktop.DBus.Properties.GetAll") == 1; }));
    waitUntil([] { return false; }, 200);
    EXPECT_TRUE(added.empty());
    sms.back().second = {{"State", 3u}, {"Number", "Operator"}, {"Text", "Hello"}};
    for (int i = 0; i < 2; ++i) {
        emitSignal(*daemonBus_, path, "org.freedesktop.DBus.Properties", "PropertiesChanged",
                   {kSmsIface, QVariantMap{{"State", 3u}}, QStringList{}});
    }
    emitSignal(*daemonBus_, kModem0, kMessagingIface, "Added", addedArgs);
    ASSERT_TRUE(waitUntil([&] { return !added.empty(); }));
    waitUntil([] { return false; }, 300);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].text, "Hello");
    EXPECT_EQ(added[0].sender, "Operator");
    EXPECT_EQ(statuses.size(), 2u);
    QDBusConnection::disconnectFromBus("impostor");
}

TEST_F(ScriptedDaemonTest, ADaemonThatEndsTakesItsModemsAndAStartedOneItsNumbersAgain) {
    std::vector<ModemStatus> statuses;
    std::vector<ModemMessage> added;
    ModemService::Listener listener;
    listener.statusChanged = [&](const std::string&, const ModemStatus& s) {
        statuses.push_back(s);
    };
    listener.messageAdded = [&](const std::string&, const ModemMessage& m) { added.push_back(m); };
    service_->setListener(listener);
    ASSERT_TRUE(service_->status(kModem0.toStdString()).present);
    const QString path = "/org/freedesktop/ModemManager1/SMS/0";
    sms.push_back({path, {{"State", 3u}, {"Number", "Operator"}, {"Text", "first"}}});
    const QVariantList addedArgs{QVariant::fromValue(QDBusObjectPath(path)), true};
    emitSignal(*daemonBus_, kModem0, kMessagingIface, "Added", addedArgs);
    ASSERT_TRUE(waitUntil([&] { return added.size() == 1; }));

    ASSERT_TRUE(daemonBus_->unregisterService(kService));
    ASSERT_TRUE(waitUntil([&] { return !statuses.empty(); }));
    EXPECT_FALSE(statuses.back().present);
    EXPECT_FALSE(service_->available());
    // Signals of a name that is gone are nobody's.
    emitSignal(*daemonBus_, kModem0, kMessagingIface, "Added", addedArgs);
    waitUntil([] { return false; }, 200);
    EXPECT_EQ(added.size(), 1u);

    ASSERT_TRUE(daemonBus_->registerService(kService));
    ASSERT_TRUE(waitUntil([&] { return service_->available(); }));
    sms.back().second = {{"State", 3u}, {"Number", "Operator"}, {"Text", "second"}};
    emitSignal(*daemonBus_, kModem0, kMessagingIface, "Added", addedArgs);
    ASSERT_TRUE(waitUntil([&] { return added.size() == 2; }));
    EXPECT_EQ(added.back().text, "second");
}

TEST_F(ScriptedDaemonTest, AModemIsGoneOnlyWhenItsModemInterfaceIs) {
    std::vector<ModemStatus> statuses;
    ModemService::Listener listener;
    listener.statusChanged = [&](const std::string&, const ModemStatus& s) {
        statuses.push_back(s);
    };
    service_->setListener(listener);
    ASSERT_TRUE(service_->status(kModem0.toStdString()).present);
    const QString om = "org.freedesktop.DBus.ObjectManager";
    const QString root = "/org/freedesktop/ModemManager1";
    const QVariant modem = QVariant::fromValue(QDBusObjectPath(kModem0));
    emitSignal(*daemonBus_, root, om, "InterfacesRemoved", {modem, QStringList{kMessagingIface}});
    emitSignal(*daemonBus_, root, om, "InterfacesRemoved", {modem, QString("junk")});
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(statuses.empty());
    objects.clear();
    emitSignal(*daemonBus_, root, om, "InterfacesRemoved",
               {modem, QStringList{kModemIface, k3gppIface}});
    ASSERT_TRUE(waitUntil([&] { return !statuses.empty(); }));
    EXPECT_FALSE(statuses.back().present);
    EXPECT_FALSE(service_->status(kModem0.toStdString()).present);
}

// The real ModemManager with the AT modem simulator (tests/support/mm_harness.sh), once for
// the suite; skipped where ModemManager is not installed.
class RealDaemonTest : public testing::Test {
  protected:
    static void SetUpTestSuite() { test::RealModemDaemon::start(); }
    static void TearDownTestSuite() { test::RealModemDaemon::stop(); }
    void SetUp() override {
        if (test::RealModemDaemon::missing())
            GTEST_SKIP() << test::RealModemDaemon::problem();
        ASSERT_TRUE(test::RealModemDaemon::started()) << test::RealModemDaemon::problem();
        bus_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(read("bus"), "real-daemon"));
        ASSERT_TRUE(bus_->isConnected());
        service_ = std::make_unique<ModemManagerService>(*bus_);
        modem_ = service_->chooseModem("", -1);
        ASSERT_FALSE(modem_.empty());
    }
    void TearDown() override {
        service_.reset();
        bus_.reset();
        QDBusConnection::disconnectFromBus("real-daemon");
    }
    static QString read(const char* name) { return test::RealModemDaemon::read(name); }
    static void control(const QStringList& words) { test::RealModemDaemon::control(words); }
    std::unique_ptr<QDBusConnection> bus_;
    std::unique_ptr<ModemManagerService> service_;
    std::string modem_;
};

TEST_F(RealDaemonTest, TheSimulatedModemsStatusAndItsRoaming) {
    const auto modems = service_->modems();
    ASSERT_EQ(modems.size(), 1u);
    EXPECT_EQ(modems[0].ports.size(), 2u);
    EXPECT_EQ(service_->chooseModem(modems[0].ports[1], -1), modem_);
    ModemStatus s = service_->status(modem_);
    EXPECT_EQ(s.registration, kRegistrationHome);
    EXPECT_EQ(s.accessTechnology, "UMTS");
    EXPECT_EQ(s.signalPercent, 64);  // +CSQ: 20
    std::vector<ModemStatus> changes;
    ModemService::Listener listener;
    listener.statusChanged = [&](const std::string& m, const ModemStatus& st) {
        EXPECT_EQ(m, modem_);
        changes.push_back(st);
    };
    service_->setListener(listener);
    control({"roaming"});
    ASSERT_TRUE(waitUntil([&] { return !changes.empty() && changes.back().roaming; }));
    EXPECT_EQ(changes.back().registration, kRegistrationRoaming);
    EXPECT_TRUE(service_->status(modem_).roaming);
    control({"home"});
    ASSERT_TRUE(waitUntil([&] { return !changes.back().roaming; }));
}

TEST_F(RealDaemonTest, AMessageThatArrivesIsToldOnceListedAndDeleted) {
    std::vector<ModemMessage> added;
    ModemService::Listener listener;
    listener.messageAdded = [&](const std::string&, const ModemMessage& m) { added.push_back(m); };
    service_->setListener(listener);
    control({"sms", "+358401112223", "Hyv\u00e4\u00e4 matkaa, 1 GB left"});
    ASSERT_TRUE(waitUntil([&] { return !added.empty(); }));
    waitUntil([] { return false; }, 500);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].sender, "+358401112223");
    EXPECT_EQ(added[0].text, "Hyv\u00e4\u00e4 matkaa, 1 GB left");
    EXPECT_GT(added[0].timestamp, 0);

    std::optional<std::vector<ModemMessage>> list;
    auto listed = [&](bool ok, const std::vector<ModemMessage>& m, const std::string& why) {
        EXPECT_TRUE(ok) << why;
        list = m;
    };
    service_->listMessages(modem_, listed);
    ASSERT_TRUE(waitUntil([&] { return list.has_value(); }));
    ASSERT_EQ(list->size(), 1u);
    EXPECT_EQ((*list)[0].id, added[0].id);
    std::optional<bool> deleted;
    service_->deleteMessage(modem_, added[0].id,
                            [&](bool ok, const std::string&) { deleted = ok; });
    ASSERT_TRUE(waitUntil([&] { return deleted.has_value(); }));
    EXPECT_TRUE(*deleted);
    list.reset();
    service_->listMessages(modem_, listed);
    ASSERT_TRUE(waitUntil([&] { return list.has_value(); }));
    EXPECT_TRUE(list->empty());
}

TEST(ModemTimestamp, TheDaemonsFormsAndNothingElse) {
    EXPECT_EQ(ModemManagerService::parseTimestamp("2026-12-07T12:40:00Z"), 1796647200);
    EXPECT_EQ(ModemManagerService::parseTimestamp("2026-12-07T12:40:00+00:00"), 1796647200);
    EXPECT_EQ(ModemManagerService::parseTimestamp("2026-12-07T14:40:00+02"), 1796647200);
    EXPECT_EQ(ModemManagerService::parseTimestamp("2026-12-07T14:40:00+0200"), 1796647200);
    EXPECT_EQ(ModemManagerService::parseTimestamp("2026-12-07T10:10:00-02:30"), 1796647200);
    EXPECT_EQ(ModemManagerService::parseTimestamp(""), 0);
    EXPECT_EQ(ModemManagerService::parseTimestamp("yesterday"), 0);
    EXPECT_EQ(ModemManagerService::parseTimestamp("2026-13-45T99:99:99Z"), 0);
}

}  // namespace
}  // namespace tavu::platform
