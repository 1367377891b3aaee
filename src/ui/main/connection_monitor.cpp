#include "ui/main/connection_monitor.h"

#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHideEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QThread>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <limits>

#include "core/paths.h"
#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/version.h"
#include "dial/schedule_check.h"
#include "monitor/operator_watch.h"
#include "net/auto_upgrade_check.h"
#include "net/mail_check.h"
#include "net/mail_controller.h"
#include "net/upgrade_query.h"
#include "platform/desktop/shell.h"
#include "platform/desktop/startup_entry.h"
#include "platform/kernel/system_info.h"
#include "platform/ras/ras_errors.h"
#include "platform/ras/remote_access.h"
#include "ui/common/about_dlg.h"
#include "ui/common/icons.h"
#include "ui/common/manual.h"
#include "ui/common/password_dialogs.h"
#include "ui/common/screen_fit.h"
#include "ui/dial/connection_dialogs.h"
#include "ui/dial/dial_progress_dlg.h"
#include "ui/dial/timer_dlg.h"
#include "ui/main/small_time_window.h"
#include "ui/modem/messages_dlg.h"
#include "ui/net/net_tools_dlg.h"
#include "ui/perf/performance_dlg.h"
#include "ui/prefs/preferences_dlg.h"
#include "ui/reports/live_usage.h"
#include "ui/reports/report_dlg.h"
#include "ui/reports/summary_dlg.h"
#include "ui/skin/skin_face.h"
#include "ui/skin/skin_file.h"
#include "ui/tray/system_tray.h"
#include "ui/tray/tray_menus.h"
#include "usage/usage_store.h"

