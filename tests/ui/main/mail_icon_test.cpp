#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <chrono>

#include "core/settings_keys.h"
#include "monitor/commands.h"
#include "net/mail_controller.h"
#include "support/fake_pop3_server.h"
#include "support/modal_driver.h"
#include "ui/common/icons.h"
#include "ui/dial/dial_progress_dlg.h"
#include "ui/main/monitor_fixture.h"
#include "ui/prefs/option_pages.h"
#include "ui/prefs/preferences_dlg.h"
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

// Drives a progress window in mail mode: starts its check at once and presses OK when the
// result shows; keeps what it showed.
void finishMailCheck(QDialog* modal, QStringList& shown) {
    auto* progress = qobject_cast<CDialProgressDlg*>(modal);
    ASSERT_NE(progress, nullptr);
    QObject::connect(progress, &CDialProgressDlg::statusShown, progress, [progress, &shown] {
        if (progress->statusText() != "Connecting to server...") {
            shown << progress->statusText();
            QTimer::singleShot(0, progress->actionButton(), &QPushButton::click);
        }
    });
    progress->fireTimer(CDialProgressDlg::MODE_MAIL_CHECK);
}

TEST_F(MailIcon, ManualChecksUseThePageAndMoveTheIconAndTheDisplay) {
    settings.writeString("Settings", "MServer", "127.0.0.1:1");
    settings.writeString("Settings", "MSecurity", "none");
    ConnectionMonitor& w = makeWindow("/opt/tavu", true, true);
    CSystemTray& tray = *w.mailTray();
    QStringList shown;
    // "Check email now" with a server typed on the Email page and not saved.
    auto checkFromThePage = [&](const std::string& serverAddress) {
        int modals = 0;
        test::ModalDriver driver([&](QDialog* modal) {
            if (++modals == 2) {
                finishMailCheck(modal, shown);
                return;
            }
            auto* prefs = qobject_cast<CPreferencesDlg*>(modal);
            ASSERT_NE(prefs, nullptr);
            if (modals == 3) {
                prefs->reject();
                return;
            }
            prefs->findChild<QLineEdit*>(keys::kMServer)
                ->setText(QString::fromStdString(serverAddress));
            QTimer::singleShot(0, prefs->findChild<COptMailPage*>()->checkNowButton(),
                               &QPushButton::click);
        });
        w.runCommand(CmdPrefEmail);
        EXPECT_EQ(modals, 3);
    };
    {
        test::FakePop3Server server(test::pop3Dialogue("+OK 3 4512\r\n"));
        checkFromThePage(server.address());
    }
    EXPECT_EQ(shown, QStringList{"You have 3 new email(s)"});
    EXPECT_EQ(settings.readString("Settings", "MServer"), "127.0.0.1:1") << "nothing saved";
    EXPECT_FALSE(tray.isHidden());
    EXPECT_EQ(tray.tooltip(), "You have 3 new email(s)");
    EXPECT_EQ(w.core().display().mailCount, "3");
    {
        test::FakePop3Server server(test::pop3Dialogue("+OK 0 0\r\n"));
        checkFromThePage(server.address());
    }
    EXPECT_TRUE(tray.isHidden());
    EXPECT_EQ(w.core().display().mailCount, "0");

    // Check mail with no server set says so.
    settings.writeString("Settings", "MServer", " ");
    {
        test::ModalDriver driver([&](QDialog* modal) { finishMailCheck(modal, shown); });
        w.runCommand(CmdCheckMail);
    }
    EXPECT_EQ(shown.back(), "No mail server is set: see Preferences, Email.");
    EXPECT_TRUE(shows(tray, TrayPicture::MailError));
    EXPECT_EQ(tray.tooltip(), "No mail server is set: see Preferences, Email.");
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
