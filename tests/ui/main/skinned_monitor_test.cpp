#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "platform/fakes.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "ui/main/connection_monitor.h"
#include "ui/main/monitor_fixture.h"
#include "ui/main/small_time_window.h"
#include "ui/skin/skin_face.h"
#include "ui/skin/skin_menu.h"
#include "ui/skin/skin_test_support.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

const QRgb kUp = qRgb(30, 30, 90);

// The main window started on a skin of its own: Quit at (2,2), Hangup at (20,2), Connect at
// (40,2) and the built-in menu at (2,30).
class SkinnedMonitor : public test::MonitorFixture {
  protected:
    SkinnedMonitor() {
        skinPath = test::writeSkin(dir.file("exe/Skins/Velvora"),
                                   "[Coordinates]\nQuit=2,2,15,15\nHangup=20,2,15,15\n"
                                   "Connect=40,2,15,15\nDisplayFont=DejaVu Sans\n"
                                   "[Menu]\nShowBuiltinMenu=1\nMenuLocation=2,30\n",
                                   test::framedPicture(300, 240, kUp),
                                   test::framedPicture(300, 240, qRgb(200, 0, 0)));
    }

    ConnectionMonitor& make(bool ownWindows = false) {
        return makeWindow(dir.file("exe"), true, ownWindows);
    }

    void click(QPoint press, QPoint release) {
        QTest::mousePress(window.get(), Qt::LeftButton, Qt::NoModifier, press);
        QTest::mouseRelease(window.get(), Qt::LeftButton, Qt::NoModifier, release);
    }

    std::string skinPath;
};

TEST_F(SkinnedMonitor, StartsOnTheDefaultSkinOrSaysWhyNot) {
    ConnectionMonitor& w = make();
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(w.skin().path().toStdString(), skinPath);
    EXPECT_EQ(w.size(), QSize(300, 240));
    EXPECT_FALSE(w.mask().isEmpty());
    EXPECT_TRUE(w.isVisible());

    // A face that is not installed: the program says so once, at the start.
    test::writeFile(skinPath, "[Coordinates]\nDisplayFont=Nowhere Sans\n");
    make();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "TAVU error - cant' create font");

    // The stored skin wins over the default one; a broken one keeps the plain face.
    prompter.shown.clear();
    settings.writeString(keys::kSkin, keys::kSkinPath, dir.file("gone/Skin.ini"));
    ConnectionMonitor& plain = make();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "Can't change to this skin : " + dir.file("gone/Skin.ini"));
    EXPECT_FALSE(plain.skin().installed());
    EXPECT_EQ(plain.size(), QSize(391, 292));
}

TEST_F(SkinnedMonitor, ButtonsActOnReleaseInsideAndThePlainFaceDrags) {
    ConnectionMonitor& w = make();
    click(QPoint(25, 5), QPoint(30, 10));  // Hangup while not connected
    EXPECT_EQ(w.statusLines().front(), "Not connected...");

    click(QPoint(25, 5), QPoint(45, 5));  // released over Connect: nothing runs
    EXPECT_EQ(w.statusLines().size(), 3);
    EXPECT_TRUE(opened.empty());

    const QPoint before = w.pos();
    QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, QPoint(150, 150));
    QMouseEvent move(QEvent::MouseMove, QPointF(170, 165), QPointF(w.mapToGlobal(QPoint(170, 165))),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &move);
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, QPoint(170, 165));
    EXPECT_EQ(w.pos(), before + QPoint(20, 15));
    EXPECT_EQ(w.statusLines().size(), 3);

    click(QPoint(5, 5), QPoint(5, 5));  // Quit hides the window and nothing else
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.floatingWindow(), nullptr);
}

TEST_F(SkinnedMonitor, TheBuiltInMenuSendsNumberedMessages) {
    ConnectionMonitor& w = make();
    CSkinMenu* menu = w.skin().menu();
    ASSERT_NE(menu, nullptr);
    auto centre = [](const CSkinMenu& level, int i) {
        const skin::Rect r = level.geometry().item(i);
        return QPoint(r.x + r.w / 2, r.y + r.h / 2);
    };
    menu->mousePress(centre(*menu, 2));  // "Report"
    CSkinMenu* report = menu->child(2);
    ASSERT_NE(report->window(), nullptr);
    QTest::mouseClick(report->window(), Qt::LeftButton, Qt::NoModifier, centre(*report, 1));
    QApplication::processEvents();
    EXPECT_EQ(opened, (std::vector<std::pair<Action, int>>{{Action::Summary, 0}}));

    menu->mousePress(centre(*menu, 4));  // "View", then "Hide"
    menu->child(4)->mousePress(centre(*menu->child(4), 0));
    QApplication::processEvents();
    EXPECT_FALSE(w.isVisible());
}

TEST_F(SkinnedMonitor, TheSkinCommandLoadsAndStoresTheChoice) {
    ConnectionMonitor& w = make(true);
    const std::string other =
        test::writeSkin(dir.file("exe/Skins/Small"), "", test::framedPicture(80, 50, kUp),
                        test::framedPicture(80, 50, kUp));
    QString folder;
    w.skin().chooseFile = [&](QWidget*, const QString& f) {
        folder = f;
        return std::optional<QString>(QString::fromStdString(other));
    };
    EXPECT_TRUE(w.handleMessage(CmdSkin));
    EXPECT_EQ(folder.toStdString(), dir.file("exe/Skins"));
    EXPECT_EQ(w.size(), QSize(80, 50));
    EXPECT_EQ(w.skin().menu(), nullptr);
    EXPECT_EQ(settings.readString(keys::kSkin, keys::kSkinPath), other);
}

TEST_F(SkinnedMonitor, TheFloatingWindowFollowsShowTimeAndTheTicks) {
    ConnectionMonitor& quiet = make();
    quiet.hideOperation();
    EXPECT_EQ(quiet.floatingWindow(), nullptr);

    settings.writeInt(keys::kSettings, keys::kShowTime, 1);
    ConnectionMonitor& w = make();
    SmallTimeWindow* floating = w.floatingWindow();
    ASSERT_NE(floating, nullptr);
    EXPECT_TRUE(floating->isVisible());
    EXPECT_EQ(floating->timeText(), "00:00:00");

    const std::uint64_t line = ras->bringUp("Provider");
    clock.advance(1s);
    w.tick(ConnectionMonitor::PollTimer);
    clock.advance(65s);
    w.tick(ConnectionMonitor::PollTimer);
    EXPECT_EQ(floating->timeText(), "00:01:05");
    ras->drop(line);
    clock.advance(1s);
    w.tick(ConnectionMonitor::PollTimer);
    EXPECT_EQ(floating->timeText(), "00:01:05");  // the last value stays

    // The corner hides it; the next hide of the main window brings it back.
    QTest::mouseClick(floating, Qt::LeftButton, Qt::NoModifier, QPoint(80, 5));
    EXPECT_FALSE(floating->isVisible());
    w.runCommand(CmdHide);
    EXPECT_TRUE(floating->isVisible());
    EXPECT_EQ(w.floatingWindow(), floating);
}

}  // namespace
}  // namespace tavu
