#pragma once

#include <QDialog>
#include <QPoint>

namespace tavu {

// The look shared by the program's small dialogs: push buttons drawn dark grey with light
// text, and a press-and-drag anywhere on the dialog's background moves the dialog.
class DarkDialog : public QDialog {
    Q_OBJECT

  public:
    explicit DarkDialog(QWidget* parent = nullptr);

    // The style sheet that gives push buttons their dark-grey face.
    static QString buttonStyleSheet();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    bool dragging_ = false;
    QPoint grabOffset_;  // from the window's top-left corner to the point that was grabbed
};

}  // namespace tavu