namespace tavu {

namespace {
constexpr const char* kCheckingMail = "Checking mail...";
}  // namespace

namespace {

constexpr int kMainTrayId = 173;
constexpr int kMailTrayId = 193;
const QRect kFirstStartRect(QPoint(126, 133), QPoint(517 - 1, 425 - 1));
constexpr QSize kMaximisedSize(390, 292);

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

int readSetting(const SettingsStore& s, const char* key, int def) {
    return s.readInt(keys::kSettings, key, def);
}

}  // namespace

ConnectionMonitor::ConnectionMonitor(AppContext context, QWidget* parent)
    : QWidget(parent), ctx_(std::move(context)), logWriter_(ctx_.prompter) {
    setWindowTitle("TAVU");
    setWindowIcon(trayIcon(TrayPicture::Idle));
    setWindowFlag(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_QuitOnClose, false);

    status_ = new QTreeWidget(this);
    status_->setColumnCount(1);
    status_->setHeaderLabels({"Connection"});
    status_->setColumnWidth(0, 190);
    status_->setRootIsDecorated(false);
    status_->setGeometry(12, 150, 366, 130);
    status_->setStyleSheet(
        "QTreeWidget { background: rgb(40,40,46); color: rgb(200,230,160); border: none; }"
        "QHeaderView::section { background: rgb(50,50,50); color: rgb(220,220,220); }");

    skin_ = std::make_unique<SkinFace>(*this, status_);
    upgradeCheck_ = std::make_unique<AutoUpgradeCheck>(ctx_.settings, ctx_.prompter);
    skin_->menuMessage = [this](int number) { handleMessage(number); };

    connect(&scheduleTimer_, &QTimer::timeout, this, [this] { tick(ScheduleTimer); });
    connect(&trayWatch_, &QTimer::timeout, this, &ConnectionMonitor::watchTray);
    keepOnScreen(this);

    startupEntry = std::make_unique<platform::XdgAutostartEntry>(ctx_.exeDir);
    // The background mailbox checks: a count shows the new-mail icon and the display's count, a
    // failure the mail-error icon (no box).
    mail_ = std::make_unique<MailController>([this] { return makeMailCheckJob(ctx_.settings); });
    connect(mail_.get(), &MailController::newMail, this,
            [this](const QString& count, const QString& tooltip) {
                showMailIcon(TrayPicture::NewMail, tooltip);
                if (core_) {
                    core_->display().mailCount = count.toStdString();
                }
                redraw();
            });
    connect(mail_.get(), &MailController::checkFailed, this,
            [this](const QString& tooltip) { showMailIcon(TrayPicture::MailError, tooltip); });
    connect(mail_.get(), &MailController::noMail, this, [this] {
        if (mailTray_) {
            mailTray_->hide();
        }
        if (core_) {
            core_->display().mailCount.assign(1, '0');  // as the Hide command
        }
        redraw();
    });

    openWindow = [this](Action action, int page) {
        switch (action) {
            case Action::Preferences:
                openPreferences(page);
                return;
            case Action::Skin:
                chooseSkin();
                return;
            case Action::Security:
                CSecurityDlg::runSecurityCommand(ctx_.settings, ctx_.prompter, this);
                return;
            case Action::Report:
                CReportDlg::run(ctx_.settings, ctx_.configDir, ctx_.clock, this, liveUsageFeed());
                return;
            case Action::Summary:
                CSummaryDlg::run(ctx_.settings, ctx_.configDir, ctx_.clock, this, {},
                                 liveUsageFeed());
                return;
            case Action::Dial:
                runDialCommand(
                    ctx_, this, [this](const std::string& line) { insertStatus(line); },
                    [this](const std::string& line) { removeStatus(line); });
                return;
            case Action::Connections:
                CConnectionsDlg::runManager(ctx_, this);
                return;
            case Action::Timer:
                CTimerDlg::run(ctx_, this);
                return;
            case Action::CheckMail:
                CDialProgressDlg::runMailCheck(
                    ctx_, this, makeMailCheckJob(ctx_.settings),
                    [this](const MailCheckResult& result) {
                        removeStatus(kCheckingMail);  // the check is over before its result shows
                        mail_->handleResult(result);
                    });
                return;
            case Action::Performance:
                CPerformanceDlg::run(*core_, this);
                return;
            case Action::InetTools:
                CNetToolsDlg::run(ctx_.settings, ctx_.prompter, ctx_.clock, this);
                return;
            case Action::Messages:
                if (ctx_.modem != nullptr) {
                    CMessagesDlg::run(*ctx_.modem, ctx_.prompter, this);
                } else {
                    ctx_.prompter.show(
                        Message{"No modem is present.", kAppTitle, Buttons::Ok, Icon::Information});
                }
                return;
            case Action::CheckUpdate:
                CDialProgressDlg::runUpgradeCheck(ctx_, this,
                                                  net::makeUpgradeQueryJob(ctx_.settings));
                return;
            default:
                break;
        }
        ctx_.prompter.show(Message{"This window is not part of this version of TAVU yet.",
                                   kAppTitle, Buttons::Ok, Icon::Information});
    };
    openPreferences = [this](int page) {
        return CPreferencesDlg::run(
            PreferencesContext{ctx_.settings,
                               ctx_.prompter,
                               ctx_.sound,
                               *startupEntry,
                               ctx_.configDir,
                               [this](int command) { runCommand(command); },
                               {},
                               {},
                               [this](QWidget* parent, const MailCheckSettings& account) {
                                   CDialProgressDlg::runMailCheck(
                                       ctx_, parent, [account] { return runMailCheck(account); },
                                       [this](const MailCheckResult& r) {
                                           mail_->handleResult(r);
                                       });
                               },
                               {}},
            page, this);
    };
}

ConnectionMonitor::~ConnectionMonitor() = default;

LiveUsageFeed ConnectionMonitor::liveUsageFeed() {
    return [this](const std::string& logPath, const UsageSource* stored) {
        if (!core_) {
            return std::vector<LiveUsage>{};
        }
        const std::int64_t now =
            std::chrono::duration_cast<std::chrono::seconds>(ctx_.clock.now().time_since_epoch())
                .count();
        return liveUsageOf(*core_, now, logPath, stored);
    };
}

bool ConnectionMonitor::initialise() {
    const std::string version = ctx_.system.versionText();
    core_ = std::make_unique<MonitorCore>(
        MonitorServices{ctx_.settings, ctx_.clock, ctx_.prompter, ctx_.ras, ctx_.counters,
                        ctx_.sound, logWriter_, ctx_.configDir, ctx_.system.userName(), version,
                        [](std::chrono::milliseconds d) {
                            QThread::msleep(static_cast<unsigned long>(d.count()));
                        },
                        ctx_.usage},
        *this);
    driver_ = std::make_unique<MonitorDriver>(
        *core_, ctx_.settings, ctx_.clock, driverTimers_,
        MonitorDriver::Hooks{[this] { startMailCheck(); },
                             [this] {
                                 if (MailController::checksAfterConnect(ctx_.settings)) {
                                     startMailCheck();
                                 }
                                 upgradeCheck_->start();
                             }});

    if (readSetting(ctx_.settings, keys::kShowTime, 0) == 1) {
        showFloatingWindow();
    }

    // The tray icons. Without a notification area the window itself stays reachable instead.
    trayMenu_ = createTrayMenu([this](int id) { runCommand(id); }, this);
    mailMenu_ = createMailMenu([this](int id) { runCommand(id); }, this);
    tray_ = std::make_unique<CSystemTray>(nullptr, trayAvailability);
    trayAvailable_ = tray_->create("Waiting for connection...", trayIcon(TrayPicture::Idle),
                                   kMainTrayId, trayMenu_, CmdShow);
    connect(tray_.get(), &CSystemTray::command, this, [this](int id) { runCommand(id); });
    tooltip_ = "Waiting for connection...";
    if (onTrayMarker) {
        onTrayMarker();
    }
    mailTray_ = std::make_unique<CSystemTray>(nullptr, trayAvailability);
    mailTray_->create("Email", trayIcon(TrayPicture::NewMail), kMailTrayId, mailMenu_, CmdMailHide);
    mailTray_->hide();
    connect(mailTray_.get(), &CSystemTray::command, this, [this](int id) { runCommand(id); });

    // Placement.
    const SettingsStore& s = ctx_.settings;
    const int bottom = readSetting(s, keys::kGalvWindowPosb, 0);
    if (bottom == 0) {
        startRect_ = kFirstStartRect;
    } else {
        startRect_ = QRect(QPoint(readSetting(s, keys::kGalvWindowPosl, 0),
                                  readSetting(s, keys::kGalvWindowPost, 0)),
                           QPoint(readSetting(s, keys::kGalvWindowPosr, 0) - 1, bottom - 1));
    }
    // A stored place from another monitor or scale factor must not put the window off the
    // screens.
    startRect_ = fitOnScreens(startRect_, availableScreenAreas());
    setGeometry(startRect_);
    if (readSetting(s, keys::kGalvWindowMinimized, 0) == 1) {
        showMinimized();
    } else if (readSetting(s, keys::kHideOnStart, 1) == 1) {
        shownAtStart_ = true;
        show();
    } else {
        showMinimized();
    }
    setWindowTitle("TAVU");

    // Timers, and the line's own news between two polls.
    driver_->start();
    trayWatch_.start(2000);

    insertStatus("System messages will go here!");
    insertStatus("Welcome to Tavu - your online timer!");
    if (ctx_.modem != nullptr) {
        OperatorServices services{ctx_.settings,
                                  ctx_.clock,
                                  ctx_.prompter,
                                  *ctx_.modem,
                                  *core_,
                                  *this,
                                  ctx_.configDir,
                                  {},
                                  {},
                                  {}};
        services.showMessage = [this](const std::string& sender, const std::string& text) {
            showOperatorMessage(sender, text);
        };
        if (ctx_.usage != nullptr) {
            services.keepReply = [this](const OperatorReply& reply, std::string& problem) {
                if (ctx_.usage->addOperatorReply(core_->logPath(), reply)) {
                    return true;
                }
                problem = ctx_.usage->problem();
                return false;
            };
            services.lastReply = [this] { return ctx_.usage->lastOperatorReply(core_->logPath()); };
        }
        operator_ = std::make_unique<OperatorWatch>(std::move(services));
        operator_->start();
    }
    ctx_.settings.writeInt(keys::kSettings, keys::kCheckMailSuccessed, 0);

    // The skin named in the settings. Its display face must be installed for the texts to show.
    const std::string skinPath =
        ctx_.settings.readString(keys::kSkin, keys::kSkinPath, skin::defaultSkinPath(ctx_.exeDir));
    if (loadSkin(skinPath) && !skin_->fontReady()) {
        ctx_.prompter.show(
            Message{"TAVU error - cant' create font", kAppTitle, Buttons::Ok, Icon::None});
    }
    redraw();
    return true;
}

bool ConnectionMonitor::timerActive(int id) const {
    if (id == MailPollTimer) {
        return mail_->pollActive();
    }
    if (id == ScheduleTimer) {
        // Running for real: a timer whose start the system refused has no timer id.
        return scheduleTimer_.isActive() && scheduleTimer_.timerId() > 0;
    }
    return driverTimers_.active(id);
}

void ConnectionMonitor::tick(int timerId) {
    switch (timerId) {
        case ScheduleTimer: {
            // The action runs after the tick has returned: a timer whose tick is still running
            // does not fire, so a window opened inside it would stop every schedule until it
            // closed.
            const ScheduleAction due = scheduleCheck(ctx_.settings, ctx_.clock);
            if (due == ScheduleAction::Dial) {
                QTimer::singleShot(0, this, [this] { dial(); });
            } else if (due == ScheduleAction::Hangup) {
                QTimer::singleShot(0, this, [this] { core_->hangupCommand(); });
            }
            break;
        }
        default:
            driver_->tick(timerId);
            if (timerId == PollTimer && operator_) {
                operator_->tick();
            }
            break;
    }
    // The first event of any timer hides a window that was not to stay shown at start.
    if (!shownAtStart_) {
        shownAtStart_ = true;
        hideOperation();
    }
}

// --- Commands -------------------------------------------------------------------------------

void ConnectionMonitor::runCommand(int id) {
    if (const auto entry = findCommand(id)) {
        runAction(*entry);
    }
}

bool ConnectionMonitor::handleMessage(int number) {
    if (number == 12345) {  // a second copy of the program asks this one to come forward
        restoreAndShow();
        return true;
    }
    if (const auto entry = findMessageCommand(number)) {
        runAction(*entry);
        return true;
    }
    return false;
}

void ConnectionMonitor::runAction(const CommandEntry& entry) {
    emit commandReached(entry.action);
    switch (entry.action) {
        case Action::Dial:
            dial();
            break;
        case Action::Hangup:
            core_->hangupCommand();
            break;
        case Action::Hide:
            hideOperation();
            break;
        case Action::Minimize:
            showMinimized();
            break;
        case Action::Show:
            restoreAndShow();
            break;
        case Action::Exit:
            exitProcedure();
            break;
        case Action::About:
            openOnce(Action::About, 0, [this] { about(); });
            break;
        case Action::HelpContents:
            openManual(ctx_.shell, ctx_.prompter, helpIndexPath(ctx_.exeDir));
            break;
        case Action::MailHide:
            mailTray_->hide();
            core_->display().mailCount.assign(1, '0');  // GCC 12 wrongly warns on = "0" here
            redraw();
            break;
        case Action::CheckBalance:
            if (operator_) {
                operator_->checkBalance();
            } else {
                ctx_.prompter.notify(
                    Message{OperatorWatch::kNoModem, kAppTitle, Buttons::Ok, Icon::Information});
            }
            break;
        case Action::PreferencesWithTimers:
            openOnce(Action::Preferences, 0, [this] { preferencesWithTimers(); });
            break;
        case Action::Timer:
            // The schedule check runs from the first use of the Timer command to the end.
            scheduleTimer_.start(1000);
            openOnce(entry.action, entry.page, [&] { openWindow(entry.action, entry.page); });
            break;
        default:
            openOnce(entry.action, entry.page, [&] { openWindow(entry.action, entry.page); });
            break;
    }
}

void ConnectionMonitor::showOperatorMessage(const std::string& sender, const std::string& text) {
    // Notification servers read their bodies as markup: the signs that start markup or an
    // entity are shown as look-alikes, so that the text appears exactly as plain text.
    auto plain = [](const std::string& s) {
        QString q = QString::fromStdString(s);
        q.replace(QLatin1Char('&'), QChar(0xFF06));
        q.replace(QLatin1Char('<'), QChar(0x2039));
        q.replace(QLatin1Char('>'), QChar(0x203A));
        return q;
    };
    const QString title = "Message from " + plain(sender);
    if (tray_ && tray_->isEnabled() && tray_->trayIcon() != nullptr) {
        tray_->trayIcon()->showMessage(title, plain(text), QSystemTrayIcon::Information, 30000);
        lastNotice_ = {title, plain(text)};
        return;
    }
    ctx_.prompter.notify(Message{"Message from " + sender + ":\n" + text, kAppTitle, Buttons::Ok,
                                 Icon::Information});
}

void ConnectionMonitor::skinButton(int index) {
    switch (index) {
        case 0:
            about();
            break;
        case 1:
            showMinimized();
            break;
        case 2:
            hideOperation();  // without a notification area the window stays on the task bar
            break;
        case 3:
            dial();
            break;
        case 4:
            core_->hangupCommand();
            break;
        case 5:
            insertStatus(kCheckingMail);
            openWindow(Action::CheckMail, 0);
            removeStatus(kCheckingMail);  // the check has ended, whatever its outcome
            break;
        case 6:
            runCommand(CmdTimer);
            break;
        case 7:
            runCommand(CmdSummary);
            break;
        case 8:
            runCommand(CmdPrefGeneral);
            break;
        case 9:
            runCommand(CmdSecurity);
            break;
        case 10:
            runCommand(CmdHelpContents);
            break;
        case 11:
            trayMenu_->popup(QCursor::pos());
            break;
        default:
            break;
    }
}

void ConnectionMonitor::preferencesWithTimers() {
    if (openPreferences(0)) {
        restartConfiguredTimers();
    }
}

void ConnectionMonitor::restartConfiguredTimers() {
    const SettingsStore& s = ctx_.settings;
    driver_->restartConfigured();
    for (const char* key :
         {keys::kWarnWhenMonth, keys::kWarnWhenCall, keys::kDisWhenMonth, keys::kDisWhenCall}) {
        if (readSetting(s, key, 0) != 0) {
            core_->costCheck();
        }
    }
}

void ConnectionMonitor::about() {
    CAboutDlg dialog(this);
    dialog.exec();
}

// --- Window operations -------------------------------------------------------------------------

bool ConnectionMonitor::exitProcedure() {
    bool yes = true;
    if (readSetting(ctx_.settings, keys::kConfirmExit, 1) == 1) {
        yes = ctx_.prompter.show(Message{"You are about to exit Tavu. Are you sure ?",
                                         "Are you sure ?", Buttons::YesNo, Icon::Question}) ==
              Answer::Yes;
    }
    if (yes) {
        core_->writeExitRecord();
    }
    storePosition();
    if (yes) {
        finish();
    }
    return yes;
}

void ConnectionMonitor::endSession() {
    if (exited_ || !core_) {
        return;
    }
    core_->writeExitRecord();
    storePosition();
    finish();
}

void ConnectionMonitor::finish() {
    exited_ = true;
    if (driver_) {
        driver_->stop();
    }
    scheduleTimer_.stop();
    trayWatch_.stop();
    emit exitConfirmed();
}

void ConnectionMonitor::hideOperation() {
    hideMainWindow();
}

void ConnectionMonitor::watchTray() {
    if (exited_ || !tray_) {
        return;
    }
    if (!trayAvailable_) {
        if (tray_->attach()) {
            mailTray_->attach();
            trayAvailable_ = true;
            update();
        }
        return;
    }
    if (!tray_->areaAvailable()) {
        tray_->detach();
        mailTray_->detach();
        trayAvailable_ = false;
        // No icon to come back through: the window stays on the task bar.
        if (isHidden()) {
            showMinimized();
        }
        update();
    }
}

void ConnectionMonitor::restoreAndShow() {
    showNormal();
    raise();
    activateWindow();
}

void ConnectionMonitor::storePosition() {
    const QRect r = frameGeometry();
    const int bottom = r.y() + r.height();
    SettingsStore& s = ctx_.settings;
    auto write = [&](const QRect& rect, int minimised) {
        s.writeInt(keys::kSettings, keys::kGalvWindowPosl, rect.left());
        s.writeInt(keys::kSettings, keys::kGalvWindowPost, rect.top());
        s.writeInt(keys::kSettings, keys::kGalvWindowPosr, rect.left() + rect.width());
        s.writeInt(keys::kSettings, keys::kGalvWindowPosb, rect.top() + rect.height());
        s.writeInt(keys::kSettings, keys::kGalvWindowMinimized, minimised);
    };
    if (isMinimized() || bottom < 0) {
        write(startRect_, 1);  // where it was before it went off the screen
    } else if (bottom > 0) {
        write(r, 0);
    }
}

void ConnectionMonitor::closeEvent(QCloseEvent* event) {
    if (exited_) {
        event->accept();
        return;
    }
    storePosition();
    hideOperation();
    event->ignore();
}

void ConnectionMonitor::hideEvent(QHideEvent* event) {
    // Every way of hiding the window (View, Hide, the close request, the skin's button, a
    // command from a second copy) brings the floating window when it is asked for.
    if (!event->spontaneous() && !exited_ && !loadingSkin_ &&
        readSetting(ctx_.settings, keys::kShowTime, 0) == 1) {
        showFloatingWindow();
    }
    QWidget::hideEvent(event);
}

void ConnectionMonitor::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange && isMaximized()) {
        // A maximised main window keeps its own small size at its stored place.
        setWindowState(windowState() & ~Qt::WindowMaximized);
        setGeometry(QRect(startRect_.topLeft(), kMaximisedSize));
    }
    QWidget::changeEvent(event);
}

