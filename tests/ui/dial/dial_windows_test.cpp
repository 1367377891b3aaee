#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "core/clock.h"
#include "core/prompter.h"
#include "core/settings_store.h"
#include "monitor/commands.h"
#include "platform/fakes.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "support/temp_dir.h"
#include "ui/common/my_tree_ctrl.h"
#include "ui/dial/connection_dialogs.h"
#include "ui/dial/dial_progress_dlg.h"
#include "ui/dial/simulated_entry_dlg.h"
#include "ui/dial/timer_dlg.h"
#include "ui/main/monitor_fixture.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

// The relative luminance of a colour, as contrast ratios are reckoned.
double relativeLuminance(const QColor& c) {
    auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

// The contrast of the progress window's status text, as drawn, with its orange: its darkest
// pixel against the background.
double statusContrast(CDialProgressDlg& dlg) {
    dlg.show();
    QApplication::processEvents();
    // Thin strokes never reach the text's colour: the face drawn is a heavy one.
    EXPECT_GE(QFontInfo(dlg.statusLabel()->font()).weight(), QFont::Bold);
    const QImage shot = dlg.statusLabel()->grab().toImage();
    double darkest = 1;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            darkest = std::min(darkest, relativeLuminance(QColor(shot.pixel(x, y))));
        }
    }
    const double orange = relativeLuminance(CDialProgressDlg::backgroundColor());
    return (orange + 0.05) / (darkest + 0.05);
}

// Runs a dial in the progress window to its end: moves the clock to the window's redial timer
// or the line's next step, whichever comes first, until the window closes or nothing is due.
void driveDial(CDialProgressDlg* dlg, ManualClock& clock, platform::SimulatedRemoteAccess& ras) {
    QPointer<CDialProgressDlg> guard(dlg);
    for (int i = 0; i < 100 && guard && !dlg->isHidden(); ++i) {
        if (dlg->timerActive(3)) {
            clock.advance(std::chrono::milliseconds(dlg->timerInterval(3)));
            dlg->fireTimer(3);
        } else if (const auto due = ras.nextDueTime()) {
            clock.set(*due);
            ras.processDue();
        } else {
            break;
        }
    }
}

// Runs `work` on the modal window that opens next, from inside its event loop.
void onNextModal(std::function<void(QWidget*)> work) {
    QTimer::singleShot(0, [work] { work(QApplication::activeModalWidget()); });
}

bool processUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

class DialWindows : public testing::Test {
  protected:
    void makeLine(const std::string& script) {
        std::string error;
        ras = platform::SimulatedRemoteAccess::fromText(script, clock, error);
        ASSERT_TRUE(ras) << error;
    }
    AppContext context() {
        return AppContext{settings, clock,  prompter, *ras,       nullptr,
                          sound,    system, shell,    dir.path(), "/opt/tavu"};
    }
    // Dials in the progress window until it closes: its timers run out at once and the
    // simulated line's clock moves from event to event.
    void driveDial(CDialProgressDlg* dlg) { tavu::driveDial(dlg, clock, *ras); }

    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    ManualClock clock{fromLocal(2026, 3, 2, 10, 0, 0)};
    ScriptedPrompter prompter;
    platform::FakeSound sound;
    platform::FakeSystemInfo system;
    platform::FakeShell shell;
    std::unique_ptr<platform::SimulatedRemoteAccess> ras;
};

TEST_F(DialWindows, OneEntryBecomesTheDefaultWithoutAQuestion) {
    makeLine("[entry Solo]\n");
    settings.writeString("Connections", "SoloUser", "ann");
    settings.writeString("Connections", "SoloPassword", "pw");
    CConnectionLoginDlg login(context());
    login.skipWhenStored = true;
    EXPECT_EQ(login.run(), QDialog::Accepted);
    EXPECT_EQ(settings.readString("Settings", "DefaultCon"), "Solo");
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(login.windowTitle(), "Connection Solo user name and password.");
}

