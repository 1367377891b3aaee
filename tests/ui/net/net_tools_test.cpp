#include "ui/net/net_tools_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "core/clock.h"
#include "core/prompter.h"
#include "core/settings_store.h"
#include "net/auto_upgrade_check.h"
#include "net/fake_tcp_server.h"
#include "support/temp_dir.h"
#include "ui/common/my_tree_ctrl.h"
#include "ui/main/monitor_fixture.h"
#include "ui/net/net_pages.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;
using test::FakeTcpServer;

class NetTools : public testing::Test {
  protected:
    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    ScriptedPrompter prompter;
    ManualClock clock{fromLocal(2026, 12, 7, 21, 5, 9)};
};

TEST_F(NetTools, TreePicksOnePageAtATime) {
    CNetToolsDlg dlg(settings, prompter, clock);
    dlg.show();
    EXPECT_EQ(dlg.windowTitle(), "NetTools");
    CMyTreeCtrl* tree = dlg.tree();
    ASSERT_EQ(tree->topLevelItemCount(), 3);
    EXPECT_EQ(tree->topLevelItem(0)->text(0), "Get Host/IP");
    EXPECT_EQ(tree->topLevelItem(1)->text(0), "Get Time");
    EXPECT_EQ(tree->topLevelItem(2)->text(0), "Ping");
    EXPECT_EQ(CMyTreeCtrl::pageOf(tree->topLevelItem(1)), dlg.timePage());

    EXPECT_TRUE(dlg.hostPage()->isVisible());
    EXPECT_FALSE(dlg.timePage()->isVisible());
    EXPECT_FALSE(dlg.pingPage()->isVisible());
    tree->setCurrentItem(tree->topLevelItem(2));
    EXPECT_FALSE(dlg.hostPage()->isVisible());
    EXPECT_TRUE(dlg.pingPage()->isVisible());
    tree->setCurrentItem(tree->topLevelItem(1));
    EXPECT_TRUE(dlg.timePage()->isVisible());
    EXPECT_FALSE(dlg.pingPage()->isVisible());
    QTest::mouseClick(dlg.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST_F(NetTools, LookupsAnswerInBoxesOfTheirOwn) {
    CNetToolsDlg dlg(settings, prompter, clock);
    CHostToIP* page = dlg.hostPage();
    QSignalSpy shown(page, &CHostToIP::lookupShown);
    page->hostEdit()->setText("localhost");
    QTest::mouseClick(page->getIpButton(), Qt::LeftButton);
    ASSERT_TRUE(shown.wait(5000));
    page->addressEdit()->setText("localhost");  // not a dotted address
    QTest::mouseClick(page->getHostButton(), Qt::LeftButton);
    ASSERT_TRUE(shown.wait(5000));
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[0].text, "127.0.0.1");
    EXPECT_EQ(prompter.shown[0].caption, "Host to IP");
    EXPECT_EQ(prompter.shown[1].text, "Can't resolve localhost");
    EXPECT_EQ(prompter.shown[1].caption, "IP to Host");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor goes with the workers";
}

TEST_F(NetTools, ReturnInAFieldRunsItsToolAndKeepsTheWindow) {
    CNetToolsDlg dlg(settings, prompter, clock);
    dlg.show();
    CHostToIP* page = dlg.hostPage();
    QSignalSpy shown(page, &CHostToIP::lookupShown);
    page->hostEdit()->setText("localhost");
    QTest::keyClick(page->hostEdit(), Qt::Key_Return);
    ASSERT_TRUE(shown.wait(5000));
    EXPECT_TRUE(dlg.isVisible());
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "127.0.0.1");
    if (::geteuid() == 0) {
        dlg.tree()->setCurrentItem(dlg.tree()->topLevelItem(2));
        QSignalSpy pinged(dlg.pingPage(), &CNetTrace::pinged);
        dlg.pingPage()->hostEdit()->setText("127.0.0.1");
        QTest::keyClick(dlg.pingPage()->hostEdit(), Qt::Key_Enter);
        ASSERT_TRUE(pinged.wait(5000));
        EXPECT_TRUE(dlg.isVisible());
    }
}

