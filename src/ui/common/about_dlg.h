#pragma once

#include <QDialog>
#include <QStringList>
#include <QTimer>

class QPushButton;

namespace tavu {

// The About window: the program's name and version, its licence, and the credits scrolling
// slowly upwards. Its Close button, Escape or a click anywhere closes it.
class CAboutDlg : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // The credits, one line each, in the order they scroll past.
    static QStringList creditLines();
    // How far the credits have scrolled, in pixels; it starts again once all have passed.
    int scrollOffset() const { return offset_; }
    // One step of the scroll (the timer's work; tests call it directly).
    void step();
    QPushButton* closeButton() const { return close_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

  private:
    QRect creditsArea() const;

    QPushButton* close_;
    QTimer timer_;
    QStringList credits_;
    int offset_ = 0;
};

}  // namespace tavu
