#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QTreeWidget>
#include <functional>
#include <memory>

#include "core/clock.h"
#include "core/prompter.h"
#include "core/settings_store.h"
#include "platform/fakes.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "support/temp_dir.h"
#include "ui/common/about_dlg.h"
#include "ui/common/my_tree_ctrl.h"
#include "ui/common/password_dialogs.h"
#include "ui/dial/connection_dialogs.h"
#include "ui/dial/dial_progress_dlg.h"
#include "ui/dial/simulated_entry_dlg.h"
#include "ui/dial/timer_dlg.h"
#include "ui/main/small_time_window.h"
#include "ui/net/net_tools_dlg.h"
#include "ui/perf/performance_dlg.h"
#include "ui/phonebook/entry_editor_dlg.h"
#include "ui/prefs/plans_page.h"
#include "ui/prefs/preferences_dlg.h"
#include "ui/reports/report_dlg.h"
#include "ui/reports/summary_dlg.h"
#include "ui/skin/skin_chooser_dlg.h"
#include "ui/skin/skin_file.h"

namespace tavu {
namespace {

// Whether every caption of the window, as it shows now, has the room its text needs: a button
// at least its size hint (text, frame and indicator), a label the width of its longest line
// (or, wrapped, the height of all its lines).
void expectCaptionsFit(QWidget* window, const std::string& where) {
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>()) {
        if (b->text().isEmpty() || !b->isVisible()) {
            continue;
        }
        EXPECT_GE(b->width(), b->sizeHint().width()) << where << ": " << b->text().toStdString();
        EXPECT_GE(b->height(), b->fontMetrics().height())
            << where << ": " << b->text().toStdString();
    }
    for (QLabel* l : window->findChildren<QLabel*>()) {
        if (l->text().isEmpty() || !l->isVisible()) {
            continue;
        }
        const QFontMetrics fm(l->font());
        const int room = l->contentsRect().width() - 2 * l->margin() - std::max(0, l->indent());
        if (l->wordWrap()) {
            EXPECT_GE(l->contentsRect().height(), l->heightForWidth(l->width()) - 1)
                << where << ": " << l->text().toStdString();
            continue;
        }
        QString shown = l->text();
        if (l->buddy() != nullptr) {
            // The "&" of a mnemonic is not drawn; "&&" draws one.
            shown.replace(QLatin1String("&&"), QString(QChar(0x1))).remove(QLatin1Char('&'));
            shown.replace(QChar(0x1), QLatin1Char('&'));
        }
        const QStringList lines = shown.split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            EXPECT_LE(fm.horizontalAdvance(line), room) << where << ": " << line.toStdString();
        }
        EXPECT_GE(l->contentsRect().height(), fm.height() * static_cast<int>(lines.size()))
            << where << ": " << l->text().toStdString();
    }
}

// Shows the window, then each page its tree offers, and checks the captions of each.
void checkWindow(QWidget* window, const std::string& where) {
    window->show();
    QApplication::processEvents();
    expectCaptionsFit(window, where);
    if (auto* tree = window->findChild<CMyTreeCtrl*>()) {
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            tree->setCurrentItem(tree->topLevelItem(i));
            QApplication::processEvents();
            expectCaptionsFit(window, where + "/" + tree->topLevelItem(i)->text(0).toStdString());
        }
    }
    window->close();
}

class Captions : public testing::Test {
  protected:
    Captions() {
        std::string error;
        ras = platform::SimulatedRemoteAccess::fromText("[entry Provider]\n", clock, error);
    }
    AppContext context() {
        return AppContext{settings, clock,  prompter, *ras,       nullptr,
                          sound,    system, shell,    dir.path(), dir.path()};
    }
    PreferencesContext preferences() {
        return PreferencesContext{settings, prompter, sound, startup, dir.path(),
                                  {},       {},       {},    {},      {}};
    }

