#include "ui/net/net_tools_dlg.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/common/my_tree_ctrl.h"
#include "ui/net/net_pages.h"

namespace tavu {

CNetToolsDlg::CNetToolsDlg(SettingsStore& settings, Prompter& prompter, const Clock& clock,
                           QWidget* parent)
    : DarkDialog(parent) {
    setWindowTitle("NetTools");

    tree_ = new CMyTreeCtrl(this);
    tree_->setFixedWidth(122);
    frame_ = new QFrame(this);
    frame_->setFrameShape(QFrame::StyledPanel);

    // The pages lie in the frame, 12 pixels below its top and 5 from its other edges; the
    // window is as large as the largest page needs at the font in use, and at least its
    // designed size.
    auto* inside = new QGridLayout(frame_);
    inside->setContentsMargins(5, 12, 5, 5);
    hostPage_ = new CHostToIP(prompter, frame_);
    timePage_ = new CNetTime(settings, clock, frame_);
    pingPage_ = new CNetTrace(frame_);
    for (QWidget* page : {static_cast<QWidget*>(hostPage_), static_cast<QWidget*>(timePage_),
                          static_cast<QWidget*>(pingPage_)}) {
        QSizePolicy policy = page->sizePolicy();
        policy.setRetainSizeWhenHidden(true);  // the largest page sizes the window
        page->setSizePolicy(policy);
        inside->addWidget(page, 0, 0);
        page->hide();
    }
    tree_->addPageItem("Get Host/IP", hostPage_);
    tree_->addPageItem("Get Time", timePage_);
    tree_->addPageItem("Ping", pingPage_);

    ok_ = new QPushButton("OK", this);
    ok_->setDefault(true);
    cancel_ = new QPushButton("Cancel", this);
    for (QPushButton* b : {ok_, cancel_}) {
        b->setMinimumSize(std::max(78, b->sizeHint().width()), 26);
    }
    auto* top = new QHBoxLayout;
    top->addWidget(tree_);
    top->addWidget(frame_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(8, 4, 8, 8);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(470, 262)));
    connect(ok_, &QPushButton::clicked, this, &CNetToolsDlg::accept);
    connect(cancel_, &QPushButton::clicked, this, &CNetToolsDlg::reject);
    connect(tree_, &QTreeWidget::currentItemChanged, this, &CNetToolsDlg::selectionChanged);

    tree_->setCurrentItem(tree_->topLevelItem(0));
    hostPage_->show();
    // Every control in its place already before the window is shown.
    layout->setGeometry(rect());
    frame_->layout()->setGeometry(frame_->rect());
    for (QWidget* page : {static_cast<QWidget*>(hostPage_), static_cast<QWidget*>(timePage_),
                          static_cast<QWidget*>(pingPage_)}) {
        page->layout()->setGeometry(page->rect());
    }
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
