#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <string>

#include "core/field_exchange.h"
#include "core/prompter.h"
#include "net/mail_check.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tavu {

class Prompter;
class SettingsStore;
namespace platform {
class Sound;
class StartupEntry;
}  // namespace platform

// What the pages of the Preferences dialog work with.
struct PreferencesContext {
    SettingsStore& settings;
    Prompter& prompter;
    platform::Sound& sound;
    platform::StartupEntry& startup;
    std::string configDir;  // the default folder of the log
    // Runs a main window command (check mail, check for an update); may be empty.
    std::function<void(int command)> runCommand;
    // The desktop's pickers; tests replace them. Each returns an empty text when cancelled.
    std::function<QString(QWidget* parent, const QString& start)> pickFolder;
    std::function<QString(QWidget* parent)> pickSoundFile;
    // Checks the mailbox with the given account (the Email page's values, saved or not) in the
    // progress window over `parent`; may be empty, and then the page runs the Check email
    // command, which reads the stored account.
    std::function<void(QWidget* parent, const MailCheckSettings& account)> checkMail;
    // Asks for a plan's name, offering `start`; a null text when cancelled. May be empty, and
    // then the desktop's text box asks.
    std::function<QString(QWidget* parent, const QString& caption, const QString& start)>
        askPlanName;
};

// Texts of the pages.
inline constexpr const char* kPageTitles[] = {"General", "Connection", "Email",   "Warnings",
                                              "Price",   "Sounds",     "Upgrade", "Plans"};
inline constexpr const char* kStartWhenLoggingIn = "Start TAVU when I log in";
inline constexpr const char* kSoundFilter = "Sound files (*.wav)";
inline constexpr const char* kDefaultUrlToLaunch = "http://www.varnel.example/tavu/";

// The longest period of the mail check, in minutes.
inline constexpr int kMaxMailMinutes = 1440;

// The values of Settings/MSecurity, the way the mailbox is reached.
inline constexpr const char* kMSecurityValues[] = {"starttls", "tls", "none"};

// One page of the Preferences dialog: load fills the controls from the settings (when the dialog
// opens); on OK, collect takes the typed values in (and says what is wrong with the first bad
// field, which it returns), and only when every page collected, save writes them back (shown or
// not). Controls bound to a settings key carry the key as their object name.
class OptionPage : public QWidget {
    Q_OBJECT

  public:
    OptionPage(PreferencesContext& context, QWidget* parent);
    virtual void load() = 0;
    // The first field that holds no valid value, or null; its message is kept for
    // refusal(), not shown, so that the dialog can show the field's page first.
    virtual QLineEdit* collect() { return nullptr; }
    // The message of the last refused field, or empty.
    const std::string& refusal() const { return keeper_.message; }
    virtual void save() = 0;
    // Moves what the page shows into where it keeps it, before the pages collect; for a page
    // that shows fields another page keeps as well.
    virtual void takeEdits() {}

    // Runs the fields of one page through a FieldExchange and remembers the first bad one.
    class Fields {
      public:
        explicit Fields(const OptionPage& page);
        void integer(QLineEdit* edit, int& value);
        void integerInRange(QLineEdit* edit, int& value, int low, int high);
        // A decimal number; "," and "." are both taken as the decimal sign.
        void number(QLineEdit* edit, double& value);
        void text(QLineEdit* edit, std::string& value);
        void checked(QLineEdit* edit, std::string& value, bool valid, const char* message);
        QLineEdit* bad() const { return bad_; }

      private:
        void note(QLineEdit* edit);
        FieldExchange exchange_;
        QLineEdit* bad_ = nullptr;
    };

  protected:
    FieldExchange exchange() const;
    QLineEdit* edit(const char* key);
    QCheckBox* box(const char* text, const char* key);
    QComboBox* combo(const char* key, std::initializer_list<const char*> entries);
    int readFlag(const char* key, int def) const;
    void loadBox(QCheckBox* box, const char* key, int def);
    void saveBox(QCheckBox* box, const char* key);
    // A drop-down whose stored index is out of its range selects nothing; saving it then leaves
    // the key as stored.
    void loadCombo(QComboBox* combo, const char* key, int def);
    void saveCombo(QComboBox* combo, const char* key);

    PreferencesContext& ctx_;