// --- The plain face ----------------------------------------------------------------------------

void ConnectionMonitor::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    if (skin_->installed()) {
        skin_->paint(p, event->rect(), core_ ? core_->display() : DisplayTexts{});
        return;
    }
    p.fillRect(rect(), QColor(30, 30, 36));
    p.setPen(QColor(90, 90, 100));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
    const DisplayTexts empty;
    const DisplayTexts& d = core_ ? core_->display() : empty;
    QFont label("DejaVu Sans", 9);
    QFont value("DejaVu Sans", 14, QFont::Bold);
    const std::pair<const char*, const std::string*> rows[] = {{"Time online", &d.elapsed},
                                                               {"Received", &d.bytesReceived},
                                                               {"Sent", &d.bytesTransmitted},
                                                               {"User", &d.userName},
                                                               {"Mail", &d.mailCount}};
    int y = 12;
    for (const auto& [name, text] : rows) {
        p.setFont(label);
        p.setPen(QColor(160, 160, 170));
        p.drawText(QRect(14, y, 100, 24), Qt::AlignLeft | Qt::AlignVCenter, name);
        p.setFont(value);
        p.setPen(QColor(159, 255, 0));
        p.drawText(QRect(120, y, width() - 134, 24), Qt::AlignLeft | Qt::AlignVCenter, qs(*text));
        y += 26;
    }
    if (!trayAvailable_) {
        // No notification area: what the tray icon would say is shown here.
        p.setFont(label);
        p.setPen(QColor(220, 220, 220));
        p.drawText(QRect(14, height() - 10, width() - 28, 10), Qt::AlignLeft, tooltip_);
    }
}

