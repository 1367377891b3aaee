#include "ui/main/small_time_window.h"

#include <QGuiApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "ui/common/dialog_units.h"
#include "ui/common/screen_fit.h"

namespace tavu {

namespace {

// Its face in dialog units: 62 x 22, the banner at 0,0 50 x 10, the corner at 50,0 12 x 10,
// the time at 3,12 55 x 9.
const QRect kBanner = dluRect(0, 0, 50, 10);
const QRect kCorner = dluRect(50, 0, 12, 10);
const QRect kTime = dluRect(3, 12, 55, 9);

}  // namespace

SmallTimeWindow::SmallTimeWindow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    // A tool window, so no task-bar entry; the object keeps the name other windows know it by.
    setObjectName("SmallTimeDisplayWindow");
    setWindowTitle(kTitle);
    setAttribute(Qt::WA_QuitOnClose, false);
    setFixedSize(dluX(62), dluY(22));
    keepOnScreen(this);
}

void SmallTimeWindow::showWindow() {
    if (!shownOnce_) {
        shownOnce_ = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            move(screen->availableGeometry().topLeft());
        }
        show();
        return;
    }
    show();
    raise();
    activateWindow();
}

void SmallTimeWindow::setTimeText(const QString& text) {
    if (text != time_) {
        time_ = text;
        update(kTime);
    }
}

void SmallTimeWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);

    // The banner: the program's name on a dark blue band.
    QLinearGradient band(kBanner.topLeft(), kBanner.bottomLeft());
    band.setColorAt(0, QColor(40, 70, 130));
    band.setColorAt(1, QColor(12, 24, 56));
    p.fillRect(kBanner, band);
    QFont bannerFont("DejaVu Sans");
    bannerFont.setPixelSize(11);
    bannerFont.setBold(true);
    p.setFont(bannerFont);
    p.setPen(Qt::white);
    p.drawText(kBanner.adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, "TAVU");

    // The corner hides the window: a small cross says so.
    p.fillRect(kCorner, QColor(70, 20, 20));
    p.setPen(QPen(QColor(235, 235, 235), 1.5));
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = QRectF(kCorner).center();
    p.drawLine(c + QPointF(-3.5, -3.5), c + QPointF(3.5, 3.5));
    p.drawLine(c + QPointF(-3.5, 3.5), c + QPointF(3.5, -3.5));

    QFont timeFont("DejaVu Sans Mono");
    timeFont.setPixelSize(kTime.height() - 1);
    timeFont.setBold(true);
    p.setFont(timeFont);
    p.setPen(Qt::white);
    p.drawText(kTime, Qt::AlignCenter | Qt::TextSingleLine, time_);
}

void SmallTimeWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    if (inCloseCorner(event->position().toPoint())) {
        close();
        return;
    }
    // The whole face serves as a caption: let the window manager move it where it can.
    if (QWindow* w = windowHandle(); w && w->startSystemMove()) {
        return;
    }
    dragging_ = true;
    grabOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void SmallTimeWindow::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        move(event->globalPosition().toPoint() - grabOffset_);
    }
}

void SmallTimeWindow::mouseReleaseEvent(QMouseEvent*) {
    dragging_ = false;
}

}  // namespace tavu
