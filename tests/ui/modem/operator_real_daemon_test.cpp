// The main window with the real ModemManager and the AT modem simulator
// (tests/support/mm_harness.sh): the balance's figures in the status list, a message in the
// modem notified, roaming said and, when asked for, hung up. Skipped where ModemManager is not
// installed.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <chrono>
#include <functional>

#include "core/settings_keys.h"
#include "monitor/operator_watch.h"
#include "platform/modem/modemmanager/mm_modem_service.h"
#include "support/real_modem_daemon.h"
#include "ui/main/monitor_fixture.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

bool waitUntil(const std::function<bool()>& ready, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!ready() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return ready();
}

class RealDaemonWindow : public test::MonitorFixture {
  protected:
    static void SetUpTestSuite() { test::RealModemDaemon::start(); }
    static void TearDownTestSuite() { test::RealModemDaemon::stop(); }
    void SetUp() override {
        if (test::RealModemDaemon::missing())
            GTEST_SKIP() << test::RealModemDaemon::problem();
        ASSERT_TRUE(test::RealModemDaemon::started()) << test::RealModemDaemon::problem();
        bus_ = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(read("bus"), "real-daemon-window"));
        ASSERT_TRUE(bus_->isConnected());
        modems_ = std::make_unique<platform::ModemManagerService>(*bus_);
        ASSERT_TRUE(waitUntil([&] { return !modems_->chooseModem("", -1).empty(); }));
    }
    void TearDown() override {
        if (!test::RealModemDaemon::missing() && test::RealModemDaemon::started())
            control({"home"});
        window.reset();
        modems_.reset();
        bus_.reset();
        QDBusConnection::disconnectFromBus("real-daemon-window");
    }
    ConnectionMonitor& makeModemWindow() {
        window = std::make_unique<ConnectionMonitor>(
            AppContext{settings, clock, prompter, *ras, nullptr, sound, system, shell, dir.path(),
                       dir.path(), nullptr, modems_.get()});
        window->trayAvailability = [] { return false; };
        window->openWindow = [](Action, int) {};
        window->initialise();
        return *window;
    }
    // A second of the monitor: the clock moves on and the poll runs.
    void second() {
        clock.advance(1s);
        window->tick(ConnectionMonitor::PollTimer);
        QCoreApplication::processEvents();
    }
    bool statusHas(const QString& line) const { return window->statusLines().contains(line); }
    bool shown(const std::string& text) const {
        for (const Message& m : prompter.shown) {
            if (m.text.find(text) != std::string::npos)
                return true;
        }
        return false;
    }
    static QString read(const char* name) { return test::RealModemDaemon::read(name); }
    static void control(const QStringList& words) { test::RealModemDaemon::control(words); }
    std::unique_ptr<QDBusConnection> bus_;
    std::unique_ptr<platform::ModemManagerService> modems_;
};

TEST_F(RealDaemonWindow, TheBalancesFiguresAndAMessageReachTheWindow) {
    settings.writeString(keys::kSettings, keys::kBalanceUSSD, "*100#");
    settings.writeString(keys::kSettings, keys::kBalanceDataPattern, "([0-9.]+) GB left");
    settings.writeString(keys::kSettings, keys::kBalanceDataUnit, "GB");
    control({"ussd-reply", "Saldo 4.20 EUR, 1.5 GB left"});
    control({"sms", "+358401112223", "<b>80 %</b> of your data used"});
    ConnectionMonitor& w = makeModemWindow();
    // No notification area: the message comes as a box, once.
    ASSERT_TRUE(waitUntil([&] { return shown("<b>80 %</b> of your data used"); }));
    w.runCommand(CmdCheckBalance);
    ASSERT_TRUE(waitUntil([&] { return shown("Saldo 4.20 EUR, 1.5 GB left"); }, 30000));
    EXPECT_TRUE(statusHas("Operator: 1.5 GB left (20:00)"))
        << w.statusLines().join("|").toStdString();
    auto messageBoxes = [&] {
        return std::count_if(prompter.shown.begin(), prompter.shown.end(), [](const Message& m) {
            return m.text.find("Message from") != std::string::npos;
        });
    };
    EXPECT_EQ(messageBoxes(), 1);
    window.reset();
    makeModemWindow();
    waitUntil([] { return false; }, 1000);
    EXPECT_EQ(messageBoxes(), 1);  // not shown again after a restart
}

TEST_F(RealDaemonWindow, RoamingIsSaidAndWithHangupWhenRoamingTheLineIsClosed) {
    ConnectionMonitor& w = makeModemWindow();
    const auto first = ras->bringUp("Provider");
    for (int i = 0; i < 3; ++i)
        second();
    ASSERT_TRUE(w.core().connected());
    control({"roaming"});
    ASSERT_TRUE(waitUntil([&] { return statusHas("Roaming"); }));
    EXPECT_TRUE(shown(OperatorWatch::kRoamingWarning));
    control({"home"});
    ras->drop(first);
    second();
    ASSERT_FALSE(w.core().connected());

    settings.writeInt(keys::kWarnings, keys::kHangupWhenRoaming, 1);
    ras->bringUp("Provider");
    second();
    control({"roaming"});
    ASSERT_TRUE(waitUntil([&] { return !w.core().connected() || shown("started to roam"); }));
    for (int i = 0; i < 2; ++i)
        second();
    EXPECT_FALSE(w.core().connected());
    EXPECT_TRUE(shown("started to roam"));
}

}  // namespace
}  // namespace tavu