TEST_F(DialWindows, SeveralEntriesWithoutDefaultLeadToTheManager) {
    makeLine("[entry Provider]\n[entry Office]\n");
    QString opened;
    onNextModal([&](QWidget* w) {
        opened = w ? w->windowTitle() : "none";
        if (w) {
            w->close();  // Hide without choosing
        }
    });
    bool dialled = false;
    runDialCommand(context(), nullptr, [&](const std::string&) { dialled = true; });
    EXPECT_EQ(opened, "Connections");
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text.substr(0, 47),
              "Please select default connection entry to dial.");
    EXPECT_NE(prompter.shown[0].text.find("click Set as default"), std::string::npos);
    EXPECT_FALSE(dialled);
    EXPECT_FALSE(ras->nextDueTime());

    // Choosing in the manager lets the dialog go on with that entry.
    onNextModal([&](QWidget* w) {
        auto* manager = qobject_cast<CConnectionsDlg*>(w);
        ASSERT_TRUE(manager);
        manager->list()->setCurrentItem(manager->list()->topLevelItem(0));
        manager->setAsDefault();
        onNextModal([](QWidget* login) {
            ASSERT_TRUE(login);
            login->close();
        });
        manager->close();
    });
    CConnectionLoginDlg login(context());
    login.run();
    EXPECT_EQ(login.entryName(), "Office");  // the list shows the phone book in reverse
}

TEST_F(DialWindows, LoginStoresUnderTheDefaultAndForgetsAfterTheAttemptWhenAsked) {
    makeLine("[entry Provider]\n[entry Office]\n");
    settings.writeString("Settings", "DefaultCon", "Provider");
    CConnectionLoginDlg login(context());
    onNextModal([&](QWidget* w) {
        auto* dlg = qobject_cast<CConnectionLoginDlg*>(w);
        ASSERT_TRUE(dlg);
        dlg->rememberBox()->setChecked(false);
        dlg->okButton()->click();  // nothing typed: refused, stays open
        dlg->userEdit()->setText("ann");
        dlg->passwordEdit()->setText("pw");
        dlg->okButton()->click();
    });
    EXPECT_EQ(login.run(), QDialog::Accepted);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text,
              "Please enter user name and password that will be used to connect to remote "
              "server (internet)!!!");
    EXPECT_EQ(settings.readInt("Connections", "RememberPassword", 1), 0);
    EXPECT_EQ(settings.readString("Connections", "ProviderUser"), "ann");
    EXPECT_EQ(settings.readString("Connections", "ProviderPassword"), "pw");

    CDialProgressDlg progress(context(), CDialProgressDlg::MODE_DIAL);
    progress.fireTimer(3);
    EXPECT_EQ(settings.readString("Connections", "ProviderUser", "x"), "");
    EXPECT_EQ(settings.readString("Connections", "ProviderPassword", "x"), "");
}