  private:
    // Keeps the field exchange's message instead of showing it.
    struct Keeper final : Prompter {
        Answer show(const Message& m) override {
            message = m.text;
            return Answer::Ok;
        }
        std::string message;
    };
    mutable Keeper keeper_;
};

// The message for a refused field, with the field's name in front: "Cost per minute: please
// enter a number."; the message alone when the field has no name beside it.
std::string fieldMessage(const QLineEdit* field, const std::string& message);

QLabel* plainText(const char* text, QWidget* parent);
std::string text(const QLineEdit* edit);

class COptGeneralPage : public OptionPage {
    Q_OBJECT

  public:
    COptGeneralPage(PreferencesContext& context, QWidget* parent);
    void load() override;
    QLineEdit* collect() override;
    void save() override;
    void browse();

    QLineEdit* pathEdit() const { return path_; }

  private:
    QLineEdit* path_;
    QPushButton* browse_;
    QCheckBox* startWhenWindows_;
    QCheckBox* hideOnStart_;
    QCheckBox* showSplash_;
    QCheckBox* showWhenConnected_;
    QCheckBox* showTime_;
    QCheckBox* confirmHangup_;
    QCheckBox* confirmExit_;
    std::string pathMember_;
};

class COptHangupPage : public OptionPage {
    Q_OBJECT

  public:
    COptHangupPage(PreferencesContext& context, QWidget* parent);
    void load() override;
    QLineEdit* collect() override;
    void save() override;

  private:
    QComboBox* action_;
    QLineEdit* interval_;
    QCheckBox* launchBrowser_;
    QLineEdit* url_;
    QCheckBox* redial_;
    QRadioButton* busyTimes_;
    QLineEdit* redialTimes_;
    QRadioButton* busyTillConnected_;
    QRadioButton* busyNever_;
    QButtonGroup* busyGroup_;
    int intervalMember_ = 10;
    std::string urlMember_;
    int redialTimesMember_ = 3;
};

class COptMailPage : public OptionPage {
    Q_OBJECT

  public:
    COptMailPage(PreferencesContext& context, QWidget* parent);
    void load() override;
    QLineEdit* collect() override;
    void save() override;

    QPushButton* checkNowButton() const { return checkNow_; }
    // The account as the page's fields have it now, saved or not.
    MailCheckSettings typedAccount() const;

  private:
    QCheckBox* checkMail_;
    QLineEdit* mailTime_;
    QCheckBox* checkOnConnect_;
    QLineEdit* user_;
    QLineEdit* password_;
    QLineEdit* server_;
    QComboBox* security_;
    QPushButton* checkNow_;
    int mailTimeMember_ = 10;
    std::string userMember_;
    std::string passwordMember_;
    std::string serverMember_;
};

class LimitFields;
class PriceFields;

// The default plan's money limits and data caps.
class COptWarningsPage : public OptionPage {
    Q_OBJECT

  public:
    COptWarningsPage(PreferencesContext& context, QWidget* parent);
    void load() override;
    QLineEdit* collect() override;
    void save() override;

    LimitFields* fields() const { return fields_; }

  private:
    LimitFields* fields_;
};

// The default plan's tariff.
class COptPricePage : public OptionPage {
    Q_OBJECT

  public:
    COptPricePage(PreferencesContext& context, QWidget* parent);
    void load() override;
    QLineEdit* collect() override;
    void save() override;

    PriceFields* fields() const { return fields_; }

  private:
    PriceFields* fields_;
};

class COptSoundPage : public OptionPage {
    Q_OBJECT

  public:
    COptSoundPage(PreferencesContext& context, QWidget* parent);
    void load() override;
    void save() override;
    // Group 0: when the connection is made, 1: when it is terminated.
    void browse(int group);
    void play(int group);

  private:
    struct Group {
        QComboBox* action;
        QLineEdit* file;
        QPushButton* browse;
        QPushButton* play;
        const char* actionKey;
        const char* fileKey;
        std::string member;
    };
    void moveEditsToMembers();
    Group groups_[2];
};

class COptUpgradePage : public OptionPage {
    Q_OBJECT

  public:
    COptUpgradePage(PreferencesContext& context, QWidget* parent);
    void load() override;
    void save() override;

    QPushButton* checkNowButton() const { return checkNow_; }

  private:
    QCheckBox* disable_;
    QPushButton* checkNow_;
};

}  // namespace tavu