void ConnectionMonitor::contextMenuEvent(QContextMenuEvent* event) {
    trayMenu_->popup(event->globalPos());
}

void ConnectionMonitor::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        if (skin_->press(event->position().toPoint()) >= 0) {
            return;  // a skin button: it acts on release
        }
        dragging_ = true;
        dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    }
}

void ConnectionMonitor::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        move(event->globalPosition().toPoint() - dragOffset_);
    }
}

void ConnectionMonitor::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    if (event->button() == Qt::LeftButton) {
        const int item = skin_->release(event->position().toPoint());
        if (item >= 0 && item < kSkinButtonActions) {
            skinButton(item);
        }
    }
}

// --- MonitorView -------------------------------------------------------------------------------

void ConnectionMonitor::setTitle(const std::string& title) {
    setWindowTitle(qs(title));
}

void ConnectionMonitor::setTrayState(bool connected, const std::string& tooltip) {
    tooltip_ = qs(tooltip).left(63);
    tray_->setIcon(trayIcon(connected ? TrayPicture::Connected : TrayPicture::Idle));
    tray_->setTooltip(tooltip_);
    if (!trayAvailable_) {
        update();
    }
}

QString ConnectionMonitor::trayTooltip() const {
    return tooltip_;
}

void ConnectionMonitor::insertStatus(const std::string& line) {
    auto* item = new QTreeWidgetItem(QStringList{qs(line)});
    // The newest line goes on top, below the plans' usage lines.
    status_->insertTopLevelItem(static_cast<int>(planLines_.size()), item);
}

