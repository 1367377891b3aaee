#include "ui/main/connection_monitor.h"
#include "ui/common/manual.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
#include <set>

#include "app/remote_command.h"
#include "ui/main/monitor_fixture.h"
#include "ui/prefs/preferences_dlg.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

class MainWindow : public test::MonitorFixture {
  protected:
    ConnectionMonitor& make(bool tray = true) { return makeWindow("/opt/tavu", tray); }
};

TEST_F(MainWindow, StartsWithItsStatusLinesTimersAndPlace) {
    ConnectionMonitor& w = make();
    EXPECT_EQ(w.statusLines(), (QStringList{"Welcome to Tavu - your online timer!",
                                            "System messages will go here!"}));
    EXPECT_EQ(w.windowTitle(), "TAVU");
    EXPECT_TRUE(w.timerActive(ConnectionMonitor::PollTimer));
    EXPECT_TRUE(w.timerActive(ConnectionMonitor::CostTimer));
    EXPECT_FALSE(w.timerActive(ConnectionMonitor::WhenConnectedTimer));
    EXPECT_FALSE(w.timerActive(ConnectionMonitor::MailTimer));
    EXPECT_EQ(w.geometry(), QRect(126, 133, 391, 292));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(settings.readInt("Settings", "CheckMailSuccessed", 9), 0);
    EXPECT_EQ(w.trayTooltip(), "Waiting for connection...");
}

TEST_F(MainWindow, ConfiguredTimersStartWithTheWindow) {
    settings.writeInt("Settings", "HangupComboState", 1);
    settings.writeInt("Settings", "CheckMail", 1);
    ConnectionMonitor& w = make();
    EXPECT_TRUE(w.timerActive(ConnectionMonitor::WhenConnectedTimer));
    EXPECT_TRUE(w.timerActive(ConnectionMonitor::MailTimer));
}

TEST_F(MainWindow, AbsurdTimerPeriodsStillStartTheTimers) {
    settings.writeInt("Settings", "HangupComboState", 1);
    settings.writeInt("Settings", "HangupInterval", 40000);  // more ms than an int holds
    settings.writeInt("Settings", "CheckMail", 1);
    settings.writeInt("Settings", "CMailTime", -5);
    ConnectionMonitor& w = make();
    EXPECT_TRUE(w.timerActive(ConnectionMonitor::WhenConnectedTimer));
    EXPECT_TRUE(w.timerActive(ConnectionMonitor::MailTimer));
}

TEST_F(MainWindow, HideOnStartDecidesTheFirstTimerEvent) {
    ConnectionMonitor& shown = make();
    shown.tick(ConnectionMonitor::CostTimer);
    EXPECT_TRUE(shown.isVisible());

    settings.writeInt("Settings", "HideOnStart", 0);
    ConnectionMonitor& hidden = make();
    EXPECT_TRUE(hidden.isMinimized());
    hidden.tick(ConnectionMonitor::PollTimer);
    EXPECT_FALSE(hidden.isVisible());
}

TEST_F(MainWindow, WithoutNotificationAreaTheWindowStaysReachable) {
    settings.writeInt("Settings", "HideOnStart", 0);
    ConnectionMonitor& w = make(false);
    EXPECT_FALSE(w.trayAvailable());
    w.tick(ConnectionMonitor::PollTimer);
    EXPECT_TRUE(w.isVisible()) << "minimised, not hidden: there is no icon to come back through";
    ras->bringUp("Provider");
    clock.advance(2s);
    w.tick(ConnectionMonitor::PollTimer);
    EXPECT_EQ(w.trayTooltip(), "Connected - 00:00:00");
}

