#include <gtest/gtest.h>

#include <QApplication>
#include <QThread>
#include <chrono>

#include "monitor/commands.h"
#include "net/mail_controller.h"
#include "support/fake_pop3_server.h"
#include "ui/common/icons.h"
#include "ui/main/monitor_fixture.h"
#include "ui/tray/system_tray.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

template <typename Done>
bool waitFor(Done done) {
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (!done() && std::chrono::steady_clock::now() < until) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return done();
}

bool shows(const CSystemTray& tray, TrayPicture picture) {
    return tray.icon().pixmap(16, 16).toImage() == trayPixmap(picture, 16).toImage();
}

class MailIcon : public test::MonitorFixture {
  protected:
    // The window, connected on the simulated line a second ago.
    ConnectionMonitor& connected(const std::string& mailServer) {
        settings.writeString("Settings", "MServer", mailServer);
        settings.writeString("Settings", "MUser", "joe");
        settings.writeString("Settings", "MPassword", "secret");
        settings.writeString("Settings", "MSecurity", "none");
        ConnectionMonitor& w = makeWindow("/opt/tavu", true);
        line = ras->bringUp("Provider");
        clock.advance(2s);
        w.tick(ConnectionMonitor::PollTimer);
        EXPECT_TRUE(w.core().connected());
        return w;
    }
    // A minute after the connection.
    void minuteLater(ConnectionMonitor& w) {
        EXPECT_TRUE(w.timerActive(ConnectionMonitor::AfterConnectTimer));
        clock.advance(60s);
        w.tick(ConnectionMonitor::AfterConnectTimer);
        EXPECT_FALSE(w.timerActive(ConnectionMonitor::AfterConnectTimer));
    }

    std::uint64_t line = 0;
};

TEST_F(MailIcon, AMinuteAfterConnectingTheCountShowsUntilHidden) {
    settings.writeInt("Settings", "CheckMailOnCon", 1);
    test::FakePop3Server server(test::pop3Dialogue("+OK 3 4512\r\n"));
    ConnectionMonitor& w = connected(server.address());
    CSystemTray& tray = *w.mailTray();
    EXPECT_TRUE(tray.isHidden());
    minuteLater(w);
    EXPECT_TRUE(w.timerActive(ConnectionMonitor::MailPollTimer));
    ASSERT_TRUE(waitFor([&] { return !tray.isHidden(); }));
    EXPECT_EQ(tray.tooltip(), "You have 3 new email(s)");
    EXPECT_TRUE(shows(tray, TrayPicture::NewMail));
    EXPECT_EQ(w.core().display().mailCount, "3");
    EXPECT_FALSE(w.timerActive(ConnectionMonitor::MailPollTimer));

    w.runCommand(CmdMailHide);
    EXPECT_TRUE(tray.isHidden());
    EXPECT_EQ(w.core().display().mailCount, "0");
}

TEST_F(MailIcon, AFailureShowsTheErrorIconAndNoBox) {
    settings.writeInt("Settings", "CheckMail", 1);
    test::FakePop3Server server({test::say("-ERR no\r\n")});
    ConnectionMonitor& w = connected(server.address());
    const std::size_t boxes = prompter.shown.size();
    minuteLater(w);
    CSystemTray& tray = *w.mailTray();
    ASSERT_TRUE(waitFor([&] { return !tray.isHidden(); }));
    EXPECT_EQ(tray.tooltip(), "Error connecting email server!");
    EXPECT_TRUE(shows(tray, TrayPicture::MailError));
    EXPECT_EQ(w.core().display().mailCount, "0");
    EXPECT_EQ(prompter.shown.size(), boxes);
}

TEST_F(MailIcon, TriggersCheckOnlyWhileConnectedAndWhenAskedTo) {
    settings.writeInt("Settings", "HangupComboState", 2);  // "Stay online"
    int checks = 0;
    ConnectionMonitor& w = connected("127.0.0.1:1");
    w.mailController().setJobFactory([&] {
        ++checks;
        return MailCheckJob([] { return MailCheckResult{MailCheckResult::Kind::NoMail, 0}; });
    });
    minuteLater(w);
    EXPECT_EQ(checks, 0) << "neither CheckMail nor CheckMailOnCon is set";
    w.tick(ConnectionMonitor::MailTimer);
    w.tick(ConnectionMonitor::WhenConnectedTimer);
    EXPECT_EQ(checks, 2);
    ASSERT_TRUE(waitFor([&] { return !w.timerActive(ConnectionMonitor::MailPollTimer); }));
    EXPECT_TRUE(w.mailTray()->isHidden()) << "no mail changes nothing";

    ras->drop(line);
    clock.advance(2s);
    w.tick(ConnectionMonitor::PollTimer);
    ASSERT_FALSE(w.core().connected());
    w.tick(ConnectionMonitor::MailTimer);
    w.tick(ConnectionMonitor::WhenConnectedTimer);
    EXPECT_EQ(checks, 2);
}

TEST_F(MailIcon, AMailPeriodOfZeroRunsNoPeriodicCheck) {
    settings.writeInt("Settings", "CheckMail", 1);
    settings.writeInt("Settings", "CMailTime", 0);
    ConnectionMonitor& w = makeWindow("/opt/tavu", true);
    EXPECT_FALSE(w.timerActive(ConnectionMonitor::MailTimer));
}

}  // namespace
}  // namespace tavu
