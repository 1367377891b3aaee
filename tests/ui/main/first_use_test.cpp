#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTreeWidget>

#include "core/settings_keys.h"
#include "ui/common/icons.h"
#include "ui/main/connection_monitor.h"
#include "ui/main/monitor_fixture.h"
#include "ui/main/small_time_window.h"
#include "ui/skin/skin_face.h"
#include "ui/skin/skin_test_support.h"
#include "ui/tray/system_tray.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

class FirstUse : public test::MonitorFixture {
  protected:
    // A window whose notification area comes and goes with `area`.
    ConnectionMonitor& makeFollowing() {
        window = std::make_unique<ConnectionMonitor>(AppContext{
            settings, clock, prompter, *ras, nullptr, sound, system, shell, dir.path(), "/none"});
        window->trayAvailability = [this] { return area; };
        window->openWindow = [](Action, int) {};
        window->initialise();
        return *window;
    }

    QRect screenArea() const { return QGuiApplication::primaryScreen()->availableGeometry(); }

    bool area = false;
};

TEST_F(FirstUse, ANotificationAreaThatComesLateTakesTheIconAndItsGoingKeepsTheWindow) {
    ConnectionMonitor& w = makeFollowing();
    EXPECT_FALSE(w.trayAvailable());
    w.hideOperation();
    EXPECT_TRUE(w.isMinimized()) << "without a tray the window stays on the task bar";

    // A connection comes up before the panel does: its tooltip must reach the icon.
    ras->bringUp("Provider");
    clock.advance(1s);
    w.tick(ConnectionMonitor::PollTimer);
    clock.advance(4s);
    w.tick(ConnectionMonitor::PollTimer);

    area = true;
    w.watchTray();
    ASSERT_TRUE(w.trayAvailable());
    ASSERT_NE(w.tray()->trayIcon(), nullptr);
    EXPECT_TRUE(w.tray()->trayIcon()->isVisible());
    EXPECT_EQ(w.tray()->trayIcon()->toolTip(), QString("Connected - 00:00:04"));
    EXPECT_EQ(w.tray()->trayIcon()->contextMenu(), w.trayMenu());

    // Now hiding really hides: the icon brings the window back, by a single click too.
    w.hideOperation();
    EXPECT_FALSE(w.isVisible());
    emit w.tray()->trayIcon()->activated(QSystemTrayIcon::Trigger);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(w.isMinimized());

    // The panel restarts while the window is hidden: the window must stay reachable.
    w.hideOperation();
    area = false;
    w.watchTray();
    EXPECT_FALSE(w.trayAvailable());
    EXPECT_EQ(w.tray()->trayIcon(), nullptr);
    EXPECT_TRUE(w.isVisible());
    EXPECT_TRUE(w.isMinimized());
}

TEST_F(FirstUse, EveryWayOfHidingShowsTheFloatingWindowButASkinChangeDoesNot) {
    settings.writeInt(keys::kSettings, keys::kShowTime, 1);
    const std::string skin =
        test::writeSkin(dir.file("skins/Plain"), "[Coordinates]\nQuit=2,2,15,15\n",
                        test::framedPicture(200, 100, qRgb(30, 30, 90)),
                        test::framedPicture(200, 100, qRgb(90, 30, 30)));
    ConnectionMonitor& w = makeWindow("/none", true);
    SmallTimeWindow* floating = w.floatingWindow();
    ASSERT_NE(floating, nullptr);

    const std::vector<std::pair<const char*, std::function<void()>>> ways = {
        {"the skin's button", [&] { w.skinButton(2); }},
        {"View, Hide", [&] { w.runCommand(CmdHide); }},
        {"a close request", [&] { w.close(); }},
    };
    for (const auto& [name, hideIt] : ways) {
        w.restoreAndShow();
        floating->close();
        hideIt();
        EXPECT_FALSE(w.isVisible()) << name;
        EXPECT_TRUE(floating->isVisible()) << name;
    }

    w.restoreAndShow();
    floating->close();
    ASSERT_TRUE(w.loadSkin(skin));
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(floating->isVisible()) << "a skin load hides the window only for a moment";
}