TEST_F(DialWindows, ManagerListsSelectsDeletesAndEditsTheSelectedEntry) {
    makeLine("[entry Provider]\n[entry Office]\n[entry Home]\n");
    CConnectionsDlg manager(context());
    EXPECT_EQ(manager.entries(), (QStringList{"Home", "Office", "Provider"}));
    manager.dial();  // nothing selected and no default
    manager.remove();
    manager.setAsDefault();
    settings.writeString("Settings", "DefaultCon", "Provider");
    ASSERT_EQ(prompter.shown.size(), 3u);
    EXPECT_EQ(prompter.shown[0].text,
              "Please select entry to dial first. Or create it, using Add...");
    EXPECT_EQ(prompter.shown[0].caption, "TAVU");
    EXPECT_EQ(prompter.shown[2].text, "Please select entry first. Just single-click on it...");

    manager.list()->setCurrentItem(manager.list()->topLevelItem(1));
    EXPECT_EQ(manager.selectedEntry(), "Office");
    manager.list()->clearSelection();  // a deselection also counts: the name stays
    EXPECT_EQ(manager.selectedEntry(), "Office");

    // Advanced edits the selected entry's own keys.
    onNextModal([](QWidget* w) {
        auto* login = qobject_cast<CConnectionLoginDlg*>(w);
        ASSERT_TRUE(login);
        EXPECT_EQ(login->windowTitle(), "Connection Office user name and password.");
        login->userEdit()->setText("bob");
        login->passwordEdit()->setText("x");
        login->okButton()->click();
    });
    manager.advanced();
    EXPECT_EQ(settings.readString("Connections", "OfficeUser"), "bob");
    EXPECT_EQ(settings.readString("Connections", "ProviderUser"), "");

    prompter.answers = {Answer::No, Answer::Yes};
    manager.remove();
    EXPECT_EQ(manager.entries().size(), 3);
    manager.remove();
    EXPECT_EQ(prompter.shown.back().text, "You are about to delete entry Office. Are you sure ?");
    EXPECT_EQ(prompter.shown.back().buttons, Buttons::YesNo);
    EXPECT_EQ(manager.entries(), (QStringList{"Home", "Provider"}));
    EXPECT_EQ(manager.selectedEntry(), "Office");
    manager.setAsDefault();  // the deleted name can still become the default
    EXPECT_EQ(settings.readString("Settings", "DefaultCon"), "Office");
    // A Delete that fails says why.
    prompter.answers = {Answer::Yes};
    manager.remove();
    EXPECT_EQ(prompter.shown.back().text,
              ras->errorText(platform::ERROR_CANNOT_FIND_PHONEBOOK_ENTRY));
    EXPECT_EQ(prompter.shown.back().caption, "TAVU");

    manager.help();
    EXPECT_EQ(shell.opened, std::vector<std::string>{"/opt/tavu/help/index.htm"});
    // An installed copy keeps its manual under share/doc beside its bin folder.
    std::filesystem::create_directories(dir.file("share/doc/tavu/help"));
    test::writeFile(dir.file("share/doc/tavu/help/index.htm"), "<html></html>");
    AppContext installed = context();
    installed.exeDir = dir.file("bin");
    CConnectionsDlg(installed).help();
    EXPECT_EQ(shell.opened.back(), dir.file("share/doc/tavu/help/index.htm"));
}

TEST_F(DialWindows, ManagerDialsTheSelectedEntryAndMarksTheDefault) {
    makeLine("[entry Provider]\n[entry Office]\n[entry Home]\n");
    settings.writeString("Settings", "DefaultCon", "Provider");
    CConnectionsDlg manager(context());
    manager.show();
    QTreeWidget* list = manager.list();
    auto row = [&](const char* name) {
        return list->findItems(QString::fromLatin1(name), Qt::MatchExactly).front();
    };
    EXPECT_TRUE(row("Provider")->font(0).bold());
    EXPECT_FALSE(row("Office")->font(0).bold());

    // Dial dials the selected entry; with none selected, the default one.
    std::vector<std::string> dialled;
    auto dialAndCancel = [&] {
        onNextModal([&](QWidget* w) {
            auto* login = qobject_cast<CConnectionLoginDlg*>(w);
            ASSERT_TRUE(login);
            login->userEdit()->setText("ann");
            login->passwordEdit()->setText("pw");
            onNextModal([&](QWidget* p) {
                auto* progress = qobject_cast<CDialProgressDlg*>(p);
                ASSERT_TRUE(progress);
                dialled.push_back(progress->controller().entryName());
                progress->reject();
            });
            login->okButton()->click();
        });
    };
    list->setCurrentItem(row("Office"));
    dialAndCancel();
    manager.dial();
    list->clearSelection();
    dialAndCancel();
    manager.dial();
    EXPECT_EQ(dialled, (std::vector<std::string>{"Office", "Provider"}));
    EXPECT_EQ(settings.readString("Connections", "OfficeUser"), "ann");

    // A double-click dials its entry and leaves the default alone.
    dialAndCancel();
    manager.doubleClicked("Home");
    EXPECT_EQ(dialled.back(), "Home");
    EXPECT_EQ(settings.readString("Settings", "DefaultCon"), "Provider");
    EXPECT_TRUE(prompter.shown.empty());

    // While the default is being chosen it asks first.
    manager.choosingDefault = true;
    prompter.answers = {Answer::No, Answer::Yes};
    manager.doubleClicked("Home");
    EXPECT_EQ(settings.readString("Settings", "DefaultCon"), "Provider");
    manager.doubleClicked("Home");
    ASSERT_EQ(prompter.shown.size(), 2u);
    EXPECT_EQ(prompter.shown[0].text, "Set Home as the default connection?");
    EXPECT_EQ(prompter.shown[0].buttons, Buttons::YesNo);
    EXPECT_EQ(settings.readString("Settings", "DefaultCon"), "Home");
    EXPECT_TRUE(row("Home")->font(0).bold());
    EXPECT_FALSE(row("Provider")->font(0).bold());

    // The selected row in the desktop's selection colours; every row's text readable.
    auto contrast = [&](const QColor& a, const QColor& b) {
        const double la = relativeLuminance(a), lb = relativeLuminance(b);
        return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    };
    EXPECT_GE(contrast(CConnectionsDlg::listText(), CConnectionsDlg::listBackground()), 4.5);
    list->setCurrentItem(row("Office"));
    const QRect cell = list->visualItemRect(row("Office"));
    const QImage shot = list->viewport()->grab().toImage();
    EXPECT_EQ(QColor(shot.pixel(cell.right() - 2, cell.center().y())),
              list->palette().color(QPalette::Active, QPalette::Highlight));
    const QRect other = list->visualItemRect(row("Provider"));
    EXPECT_EQ(QColor(shot.pixel(other.right() - 2, other.center().y())),
              CConnectionsDlg::listBackground());
}

