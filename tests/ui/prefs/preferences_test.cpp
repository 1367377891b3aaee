#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QLocale>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>
#include <cctype>
#include <clocale>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/remote_command.h"
#include "core/field_exchange.h"
#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "monitor/commands.h"
#include "platform/fakes.h"
#include "support/modal_driver.h"
#include "support/temp_dir.h"
#include "tariff/price_fields.h"
#include "ui/common/my_tree_ctrl.h"
#include "ui/common/password_dialogs.h"
#include "ui/main/monitor_fixture.h"
#include "ui/prefs/preferences_dlg.h"

namespace tavu {
namespace {

using test::readFile;
using test::writeFile;

using test::ModalDriver;

// A refused field's message: its name, then the message with a small first letter.
std::string named(const char* field, std::string message) {
    message[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(message[0])));
    return std::string(field) + ": " + message;
}

class Preferences : public ::testing::Test {
  protected:
    PreferencesContext context() {
        return PreferencesContext{settings,
                                  prompter,
                                  sound,
                                  startup,
                                  dir.path(),
                                  [this](int id) { commands.push_back(id); },
                                  [this](QWidget*, const QString& start) {
                                      pickedFrom.push_back(start.toStdString());
                                      return folderAnswer;
                                  },
                                  [this](QWidget*) { return soundAnswer; },
                                  {},
                                  {}};
    }
    std::unique_ptr<CPreferencesDlg> open(int page) {
        return std::make_unique<CPreferencesDlg>(context(), page);
    }
    std::string value(const char* section, const char* key) const {
        return settings.readString(section, key, "-");
    }
    std::string setting(const char* key) const { return value(keys::kSettings, key); }
    std::string price(const char* key) const { return value(keys::kPrice, key); }
    template <typename T>
    static T* control(CPreferencesDlg& dlg, const char* name) {
        T* w = dlg.findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void type(CPreferencesDlg& dlg, const char* name, const char* text) {
        control<QLineEdit>(dlg, name)->setText(text);
    }

    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    ScriptedPrompter prompter;
    platform::FakeSound sound;
    platform::FakeStartupEntry startup;
    std::vector<int> commands;
    std::vector<std::string> pickedFrom;
    QString folderAnswer;
    QString soundAnswer;
};

TEST_F(Preferences, OkWithoutASettingsFileWritesEveryPagesDefaults) {
    auto dlg = open(0);
    dlg->show();
    QApplication::setActiveWindow(dlg.get());
    (void)QTest::qWaitForWindowActive(dlg.get());  // the tree gets the focus
    EXPECT_EQ(dlg->currentPage(), nullptr);
    for (int i = 1; i <= CPreferencesDlg::kPageCount; ++i) {
        EXPECT_FALSE(dlg->page(i)->isVisible()) << i;
    }
    EXPECT_EQ(dlg->tree()->currentItem(), nullptr);
    dlg->okButton()->click();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_TRUE(prompter.shown.empty());

    // General
    EXPECT_EQ(setting(keys::kIniPath), dir.path() + "/");
    EXPECT_EQ(setting(keys::kStartWhenWindows), "1");
    EXPECT_TRUE(startup.present);
    for (const auto& [key, v] : {std::pair{keys::kHideOnStart, "1"},
                                 {keys::kShowSplash, "1"},
                                 {keys::kShowWhenConnected, "0"},
                                 {keys::kShowTime, "0"},
                                 {keys::kConfirmHangup, "1"},
                                 {keys::kConfirmExit, "1"},
                                 // Connection
                                 {keys::kHangupComboState, "0"},
                                 {keys::kHangupInterval, "10"},
                                 {keys::kRedialTimes, "3"},
                                 {keys::kLaunchBrowser, "0"},
                                 {keys::kRedial, "0"},
                                 {keys::kRedialWhenBusy, "-"},
                                 // Email
                                 {keys::kCMailTime, "10"},
                                 {keys::kCheckMail, "0"},
                                 {keys::kCheckMailOnCon, "0"},
                                 {keys::kMUser, ""},
                                 {keys::kMPassword, ""},
                                 {keys::kMServer, ""},
                                 {keys::kMSecurity, "starttls"},
                                 // Warnings
                                 {keys::kWarnWhenMonth, "0"},
                                 {keys::kDisWhenCall, "0"},
                                 {keys::kWarnWhenMonthInterval, "1"},
                                 {keys::kDisWhenCallInterval, "1"},
                                 // Price (weekend flags, billing day), Sounds, Upgrade
                                 {keys::kBillingDay, "1"},
                                 {keys::kCheapInSat, "0"},
                                 {keys::kCheapInSun, "0"},
                                 {keys::kActionWhenConMade, "0"},
                                 {keys::kSoundWhenConDropped, ""},
                                 {keys::kDisableUpgrade, "0"}}) {
        EXPECT_EQ(setting(key), v) << key;
    }
    EXPECT_EQ(setting(keys::kUrlToLaunch), kDefaultUrlToLaunch);
    for (const auto& [key, v] : {std::pair{keys::kCheapTimeStart, "23:00"},
                                 {keys::kCheapTimeEnd, "05:59"},
                                 {keys::kCheapTimeFromComboState, "92"},
                                 {keys::kCheapTimeToComboState, "23"},
                                 {keys::kPricePerDial, "0.0000000000"},
                                 {keys::kCostPerMinute, "0.0000000000"},
                                 {keys::kCheapCostPerMinute, "0.0000000000"},
                                 {keys::kFreeMonthTime, "00:00"},
                                 {keys::kMinConTime, "00:00"},
                                 {keys::kConnectionBlock, "00:00"},
                                 {keys::kCostPerMB, "0.0000000000"},
                                 {keys::kFreeMonthMB, "0"}}) {
        EXPECT_EQ(price(key), v) << key;
    }
    EXPECT_EQ(value(keys::kWarnings, keys::kDataWarnMB), "0");
    EXPECT_EQ(value(keys::kWarnings, keys::kDataHangupMB), "0");
}

TEST_F(Preferences, OpensOnItsPageAndFollowsTheTree) {
    for (int i = 1; i <= CPreferencesDlg::kPageCount; ++i) {
        auto dlg = open(i);
        dlg->show();
        EXPECT_EQ(dlg->currentPage(), dlg->page(i));
        EXPECT_TRUE(dlg->page(i)->isVisible());
        EXPECT_EQ(dlg->tree()->currentItem()->text(0), kPageTitles[i - 1]);
        for (int j = 1; j <= CPreferencesDlg::kPageCount; ++j) {
            EXPECT_EQ(dlg->page(j)->isVisible(), i == j) << i << " " << j;
        }
    }
    auto dlg = open(0);
    dlg->show();
    ASSERT_EQ(dlg->tree()->topLevelItemCount(), 8);
    dlg->tree()->setCurrentItem(dlg->tree()->topLevelItem(4));
    EXPECT_EQ(dlg->currentPage(), dlg->page(5));
    EXPECT_TRUE(dlg->page(5)->isVisible());
    dlg->tree()->setCurrentItem(dlg->tree()->topLevelItem(1));
    EXPECT_FALSE(dlg->page(5)->isVisible());
    EXPECT_TRUE(dlg->page(2)->isVisible());

    // The page area lies 12 pixels inside the frame at the top and 5 at the other sides.
    const QRect inner = dlg->frame()->contentsRect();
    const QRect area = dlg->frame()->findChild<QScrollArea*>()->geometry();
    EXPECT_EQ(area.top() - inner.top(), 12);
    EXPECT_EQ(area.left() - inner.left(), 5);
    EXPECT_EQ(inner.right() - area.right(), 5);
    EXPECT_EQ(inner.bottom() - area.bottom(), 5);
}

TEST_F(Preferences, CancelEscapeAndReturn) {
    {
        auto dlg = open(1);
        dlg->show();
        QTest::keyClick(control<QLineEdit>(*dlg, keys::kIniPath), Qt::Key_Escape);
        EXPECT_EQ(dlg->result(), QDialog::Rejected);
        EXPECT_FALSE(dlg->isVisible());
    }
    EXPECT_FALSE(std::filesystem::exists(settings.path()));
    EXPECT_FALSE(startup.present);

    auto dlg = open(3);
    dlg->show();
    QLineEdit* user = control<QLineEdit>(*dlg, keys::kMUser);
    user->setText("joe");
    QTest::keyClick(user, Qt::Key_Return);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(setting(keys::kMUser), "joe");
}

TEST_F(Preferences, TabFollowsTheLayout) {
    auto dlg = open(1);
    dlg->show();
    QApplication::setActiveWindow(dlg.get());
    if (!QTest::qWaitForWindowActive(dlg.get())) {
        GTEST_SKIP() << "the window system does not activate windows";
    }
    dlg->tree()->setFocus();
    std::vector<QWidget*> order;
    for (int i = 0; i < 12; ++i) {
        order.push_back(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    std::vector<QWidget*> expected = {dlg->tree(), control<QLineEdit>(*dlg, keys::kIniPath)};
    expected.push_back(dlg->page(1)->findChild<QPushButton*>());  // Browse
    for (const char* key :
         {keys::kStartWhenWindows, keys::kHideOnStart, keys::kShowSplash, keys::kShowWhenConnected,
          keys::kShowTime, keys::kConfirmHangup, keys::kConfirmExit}) {
        expected.push_back(control<QCheckBox>(*dlg, key));
    }
    expected.push_back(dlg->okButton());
    expected.push_back(dlg->cancelButton());
    EXPECT_EQ(order, expected);
}

TEST_F(Preferences, TheLogFollowsItsFolder) {
    std::filesystem::create_directory(dir.file("A"));
    std::filesystem::create_directory(dir.file("B"));
    settings.writeString(keys::kSettings, keys::kIniPath, dir.file("A") + "/");
    writeFile(dir.file("A/logfile.log"), "rec|\r\n");
    {
        auto dlg = open(1);
        folderAnswer = QString::fromStdString(dir.file("B"));
        dlg->page(1)->findChild<QPushButton*>()->click();  // Browse
        EXPECT_EQ(pickedFrom, std::vector<std::string>{dir.file("A") + "/"});
        EXPECT_EQ(control<QLineEdit>(*dlg, keys::kIniPath)->text().toStdString(), dir.file("B"));
        dlg->accept();
    }
    EXPECT_FALSE(std::filesystem::exists(dir.file("A/logfile.log")));
    EXPECT_EQ(readFile(dir.file("B/logfile.log")), "rec|\r\n");
    EXPECT_EQ(setting(keys::kIniPath), dir.file("B"));

    // OK again without a change leaves it; a log already at the new place is not replaced.
    open(2)->accept();
    EXPECT_EQ(readFile(dir.file("B/logfile.log")), "rec|\r\n");
    writeFile(dir.file("A/logfile.log"), "other|\r\n");
    {
        auto dlg = open(1);
        type(*dlg, keys::kIniPath, dir.file("A").c_str());
        dlg->accept();
    }
    EXPECT_EQ(readFile(dir.file("A/logfile.log")), "other|\r\n");
    EXPECT_EQ(readFile(dir.file("B/logfile.log")), "rec|\r\n");
    EXPECT_EQ(setting(keys::kIniPath), dir.file("A"));

    // Unchecking the start with the desktop removes the entry.
    startup.present = true;
    {
        auto dlg = open(1);
        control<QCheckBox>(*dlg, keys::kStartWhenWindows)->setChecked(false);
        dlg->accept();
    }
    EXPECT_FALSE(startup.present);
    EXPECT_EQ(setting(keys::kStartWhenWindows), "0");
}

TEST_F(Preferences, PricesAreStoredWithTenDecimalsUnderAGermanLocale) {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no German locale on this machine";
    }
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    settings.writeString(keys::kPrice, keys::kCostPerMinute, "0.2500000000");
    {
        auto dlg = open(5);
        EXPECT_EQ(control<QLineEdit>(*dlg, keys::kCostPerMinute)->text(), "0.25");
        type(*dlg, keys::kPricePerDial, "0.15");
        type(*dlg, keys::kCheapCostPerMinute, "1e-2");
        dlg->accept();
    }
    std::setlocale(LC_ALL, "C");
    QLocale::setDefault(before);
    EXPECT_EQ(price(keys::kPricePerDial), "0.1500000000");
    EXPECT_EQ(price(keys::kCheapCostPerMinute), "0.0100000000");
    EXPECT_EQ(price(keys::kCostPerMinute), "0.2500000000");
    EXPECT_TRUE(prompter.shown.empty());
}

TEST_F(Preferences, DataPriceCapsAndBillingDayAreCheckedAndStored) {
    auto dlg = open(0);
    dlg->show();
    type(*dlg, keys::kDataWarnMB, "10000000");
    type(*dlg, keys::kCostPerMB, "0,015");
    type(*dlg, keys::kFreeMonthMB, "2000");
    const auto refused = [&](const char* key, const char* typed, const char* kept,
                             const char* message) {
        type(*dlg, key, typed);
        prompter.shown.clear();
        dlg->okButton()->click();
        EXPECT_TRUE(dlg->isVisible()) << key;
        ASSERT_EQ(prompter.shown.size(), 1u) << key;
        EXPECT_EQ(prompter.shown[0].text, message);
        type(*dlg, key, kept);
    };
    refused(keys::kDataHangupMB, "10000001", "700",
            "Hang up at (MB): please enter an integer between 0 and 10000000.");
    refused(keys::kBillingDay, "29", "5",
            "Billing period starts on day: please enter an integer between 1 and 28.");
    dlg->okButton()->click();
    EXPECT_EQ(value(keys::kWarnings, keys::kDataWarnMB), "10000000");
    EXPECT_EQ(value(keys::kWarnings, keys::kDataHangupMB), "700");
    EXPECT_EQ(price(keys::kCostPerMB), "0.0150000000");
    EXPECT_EQ(price(keys::kFreeMonthMB), "2000");
    EXPECT_EQ(setting(keys::kBillingDay), "5");
}

// OK on another page with a bad price: the price page and the field are shown first, then the
// message that names the field.
TEST_F(Preferences, ABadFieldsPageAndFocusComeBeforeItsMessage) {
    struct Watcher final : Prompter {
        Answer show(const Message& m) override {
            text = m.text;
            page = dlg->currentPage();
            focus = QApplication::focusWidget();
            return Answer::Ok;
        }
        CPreferencesDlg* dlg = nullptr;
        std::string text;
        QWidget* page = nullptr;
        QWidget* focus = nullptr;
    } watcher;
    PreferencesContext ctx = context();
    PreferencesContext watched{
        ctx.settings,   watcher,        ctx.sound,         ctx.startup,   ctx.configDir,
        ctx.runCommand, ctx.pickFolder, ctx.pickSoundFile, ctx.checkMail, {}};
    CPreferencesDlg dlg(std::move(watched), 1);
    watcher.dlg = &dlg;
    dlg.show();
    QApplication::setActiveWindow(&dlg);
    (void)QTest::qWaitForWindowActive(&dlg);
    type(dlg, keys::kCostPerMinute, "1.2.3");
    dlg.okButton()->click();
    EXPECT_EQ(watcher.text, "Cost per minute: please enter a number.");
    EXPECT_EQ(watcher.page, dlg.page(5));
    EXPECT_EQ(watcher.focus, dlg.findChild<QLineEdit*>(keys::kCostPerMinute));
    EXPECT_EQ(price(keys::kCostPerMinute), "-");
}

TEST_F(Preferences, ABadFieldKeepsTheDialogOpenOnItAndNothingIsWritten) {
    settings.writeString(keys::kSettings, keys::kMServer, "old.example");
    auto dlg = open(1);
    dlg->show();
    struct Case {
        const char* key;
        const char* typed;
        int page;
        std::string message;
    };
    const char* const mail = "Check incoming mail every";
    for (const Case& c :
         {Case{keys::kHangupInterval, "ten", 2, named("Minutes inactive/active", kEnterInteger)},
          Case{keys::kCMailTime, "abc", 3, named(mail, kEnterInteger)},
          Case{keys::kCMailTime, "0", 3, named(mail, integerRangeMessage(1, 1440))},
          Case{keys::kCMailTime, "-5", 3, named(mail, integerRangeMessage(1, 1440))},
          Case{keys::kWarnWhenCallInterval, "0", 4,
               named("Warn when cost per call exceeds", kLimitMessage)},
          Case{keys::kPricePerDial, "1,5x", 5, named("Price per dial", kEnterNumber)},
          Case{keys::kMinConTime, "1:5", 5,
               named("Minimal connections time (mins)", kTariffTimeMessage)}}) {
        const std::string before =
            std::filesystem::exists(settings.path()) ? readFile(settings.path()) : "";
        const QString kept = control<QLineEdit>(*dlg, c.key)->text();
        type(*dlg, c.key, c.typed);
        type(*dlg, keys::kMServer, "new.example");  // typed after the bad field
        prompter.shown.clear();
        dlg->okButton()->click();
        EXPECT_TRUE(dlg->isVisible()) << c.key;
        ASSERT_EQ(prompter.shown.size(), 1u) << c.key;
        EXPECT_EQ(prompter.shown[0].text, c.message);
        EXPECT_EQ(dlg->currentPage(), dlg->page(c.page)) << c.key;
        QLineEdit* bad = control<QLineEdit>(*dlg, c.key);
        EXPECT_EQ(bad->selectedText(), c.typed) << c.key;
        EXPECT_EQ(control<QLineEdit>(*dlg, keys::kMServer)->text(), "new.example");
        EXPECT_EQ(setting(keys::kMServer), "old.example") << c.key;
        EXPECT_FALSE(std::filesystem::exists(settings.path()) &&
                     readFile(settings.path()) != before);
        type(*dlg, c.key, kept.toUtf8().constData());
    }

    // Prices take a comma or a point; money limits take decimals.
    prompter.shown.clear();
    type(*dlg, keys::kPricePerDial, "1,5");
    type(*dlg, keys::kCostPerMinute, " 0.25 ");
    type(*dlg, keys::kWarnWhenMonthInterval, "2.5");
    type(*dlg, keys::kDisWhenCallInterval, "0,75");
    dlg->okButton()->click();
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(price(keys::kPricePerDial), "1.5000000000");
    EXPECT_EQ(price(keys::kCostPerMinute), "0.2500000000");
    EXPECT_EQ(setting(keys::kWarnWhenMonthInterval), "2.5");
    EXPECT_EQ(setting(keys::kDisWhenCallInterval), "0.75");
    EXPECT_EQ(setting(keys::kMServer), "new.example");
    EXPECT_DOUBLE_EQ(readMoneyLimit(settings, keys::kWarnWhenMonthInterval), 2.5);
    auto again = open(4);
    EXPECT_EQ(control<QLineEdit>(*again, keys::kWarnWhenMonthInterval)->text(), "2.5");
}

TEST_F(Preferences, DropDownsAndRadios) {
    // A stored index outside the lists selects nothing and leaves the stored values.
    settings.writeInt(keys::kPrice, keys::kCheapTimeFromComboState, 120);
    settings.writeString(keys::kPrice, keys::kCheapTimeStart, "08:00");
    settings.writeInt(keys::kSettings, keys::kHangupComboState, 7);
    settings.writeInt(keys::kSettings, keys::kRedialWhenBusy, 2);
    settings.writeString(keys::kSettings, keys::kMSecurity, "none");
    {
        auto dlg = open(5);
        EXPECT_EQ(control<QComboBox>(*dlg, keys::kCheapTimeFromComboState)->currentIndex(), -1);
        EXPECT_EQ(control<QComboBox>(*dlg, keys::kCheapTimeFromComboState)->count(), 96);
        EXPECT_EQ(control<QComboBox>(*dlg, keys::kHangupComboState)->currentIndex(), -1);
        EXPECT_TRUE(dlg->findChild<QButtonGroup*>(keys::kRedialWhenBusy)->button(2)->isChecked());
        EXPECT_EQ(control<QComboBox>(*dlg, keys::kMSecurity)->currentIndex(), 2);
        control<QComboBox>(*dlg, keys::kCheapTimeToComboState)->setCurrentIndex(71);
        dlg->accept();
    }
    EXPECT_EQ(price(keys::kCheapTimeFromComboState), "120");
    EXPECT_EQ(price(keys::kCheapTimeStart), "08:00");
    EXPECT_EQ(price(keys::kCheapTimeToComboState), "71");
    EXPECT_EQ(price(keys::kCheapTimeEnd), "17:59");
    EXPECT_EQ(setting(keys::kHangupComboState), "7");
    EXPECT_EQ(setting(keys::kRedialWhenBusy), "2");
    EXPECT_EQ(setting(keys::kMSecurity), "none");

    auto dlg = open(5);
    control<QComboBox>(*dlg, keys::kCheapTimeFromComboState)->setCurrentIndex(32);
    dlg->findChild<QButtonGroup*>(keys::kRedialWhenBusy)->button(3)->setChecked(true);
    control<QComboBox>(*dlg, keys::kMSecurity)->setCurrentIndex(1);
    dlg->accept();
    EXPECT_EQ(price(keys::kCheapTimeStart), "08:00");
    EXPECT_EQ(price(keys::kCheapTimeFromComboState), "32");
    EXPECT_EQ(setting(keys::kRedialWhenBusy), "3");
    EXPECT_EQ(setting(keys::kMSecurity), "tls");
}

TEST_F(Preferences, PageButtonsRunTheirCommandsAndSounds) {
    auto dlg = open(0);
    dlg->page(3)->findChild<QPushButton*>()->click();
    dlg->page(7)->findChild<QPushButton*>()->click();
    EXPECT_EQ(commands, (std::vector<int>{CmdCheckMail, CmdCheckUpdate}));

    // Browse puts the chosen file in its group; Play plays what the field shows.
    auto buttons = dlg->page(6)->findChildren<QPushButton*>();
    ASSERT_EQ(buttons.size(), 4);  // Browse, Play of each group
    soundAnswer = "/sounds/ring.wav";
    buttons[2]->click();
    EXPECT_EQ(control<QLineEdit>(*dlg, keys::kSoundWhenConDropped)->text(), "/sounds/ring.wav");
    soundAnswer.clear();
    type(*dlg, keys::kSoundWhenConMade, "/sounds/hello.wav");
    buttons[0]->click();  // cancelled: changes nothing
    EXPECT_EQ(control<QLineEdit>(*dlg, keys::kSoundWhenConMade)->text(), "/sounds/hello.wav");
    buttons[1]->click();
    buttons[3]->click();
    EXPECT_EQ(sound.played, (std::vector<std::string>{"/sounds/hello.wav", "/sounds/ring.wav"}));
    control<QComboBox>(*dlg, keys::kActionWhenConDropped)->setCurrentIndex(2);
    dlg->accept();
    EXPECT_EQ(setting(keys::kSoundWhenConDropped), "/sounds/ring.wav");
    EXPECT_EQ(setting(keys::kActionWhenConDropped), "2");
    EXPECT_EQ(setting(keys::kSoundWhenConMade), "/sounds/hello.wav");
}

TEST_F(Preferences, ARefusedPasswordOpensNothingAndWritesNothing) {
    settings.writeInt(keys::kSecurity, keys::kEnabled, 1);
    settings.writeInt(keys::kSecurity, keys::kWhenConfigured, 1);
    settings.writeString(keys::kSecurity, keys::kPassword, "pw");
    const std::string before = readFile(settings.path());
    bool preferencesShown = false;
    ModalDriver driver([&](QDialog* modal) {
        preferencesShown = preferencesShown || qobject_cast<CPreferencesDlg*>(modal) != nullptr;
        modal->reject();
    });
    EXPECT_FALSE(CPreferencesDlg::run(context(), 1, nullptr));
    EXPECT_EQ(driver.count(), 1);
    EXPECT_FALSE(preferencesShown);
    EXPECT_EQ(readFile(settings.path()), before);
    EXPECT_FALSE(startup.present);
}

// The main window: the mail icon's Preferences restarts the timers, the tray's entries do not.
class PreferencesFromTheMainWindow : public test::MonitorFixture {};

TEST_F(PreferencesFromTheMainWindow, OnlyThePageZeroOpenerRestartsTheTimers) {
    ConnectionMonitor& w = makeWindow(dir.path(), true, true);
    auto fake = std::make_unique<platform::FakeStartupEntry>();
    platform::FakeStartupEntry& entry = *fake;
    w.startupEntry = std::move(fake);
    ASSERT_FALSE(w.timerActive(ConnectionMonitor::MailTimer));
    auto checkMailAndOk = [](QDialog* modal) {
        auto* dlg = qobject_cast<CPreferencesDlg*>(modal);
        ASSERT_NE(dlg, nullptr);
        dlg->findChild<QCheckBox*>(keys::kCheckMail)->setChecked(true);
        dlg->okButton()->click();
    };
    {
        ModalDriver driver([&](QDialog* modal) {
            auto* dlg = qobject_cast<CPreferencesDlg*>(modal);
            ASSERT_NE(dlg, nullptr);
            EXPECT_EQ(dlg->currentPage(), dlg->page(3));
            checkMailAndOk(modal);
        });
        w.runCommand(CmdPrefEmail);
        EXPECT_EQ(driver.count(), 1);
    }
    EXPECT_EQ(settings.readInt(keys::kSettings, keys::kCheckMail, 0), 1);
    EXPECT_FALSE(w.timerActive(ConnectionMonitor::MailTimer));
    EXPECT_TRUE(entry.present);
    {
        ModalDriver driver([&](QDialog* modal) {
            auto* dlg = qobject_cast<CPreferencesDlg*>(modal);
            ASSERT_NE(dlg, nullptr);
            EXPECT_EQ(dlg->currentPage(), nullptr);
            dlg->okButton()->click();
        });
        w.runCommand(CmdMailPreferences);
        EXPECT_EQ(driver.count(), 1);
    }
    EXPECT_TRUE(w.timerActive(ConnectionMonitor::MailTimer));
    // Cancel from page 0 leaves the timers.
    settings.writeInt(keys::kSettings, keys::kCheckMail, 0);
    {
        ModalDriver driver([](QDialog* modal) { modal->reject(); });
        w.runCommand(CmdMailPreferences);
    }
    EXPECT_TRUE(w.timerActive(ConnectionMonitor::MailTimer));
}

TEST_F(PreferencesFromTheMainWindow, TheCommandLineOpensTheGeneralPage) {
    const std::optional<int> id = remoteCommandId("preferences");
    ASSERT_TRUE(id.has_value());

    ConnectionMonitor& w = makeWindow(dir.path(), true, true);
    w.startupEntry = std::make_unique<platform::FakeStartupEntry>();
    ModalDriver driver([](QDialog* modal) {
        auto* dlg = qobject_cast<CPreferencesDlg*>(modal);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->windowTitle(), "Preferences");
        EXPECT_EQ(dlg->currentPage(), dlg->page(1));
        dlg->reject();
    });
    w.runCommand(*id);
    EXPECT_EQ(driver.count(), 1);
}

}  // namespace
}  // namespace tavu