void ConnectionMonitor::showPlanUsage(const std::vector<std::string>& lines) {
    for (QTreeWidgetItem* item : planLines_) {
        delete item;  // a deleted item leaves its list
    }
    planLines_.clear();
    for (const std::string& line : lines) {
        auto* item = new QTreeWidgetItem(QStringList{qs(line)});
        status_->insertTopLevelItem(static_cast<int>(planLines_.size()), item);
        planLines_.push_back(item);
    }
}

void ConnectionMonitor::removeStatus(const std::string& line) {
    for (int i = static_cast<int>(planLines_.size()); i < status_->topLevelItemCount(); ++i) {
        if (status_->topLevelItem(i)->text(0) == qs(line)) {
            delete status_->takeTopLevelItem(i);
            return;
        }
    }
}

QStringList ConnectionMonitor::statusLines() const {
    QStringList out;
    for (int i = 0; i < status_->topLevelItemCount(); ++i) {
        out << status_->topLevelItem(i)->text(0);
    }
    return out;
}

void ConnectionMonitor::redraw() {
    update();
}

void ConnectionMonitor::showMainWindow() {
    restoreAndShow();
}

void ConnectionMonitor::hideMainWindow() {
    if (trayAvailable_) {
        hide();
    } else {
        showMinimized();  // no tray icon to come back through: stay on the task bar
    }
    if (readSetting(ctx_.settings, keys::kShowTime, 0) == 1) {
        showFloatingWindow();
    }
}