TEST_F(DialWindows, SimulatedLineAddsAndEditsEntriesThroughItsEditor) {
    makeLine("[entry Provider]\n");
    platform::SimulatedRemoteAccess& line = *ras;
    EXPECT_EQ(line.createEntry(), platform::ERROR_NOT_SUPPORTED);  // no editor yet
    line.setEntryEditor(
        [&](const std::string& name) { return CSimulatedEntryDlg::edit(line, prompter, name); });
    CConnectionsDlg manager(context());
    onNextModal([](QWidget* w) {
        auto* dlg = qobject_cast<CSimulatedEntryDlg*>(w);
        ASSERT_TRUE(dlg);
        EXPECT_EQ(dlg->outcomesEdit()->text(), "connected");
        dlg->nameEdit()->setText("Night");
        dlg->outcomesEdit()->setText("busy, sometimes");
        dlg->okButton()->click();  // refused: nothing added
        dlg->outcomesEdit()->setText("busy, connected");
        dlg->okButton()->click();
    });
    manager.add();
    EXPECT_EQ(manager.entries(), (QStringList{"Night", "Provider"}));
    EXPECT_EQ(line.outcomesText("Night"), "busy, connected");
    EXPECT_EQ(prompter.shown.size(), 1u);
    onNextModal([](QWidget* w) {
        auto* dlg = qobject_cast<CSimulatedEntryDlg*>(w);
        ASSERT_TRUE(dlg);
        EXPECT_TRUE(dlg->nameEdit()->isReadOnly());
        dlg->outcomesEdit()->setText("no-answer");
        dlg->okButton()->click();
    });
    manager.list()->setCurrentItem(manager.list()->topLevelItem(0));
    manager.edit();
    EXPECT_EQ(line.outcomesText("Night"), "no-answer");
}

