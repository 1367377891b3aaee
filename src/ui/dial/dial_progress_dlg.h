#pragma once

#include <QFont>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "dial/dial_controller.h"
#include "net/net_jobs.h"
#include "ui/common/app_context.h"
#include "ui/common/dark_dialog.h"

class QLabel;
class QPushButton;

namespace tavu {

// The small progress window without a caption: it dials the default entry (mode 3), checks the
// mailbox (mode 2) or asks for an upgrade (mode 1), shows the progress on orange and offers one
// button, "Cancel" while something runs and "OK" once an outcome is shown.
class CDialProgressDlg : public DarkDialog, private DialController::View {
    Q_OBJECT

  public:
    enum Mode { MODE_UPGRADE_CHECK = 1, MODE_MAIL_CHECK = 2, MODE_DIAL = 3 };

    // The opening runs here: the window's first timer (its mode's number) is armed. A dial
    // dials `entry`, or the default entry when none is given.
    CDialProgressDlg(AppContext context, int mode, QWidget* parent = nullptr,
                     const std::string& entry = {});
    ~CDialProgressDlg() override;

    // The network work of modes 2 and 1; each runs off the window's thread. Without a job the
    // check ends in its failure text.
    void setMailCheckJob(MailCheckJob job);
    void setUpgradeQueryJob(UpgradeQueryJob job);

    // What the window found in mode 2, handed on once when it shows; not when the window closed
    // before.
    using MailResultHandler = std::function<void(const MailCheckResult&)>;
    void setMailResultHandler(MailResultHandler handler) {
        mailResultHandler_ = std::move(handler);
    }

    // The three ways the main window opens it, modal; they return when the window closed.
    static void runDial(AppContext context, QWidget* parent, const std::string& entry = {});
    static void runMailCheck(AppContext context, QWidget* parent, MailCheckJob job,
                             MailResultHandler onResult = {});
    static void runUpgradeCheck(AppContext context, QWidget* parent, UpgradeQueryJob job);

    int mode() const { return mode_; }
    QString statusText() const;
    QString buttonText() const;
    QLabel* statusLabel() const { return status_; }
    QPushButton* actionButton() const { return button_; }
    DialController& controller() { return *controller_; }
    const QFont& statusFont() const { return font_; }

    // The window's timers by number: whether one is armed, its period, and firing it at once
    // (what the real timer does when it runs out).
    bool timerActive(int id) const;
    int timerInterval(int id) const;
    void fireTimer(int id);

    // The face the status text uses: Verdana where the system has it, else DejaVu Sans.
    static QString statusFamily();
    static QColor backgroundColor() { return QColor(255, 128, 0); }
    static QColor textColor() { return QColor(0, 0, 100); }
    static constexpr const char* kNoUpdateText = "No update avaible. Please try again later.";
    static constexpr const char* kVisitText =
        "Please visit the TAVU home page to look for a new version.";

  signals:
    // Every text the status shows, in order.
    void statusShown(const QString& text);

  public slots:
    void reject() override;  // Escape: the cancel operation

  private:
    // DialController::View
    void setStatusText(const std::string& text) override;
    void setButtonText(const std::string& text) override;
    void startTimer(int id, int periodMs) override;
    void stopTimer(int id) override;
    void finish() override;

    void setFontHeight(int pixels);
    void fitStatusText();
    void startMailWorker();
    void pollMailResult();
    void startUpgradeWorker();
    void upgradeAnswered(const std::string& answer);

    struct MailSlot;

    AppContext ctx_;
    int mode_;
    std::unique_ptr<DialController> controller_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
    QLabel* status_ = nullptr;
    QPushButton* button_ = nullptr;
    QFont font_;
    MailCheckJob mailJob_;
    UpgradeQueryJob upgradeJob_;
    std::shared_ptr<MailSlot> mailSlot_;
    MailResultHandler mailResultHandler_;
    bool mailResultShown_ = false;
    bool finished_ = false;
};

}  // namespace tavu