bool ConnectionMonitor::loadSkin(const std::string& path) {
    loadingSkin_ = true;
    const bool loaded = skin_->load(path, ctx_.prompter);
    loadingSkin_ = false;
    return loaded;
}

void ConnectionMonitor::chooseSkin() {
    if (!configurationGate(ctx_.settings, ctx_.prompter, this)) {
        return;
    }
    loadingSkin_ = true;
    skin_->choose(skin::skinsFolder(ctx_.exeDir), ctx_.settings, ctx_.prompter);
    loadingSkin_ = false;
}

void ConnectionMonitor::showFloatingWindow() {
    if (!floating_) {
        floating_ = std::make_unique<SmallTimeWindow>();
    }
    floating_->showWindow();
}

void ConnectionMonitor::elapsedTick(const std::string& text, std::int64_t) {
    if (floating_) {
        floating_->setTimeText(qs(text));
    }
}

void ConnectionMonitor::connectionStarted() {
    driver_->connectionStarted();
}

void ConnectionMonitor::startMailCheck() {
    mail_->startCheck();
}

void ConnectionMonitor::showMailIcon(TrayPicture picture, const QString& tooltip) {
    mailTray_->setIcon(trayIcon(picture));
    mailTray_->setTooltip(tooltip);
    mailTray_->show();
}