TEST_F(DialWindows, ProgressWindowLooksAndOpensPerMode) {
    makeLine("[entry Provider]\n");
    settings.writeString("Settings", "DefaultCon", "Provider");
    CDialProgressDlg dial(context(), CDialProgressDlg::MODE_DIAL);
    EXPECT_TRUE(dial.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(dial.statusText(), "Connecting to Provider...");
    EXPECT_EQ(dial.buttonText(), "Cancel");
    EXPECT_EQ(dial.timerInterval(3), 1000);
    EXPECT_EQ(dial.statusFont().pixelSize(), 12);
    EXPECT_EQ(dial.statusLabel()->textFormat(), Qt::PlainText);
    const QImage face = dial.grab().toImage();
    EXPECT_EQ(face.pixelColor(5, face.height() - 5), CDialProgressDlg::backgroundColor());
    EXPECT_EQ(dial.statusLabel()->palette().color(QPalette::WindowText),
              CDialProgressDlg::textColor());
    EXPECT_TRUE(CDialProgressDlg::statusFamily() == "Verdana" ||
                CDialProgressDlg::statusFamily() == "DejaVu Sans");

    CDialProgressDlg mail(context(), CDialProgressDlg::MODE_MAIL_CHECK);
    EXPECT_EQ(mail.statusText(), "Connecting to server...");
    EXPECT_EQ(mail.statusFont().pixelSize(), 20);
    EXPECT_EQ(mail.timerInterval(2), 1000);
    // Escape is the cancel operation: the window closes with OK.
    mail.show();
    mail.reject();
    EXPECT_EQ(mail.result(), QDialog::Accepted);
    EXPECT_FALSE(ras->nextDueTime());
}

TEST_F(DialWindows, MailModeRunsTheJobOffTheWindowThread) {
    makeLine("[entry Provider]\n");
    for (const auto& [result, text] : std::vector<std::pair<MailCheckResult, std::string>>{
             {{MailCheckResult::Kind::Count, 3}, "You have 3 new email(s)"},
             {{MailCheckResult::Kind::NoMail, 0}, "There are no new emails."},
             {{MailCheckResult::Kind::Failure, 0},
              "Error connecting to the server.\nCheck your email settings!"}}) {
        CDialProgressDlg dlg(context(), CDialProgressDlg::MODE_MAIL_CHECK);
        std::atomic<bool> release{false};
        const std::thread::id windowThread = std::this_thread::get_id();
        std::atomic<bool> offThread{false};
        dlg.setMailCheckJob([&, r = result] {
            offThread = std::this_thread::get_id() != windowThread;
            while (!release) {
                std::this_thread::sleep_for(1ms);
            }
            return r;
        });
        dlg.fireTimer(2);
        EXPECT_FALSE(dlg.timerActive(2));
        EXPECT_EQ(dlg.timerInterval(4), 100);
        EXPECT_EQ(dlg.statusFont().pixelSize(), 10);
        dlg.fireTimer(4);  // the worker is still waiting: nothing shown yet
        EXPECT_EQ(dlg.buttonText(), "Cancel");
        release = true;
        EXPECT_TRUE(processUntil([&] {
            dlg.fireTimer(4);
            return dlg.buttonText() == "OK";
        }));
        EXPECT_TRUE(offThread);
        EXPECT_EQ(dlg.statusText().toStdString(), text);
        EXPECT_GE(statusContrast(dlg), 4.5) << text;
    }
}

TEST_F(DialWindows, UpgradeModeHandlesItsThreeAnswers) {
    makeLine("[entry Provider]\n");
    {
        CDialProgressDlg dlg(context(), CDialProgressDlg::MODE_UPGRADE_CHECK);
        dlg.setUpgradeQueryJob([] { return std::string("OK"); });
        dlg.fireTimer(1);
        EXPECT_TRUE(processUntil([&] { return dlg.buttonText() == "OK"; }));
        EXPECT_EQ(dlg.statusText(), "No update avaible. Please try again later.");
        EXPECT_EQ(dlg.statusFont().pixelSize(), 10);
    }
    {
        CDialProgressDlg dlg(context(), CDialProgressDlg::MODE_UPGRADE_CHECK);
        dlg.setUpgradeQueryJob([] { return std::string(kUpgradeConnectFailureText); });
        dlg.fireTimer(1);
        EXPECT_TRUE(processUntil([&] { return dlg.buttonText() == "OK"; }));
        EXPECT_TRUE(dlg.statusText().startsWith("Error - can't connect to the server !!!\n"));
        // The two lines fit above the button at the small status font, in dark blue on orange.
        EXPECT_EQ(dlg.statusFont().pixelSize(), 10);
        dlg.show();
        QApplication::processEvents();
        QLabel* status = dlg.statusLabel();
        const QRect needed = QFontMetrics(status->font())
                                 .boundingRect(status->contentsRect(),
                                               Qt::AlignCenter | Qt::TextWordWrap, status->text());
        EXPECT_LE(needed.height(), status->contentsRect().height());
        EXPECT_LE(status->geometry().bottom(), dlg.actionButton()->geometry().top());
        EXPECT_GE(statusContrast(dlg), 4.5);
    }
    {
        CDialProgressDlg dlg(context(), CDialProgressDlg::MODE_UPGRADE_CHECK);
        dlg.setUpgradeQueryJob([] { return std::string("<b>Version 2</b> is out"); });
        dlg.show();
        dlg.fireTimer(1);
        EXPECT_TRUE(processUntil([&] { return dlg.isHidden(); }));
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].text, "<b>Version 2</b> is out");
        EXPECT_EQ(prompter.shown[0].caption, "TAVU");
        EXPECT_EQ(dlg.result(), QDialog::Accepted);
    }
}