TEST_F(MainWindow, PositionStore) {
    ConnectionMonitor& w = make();
    w.setGeometry(40, 50, 391, 292);
    w.storePosition();
    EXPECT_EQ(settings.readInt("Settings", "GalvWindowPosl", 0), 40);
    EXPECT_EQ(settings.readInt("Settings", "GalvWindowPost", 0), 50);
    EXPECT_EQ(settings.readInt("Settings", "GalvWindowPosr", 0), 431);
    EXPECT_EQ(settings.readInt("Settings", "GalvWindowPosb", 0), 342);
    EXPECT_EQ(settings.readInt("Settings", "GalvWindowMinimized", 9), 0);

    // Minimised: the place it had at start, marked as minimised.
    w.showMinimized();
    w.storePosition();
    EXPECT_EQ(settings.readInt("Settings", "GalvWindowPosl", 0), 126);
    EXPECT_EQ(settings.readInt("Settings", "GalvWindowPosb", 0), 425);
    EXPECT_EQ(settings.readInt("Settings", "GalvWindowMinimized", 0), 1);

    // A bottom edge exactly at 0 writes nothing.
    w.showNormal();
    w.setGeometry(10, -292, 391, 292);
    settings.writeInt("Settings", "GalvWindowPosl", 7);
    w.storePosition();
    EXPECT_EQ(settings.readInt("Settings", "GalvWindowPosl", 0), 7);

    // The stored place is used at the next start, and minimised when so marked.
    settings.writeInt("Settings", "GalvWindowPosl", 40);
    settings.writeInt("Settings", "GalvWindowPost", 50);
    settings.writeInt("Settings", "GalvWindowPosr", 431);
    settings.writeInt("Settings", "GalvWindowPosb", 342);
    settings.writeInt("Settings", "GalvWindowMinimized", 1);
    ConnectionMonitor& again = make();
    EXPECT_EQ(again.normalGeometry().topLeft(), QPoint(40, 50));
    EXPECT_TRUE(again.isMinimized());
}

TEST_F(MainWindow, CloseRequestHidesAndStores) {
    ConnectionMonitor& w = make();
    w.setGeometry(60, 70, 391, 292);
    EXPECT_FALSE(w.close());
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(settings.readInt("Settings", "GalvWindowPosl", 0), 60);
}

TEST_F(MainWindow, EveryCommandReachesItsAction) {
    ConnectionMonitor& w = make();
    QSignalSpy reached(&w, &ConnectionMonitor::commandReached);
    const std::vector<std::pair<int, Action>> expected = {{32848, Action::Dial},
                                                          {32812, Action::Hangup},
                                                          {32835, Action::CheckMail},
                                                          {32836, Action::CheckUpdate},
                                                          {32852, Action::InetTools},
                                                          {32856, Action::Performance},
                                                          {32838, Action::Preferences},
                                                          {32839, Action::Preferences},
                                                          {32840, Action::Preferences},
                                                          {32841, Action::Preferences},
                                                          {32842, Action::Preferences},
                                                          {32843, Action::Preferences},
                                                          {32845, Action::Preferences},
                                                          {32834, Action::Connections},
                                                          {32846, Action::Security},
                                                          {32847, Action::Timer},
                                                          {32854, Action::Skin},
                                                          {32781, Action::Report},
                                                          {32823, Action::Summary},
                                                          {32780, Action::HelpContents},
                                                          {32774, Action::About},
                                                          {32782, Action::Hide},
                                                          {32800, Action::Minimize},
                                                          {1052, Action::Exit},
                                                          {32815, Action::Show},
                                                          {32820, Action::MailHide},
                                                          {32813, Action::PreferencesWithTimers},
                                                          {32860, Action::CheckBalance},
                                                          {32861, Action::Messages}};
    ASSERT_EQ(expected.size(), kCommands.size());
    prompter.fallback = Answer::No;  // the exit question
    for (const auto& [id, action] : expected) {
        ASSERT_TRUE(findCommand(id)) << id;
        EXPECT_EQ(findCommand(id)->action, action) << id;
    }
    // Windows of other parts open at their pages.
    for (const int id :
         {32835, 32836, 32852, 32856, 32838, 32843, 32845, 32834, 32847, 32854, 32781, 32823}) {
        w.runCommand(id);
    }
    EXPECT_EQ(opened.size(), 12u);
    EXPECT_EQ(opened[4], std::make_pair(Action::Preferences, 1));
    EXPECT_EQ(opened[5], std::make_pair(Action::Preferences, 6));
    EXPECT_EQ(opened[6], std::make_pair(Action::Preferences, 7));

    // Help opens the program's help file with the desktop.
    w.runCommand(32780);
    EXPECT_EQ(shell.opened, std::vector<std::string>{"/opt/tavu/help/index.htm"});

    // Numbered messages: every command but the mail icon's Hide answers to its number.
    for (const auto& e : kCommands) {
        EXPECT_EQ(findMessageCommand(e.id).has_value(), e.id != CmdMailHide) << e.id;
    }
    EXPECT_TRUE(w.handleMessage(32812));
    EXPECT_EQ(w.statusLines().front(), "Not connected...");
    EXPECT_FALSE(w.handleMessage(32820));
    EXPECT_FALSE(w.handleMessage(4242));

    // Exit asks; No keeps the program running but stores the position.
    QSignalSpy exited(&w, &ConnectionMonitor::exitConfirmed);
    w.runCommand(1052);
    EXPECT_EQ(prompter.shown.back().text, "You are about to exit Tavu. Are you sure ?");
    EXPECT_EQ(exited.count(), 0);
    EXPECT_EQ(settings.readInt("Settings", "GalvWindowPosl", 0), 126);
    prompter.answers = {Answer::Yes};
    w.runCommand(1052);
    EXPECT_EQ(exited.count(), 1);
}

