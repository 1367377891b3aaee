#include "ui/common/screen_fit.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace tavu {

namespace {

qint64 overlap(const QRect& a, const QRect& b) {
    const QRect i = a.intersected(b);
    return i.isEmpty() ? 0 : qint64(i.width()) * i.height();
}

int clampStart(int start, int length, int areaStart, int areaLength) {
    if (length >= areaLength) {
        return areaStart;
    }
    return std::clamp(start, areaStart, areaStart + areaLength - length);
}

// Moves its widget back onto the screens when it is shown and when the screens change.
class ScreenKeeper : public QObject {
  public:
    explicit ScreenKeeper(QWidget* widget) : QObject(widget), widget_(widget) {
        widget->installEventFilter(this);
        auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
        if (app == nullptr) {
            return;
        }
        connect(app, &QGuiApplication::screenAdded, this, [this](QScreen* screen) {
            watch(screen);
            refit();
        });
        connect(app, &QGuiApplication::screenRemoved, this, [this] { refit(); });
        for (QScreen* screen : QGuiApplication::screens()) {
            watch(screen);
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == widget_ && event->type() == QEvent::Show) {
            fit();
        }
        return false;
    }

  private:
    void watch(QScreen* screen) {
        connect(screen, &QScreen::availableGeometryChanged, this, [this] { refit(); });
    }
    void refit() {
        if (widget_ && widget_->isVisible()) {
            fit();
        }
    }
    void fit() {
        shrinkToArea();
        const QRect now = widget_->frameGeometry();
        const QRect fitted = fitOnScreens(now, availableScreenAreas());
        if (fitted.topLeft() != now.topLeft()) {
            widget_->move(widget_->pos() + (fitted.topLeft() - now.topLeft()));
        }
    }

    // A window taller or wider than the area it lies on most is made as small as the area
    // where its minimum size allows (its pages then scroll); never larger.
    void shrinkToArea() {
        const QList<QRect> areas = availableScreenAreas();
        if (areas.isEmpty()) {
            return;
        }
        const QRect frame = widget_->frameGeometry();
        const QRect* area = &areas.front();
        for (const QRect& a : areas) {
            if (overlap(frame, a) > overlap(frame, *area)) {
                area = &a;
            }
        }
        const QSize extra = frame.size() - widget_->size();  // the window manager's frame
        const QSize room = area->size() - extra;
        const QSize least = widget_->minimumSize().expandedTo(widget_->minimumSizeHint());
        const QSize wanted = widget_->size().boundedTo(room).expandedTo(least);
        if (wanted != widget_->size()) {
            widget_->resize(wanted);
        }
    }

    QPointer<QWidget> widget_;
};

}  // namespace

QRect fitOnScreens(const QRect& window, const QList<QRect>& areas) {
    if (areas.isEmpty()) {
        return window;
    }
    const QRect* best = &areas.front();
    qint64 bestOverlap = -1;
    for (const QRect& area : areas) {
        if (area.contains(window)) {
            return window;
        }
        const qint64 o = overlap(window, area);
        if (o > bestOverlap) {
            best = &area;
            bestOverlap = o;
        }
    }
    if (bestOverlap == 0) {
        best = &areas.front();
    }
    QRect out = window;
    out.moveTo(clampStart(window.x(), window.width(), best->x(), best->width()),
               clampStart(window.y(), window.height(), best->y(), best->height()));
    return out;
}

QList<QRect> availableScreenAreas() {
    QList<QRect> areas;
    // The primary screen first: a window that lies on no screen goes there.
    if (const QScreen* primary = QGuiApplication::primaryScreen()) {
        areas.append(primary->availableGeometry());
    }
    for (const QScreen* screen : QGuiApplication::screens()) {
        if (screen != QGuiApplication::primaryScreen()) {
            areas.append(screen->availableGeometry());
        }
    }
    return areas;
}

void keepOnScreen(QWidget* widget) {
    new ScreenKeeper(widget);
}

int titleRoom(const QWidget* window) {
    const QFontMetrics fm(QApplication::font("QMdiSubWindowTitleBar"));
    // The icon and the minimise, maximise and close buttons, each about two lines wide.
    const int frameButtons = 4 * 2 * fm.height();
    return fm.horizontalAdvance(window->windowTitle()) + frameButtons;
}

void roomForTitle(QWidget* window) {
    int room = titleRoom(window);
    if (const QScreen* screen = window->screen()) {
        room = std::min(room, screen->availableGeometry().width() - 16);
    }
    if (window->minimumWidth() < room) {
        window->setMinimumWidth(room);
    }
    if (window->width() < room) {
        window->resize(room, window->height());
    }
}

}  // namespace tavu
