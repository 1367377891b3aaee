#include "ui/net/net_pages.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>

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

QLabel* label(const QString& text, QWidget* parent, const QRect& where, bool heading = false) {
    auto* l = new QLabel(text, parent);
    l->setTextFormat(Qt::PlainText);
    l->setGeometry(where);
    if (heading) {
        QFont f = l->font();
        f.setBold(true);
        l->setFont(f);
    }
    return l;
}

QLineEdit* edit(QWidget* parent, const QRect& where) {
    auto* e = new QLineEdit(parent);
    e->setGeometry(where);
    return e;
}

QPushButton* button(const QString& text, QWidget* parent, const QRect& where) {
    auto* b = new QPushButton(text, parent);
    b->setGeometry(where);
    return b;
}

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
    label("Resolve host to IP", this, QRect(8, 4, 280, 18), true);
    hostEdit_ = edit(this, QRect(8, 26, 160, 22));
    label("e.g. www.debian.org", this, QRect(176, 28, 130, 18));
    getIp_ = button("Get IP adress !", this, QRect(8, 54, 130, 24));
    label("Resolve IP adress to host", this, QRect(8, 94, 280, 18), true);
    addressEdit_ = edit(this, QRect(8, 116, 160, 22));
    label("e.g. 127.0.0.1", this, QRect(176, 118, 130, 18));
    getHost_ = button("Get host adress !", this, QRect(8, 144, 130, 24));
    connect(getIp_, &QPushButton::clicked, this, &CHostToIP::getIpAddress);
    connect(getHost_, &QPushButton::clicked, this, &CHostToIP::getHostAddress);
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
    label("Get Internet time :", this, QRect(8, 4, 280, 18), true);
    label("Current computer clock time :", this, QRect(8, 34, 170, 18));
    clock_ = label(QString(), this, QRect(180, 34, 120, 18));
    label("Current GMT internet time :", this, QRect(8, 62, 170, 18));
    remote_ = label(QString(), this, QRect(180, 62, 150, 18));
    getTime_ = button("Get time !", this, QRect(8, 100, 130, 24));
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
    label("Ping specified host.", this, QRect(8, 4, 280, 18), true);
    host_ = edit(this, QRect(8, 26, 160, 22));
    label("e.g. 127.0.0.1", this, QRect(176, 28, 130, 18));
    ping_ = button("Ping !", this, QRect(8, 54, 100, 24));
    list_ = new QTreeWidget(this);
    list_->setColumnCount(1);
    list_->setHeaderLabels({"Connection"});
    list_->setColumnWidth(0, 295);
    list_->setRootIsDecorated(false);
    list_->setGeometry(8, 84, 300, 110);
    connect(ping_, &QPushButton::clicked, this, &CNetTrace::ping);
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
