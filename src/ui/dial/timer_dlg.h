#pragma once

#include <QTimer>
#include <QWidget>

#include "dial/schedule_check.h"
#include "ui/common/app_context.h"
#include "ui/common/dark_dialog.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tavu {

class CMyTreeCtrl;

// Start with neither a time nor a delay chosen.
inline constexpr const char* kChooseWhenText = "Choose a time or a delay first, then press Start.";

inline constexpr const char* kTimeOfDayMessage =
    "Please enter a time of day as HH:MM or HH:MM:SS, from 00:00 to 23:59.";
inline constexpr const char* kPositiveDelayMessage = "Please enter a delay of at least 1.";

// One page of the Timer dialog: a schedule at a time of day or after a delay, its Start and
// Stop buttons and the status line the schedule check writes.
class CTimerPage : public QWidget {
    Q_OBJECT

  public:
    struct Texts {
        const char* atTimeRadio;
        const char* delayRadio;
        const char* startButton;
        const char* stopButton;
    };
    CTimerPage(AppContext context, const ScheduleKeys& keys, const Texts& texts,
               QWidget* parent = nullptr);

    QRadioButton* atTimeRadio() const { return atTime_; }
    QRadioButton* delayRadio() const { return delay_; }
    QLineEdit* timeEdit() const { return time_; }
    QLineEdit* numberEdit() const { return number_; }
    QComboBox* unitCombo() const { return unit_; }
    QPushButton* startButton() const { return start_; }
    QPushButton* stopButton() const { return stop_; }
    QLabel* statusLine() const { return status_; }

    // A time of day "HH:MM" or "HH:MM:SS", 00:00 to 23:59:59.
    static bool isTimeOfDay(const QString& text);

    // Start: the field of the chosen mode, checked, arms the schedule; a refused value starts
    // nothing.
    void startSequence();
    void stopSequence();
    // The field of the chosen mode (time or delay) holds a valid value; if not, says so and
    // selects it.
    bool checkChosenField();
    // OK of the dialog: the fields to the settings, starting and stopping nothing; false (and
    // nothing written) when the chosen mode's field is refused.
    bool store();
    // The page's own 500 ms timer: the status line from the settings.
    void refreshStatus();

  private:
    AppContext ctx_;
    const ScheduleKeys& keys_;
    QRadioButton* atTime_;
    QRadioButton* delay_;
    QLineEdit* time_;
    QLineEdit* number_;
    QComboBox* unit_;
    QPushButton* start_;
    QPushButton* stop_;
    QLabel* status_;
    QTimer statusTimer_;
    int lastNumber_ = 10;
};

class CTimerConnectPage : public CTimerPage {
    Q_OBJECT
  public:
    explicit CTimerConnectPage(AppContext context, QWidget* parent = nullptr);
};

class CTimerHangupPage : public CTimerPage {
    Q_OBJECT
  public:
    explicit CTimerHangupPage(AppContext context, QWidget* parent = nullptr);
};

// The Timer dialog: a tree with "Connect" and "Hangup", each showing its page.
class CTimerDlg : public DarkDialog {
    Q_OBJECT

  public:
    explicit CTimerDlg(AppContext context, QWidget* parent = nullptr);

    // The Timer window after the configuration password, when protection asks for it. A wrong
    // password shows nothing.
    static void run(const AppContext& context, QWidget* parent);

    CMyTreeCtrl* tree() const { return tree_; }
    CTimerConnectPage* connectPage() const { return connect_; }
    CTimerHangupPage* hangupPage() const { return hangup_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    void accept() override;

  private:
    CMyTreeCtrl* tree_;
    CTimerConnectPage* connect_;
    CTimerHangupPage* hangup_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

}  // namespace tavu