    // Every top-level window of the program, each made afresh.
    std::vector<std::pair<std::string, std::function<std::unique_ptr<QWidget>()>>> allWindows() {
        return {
            {"Preferences", [&] { return std::make_unique<CPreferencesDlg>(preferences(), 1); }},
            {"Preferences with plans",
             [&] {
                 // A plan shown on the Plans page, and a section it tells is left out.
                 test::writeFile(planSettings.path(),
                                 "[Plan Modem]\nMatch=ppp0\n[Plan ]\nMatch=x\n");
                 auto d = std::make_unique<CPreferencesDlg>(
                     PreferencesContext{
                         planSettings, prompter, sound, startup, dir.path(), {}, {}, {}, {}, {}},
                     8);
                 d->findChild<COptPlansPage*>()->list()->setCurrentRow(1);
                 return d;
             }},
            {"Timer", [&] { return std::make_unique<CTimerDlg>(context()); }},
            {"NetTools", [&] { return std::make_unique<CNetToolsDlg>(settings, prompter, clock); }},
            {"Connections", [&] { return std::make_unique<CConnectionsDlg>(context()); }},
            {"Login", [&] { return std::make_unique<CConnectionLoginDlg>(context()); }},
            {"Dial progress",
             [&] {
                 return std::make_unique<CDialProgressDlg>(context(), CDialProgressDlg::MODE_DIAL);
             }},
            {"Mail progress",
             [&] {
                 return std::make_unique<CDialProgressDlg>(context(),
                                                           CDialProgressDlg::MODE_MAIL_CHECK);
             }},
            {"Performance", [&] { return std::make_unique<CPerformanceDlg>(); }},
            {"Report", [&] { return std::make_unique<CReportDlg>(settings, dir.path(), clock); }},
            {"Summary", [&] { return std::make_unique<CSummaryDlg>(settings, dir.path(), clock); }},
            {"Summary with plans",
             [&] {
                 test::writeFile(planSettings.path(), "[Plan Modem]\nMatch=ppp0\n");
                 return std::make_unique<CSummaryDlg>(planSettings, dir.path(), clock);
             }},
            {"About", [&] { return std::make_unique<CAboutDlg>(); }},
            {"Password", [&] { return std::make_unique<CPasswordDlg>(settings, prompter); }},
            {"Security", [&] { return std::make_unique<CSecurityDlg>(settings, prompter); }},
            {"Entry",
             [&] { return std::make_unique<CSimulatedEntryDlg>(*ras, prompter, "Provider"); }},
            {"Entry editor",
             [&] {
                 platform::DialupPaths paths;
                 paths.peersDir = dir.file("peers");
                 paths.chatDir = dir.file("chat");
                 return std::make_unique<EntryEditorDlg>(paths, "", prompter);
             }},
            {"Time", [&] { return std::make_unique<SmallTimeWindow>(); }},
            {"Skins",
             [&] {
                 return std::make_unique<CSkinChooserDlg>(
                     QStringList{QString::fromStdString(skin::skinsFolder(dir.path()))}, QString());
             }},
        };
    }

    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    SettingsStore planSettings{dir.file("plans.ini")};
    ManualClock clock{fromLocal(2026, 3, 2, 10, 0, 0)};
    ScriptedPrompter prompter;
    platform::FakeSound sound;
    platform::FakeSystemInfo system;
    platform::FakeShell shell;
    platform::FakeStartupEntry startup;
    std::unique_ptr<platform::SimulatedRemoteAccess> ras;
};

// Every window at the desktop's font and at 1.25 and 1.5 times its size (what 120 and 144 DPI
// give); the test also runs under QT_SCALE_FACTOR 1.25 and 1.5.
TEST_F(Captions, EveryCaptionOfEveryWindowFits) {
    ASSERT_TRUE(ras);
    const QFont base = QApplication::font();
    for (const double scale : {1.0, 1.25, 1.5}) {
        QFont font = base;
        font.setPointSizeF(base.pointSizeF() * scale);
        QApplication::setFont(font);
        const std::string at = " at " + std::to_string(scale);
        const auto windows = allWindows();
        for (const auto& [name, make] : windows) {
            std::unique_ptr<QWidget> w = make();
            checkWindow(w.get(), name + at);
        }
    }
    QApplication::setFont(base);
}