TEST_F(DialWindows, TimerPagesStartStopAndStore) {
    makeLine("[entry Provider]\n");
    CTimerDlg dlg(context());
    EXPECT_EQ(dlg.tree()->topLevelItem(0)->text(0), "Connect");
    EXPECT_EQ(dlg.tree()->topLevelItem(1)->text(0), "Hangup");
    EXPECT_FALSE(dlg.connectPage()->isHidden());
    EXPECT_TRUE(dlg.hangupPage()->isHidden());
    dlg.tree()->setCurrentItem(dlg.tree()->topLevelItem(1));
    EXPECT_TRUE(dlg.connectPage()->isHidden());
    EXPECT_FALSE(dlg.hangupPage()->isHidden());

    CTimerConnectPage& page = *dlg.connectPage();
    EXPECT_EQ(page.timeEdit()->text(), "12:00:00");
    EXPECT_EQ(page.numberEdit()->text(), "10");
    page.delayRadio()->click();
    page.unitCombo()->setCurrentIndex(1);
    page.numberEdit()->setText("2");
    page.startButton()->click();
    EXPECT_EQ(settings.readInt("Settings", "DialSecsToDial", 0), 120);
    page.numberEdit()->setText("two");
    page.startButton()->click();  // not a number: says so and starts nothing
    EXPECT_EQ(prompter.shown.back().text, "Please enter an integer.");
    EXPECT_EQ(settings.readInt("Settings", "DialSecsToDial", 0), 120);
    settings.writeString("Settings", "DialTimerStatus", "Time remaining : 00:01:59");
    page.refreshStatus();
    EXPECT_EQ(page.statusLine()->text(), "Time remaining : 00:01:59");
    page.stopButton()->click();
    EXPECT_EQ(settings.readInt("Settings", "DialSecsToDial", 9), 0);
    page.numberEdit()->setText("3");

    dlg.hangupPage()->atTimeRadio()->click();
    dlg.hangupPage()->timeEdit()->setText("23:15");
    dlg.okButton()->click();
    EXPECT_EQ(settings.readInt("Settings", "HAtTime", 0), 1);
    EXPECT_EQ(settings.readInt("Settings", "HAfterTime", 1), 0);
    EXPECT_EQ(settings.readString("Settings", "HangupTime"), "23:15");
    EXPECT_EQ(settings.readInt("Settings", "DialSequenceComboState", 0), 1);
    EXPECT_EQ(settings.readInt("Settings", "HangupSecsToHangup", 0), 0);  // OK starts nothing
}

// Start with neither "at time" nor "in" chosen says so and writes nothing.
TEST_F(DialWindows, TimerStartWithNeitherChoiceSaysSo) {
    makeLine("[entry Provider]\n");
    CTimerDlg dlg(context());
    dlg.show();
    CTimerPage* pages[] = {dlg.connectPage(), dlg.hangupPage()};
    for (CTimerPage* page : pages) {
        for (QRadioButton* r : {page->atTimeRadio(), page->delayRadio()}) {
            r->setAutoExclusive(false);
            r->setChecked(false);
        }
        prompter.shown.clear();
        page->startButton()->click();
        ASSERT_EQ(prompter.shown.size(), 1u);
        EXPECT_EQ(prompter.shown[0].text, kChooseWhenText);
    }
    EXPECT_EQ(settings.readInt("Settings", "DialSecsToDial", 0), 0);
    EXPECT_EQ(settings.readInt("Settings", "HangupSecsToHangup", 0), 0);
}

