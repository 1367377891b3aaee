#pragma once

#include <QTreeWidget>

namespace tavu {

// The program's tree control: a standard tree of plain items whose lines, buttons and texts
// stand on a grey RGB(150,150,150) background instead of the window colour. The Timer dialog and
// the net tools pick their pages with it.
class CMyTreeCtrl : public QTreeWidget {
    Q_OBJECT

  public:
    explicit CMyTreeCtrl(QWidget* parent = nullptr);

    // Adds a root item with the given text; `page` is the widget it stands for (may be null).
    QTreeWidgetItem* addPageItem(const QString& text, QWidget* page);
    // The page of an item added with addPageItem, or null.
    static QWidget* pageOf(const QTreeWidgetItem* item);

    static QColor backgroundColor() { return QColor(150, 150, 150); }
};

}  // namespace tavu
