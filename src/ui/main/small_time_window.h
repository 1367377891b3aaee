#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

namespace tavu {

// The small always-on-top window that shows only the elapsed time of the connection, for
// those who keep the main window hidden. A click in its top-right corner hides it; a press
// anywhere else drags it.
class SmallTimeWindow : public QWidget {
    Q_OBJECT

  public:
    static constexpr const char* kTitle = "TAVU - Time online";

    SmallTimeWindow();

    // Shows the window, at the screen's top-left corner the first time.
    void showWindow();
    // The elapsed-time text, "%H:%M:%S".
    void setTimeText(const QString& text);
    QString timeText() const { return time_; }

    // The corner that hides the window, in pixels: x from 76, y up to 14.
    static bool inCloseCorner(QPoint at) { return at.x() >= 76 && at.y() <= 14; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    QString time_ = "00:00:00";
    bool shownOnce_ = false;
    bool dragging_ = false;
    QPoint grabOffset_;
};

}  // namespace tavu
