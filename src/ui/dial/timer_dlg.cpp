#include "ui/dial/timer_dlg.h"

#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <utility>

#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/version.h"
#include "ui/common/my_tree_ctrl.h"
#include "ui/common/password_dialogs.h"

namespace tavu {

namespace {

constexpr int kStatusRefreshMs = 500;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// The Start and Stop buttons are black.
QPushButton* blackButton(const char* text, QWidget* parent) {
    auto* b = new QPushButton(QString::fromLatin1(text), parent);
    b->setStyleSheet(
        QStringLiteral("QPushButton { background-color: rgb(0, 0, 0); color: rgb(235, 235, 235);"
                       " border: 1px solid rgb(80, 80, 80); padding: 4px 10px; }"
                       "QPushButton:pressed { background-color: rgb(40, 40, 40); }"));
    b->setAutoDefault(false);
    b->setMinimumWidth(b->sizeHint().width());  // the caption stays whole in any font
    return b;
}

}  // namespace

CTimerPage::CTimerPage(AppContext context, const ScheduleKeys& keys, const Texts& texts,
                       QWidget* parent)
    : QWidget(parent), ctx_(std::move(context)), keys_(keys) {
    atTime_ = new QRadioButton(QString::fromLatin1(texts.atTimeRadio), this);
    delay_ = new QRadioButton(QString::fromLatin1(texts.delayRadio), this);
    time_ = new QLineEdit(this);
    number_ = new QLineEdit(this);
    unit_ = new QComboBox(this);
    unit_->addItems(
        {QStringLiteral("Seconds"), QStringLiteral("Minutes"), QStringLiteral("Hours")});
    start_ = blackButton(texts.startButton, this);
    stop_ = blackButton(texts.stopButton, this);
    status_ = new QLabel(this);
    status_->setTextFormat(Qt::PlainText);

    auto* grid = new QGridLayout;
    grid->addWidget(atTime_, 0, 0);
    grid->addWidget(time_, 0, 1, 1, 2);
    grid->addWidget(delay_, 1, 0);
    grid->addWidget(number_, 1, 1);
    grid->addWidget(unit_, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(start_);
    buttons->addWidget(stop_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    layout->addWidget(status_);
    layout->addStretch();

    // The fields as stored.
    const SettingsStore& s = ctx_.settings;
    const int unit = s.readInt(keys::kSettings, keys_.unit, 0);
    unit_->setCurrentIndex(unit >= 0 && unit <= 2 ? unit : 0);
    time_->setText(qs(s.readString(keys::kSettings, keys_.time, "12:00:00")));
    lastNumber_ = s.readInt(keys::kSettings, keys_.interval, 10);
    number_->setText(QString::number(lastNumber_));
    // The radios mirror two keys, so both may be off (or, from a hand-edited file, both on).
    atTime_->setAutoExclusive(false);
    delay_->setAutoExclusive(false);
    atTime_->setChecked(s.readInt(keys::kSettings, keys_.atTime, 0) == 1);
    delay_->setChecked(s.readInt(keys::kSettings, keys_.afterTime, 0) == 1);
    connect(atTime_, &QRadioButton::clicked, this, [this] {
        atTime_->setChecked(true);
        delay_->setChecked(false);
    });
    connect(delay_, &QRadioButton::clicked, this, [this] {
        delay_->setChecked(true);
        atTime_->setChecked(false);
    });

    connect(start_, &QPushButton::clicked, this, &CTimerPage::startSequence);
    connect(stop_, &QPushButton::clicked, this, &CTimerPage::stopSequence);
    connect(&statusTimer_, &QTimer::timeout, this, &CTimerPage::refreshStatus);
    statusTimer_.start(kStatusRefreshMs);
    refreshStatus();
}

bool CTimerPage::isTimeOfDay(const QString& text) {
    static const QRegularExpression pattern(
        QStringLiteral("^([01][0-9]|2[0-3]):[0-5][0-9](:[0-5][0-9])?$"));
    return pattern.match(text.trimmed()).hasMatch();
}

bool CTimerPage::checkChosenField() {
    auto refuse = [this](QLineEdit* field, const char* text) {
        ctx_.prompter.show(Message{text, kAppTitle, Buttons::Ok, Icon::Information});
        field->setFocus();
        field->selectAll();
        return false;
    };
    if (atTime_->isChecked()) {
        return isTimeOfDay(time_->text()) ? true : refuse(time_, kTimeOfDayMessage);
    }
    if (delay_->isChecked()) {
        bool ok = false;
        const int n = number_->text().trimmed().toInt(&ok);
        if (!ok) {
            return refuse(number_, "Please enter an integer.");
        }
        if (n < 1) {
            return refuse(number_, kPositiveDelayMessage);
        }
        lastNumber_ = n;
    }
    return true;
}

void CTimerPage::startSequence() {
    if (!atTime_->isChecked() && !delay_->isChecked()) {
        ctx_.prompter.show(Message{kChooseWhenText, kAppTitle, Buttons::Ok, Icon::Information});
        return;
    }
    if (!checkChosenField()) {
        return;  // a refused value starts nothing
    }
    startSchedule(ctx_.settings, keys_, atTime_->isChecked(), delay_->isChecked(),
                  time_->text().trimmed().toStdString(), lastNumber_, unit_->currentIndex());
}

void CTimerPage::stopSequence() {
    stopSchedule(ctx_.settings, keys_);
}

bool CTimerPage::store() {
    if (!checkChosenField()) {
        return false;
    }
    // The field of the mode not chosen is kept as typed when it is valid, else as it was.
    bool numberOk = false;
    const int typed = number_->text().trimmed().toInt(&numberOk);
    const int number = numberOk && typed >= 1 ? typed : lastNumber_;
    const std::string time =
        isTimeOfDay(time_->text())
            ? time_->text().trimmed().toStdString()
            : ctx_.settings.readString(keys::kSettings, keys_.time, "12:00:00");
    ctx_.settings.writeMany({{keys::kSettings, keys_.unit, std::to_string(unit_->currentIndex())},
                             {keys::kSettings, keys_.interval, std::to_string(number)},
                             {keys::kSettings, keys_.time, time},
                             {keys::kSettings, keys_.atTime, atTime_->isChecked() ? "1" : "0"},
                             {keys::kSettings, keys_.afterTime, delay_->isChecked() ? "1" : "0"}});
    return true;
}

void CTimerPage::refreshStatus() {
    const QString text = qs(ctx_.settings.readString(keys::kSettings, keys_.status));
    if (status_->text() != text) {
        status_->setText(text);
    }
}

CTimerConnectPage::CTimerConnectPage(AppContext context, QWidget* parent)
    : CTimerPage(std::move(context), dialScheduleKeys(),
                 Texts{"Start dialing at time:", "Start dialing in:", "Start dialup sequence",
                       "Stop dialup sequence"},
                 parent) {}

CTimerHangupPage::CTimerHangupPage(AppContext context, QWidget* parent)
    : CTimerPage(std::move(context), hangupScheduleKeys(),
                 Texts{"Start Hangup at time:", "Start Hangup in:", "Start hangup sequence",
                       "Stop hangup sequence"},
                 parent) {}

CTimerDlg::CTimerDlg(AppContext context, QWidget* parent) : DarkDialog(parent) {
    setWindowTitle(QStringLiteral("Timer"));
    tree_ = new CMyTreeCtrl(this);
    tree_->setFixedWidth(110);
    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::StyledPanel);
    connect_ = new CTimerConnectPage(context, frame);
    hangup_ = new CTimerHangupPage(context, frame);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(5, 12, 5, 5);
    frameLayout->addWidget(connect_);
    frameLayout->addWidget(hangup_);
    hangup_->hide();
    QTreeWidgetItem* first = tree_->addPageItem(QStringLiteral("Connect"), connect_);
    tree_->addPageItem(QStringLiteral("Hangup"), hangup_);
    tree_->setCurrentItem(first);
    QObject::connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        QWidget* page = CMyTreeCtrl::pageOf(item);
        if (!page) {
            return;
        }
        for (QWidget* p : {static_cast<QWidget*>(connect_), static_cast<QWidget*>(hangup_)}) {
            p->setVisible(p == page);
        }
    });

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    ok_->setDefault(true);
    QObject::connect(ok_, &QPushButton::clicked, this, &CTimerDlg::accept);
    QObject::connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    auto* top = new QHBoxLayout;
    top->addWidget(tree_);
    top->addWidget(frame, 1);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok_);
    row->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(row);
    resize(470, 230);
}

void CTimerDlg::accept() {
    // Both pages' chosen fields first: a refused one shows its page and nothing is written.
    for (int i = 0; i < 2; ++i) {
        CTimerPage* page = i == 0 ? static_cast<CTimerPage*>(connect_) : hangup_;
        if (!page->checkChosenField()) {
            tree_->setCurrentItem(tree_->topLevelItem(i));
            return;
        }
    }
    connect_->store();
    hangup_->store();
    DarkDialog::accept();
}

void CTimerDlg::run(const AppContext& context, QWidget* parent) {
    if (!configurationGate(context.settings, context.prompter, parent)) {
        return;
    }
    CTimerDlg dlg(context, parent);
    dlg.exec();
}

}  // namespace tavu
