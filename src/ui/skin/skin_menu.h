#pragma once

#include <QColor>
#include <QFont>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

#include "ui/skin/skin_menu_layout.h"

namespace tavu {

class CSkinMenu;

// The window of one open level of the skin's built-in menu: a child of the main window that
// hands its painting and its mouse to its level.
class CSkinMenuWnd : public QWidget {
    Q_OBJECT

  public:
    CSkinMenuWnd(CSkinMenu& level, QWidget* parent);
    // The level is gone or closing: from now on the window does nothing.
    void detach() { level_ = nullptr; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    CSkinMenu* level_;
};

struct SkinMenuColors {
    QColor text;
    QColor background;
    QColor edgeLU;  // light edge, left and upper
    QColor edgeRD;  // dark edge, right and lower
};

// One level of the skin's built-in menu. The top level is drawn when the skin loads and stays;
// a level below it has a window only while it is open.
class CSkinMenu {
  public:
    // A chosen command's identifier goes to `deliver`, after the event that chose it is over.
    using Deliver = std::function<void(int command)>;

    // The menu 161 with its top level at (x, y) in the owner's coordinates.
    static std::unique_ptr<CSkinMenu> mainMenu(QWidget* owner, QPoint at,
                                               const SkinMenuColors& colors, const QFont& font,
                                               Deliver deliver);
    ~CSkinMenu();
    CSkinMenu(const CSkinMenu&) = delete;
    CSkinMenu& operator=(const CSkinMenu&) = delete;

    // Creates the window when needed, brings it to the top and repaints it; the open item's
    // child level is drawn too.
    void draw();
    // Closes the open child level, then this level's window.
    void close();

    // Mouse in this level's window coordinates.
    void mouseMove(QPoint at);
    void mousePress(QPoint at);
    void mouseLeave();
    void paint(QWidget& window);

    int count() const { return static_cast<int>(items_.size()); }
    QString text(int i) const { return items_[static_cast<std::size_t>(i)].text; }
    int command(int i) const { return items_[static_cast<std::size_t>(i)].command; }
    CSkinMenu* child(int i) const { return items_[static_cast<std::size_t>(i)].child.get(); }
    CSkinMenu* parent() const { return parent_; }
    int hotItem() const { return hot_; }
    int openItem() const { return open_; }
    QPoint position() const { return at_; }
    const skin::MenuLevelGeometry& geometry() const { return geometry_; }
    CSkinMenuWnd* window() const { return window_; }

  private:
    struct Entry {
        QString text;
        int command = 0;  // 0 for a popup
        std::unique_ptr<CSkinMenu> child;
    };
    CSkinMenu(QWidget* owner, CSkinMenu* parent, const SkinMenuColors& colors, const QFont& font,
              Deliver deliver);
    void add(const QString& text, int command, std::unique_ptr<CSkinMenu> child);
    void place(QPoint at);
    void closeOpenChild();
    void choose(int command);

    QWidget* owner_;
    CSkinMenu* parent_;
    SkinMenuColors colors_;
    QFont font_;
    Deliver deliver_;
    std::vector<Entry> items_;
    skin::MenuLevelGeometry geometry_;
    QPoint at_;
    CSkinMenuWnd* window_ = nullptr;
    int hot_ = -1;
    int open_ = -1;
};

}  // namespace tavu
