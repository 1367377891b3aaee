#include "ui/net/net_pages.h"

#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>

#include "core/clock.h"
#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "net/lookup.h"
#include "net/net_time.h"
#include "net/ping.h"
#include "ui/net/off_thread.h"

namespace tavu {

namespace {

QLabel* label(const QString& text, QWidget* parent, bool heading = false) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    if (heading) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    return l;
}

QLineEdit* edit(QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setMinimumWidth(160);
    return e;
}

QPushButton* button(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setMinimumWidth(std::max(130, b->sizeHint().width()));
    return b;
}

// A field and its example beside it.
QHBoxLayout* fieldRow(QLineEdit* field, QLabel* example) {
    auto* row = new QHBoxLayout;
    row->addWidget(field);
    row->addWidget(example);
    row->addStretch();
    return row;
}

QHBoxLayout* buttonRow(QPushButton* b) {
    auto* row = new QHBoxLayout;
    row->addWidget(b);
    row->addStretch();
    return row;
}

// Return in a field runs its tool, and only that: it does not reach the window's default button.
class ReturnRuns : public QObject {
  public:
    ReturnRuns(QLineEdit* field, std::function<void()> action)
        : QObject(field), action_(std::move(action)) {
        field->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                action_();
                return true;
            }
        }
        return false;
    }

  private:
    std::function<void()> action_;
};

// The wait cursor shows while at least one worker of the window runs.
void beginWait() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}
void endWait() {
    QApplication::restoreOverrideCursor();
}

std::string editText(const QLineEdit* e) {
    return e->text().toStdString();
}

}  // namespace

CHostToIP::CHostToIP(Prompter& prompter, QWidget* parent) : QWidget(parent), prompter_(prompter) {
    hostEdit_ = edit(this);
    getIp_ = button("Get IP adress !", this);
    addressEdit_ = edit(this);
    getHost_ = button("Get host adress !", this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label("Resolve host to IP", this, true));
    layout->addLayout(fieldRow(hostEdit_, label("e.g. www.debian.org", this)));
    layout->addLayout(buttonRow(getIp_));
    layout->addSpacing(12);
    layout->addWidget(label("Resolve IP adress to host", this, true));
    layout->addLayout(fieldRow(addressEdit_, label("e.g. 127.0.0.1", this)));
    layout->addLayout(buttonRow(getHost_));
    layout->addStretch();
    connect(getIp_, &QPushButton::clicked, this, &CHostToIP::getIpAddress);
    connect(getHost_, &QPushButton::clicked, this, &CHostToIP::getHostAddress);
    new ReturnRuns(hostEdit_, [this] { getIpAddress(); });
    new ReturnRuns(addressEdit_, [this] { getHostAddress(); });
}

void CHostToIP::getIpAddress() {
    beginWait();
    Prompter* prompter = &prompter_;
    runOffThread<net::LookupResult>(
        [host = editText(hostEdit_)] { return net::hostToAddress(host); },
        [guard = QPointer<CHostToIP>(this), prompter](const net::LookupResult& r) {
            endWait();
            prompter->show(Message{r.text, "Host to IP", Buttons::Ok, Icon::None});
            if (guard) {
                emit guard->lookupShown();
            }
        });
}

void CHostToIP::getHostAddress() {
    beginWait();
    Prompter* prompter = &prompter_;
    runOffThread<net::LookupResult>(
        [address = editText(addressEdit_)] { return net::addressToHost(address); },
        [guard = QPointer<CHostToIP>(this), prompter](const net::LookupResult& r) {
            endWait();
            prompter->show(Message{r.text, "IP to Host", Buttons::Ok, Icon::None});
            if (guard) {
                emit guard->lookupShown();
            }
        });
}

CNetTime::CNetTime(SettingsStore& settings, const Clock& clock, QWidget* parent)
    : QWidget(parent), settings_(settings), computerClock_(clock) {
    clock_ = label(QString(), this);
    remote_ = label(QString(), this);
    getTime_ = button("Get time !", this);
    auto* grid = new QGridLayout;
    grid->addWidget(label("Current computer clock time :", this), 0, 0);
    grid->addWidget(clock_, 0, 1);
    grid->addWidget(label("Current GMT internet time :", this), 1, 0);
    grid->addWidget(remote_, 1, 1);
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label("Get Internet time :", this, true));
    layout->addLayout(grid);
    layout->addSpacing(12);
    layout->addLayout(buttonRow(getTime_));
    layout->addStretch();
    connect(getTime_, &QPushButton::clicked, this, &CNetTime::getTime);

    // Set up with the window: the last answer is forgotten.
    resetRemoteTime();
    remote_->setText(net::kRemoteTimeUnknown);
    timer_.setInterval(1000);
    connect(&timer_, &QTimer::timeout, this, &CNetTime::tick);
    timer_.start();
}

void CNetTime::resetRemoteTime() {
    settings_.writeString(keys::kInet, keys::kRemoteTime, net::kRemoteTimeUnknown);
}

void CNetTime::tick() {
    const LocalDateTime now = computerClock_.localNow();
    clock_->setText(QString::fromStdString(formatClock(now.hour, now.minute, now.second)));
    remote_->setText(QString::fromStdString(
        settings_.readString(keys::kInet, keys::kRemoteTime, net::kRemoteTimeUnknown)));
}

void CNetTime::getTime() {
    // The worker writes the answer to the settings itself, so it is kept even when the
    // window has closed meanwhile.
    SettingsStore* settings = &settings_;
    runOffThread<std::string>(
        [server = net::configuredTimeServer(settings_), settings] {
            const net::TimeQueryResult r = net::queryTime(server);
            settings->writeString(keys::kInet, keys::kRemoteTime, r.text);
            return r.text;
        },
        [guard = QPointer<CNetTime>(this)](const std::string&) {
            if (guard) {
                emit guard->timeQueried();
            }
        });
}

CNetTrace::CNetTrace(QWidget* parent) : QWidget(parent) {
    host_ = edit(this);
    ping_ = button("Ping !", this);
    list_ = new QTreeWidget(this);
    list_->setColumnCount(1);
    list_->setHeaderLabels({"Connection"});
    list_->setColumnWidth(0, 295);
    list_->setRootIsDecorated(false);
    list_->setMinimumSize(300, 110);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label("Ping specified host.", this, true));
    layout->addLayout(fieldRow(host_, label("e.g. 127.0.0.1", this)));
    layout->addLayout(buttonRow(ping_));
    layout->addWidget(list_, 1);
    connect(ping_, &QPushButton::clicked, this, &CNetTrace::ping);
    new ReturnRuns(host_, [this] { ping(); });
}

QStringList CNetTrace::lines() const {
    QStringList out;
    for (int i = 0; i < list_->topLevelItemCount(); ++i) {
        out << list_->topLevelItem(i)->text(0);
    }
    return out;
}

void CNetTrace::ping() {
    // Two echoes may take two seconds: they run off the window's thread.
    beginWait();
    runOffThread<std::string>(
        [host = editText(host_)] { return net::pingHost(host); },
        [guard = QPointer<CNetTrace>(this)](const std::string& line) {
            endWait();
            if (!guard) {
                return;
            }
            guard->list_->insertTopLevelItem(
                0, new QTreeWidgetItem(QStringList{QString::fromStdString(line)}));
            emit guard->pinged();
        });
}

}  // namespace tavu