TEST_F(FirstUse, AStoredPlaceOffTheScreensIsMovedOntoOneAndAFittingPlaceKept) {
    const QRect screen = screenArea();
    auto store = [&](int l, int t, int r, int b) {
        settings.writeInt(keys::kSettings, keys::kGalvWindowPosl, l);
        settings.writeInt(keys::kSettings, keys::kGalvWindowPost, t);
        settings.writeInt(keys::kSettings, keys::kGalvWindowPosr, r);
        settings.writeInt(keys::kSettings, keys::kGalvWindowPosb, b);
    };
    // Stored on a second monitor (or at twice the scale) that is no longer there.
    store(screen.right() + 500, screen.bottom() + 300, screen.right() + 890, screen.bottom() + 592);
    ConnectionMonitor& far = makeWindow("/none", true);
    EXPECT_TRUE(screen.contains(far.frameGeometry())) << far.frameGeometry().x();
    EXPECT_EQ(far.size(), QSize(390, 292));

    // Partly off the right edge: it moves in just enough.
    store(screen.right() - 100, 40, screen.right() + 290, 332);
    ConnectionMonitor& partly = makeWindow("/none", true);
    EXPECT_EQ(partly.frameGeometry().topLeft(), QPoint(screen.right() + 1 - 390, 40));

    store(30, 40, 420, 332);
    ConnectionMonitor& fits = makeWindow("/none", true);
    EXPECT_EQ(fits.frameGeometry(), QRect(30, 40, 390, 292));

    // The floating window dragged off the screen comes back when shown again.
    SmallTimeWindow floating;
    floating.showWindow();
    floating.close();
    floating.move(screen.right() + 200, screen.bottom() + 200);
    floating.showWindow();
    EXPECT_TRUE(screen.contains(floating.frameGeometry()));
}

TEST_F(FirstUse, TheSkinsStatusListShowsWholeLinesInItsOwnColoursWithoutSelection) {
    // The list of the default skin: 52 pixels high on a dark background.
    const std::string skin =
        test::writeSkin(dir.file("exe/Skins/Velvora"),
                        "[List]\nShowBuiltinList=1\nListLocation=16,274,368,52\n"
                        "ListBackgroundColor=14,8,22\nListTextColor=200,180,240\n",
                        test::framedPicture(400, 340, qRgb(14, 8, 22)),
                        test::framedPicture(400, 340, qRgb(0, 0, 0)));
    ConnectionMonitor& w = makeWindow(dir.file("exe"), true);
    for (int i = 0; i < 12; ++i) {
        w.runCommand(CmdHangup);  // "Not connected..." each time: more lines than fit
    }
    auto* list = w.findChild<QTreeWidget*>();
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(list->isVisible());
    QApplication::processEvents();

    EXPECT_EQ(list->selectionMode(), QAbstractItemView::NoSelection);
    EXPECT_LE(list->height(), 52);
    const int row = list->visualItemRect(list->topLevelItem(0)).height();
    ASSERT_GT(row, 0);
    EXPECT_EQ(list->viewport()->height() % row, 0) << "a line is cut by the bottom edge";
    EXPECT_GE(list->viewport()->height() / row, 1);

    // Nothing of the list is drawn in a light colour: no white scroll bar, no highlighted row.
    list->setCurrentItem(list->topLevelItem(0));
    const QImage image = list->grab().toImage();
    int light = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c(image.pixel(x, y));
            light += (c.red() > 230 && c.green() > 230 && c.blue() > 230) ? 1 : 0;
        }
    }
    EXPECT_EQ(light, 0);
    ASSERT_TRUE(list->verticalScrollBar()->isVisible());
    const QImage bar = list->verticalScrollBar()->grab().toImage();
    EXPECT_EQ(QColor(bar.pixel(bar.width() / 2, bar.height() - 1)), QColor(14, 8, 22));
}

}  // namespace
}  // namespace tavu
