#include "ui/net/net_tools_dlg.h"

#include <QFrame>
#include <QPushButton>

#include "ui/common/my_tree_ctrl.h"
#include "ui/net/net_pages.h"

namespace tavu {

CNetToolsDlg::CNetToolsDlg(SettingsStore& settings, Prompter& prompter, const Clock& clock,
                           QWidget* parent)
    : DarkDialog(parent) {
    setWindowTitle("NetTools");
    setFixedSize(470, 262);

    tree_ = new CMyTreeCtrl(this);
    tree_->setGeometry(8, 8, 122, 212);
    frame_ = new QFrame(this);
    frame_->setFrameShape(QFrame::StyledPanel);
    frame_->setGeometry(138, 4, 324, 216);

    // The pages lie over the frame's inside, 12 pixels below its top and 5 from its other edges.
    const QRect inside = frame_->geometry().adjusted(5, 12, -5, -5);
    hostPage_ = new CHostToIP(prompter, this);
    timePage_ = new CNetTime(settings, clock, this);
    pingPage_ = new CNetTrace(this);
    for (QWidget* page : {static_cast<QWidget*>(hostPage_), static_cast<QWidget*>(timePage_),
                          static_cast<QWidget*>(pingPage_)}) {
        page->setGeometry(inside);
        page->hide();
    }
    tree_->addPageItem("Get Host/IP", hostPage_);
    tree_->addPageItem("Get Time", timePage_);
    tree_->addPageItem("Ping", pingPage_);

    ok_ = new QPushButton("OK", this);
    ok_->setGeometry(300, 228, 78, 26);
    ok_->setDefault(true);
    cancel_ = new QPushButton("Cancel", this);
    cancel_->setGeometry(384, 228, 78, 26);
    connect(ok_, &QPushButton::clicked, this, &CNetToolsDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &CNetToolsDlg::reject);
    connect(tree_, &QTreeWidget::currentItemChanged, this, &CNetToolsDlg::selectionChanged);

    tree_->setCurrentItem(tree_->topLevelItem(0));
    hostPage_->show();
    ready_ = true;
}

void CNetToolsDlg::selectionChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous) {
    if (!ready_) {
        return;
    }
    if (QWidget* old = CMyTreeCtrl::pageOf(previous)) {
        old->hide();
    }
    for (QWidget* page : {static_cast<QWidget*>(hostPage_), static_cast<QWidget*>(timePage_),
                          static_cast<QWidget*>(pingPage_)}) {
        page->hide();
    }
    if (QWidget* page = CMyTreeCtrl::pageOf(current)) {
        page->show();
    }
}

void CNetToolsDlg::accept() {
    timePage_->resetRemoteTime();
    DarkDialog::accept();
}

void CNetToolsDlg::run(SettingsStore& settings, Prompter& prompter, const Clock& clock,
                       QWidget* parent) {
    CNetToolsDlg dialog(settings, prompter, clock, parent);
    dialog.exec();
}

}  // namespace tavu