void ConnectionMonitor::dial() {
    // The dial command: login dialog, "Connecting...", the progress window.
    openOnce(Action::Dial, 0, [this] { openWindow(Action::Dial, 0); });
}

void ConnectionMonitor::openOnce(Action kind, int page, const std::function<void()>& open) {
    if (const auto it = opening_.find(kind); it != opening_.end()) {
        // The window of this kind: the modal one on top if it is new, else the newest shown.
        const QList<QPointer<QWidget>>& before = it->second;
        const auto isNew = [&](QWidget* w) {
            return w != nullptr && w->isVisible() && w != this &&
                   std::none_of(before.begin(), before.end(),
                                [w](const QPointer<QWidget>& b) { return b == w; });
        };
        QWidget* window = QApplication::activeModalWidget();
        if (!isNew(window)) {
            window = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (isNew(w)) {
                    window = w;
                }
            }
        }
        if (window != nullptr) {
            if (auto* prefs = qobject_cast<CPreferencesDlg*>(window)) {
                prefs->showPage(page);
            }
            window->raise();
            window->activateWindow();
        }
        return;
    }
    QList<QPointer<QWidget>> before;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        before.append(w);
    }
    opening_.emplace(kind, std::move(before));
    // Erased however the window ends; the guard's object outlives nothing it points to.
    struct Done {
        std::map<Action, QList<QPointer<QWidget>>>& opening;
        Action kind;
        ~Done() { opening.erase(kind); }
    } done{opening_, kind};
    open();
}

}  // namespace tavu