TEST_F(MainWindow, SkinButtonsRunTheirActions) {
    ConnectionMonitor& w = make();
    QSignalSpy reached(&w, &ConnectionMonitor::commandReached);
    QStringList duringCheck;
    w.openWindow = [&](Action a, int page) {
        opened.emplace_back(a, page);
        duringCheck = w.statusLines();
    };
    w.skinButton(5);
    EXPECT_EQ(duringCheck.front(), "Checking mail...");
    EXPECT_FALSE(w.statusLines().contains("Checking mail..."));  // the check has ended
    for (const int i : {6, 7, 8, 9}) {
        w.skinButton(i);
    }
    EXPECT_EQ(opened, (std::vector<std::pair<Action, int>>{{Action::CheckMail, 0},
                                                           {Action::Timer, 0},
                                                           {Action::Summary, 0},
                                                           {Action::Preferences, 1},
                                                           {Action::Security, 0}}));
    w.skinButton(4);
    EXPECT_EQ(w.statusLines().front(), "Not connected...");
    prompter.shown.clear();
    w.skinButton(10);
    EXPECT_EQ(shell.opened.size(), 1u);
    EXPECT_TRUE(prompter.shown.empty());
    shell.result = false;  // no browser: says so and names the manual
    w.skinButton(10);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, noBrowserText(shell.opened.back()));
    EXPECT_NE(prompter.shown[0].text.find("help/index.htm"), std::string::npos);
    w.skinButton(2);  // hides without the floating window
    EXPECT_FALSE(w.isVisible());
    w.skinButton(3);  // the dial command
    EXPECT_EQ(opened.back(), std::make_pair(Action::Dial, 0));
}

TEST_F(MainWindow, SkinQuitWithoutNotificationAreaKeepsTheWindowReachable) {
    ConnectionMonitor& w = make(false);
    w.skinButton(2);
    EXPECT_TRUE(w.isVisible()) << "no tray icon to come back through";
    EXPECT_TRUE(w.isMinimized());
}

TEST_F(MainWindow, ReportAndSummaryOpenFromTheMenus) {
    ConnectionMonitor& w = make();
    w.openWindow = std::move(defaultOpenWindow);
    QStringList titles;
    for (const int id : {32781, 32823}) {
        QTimer::singleShot(0, [&titles] {
            QWidget* modal = QApplication::activeModalWidget();
            titles << (modal ? modal->windowTitle() : QString("none"));
            if (modal) {
                modal->close();
            }
        });
        w.runCommand(id);
    }
    EXPECT_EQ(titles, (QStringList{"Report", "Summary"}));
}

TEST_F(MainWindow, ActivationRestoresTheWindow) {
    ConnectionMonitor& w = make();
    w.hideOperation();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(w.handleMessage(12345));
    EXPECT_TRUE(w.isVisible());
    w.showMinimized();
    w.runCommand(CmdShow);
    EXPECT_FALSE(w.isMinimized());
}

