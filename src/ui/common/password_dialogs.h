#pragma once

#include "core/prompter.h"
#include "core/settings_store.h"
#include "ui/common/dark_dialog.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tavu {

namespace platform {
class SingleInstance;
}

// Texts of the password dialogs and their messages.
inline constexpr const char* kPasswordTitle = "Enter password !!!";
inline constexpr const char* kPasswordPrompt = "Please enter password !!!";
inline constexpr const char* kPasswordLabel = "Password:";
inline constexpr const char* kPasswordIncorrect = "Password incorrect. Please try again!";
inline constexpr const char* kSecurityTitle = "Security";
inline constexpr const char* kSecurityEnable = "Enable password protection";
inline constexpr const char* kSecurityWhenStarting = "Ask password when starting";
inline constexpr const char* kSecurityWhenConfiguring =
    "Ask password when changing configuration only";
inline constexpr const char* kSecurityEnterPasswords = "Please enter passwords";
inline constexpr const char* kSecurityChooseWhen =
    "Please choose when the password is asked: when starting, or when changing the "
    "configuration.";
inline constexpr const char* kSecurityMismatch =
    "The passwords you typed don't match. Please enter the same password in both boxes.";

// The password prompt. OK closes it only when the typed text equals the stored password,
// exactly; otherwise a message says so and the prompt stays for another try.
class CPasswordDlg : public DarkDialog {
    Q_OBJECT

  public:
    CPasswordDlg(SettingsStore& settings, Prompter& prompter, QWidget* parent = nullptr);

    QLineEdit* passwordEdit() const { return edit_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    void accept() override;

  private:
    SettingsStore& settings_;
    Prompter& prompter_;
    QLineEdit* edit_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

// The protection settings: whether a password is asked, when, and the password itself (typed
// twice). Opening fills the fields from the settings; only OK writes, and only when it closes.
class CSecurityDlg : public DarkDialog {
    Q_OBJECT

  public:
    CSecurityDlg(SettingsStore& settings, Prompter& prompter, QWidget* parent = nullptr);

    // The Security command: the configuration gate first (refused: nothing is shown), then the
    // dialog, modal. True when the dialog closed with OK.
    static bool runSecurityCommand(SettingsStore& settings, Prompter& prompter, QWidget* parent);

    QCheckBox* enableBox() const { return enable_; }
    QRadioButton* whenStartingRadio() const { return whenStarting_; }
    QRadioButton* whenConfiguringRadio() const { return whenConfiguring_; }
    QLineEdit* passwordEdit() const { return password_; }
    QLineEdit* confirmEdit() const { return confirm_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    void accept() override;

  private:
    void load();
    void refuse(const char* text);

    SettingsStore& settings_;
    Prompter& prompter_;
    QCheckBox* enable_;
    QRadioButton* whenStarting_;
    QRadioButton* whenConfiguring_;
    QLineEdit* password_;
    QLineEdit* confirm_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

// Runs the password prompt modally; true when the right password was given.
bool askPassword(SettingsStore& settings, Prompter& prompter, QWidget* parent = nullptr);

// Before a configuration dialog opens (Preferences, Security, Timer): true when protection does
// not ask here (Enabled and WhenConfigured not both 1) or the right password was given.
bool configurationGate(SettingsStore& settings, Prompter& prompter, QWidget* parent = nullptr);

// At start-up: true when protection does not ask here (Enabled and WhenStarted not both 1) or
// the right password was given.
bool startupGate(SettingsStore& settings, Prompter& prompter, QWidget* parent = nullptr);

// The start of the window program, before its main window. One copy per user comes first: a
// start while a copy runs hands over to it (HandedOver) before anything is asked. Otherwise this
// copy takes the single-instance place at once, so that a start made while its password prompt
// is open finds it (and brings the prompt forward), and then the start-up gate runs (Refused
// when the password was not given).
enum class StartOutcome { Run, HandedOver, Refused };
StartOutcome startSingleCopy(platform::SingleInstance& instance, SettingsStore& settings,
                             Prompter& prompter);

// A second start asked the running copy to come forward. True when its main window may show
// itself: it is on screen already, protection asks no password at start, or the right password
// was given now. A password prompt already open is brought forward instead.
bool mayComeForward(SettingsStore& settings, Prompter& prompter, bool windowOnScreen);

}  // namespace tavu
