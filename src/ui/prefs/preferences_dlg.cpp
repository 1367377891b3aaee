#include "ui/prefs/preferences_dlg.h"

#include <QFileDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "core/prompter.h"
#include "core/version.h"
#include "ui/common/my_tree_ctrl.h"
#include "ui/common/password_dialogs.h"
#include "ui/common/screen_fit.h"
#include "ui/prefs/plans_page.h"

namespace tavu {

CPreferencesDlg::CPreferencesDlg(PreferencesContext context, int initialPage, QWidget* parent)
    : DarkDialog(parent), ctx_(std::move(context)) {
    setWindowTitle("Preferences");
    // Only OK and Cancel wear the dark look; the pages keep the desktop's buttons.
    setStyleSheet(QString());

    auto* layout = new QVBoxLayout(this);
    auto* body = new QHBoxLayout;
    tree_ = new CMyTreeCtrl(this);
    tree_->setHeaderHidden(true);
    tree_->setRootIsDecorated(false);
    tree_->setFixedWidth(120);
    body->addWidget(tree_);

    // The page area: the frame, 12 pixels in at the top and 5 at the other sides.
    frame_ = new QFrame(this);
    frame_->setFrameShape(QFrame::StyledPanel);
    auto* area = new QVBoxLayout(frame_);
    area->setContentsMargins(5, 12, 5, 5);
    // A page taller than the screen allows scrolls inside the frame.
    auto* scroll = new QScrollArea(frame_);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setFocusPolicy(Qt::NoFocus);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    stack_ = new QStackedWidget;
    scroll->setWidget(stack_);
    area->addWidget(scroll);
    body->addWidget(frame_, 1);
    layout->addLayout(body, 1);

    blank_ = new QWidget(stack_);
    stack_->addWidget(blank_);
    auto* warnings = new COptWarningsPage(ctx_, stack_);
    auto* price = new COptPricePage(ctx_, stack_);
    pages_ = {new COptGeneralPage(ctx_, stack_),
              new COptHangupPage(ctx_, stack_),
              new COptMailPage(ctx_, stack_),
              warnings,
              price,
              new COptSoundPage(ctx_, stack_),
              new COptUpgradePage(ctx_, stack_),
              new COptPlansPage(ctx_, stack_, price, warnings)};
    for (int i = 0; i < kPageCount; ++i) {
        pages_[i]->load();
        stack_->addWidget(pages_[i]);
        tree_->addPageItem(QString::fromUtf8(kPageTitles[i]), pages_[i]);
    }

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    layout->addWidget(rule);
    ok_ = new QPushButton(tr("OK"), this);
    cancel_ = new QPushButton(tr("Cancel"), this);
    ok_->setStyleSheet(buttonStyleSheet());
    cancel_->setStyleSheet(buttonStyleSheet());
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(cancel_);
    layout->addLayout(buttons);

    // The initial page; index 0 selects nothing.
    stack_->setCurrentWidget(blank_);
    tree_->setCurrentItem(nullptr);
    if (initialPage >= 1 && initialPage <= kPageCount) {
        QTreeWidgetItem* item = tree_->topLevelItem(initialPage - 1);
        tree_->setCurrentItem(item);
        showPageOf(item);
    } else {
        tree_->clearSelection();
    }
    tree_->setFocus();

    // As large as the largest page, as far as the screen allows; then it scrolls.
    resize(sizeHint() + (stack_->sizeHint() - scroll->sizeHint()).expandedTo(QSize(0, 0)));
    keepOnScreen(this);

    // Only now does a change of the selection change the page. The selection, not the current
    // item: a tree may make its first item current on getting the focus, without selecting it,
    // and that must not show a page on a dialog opened without one.
    connect(tree_, &QTreeWidget::itemSelectionChanged, this, [this] {
        const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
        showPageOf(selected.isEmpty() ? nullptr : selected.front());
    });
}

CPreferencesDlg::~CPreferencesDlg() = default;

void CPreferencesDlg::showPageOf(QTreeWidgetItem* item) {
    QWidget* page = item ? CMyTreeCtrl::pageOf(item) : nullptr;
    stack_->setCurrentWidget(page ? page : blank_);
}

OptionPage* CPreferencesDlg::page(int index) const {
    return index >= 1 && index <= kPageCount ? pages_[index - 1] : nullptr;
}

void CPreferencesDlg::showPage(int index) {
    if (index < 1 || index > kPageCount) {
        return;
    }
    QTreeWidgetItem* item = tree_->topLevelItem(index - 1);
    tree_->setCurrentItem(item);
    item->setSelected(true);
    showPageOf(item);
}

OptionPage* CPreferencesDlg::currentPage() const {
    return qobject_cast<OptionPage*>(stack_->currentWidget());
}

void CPreferencesDlg::accept() {
    // Nothing is written until every field holds a valid value; a bad one is shown, selected,
    // on its page, and everything typed stays.
    for (OptionPage* p : pages_) {
        p->takeEdits();
    }
    for (int i = 0; i < kPageCount; ++i) {
        if (QLineEdit* bad = pages_[i]->collect()) {
            // The page and the field first, then the message that names the field.
            showPage(i + 1);
            bad->setFocus();
            bad->selectAll();
            ctx_.prompter.show(Message{fieldMessage(bad, pages_[i]->refusal()), kAppTitle,
                                       Buttons::Ok, Icon::Warning});
            bad->setFocus();
            return;
        }
    }
    for (OptionPage* p : pages_) {
        p->save();
    }
    DarkDialog::accept();
}

bool CPreferencesDlg::run(PreferencesContext context, int initialPage, QWidget* parent) {
    if (!configurationGate(context.settings, context.prompter, parent)) {
        return false;
    }
    if (!context.pickFolder || !context.pickSoundFile) {
        useDesktopPickers(context);
    }
    CPreferencesDlg dialog(std::move(context), initialPage, parent);
    return dialog.exec() == QDialog::Accepted;
}

void CPreferencesDlg::useDesktopPickers(PreferencesContext& context) {
    if (!context.pickFolder) {
        context.pickFolder = [](QWidget* parent, const QString& start) {
            return QFileDialog::getExistingDirectory(parent, "Browse for Folder", start,
                                                     QFileDialog::ShowDirsOnly);
        };
    }
    if (!context.pickSoundFile) {
        context.pickSoundFile = [](QWidget* parent) {
            return QFileDialog::getOpenFileName(parent, "Open", QString(),
                                                QString::fromUtf8(kSoundFilter));
        };
    }
}

}  // namespace tavu