TEST_F(DialWindows, TimerActsOnlyOnTheChosenModesValidField) {
    makeLine("[entry Provider]\n");
    CTimerDlg dlg(context());
    dlg.show();
    CTimerHangupPage& page = *dlg.hangupPage();
    page.delayRadio()->click();
    page.numberEdit()->setText("soon");
    page.startButton()->click();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "Please enter an integer.");
    page.numberEdit()->setText("0");
    page.startButton()->click();
    EXPECT_EQ(prompter.shown.back().text, kPositiveDelayMessage);
    EXPECT_EQ(settings.readInt("Settings", "HangupSecsToHangup", 0), 0);  // nothing started

    // At time: only the time is checked, and it must be a time of day.
    page.atTimeRadio()->click();
    for (const char* bad : {"25:99:00", "24:00", "12:60", "12:00:60", "1200", "12:00:"}) {
        prompter.shown.clear();
        page.timeEdit()->setText(bad);
        page.startButton()->click();
        ASSERT_EQ(prompter.shown.size(), 1u) << bad;
        EXPECT_EQ(prompter.shown[0].text, kTimeOfDayMessage);
        EXPECT_EQ(settings.readInt("Settings", "HangupSecsToHangup", 0), 0) << bad;
    }
    prompter.shown.clear();
    page.timeEdit()->setText("23:59:59");
    page.startButton()->click();
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(settings.readInt("Settings", "HangupSecsToHangup", 0), kArmedMarker);
    EXPECT_EQ(settings.readString("Settings", "HangupTime"), "23:59:59");

    // OK with a refused time stays open on that page and writes nothing.
    page.timeEdit()->setText("25:00");
    dlg.tree()->setCurrentItem(dlg.tree()->topLevelItem(0));
    dlg.okButton()->click();
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_FALSE(page.isHidden());
    EXPECT_EQ(settings.readString("Settings", "HangupTime"), "23:59:59");
    page.timeEdit()->setText("00:00");
    dlg.okButton()->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(settings.readString("Settings", "HangupTime"), "00:00");
    EXPECT_EQ(settings.readInt("Settings", "HangupTimerInterval", 0), 10);  // "soon" not taken
}

class DialFromMainWindow : public test::MonitorFixture {};

TEST_F(DialFromMainWindow, TimerCommandStartsTheScheduleAndAWrongPasswordShowsNothing) {
    ConnectionMonitor& w = makeWindow("/opt/tavu", true, true);
    settings.writeInt("Security", "Enabled", 1);
    settings.writeInt("Security", "WhenConfigured", 1);
    settings.writeString("Security", "Password", "right");
    QStringList seen;
    onNextModal([&](QWidget* modal) {
        seen << (modal ? modal->windowTitle() : "none");
        modal->close();  // the password prompt, cancelled
        onNextModal([&](QWidget* next) { seen << (next ? next->windowTitle() : "none"); });
    });
    EXPECT_FALSE(w.timerActive(ConnectionMonitor::ScheduleTimer));
    w.runCommand(CmdTimer);
    EXPECT_TRUE(w.timerActive(ConnectionMonitor::ScheduleTimer));
    processUntil([&] { return seen.size() == 2; }, 1000);
    EXPECT_EQ(seen, (QStringList{"Enter password !!!", "none"}));

    // A scheduled hang-up while not connected only says so.
    settings.writeInt("Settings", "HangupSecsToHangup", 1);
    w.tick(ConnectionMonitor::ScheduleTimer);
    EXPECT_TRUE(processUntil([&] { return w.statusLines().front() == "Not connected..."; }));
}

TEST_F(DialFromMainWindow, ConfigurationPasswordAlsoGuardsTheEntriesAndTheSkins) {
    ConnectionMonitor& w = makeWindow("/opt/tavu", true, true);
    settings.writeInt("Security", "Enabled", 1);
    settings.writeInt("Security", "WhenConfigured", 1);
    settings.writeString("Security", "Password", "right");
    for (const int command : {CmdConnections, CmdSkin}) {
        QStringList seen;
        onNextModal([&](QWidget* modal) {
            seen << (modal ? modal->windowTitle() : "none");
            if (modal) {
                modal->close();  // the password prompt, cancelled
            }
            onNextModal([&](QWidget* next) { seen << (next ? next->windowTitle() : "none"); });
        });
        w.runCommand(command);
        processUntil([&] { return seen.size() == 2; }, 1000);
        EXPECT_EQ(seen, (QStringList{"Enter password !!!", "none"})) << command;
    }
}