TEST_F(MainWindow, TrayMenuIsTheContextMenu) {
    ConnectionMonitor& w = make();
    ASSERT_NE(w.trayMenu(), nullptr);
    EXPECT_EQ(w.trayMenu()->actions().front()->text(), "&Show TAVU");
}

TEST_F(MainWindow, ScheduledDialOpensAfterTheScheduleTickReturns) {
    // A window opened inside the tick would stop the schedule timer until it closed.
    ConnectionMonitor& w = make();
    bool inTick = false;
    bool openedInTick = false;
    w.openWindow = [&](Action a, int page) {
        openedInTick = inTick;
        opened.emplace_back(a, page);
    };
    settings.writeInt("Settings", "DialSecsToDial", 1);
    inTick = true;
    w.tick(ConnectionMonitor::ScheduleTimer);
    inTick = false;
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    ASSERT_EQ(opened, (std::vector<std::pair<Action, int>>{{Action::Dial, 0}}));
    EXPECT_FALSE(openedInTick);
    EXPECT_EQ(settings.readInt("Settings", "DialSecsToDial", 9), 0);
}

TEST_F(MainWindow, ExitDuringAConnectionWritesItsRecord) {
    settings.writeInt("Settings", "ConfirmExit", 0);
    ConnectionMonitor& w = make();
    ras->bringUp("Provider");
    clock.advance(2s);
    w.tick(ConnectionMonitor::PollTimer);
    clock.advance(10s);
    w.tick(ConnectionMonitor::PollTimer);
    EXPECT_EQ(w.windowTitle(), "00:00:10");
    EXPECT_TRUE(w.exitProcedure());
    const std::string log = test::readFile(dir.file("logfile.log"));
    EXPECT_EQ(log, "07-12-2026|20:00:02|07-12-2026|20:00:12|tester|/dev/ttyS0|Provider|0|0|\r\n");
    w.endSession();  // a later end of the session writes nothing more
    EXPECT_EQ(test::readFile(dir.file("logfile.log")), log);
}

// A second request for a window while one of its kind is open brings that one forward, the
// Preferences on the asked page, and opens no other; once it has closed, a request opens anew.
TEST_F(MainWindow, ASecondRequestRaisesTheOpenWindowOfItsKind) {
    ConnectionMonitor& w = makeWindow(dir.path(), true);
    const int connect = *remoteCommandId("connect");
    int dials = 0;
    w.openWindow = [&](Action a, int) {
        if (a != Action::Dial) {
            return;
        }
        ++dials;
        if (dials == 1) {
            QDialog login;
            login.show();
            QDialog other;  // a window opened later, over the login dialog
            other.show();
            other.raise();
            w.handleMessage(connect);  // as tavu --command connect does
            EXPECT_EQ(dials, 1);
        }
    };
    w.handleMessage(connect);
    EXPECT_EQ(dials, 1);
    w.handleMessage(connect);
    EXPECT_EQ(dials, 2);

    platform::FakeStartupEntry startup;
    int opens = 0;
    w.openPreferences = [&](int page) {
        ++opens;
        CPreferencesDlg dlg(
            PreferencesContext{settings, prompter, sound, startup, dir.path(), {}, {}, {}, {}, {}},
            page);
        dlg.show();
        EXPECT_EQ(dlg.currentPage(), dlg.page(1));
        w.handleMessage(*remoteCommandId("preferences:5"));
        EXPECT_EQ(dlg.currentPage(), dlg.page(5));
        w.handleMessage(*remoteCommandId("preferences:0"));  // no page asked: stays
        EXPECT_EQ(dlg.currentPage(), dlg.page(5));
        w.handleMessage(*remoteCommandId("preferences:2"));
        EXPECT_EQ(dlg.currentPage(), dlg.page(2));
        return false;
    };
    w.openWindow = defaultOpenWindow;
    w.handleMessage(*remoteCommandId("preferences:1"));
    EXPECT_EQ(opens, 1);
}

}  // namespace
}  // namespace tavu
