#include "ui/common/dark_dialog.h"

#include <QMouseEvent>
#include <QWindow>

namespace tavu {

DarkDialog::DarkDialog(QWidget* parent) : QDialog(parent) {
    setStyleSheet(buttonStyleSheet());
}

QString DarkDialog::buttonStyleSheet() {
    return QStringLiteral(
        "QPushButton { background-color: rgb(50, 50, 50); color: rgb(235, 235, 235);"
        " border: 1px solid rgb(95, 95, 95); border-radius: 2px; padding: 4px 16px;"
        " min-width: 56px; }"
        "QPushButton:hover { background-color: rgb(66, 66, 66); }"
        "QPushButton:pressed { background-color: rgb(30, 30, 30); }"
        "QPushButton:default { border-color: rgb(150, 150, 150); }"
        "QPushButton:focus { border-color: rgb(190, 190, 190); }"
        "QPushButton:disabled { color: rgb(130, 130, 130); }");
}

void DarkDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QDialog::mousePressEvent(event);
        return;
    }
    // Where the window manager can move the window itself (Wayland allows nothing else), let
    // it; otherwise follow the mouse.
    if (QWindow* window = windowHandle(); window && window->startSystemMove()) {
        event->accept();
        return;
    }
    dragging_ = true;
    grabOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
}

void DarkDialog::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        QDialog::mouseMoveEvent(event);
        return;
    }
    move(event->globalPosition().toPoint() - grabOffset_);
    event->accept();
}

void DarkDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (dragging_ && event->button() == Qt::LeftButton) {
        dragging_ = false;
        event->accept();
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

}  // namespace tavu