TEST_F(DialFromMainWindow, AFailedDialTakesBackConnectingAndReturnPressesOk) {
    std::string error;
    ras = platform::SimulatedRemoteAccess::fromText(
        "[entry Provider]\noutcomes = no-carrier\nstep-ms = 100\n", clock, error);
    settings.writeString("Settings", "DefaultCon", "Provider");
    settings.writeString("Connections", "ProviderUser", "ann");
    settings.writeString("Connections", "ProviderPassword", "pw");
    ConnectionMonitor& w = makeWindow("/opt/tavu", true, true);
    QString outcome;
    bool closedByReturn = false;
    onNextModal([&](QWidget* modal) {
        auto* dlg = qobject_cast<CDialProgressDlg*>(modal);
        ASSERT_TRUE(dlg);
        EXPECT_EQ(w.statusLines().front(), "Connecting...");
        driveDial(dlg, clock, *ras);
        outcome = dlg->statusText();
        EXPECT_EQ(dlg->buttonText(), "OK");
        QTest::keyClick(dlg, Qt::Key_Return);
        closedByReturn = dlg->isHidden();
        if (!closedByReturn) {
            dlg->reject();
        }
    });
    w.runCommand(CmdConnect);
    EXPECT_FALSE(outcome.isEmpty());
    EXPECT_TRUE(closedByReturn);
    EXPECT_FALSE(w.statusLines().contains("Connecting..."));
}

TEST_F(DialFromMainWindow, ConnectDialsRedialsOnBusyAndTheLogNamesTheEntry) {
    std::string error;
    ras = platform::SimulatedRemoteAccess::fromText(
        "[entry Provider]\noutcomes = busy, connected\nstep-ms = 100\ndial-ms = 500\n"
        "auth-ms = 200\n[entry Office]\n",
        clock, error);
    settings.writeString("Settings", "DefaultCon", "Provider");
    settings.writeString("Connections", "ProviderUser", "ann");
    settings.writeString("Connections", "ProviderPassword", "pw");
    settings.writeInt("Settings", "RedialWhenBusy", 2);
    settings.writeInt("Settings", "ConfirmHangup", 0);
    ConnectionMonitor& w = makeWindow("/opt/tavu", true, true);
    QStringList texts;
    onNextModal([&](QWidget* modal) {
        auto* dlg = qobject_cast<CDialProgressDlg*>(modal);
        ASSERT_TRUE(dlg);
        texts << dlg->statusText();
        QObject::connect(dlg, &CDialProgressDlg::statusShown,
                         [&](const QString& t) { texts << t; });
        EXPECT_EQ(w.statusLines().front(), "Connecting...");
        driveDial(dlg, clock, *ras);
    });
    w.runCommand(CmdConnect);
    ASSERT_GE(texts.size(), 6);
    EXPECT_EQ(texts[0], "Connecting to Provider...");
    EXPECT_EQ(texts[1], "Opening the port...");
    EXPECT_TRUE(texts.contains("Line is busy.\nRedialing, please wait..."));
    EXPECT_TRUE(texts.indexOf("Line is busy.\nRedialing, please wait...") <
                texts.lastIndexOf("Opening the port..."));
    EXPECT_EQ(texts.back(), "Connected to remote server successfully!");

    // The monitor finds the connection and times it; hanging up logs it under the entry.
    clock.advance(1s);
    w.tick(ConnectionMonitor::PollTimer);
    ASSERT_TRUE(w.core().connected());
    clock.advance(65s);
    w.tick(ConnectionMonitor::PollTimer);
    w.runCommand(CmdHangup);
    clock.advance(1s);
    w.tick(ConnectionMonitor::PollTimer);
    EXPECT_FALSE(w.core().connected());
    const std::string log = test::readFile(w.core().logPath());
    EXPECT_NE(log.find("|Provider|"), std::string::npos) << log;
    EXPECT_NE(log.find("|tester|"), std::string::npos) << log;
}

}  // namespace
}  // namespace tavu