TEST_F(NetTools, TimePageShowsTheStoredAnswerAndForgetsItOnOpenAndOk) {
    FakeTcpServer server([](int fd) { FakeTcpServer::sendBytes(fd, "\x83\xaa\x7e\x80"); });
    settings.writeString("Inet", "TimeServer", server.address());
    settings.writeString("Inet", "RemoteTime", "Mon Jan 01 00:00:00 2024");
    CNetToolsDlg dlg(settings, prompter, clock);
    CNetTime* page = dlg.timePage();
    EXPECT_EQ(settings.readString("Inet", "RemoteTime"), "???");
    EXPECT_EQ(page->remoteValue()->text(), "???");

    QSignalSpy queried(page, &CNetTime::timeQueried);
    QTest::mouseClick(page->getTimeButton(), Qt::LeftButton);
    ASSERT_TRUE(queried.wait(5000));
    EXPECT_EQ(settings.readString("Inet", "RemoteTime"), "Thu Jan 01 00:00:00 1970");
    page->tick();
    EXPECT_EQ(page->remoteValue()->text(), "Thu Jan 01 00:00:00 1970");
    EXPECT_EQ(page->clockValue()->text(), "21:05:09");
    clock.advance(2s);
    page->tick();
    EXPECT_EQ(page->clockValue()->text(), "21:05:11");

    // A failure takes the time's place.
    settings.writeString("Inet", "TimeServer", "127.0.0.1:1");
    QTest::mouseClick(page->getTimeButton(), Qt::LeftButton);
    ASSERT_TRUE(queried.wait(5000));
    page->tick();
    EXPECT_EQ(page->remoteValue()->text(), "Cannot establish connection");

    QTest::mouseClick(dlg.okButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(settings.readString("Inet", "RemoteTime"), "???");
}

TEST_F(NetTools, PingLinesGoOnTop) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "ping on the loopback needs root or a ping group";
    }
    CNetToolsDlg dlg(settings, prompter, clock);
    CNetTrace* page = dlg.pingPage();
    QSignalSpy pinged(page, &CNetTrace::pinged);
    page->hostEdit()->setText("127.0.0.1");
    QTest::mouseClick(page->pingButton(), Qt::LeftButton);
    ASSERT_TRUE(pinged.wait(5000));
    page->hostEdit()->clear();  // no host: nothing to resolve
    QTest::mouseClick(page->pingButton(), Qt::LeftButton);
    ASSERT_TRUE(pinged.wait(10000));
    const QStringList lines = page->lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], "[Ping] No host to ping");
    EXPECT_TRUE(lines[1].startsWith("[Ping] 127.0.0.1 [")) << lines[1].toStdString();
}

class AfterConnect : public test::MonitorFixture {};

TEST_F(AfterConnect, TimerFourAsksTheUpgradeServerUnlessSwitchedOff) {
    FakeTcpServer server([](int fd) {
        FakeTcpServer::readLines(fd, 2);
        FakeTcpServer::sendBytes(fd, std::string("TAVU 1.2 is out\0", 16));
    });
    settings.writeString("Settings", "UpgradeServer", server.address());
    settings.writeInt("Settings", "DisableUpgrade", 1);
    ConnectionMonitor& w = makeWindow("/nonexistent", true);
    ras->bringUp("Provider");
    clock.advance(2s);
    w.tick(ConnectionMonitor::PollTimer);
    ASSERT_TRUE(w.timerActive(ConnectionMonitor::AfterConnectTimer));
    w.tick(ConnectionMonitor::AfterConnectTimer);
    QTest::qWait(100);
    EXPECT_EQ(server.connections(), 0);

    settings.writeInt("Settings", "DisableUpgrade", 0);
    QSignalSpy finished(&w.upgradeCheck(), &AutoUpgradeCheck::finished);
    w.tick(ConnectionMonitor::AfterConnectTimer);
    ASSERT_TRUE(finished.wait(5000));
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back().text, "TAVU 1.2 is out");
    EXPECT_EQ(prompter.shown.back().caption, "Tavu");
}

TEST_F(AfterConnect, InetToolsOpensTheNetToolsWindow) {
    ConnectionMonitor& w = makeWindow("/nonexistent", true, true);
    QString title;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* dlg = qobject_cast<CNetToolsDlg*>(QApplication::activeModalWidget())) {
            title = dlg->windowTitle();
            dlg->reject();
        }
    });
    poll.start(20);
    settings.writeString("Inet", "RemoteTime", "old");
    w.runCommand(CmdInetTools);
    EXPECT_EQ(title, "NetTools");
    EXPECT_EQ(settings.readString("Inet", "RemoteTime"), "???");
}

}  // namespace
}  // namespace tavu