// Every window, on each page its tree offers, lies inside the screen's available area with all
// its buttons; ctest runs this on a 1366x768 screen at 1.25 and 1.5 times scale too.
TEST_F(Captions, EveryWindowFitsTheScreenWithItsButtons) {
    ASSERT_TRUE(ras);
    const QRect area = QApplication::primaryScreen()->availableGeometry();
    const auto check = [&](QWidget* w, const std::string& where) {
        QApplication::processEvents();
        const QRect frame = w->frameGeometry();
        EXPECT_TRUE(area.contains(frame))
            << where << ": " << frame.width() << "x" << frame.height() << "+" << frame.x() << "+"
            << frame.y() << " on " << area.width() << "x" << area.height();
        for (QPushButton* b : w->findChildren<QPushButton*>()) {
            if (!b->isVisible() || b->text().isEmpty()) {
                continue;
            }
            const QRect r(b->mapToGlobal(QPoint(0, 0)), b->size());
            EXPECT_TRUE(area.contains(r)) << where << ": " << b->text().toStdString();
            // Outside a scrolling page, the whole button shows: nothing cuts it away.
            bool scrolls = false;
            for (QWidget* p = b->parentWidget(); p != nullptr && p != w; p = p->parentWidget()) {
                scrolls = scrolls || qobject_cast<QScrollArea*>(p) != nullptr;
            }
            if (!scrolls) {
                EXPECT_EQ(b->visibleRegion().boundingRect().size(), b->size())
                    << where << ": " << b->text().toStdString();
            }
        }
    };
    for (const auto& [name, make] : allWindows()) {
        std::unique_ptr<QWidget> w = make();
        w->show();
        check(w.get(), name);
        if (auto* tree = w->findChild<CMyTreeCtrl*>()) {
            for (int i = 0; i < tree->topLevelItemCount(); ++i) {
                tree->setCurrentItem(tree->topLevelItem(i));
                check(w.get(), name + "/" + tree->topLevelItem(i)->text(0).toStdString());
            }
        }
        w->close();
    }
}

// The login dialog and the start password box are wide enough for their whole titles at the
// desktop's font and at 1.25 and 1.5 times its size; ctest runs this at those scales too.
TEST_F(Captions, EveryCaptionTitleHasRoom) {
    ASSERT_TRUE(ras);
    const QFont base = QApplication::font();
    // Under QT_SCALE_FACTOR the screen's scale is the tested one; the font stays.
    const std::vector<double> scales = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
                                           ? std::vector<double>{1.0}
                                           : std::vector<double>{1.0, 1.25, 1.5};
    for (const double scale : scales) {
        QFont font = base;
        font.setPointSizeF(base.pointSizeF() * scale);
        QApplication::setFont(font);
        QApplication::setFont(font, "QMdiSubWindowTitleBar");
        const QFontMetrics fm(font);
        // The title, with room for the frame's icon and its three buttons.
        const auto needed = [&](const QWidget& w) {
            return fm.horizontalAdvance(w.windowTitle()) + 6 * fm.height();
        };
        CConnectionLoginDlg login(context());
        login.setEntryName("My Provider at home");
        login.showEntryInTitle();
        login.show();
        QApplication::processEvents();
        EXPECT_GE(login.width(), needed(login)) << scale;
        EXPECT_TRUE(
            QApplication::primaryScreen()->availableGeometry().contains(login.frameGeometry()))
            << scale;
        CPasswordDlg password(settings, prompter);
        password.show();
        QApplication::processEvents();
        EXPECT_GE(password.width(), needed(password)) << scale;
    }
    QApplication::setFont(base);
    QApplication::setFont(base, "QMdiSubWindowTitleBar");
}

}  // namespace
}  // namespace tavu
