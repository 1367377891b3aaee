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

int CTimerPage::takeNumber() {
    bool ok = false;
    const int n = number_->text().trimmed().toInt(&ok);
    if (!ok) {
        ctx_.prompter.show(
            Message{"Please enter an integer.", kAppTitle, Buttons::Ok, Icon::Information});
        return lastNumber_;
    }
    lastNumber_ = n;
    return n;
}

void CTimerPage::startSequence() {
    const int number = takeNumber();
    startSchedule(ctx_.settings, keys_, atTime_->isChecked(), delay_->isChecked(),
                  time_->text().toStdString(), number, unit_->currentIndex());
}

void CTimerPage::stopSequence() {
    stopSchedule(ctx_.settings, keys_);
}

void CTimerPage::store() {
    const int number = takeNumber();
    ctx_.settings.writeMany({{keys::kSettings, keys_.unit, std::to_string(unit_->currentIndex())},
                             {keys::kSettings, keys_.interval, std::to_string(number)},
                             {keys::kSettings, keys_.time, time_->text().toStdString()},
                             {keys::kSettings, keys_.atTime, atTime_->isChecked() ? "1" : "0"},
                             {keys::kSettings, keys_.afterTime, delay_->isChecked() ? "1" : "0"}});
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
