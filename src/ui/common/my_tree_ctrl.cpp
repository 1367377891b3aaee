#include "ui/common/my_tree_ctrl.h"

#include <QHeaderView>
#include <QPalette>

namespace tavu {

CMyTreeCtrl::CMyTreeCtrl(QWidget* parent) : QTreeWidget(parent) {
    setHeaderHidden(true);
    setColumnCount(1);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    QPalette p = palette();
    p.setColor(QPalette::Base, backgroundColor());
    p.setColor(QPalette::Window, backgroundColor());
    setPalette(p);
    setAutoFillBackground(true);
    viewport()->setAutoFillBackground(true);
}

QTreeWidgetItem* CMyTreeCtrl::addPageItem(const QString& text, QWidget* page) {
    auto* item = new QTreeWidgetItem(this, QStringList{text});
    item->setData(0, Qt::UserRole, QVariant::fromValue(static_cast<QObject*>(page)));
    return item;
}

QWidget* CMyTreeCtrl::pageOf(const QTreeWidgetItem* item) {
    if (!item) {
        return nullptr;
    }
    return qobject_cast<QWidget*>(item->data(0, Qt::UserRole).value<QObject*>());
}

}  // namespace tavu
