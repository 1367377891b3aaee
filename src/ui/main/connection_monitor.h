#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <memory>

#include "log/log_file.h"
#include "monitor/commands.h"
#include "monitor/monitor_core.h"
#include "monitor/monitor_driver.h"
#include "reports/usage_chart_data.h"
#include "ui/common/app_context.h"
#include "ui/common/icons.h"

class QMenu;
class QTreeWidget;
class QTreeWidgetItem;

namespace tavu {

namespace platform {
class StartupEntry;
}
class AutoUpgradeCheck;
class CSystemTray;
class MailController;
class OperatorWatch;
class SkinFace;
class SmallTimeWindow;

// The main window: follows the connection through MonitorCore, owns the program's timers, the
// tray icons and the command set. Without a skin it draws a plain face: the display texts and
// the status list on a dark panel.
class ConnectionMonitor : public QWidget, public MonitorView {
    Q_OBJECT

  public:
    explicit ConnectionMonitor(AppContext context, QWidget* parent = nullptr);
    ~ConnectionMonitor() override;

    // The window's start: tray icons, placement, timers, status list, display texts.
    bool initialise();

    // A command from a menu, and a numbered message (only commands marked as messages answer).
    void runCommand(int id);
    bool handleMessage(int number);
    // The skin's buttons 0 to 11.
    void skinButton(int index);

    // The exit procedure; true when the user confirmed (the program then ends).
    bool exitProcedure();
    // The end of the desktop session or a termination signal: the exit procedure without its
    // question. Does nothing after the program has already exited.
    void endSession();
    // The hide operation; the floating window is shown when ShowTime is set.
    void hideOperation();
    void restoreAndShow();
    void storePosition();
    // Follows a notification area that comes after the start or goes away (a panel restart):
    // the icons move into it, or leave it with the window kept reachable. A timer calls it
    // every few seconds; tests call it directly.
    void watchTray();

    // The tick of the timers; the real timers call it, tests may call it directly.
    void tick(int timerId);

    MonitorCore& core() { return *core_; }
    // The connections in progress of this monitor, for the Summary and the Report it opens.
    LiveUsageFeed liveUsageFeed();
    QStringList statusLines() const;
    bool trayAvailable() const { return trayAvailable_; }
    QString trayTooltip() const;
    bool shownAtStart() const { return shownAtStart_; }
    QMenu* trayMenu() const { return trayMenu_; }
    // The mail icon, and the background mailbox checks (tests give them their own jobs).
    CSystemTray* mailTray() const { return mailTray_.get(); }
    MailController& mailController() { return *mail_; }
    CSystemTray* tray() const { return tray_.get(); }
    // The operator's figures; none without a modem service.
    OperatorWatch* operatorWatch() const { return operator_.get(); }
    // A text message of the operator as a notification of the tray icon (a box without one).
    void showOperatorMessage(const std::string& sender, const std::string& text);
    // The title and text of the last notification shown.
    std::pair<QString, QString> lastNotice() const { return lastNotice_; }

    // The skin, and the floating elapsed-time window (none until first needed).
    SkinFace& skin() { return *skin_; }
    SmallTimeWindow* floatingWindow() const { return floating_.get(); }
    AutoUpgradeCheck& upgradeCheck() { return *upgradeCheck_; }
    bool loadSkin(const std::string& path);
    // The skin chooser (command 32854, through openWindow).
    void chooseSkin();
    void showFloatingWindow();

    // Windows of other parts are opened through these; tests replace them. openPreferences
    // returns true when the dialog closed with OK.
    std::function<void(Action, int page)> openWindow;
    std::function<bool(int page)> openPreferences;
    // The start-with-the-desktop entry the General page keeps; tests replace it.
    std::unique_ptr<platform::StartupEntry> startupEntry;
    // Whether the desktop has a notification area; empty: ask the desktop. Set before
    // initialise().
    std::function<bool()> trayAvailability;
    // Called when the tray marker exists: the moment this copy starts answering a second one.
    std::function<void()> onTrayMarker;

    enum TimerId {
        PollTimer = MonitorDriver::PollTimer,
        WhenConnectedTimer = MonitorDriver::WhenConnectedTimer,
        MailTimer = MonitorDriver::MailTimer,
        AfterConnectTimer = MonitorDriver::AfterConnectTimer,
        CostTimer = MonitorDriver::CostTimer,
        ScheduleTimer = 7,
        MailPollTimer = 8  // the mail result poll, run by the mail controller
    };
    bool timerActive(int id) const;

  signals:
    void exitConfirmed();
    void commandReached(tavu::Action action);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    // MonitorView
    void setTitle(const std::string& title) override;
    void setTrayState(bool connected, const std::string& tooltip) override;
    void insertStatus(const std::string& line) override;
    void removeStatus(const std::string& line) override;
    void redraw() override;
    void showMainWindow() override;
    void hideMainWindow() override;
    void elapsedTick(const std::string& text, std::int64_t seconds) override;
    void connectionStarted() override;
    void dial() override;
    void startMailCheck() override;
    void showPlanUsage(const std::vector<std::string>& lines) override;

    void runAction(const CommandEntry& entry);
    // One window of each kind: while one is open, a second request brings it to the front
    // (Preferences on the asked page) instead of opening another.
    void openOnce(Action kind, int page, const std::function<void()>& open);
    void showMailIcon(TrayPicture picture, const QString& tooltip);
    void restartConfiguredTimers();
    void preferencesWithTimers();
    void about();
    void finish();

    AppContext ctx_;
    LogWriter logWriter_;
    std::unique_ptr<MonitorCore> core_;
    std::unique_ptr<CSystemTray> tray_;
    std::unique_ptr<CSystemTray> mailTray_;
    std::unique_ptr<SkinFace> skin_;
    std::unique_ptr<SmallTimeWindow> floating_;
    std::unique_ptr<MailController> mail_;
    std::unique_ptr<AutoUpgradeCheck> upgradeCheck_;  // timer 4's upgrade question
    std::unique_ptr<OperatorWatch> operator_;
    std::pair<QString, QString> lastNotice_;
    QMenu* trayMenu_ = nullptr;
    QMenu* mailMenu_ = nullptr;
    QTreeWidget* status_ = nullptr;
    // The plans' usage lines, kept on top of the status list while a connection is up.
    std::vector<QTreeWidgetItem*> planLines_;
    // Timers 1 to 5, which follow the connection.
    QtDriverTimers driverTimers_{[this](int id) { tick(id); }};
    std::unique_ptr<MonitorDriver> driver_;
    QTimer scheduleTimer_;
    QTimer trayWatch_;
    bool loadingSkin_ = false;  // a skin load hides the window for a moment: not a hide
    bool trayAvailable_ = false;
    bool shownAtStart_ = false;
    QString tooltip_;
    QRect startRect_;
    QPoint dragOffset_;
    bool dragging_ = false;
    bool exited_ = false;
    // The kinds of window open now, each with the top-level windows there were before it.
    std::map<Action, QList<QPointer<QWidget>>> opening_;
};

}  // namespace tavu
