#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace tavu {

class Clock;
class Prompter;
class SettingsStore;

// "Get Host/IP": a host name to its address and an address to its host name, each on a worker;
// the answer comes in a box of its own ("Host to IP", "IP to Host").
class CHostToIP : public QWidget {
    Q_OBJECT

  public:
    CHostToIP(Prompter& prompter, QWidget* parent = nullptr);

    QLineEdit* hostEdit() const { return hostEdit_; }
    QLineEdit* addressEdit() const { return addressEdit_; }
    QPushButton* getIpButton() const { return getIp_; }
    QPushButton* getHostButton() const { return getHost_; }

    void getIpAddress();
    void getHostAddress();

  signals:
    void lookupShown();  // a lookup's box was answered

  private:
    Prompter& prompter_;
    QLineEdit* hostEdit_;
    QLineEdit* addressEdit_;
    QPushButton* getIp_;
    QPushButton* getHost_;
};

// "Get Time": the computer's clock and the last answer of the time server (Inet/RemoteTime),
// refreshed every second; "Get time !" asks the server of Inet/TimeServer on a worker.
class CNetTime : public QWidget {
    Q_OBJECT

  public:
    CNetTime(SettingsStore& settings, const Clock& clock, QWidget* parent = nullptr);

    QLabel* clockValue() const { return clock_; }
    QLabel* remoteValue() const { return remote_; }
    QPushButton* getTimeButton() const { return getTime_; }

    void getTime();
    // The once-a-second refresh.
    void tick();
    // The window's OK: the last answer is forgotten.
    void resetRemoteTime();

  signals:
    void timeQueried();  // the worker has stored its answer

  private:
    SettingsStore& settings_;
    const Clock& computerClock_;
    QLabel* clock_;
    QLabel* remote_;
    QPushButton* getTime_;
    QTimer timer_;
};

// "Ping": pings the host of the edit off the window's thread and puts the line of the second
// echo at the top of the list.
class CNetTrace : public QWidget {
    Q_OBJECT

  public:
    explicit CNetTrace(QWidget* parent = nullptr);

    QLineEdit* hostEdit() const { return host_; }
    QPushButton* pingButton() const { return ping_; }
    QTreeWidget* list() const { return list_; }
    QStringList lines() const;

    void ping();

  signals:
    void pinged();

  private:
    QLineEdit* host_;
    QPushButton* ping_;
    QTreeWidget* list_;
};

}  // namespace tavu
