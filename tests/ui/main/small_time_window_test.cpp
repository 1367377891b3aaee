#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>

#include "ui/common/dialog_units.h"
#include "ui/main/small_time_window.h"

namespace tavu {
namespace {

void mouse(QWidget& w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(at), QPointF(w.mapToGlobal(at)), Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(&w, &e);
}

TEST(DialogUnits, OneRuleForTheWholeProgram) {
    EXPECT_EQ(dluX(62), 93);
    EXPECT_EQ(dluY(22), 36);
    EXPECT_EQ(dluX(50), 75);
    EXPECT_EQ(dluY(10), 16);
    EXPECT_EQ(dluX(-4), -6);
    EXPECT_EQ(dluRect(3, 12, 55, 9), QRect(5, 20, 82, 14));
}

TEST(SmallTimeWindow, AFloatingTopmostFaceThatShowsTheTime) {
    SmallTimeWindow w;
    EXPECT_EQ(w.windowTitle(), "TAVU - Time online");
    EXPECT_EQ(w.windowType(), Qt::Tool);  // no task-bar entry
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(w.size(), QSize(93, 36));
    EXPECT_EQ(w.timeText(), "00:00:00");
    w.showWindow();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.pos(), QGuiApplication::primaryScreen()->availableGeometry().topLeft());
    w.setTimeText("01:02:03");
    EXPECT_EQ(w.timeText(), "01:02:03");
    EXPECT_FALSE(w.grab().isNull());
}

TEST(SmallTimeWindow, TheCornerHidesItAndTheRestDragsIt) {
    EXPECT_TRUE(SmallTimeWindow::inCloseCorner(QPoint(76, 14)));
    EXPECT_TRUE(SmallTimeWindow::inCloseCorner(QPoint(92, 0)));
    EXPECT_FALSE(SmallTimeWindow::inCloseCorner(QPoint(75, 0)));
    EXPECT_FALSE(SmallTimeWindow::inCloseCorner(QPoint(80, 15)));

    SmallTimeWindow w;
    w.showWindow();
    w.move(100, 100);
    mouse(w, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);
    mouse(w, QEvent::MouseMove, QPoint(30, 25), Qt::LeftButton);
    mouse(w, QEvent::MouseButtonRelease, QPoint(30, 25), Qt::NoButton);
    EXPECT_EQ(w.pos(), QPoint(120, 115));
    EXPECT_TRUE(w.isVisible());

    mouse(w, QEvent::MouseButtonPress, QPoint(80, 5), Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
    mouse(w, QEvent::MouseButtonRelease, QPoint(80, 5), Qt::NoButton);

    w.showWindow();  // the next show brings it back where it was
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(w.pos(), QPoint(120, 115));
}

}  // namespace
}  // namespace tavu
