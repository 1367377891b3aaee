#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "platform/fakes.h"
#include "support/temp_dir.h"
#include "tariff/plan.h"
#include "ui/prefs/plan_fields.h"
#include "ui/prefs/plans_page.h"
#include "ui/prefs/preferences_dlg.h"

namespace tavu {
namespace {

using test::readFile;
using test::writeFile;

constexpr int kPlansPage = 8;

const char* const kFile =
    "; my settings\n"
    "[Price]\n"
    "CostPerMinute=0.1000000000\n"
    "[Plan Modem]\n"
    "Match=ppp0\n"
    "CostPerMB=0.0100000000\n"
    "; the stick in the left port\n"
    "\n"
    "[Connections]\n"
    "Entry=1\n"
    "[Plan SIM]\n"
    "Match=wwan*\n"
    "BillingDay=15\n"
    "[Plan Old]\n"
    "Match=x\n";

class Plans : public ::testing::Test {
  protected:
    void SetUp() override { writeFile(settings.path(), kFile); }

    std::unique_ptr<CPreferencesDlg> open() {
        PreferencesContext ctx{settings, prompter, sound, startup, dir.path(), {}, {}, {}, {}, {}};
        ctx.askPlanName = [this](QWidget*, const QString&, const QString& start) {
            offered.push_back(start.toStdString());
            if (names.empty()) {
                return QString();  // cancelled
            }
            const QString answer = QString::fromStdString(names.front());
            names.pop_front();
            return answer;
        };
        auto dlg = std::make_unique<CPreferencesDlg>(std::move(ctx), kPlansPage);
        page = qobject_cast<COptPlansPage*>(dlg->page(kPlansPage));
        return dlg;
    }
    void choose(const char* name) {
        const auto all = page->names();
        const auto it = std::find(all.begin(), all.end(), name);
        ASSERT_NE(it, all.end()) << name;
        page->list()->setCurrentRow(static_cast<int>(it - all.begin()));
    }
    QLineEdit* field(const char* key) {
        // The page's own field of that key, not the Price or Warnings page's.
        auto* e = page->tabs()->findChild<QLineEdit*>(QString(kPlanFieldPrefix) + "/" + key);
        EXPECT_NE(e, nullptr) << key;
        return e;
    }
    std::vector<std::string> filePlans() {
        std::vector<std::string> out;
        for (const Plan& p : readPlans(settings).plans) {
            out.push_back(p.name);
        }
        return out;
    }

    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    ScriptedPrompter prompter;
    platform::FakeSound sound;
    platform::FakeStartupEntry startup;
    std::deque<std::string> names;     // the answers of the name box
    std::vector<std::string> offered;  // what the name box offered
    COptPlansPage* page = nullptr;
};

using Names = std::vector<std::string>;

// Add, rename, reorder and delete, then OK: the plan sections change as the list shows them, in
// one write, and every line the program does not know stays.
TEST_F(Plans, EditsReachTheFileOnlyOnOkAndAsTheListShowsThem) {
    auto dlg = open();
    dlg->show();
    EXPECT_EQ(page->names(), (Names{"Default", "Modem", "SIM", "Old"}));

    choose("Old");
    prompter.answers = {Answer::Yes};
    page->button("Delete")->click();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].caption, "Are you sure ?");
    EXPECT_EQ(prompter.shown[0].buttons, Buttons::YesNo);

    choose("SIM");
    names = {"Travel"};
    page->button("Rename")->click();
    page->button("Up")->click();
    EXPECT_EQ(page->names(), (Names{"Default", "Travel", "Modem"}));

    names = {"Phone"};
    page->button("Add")->click();
    page->matchEdit()->setText("usb0, rndis*");
    field(keys::kCostPerMB)->setText("0,5");

    choose("Modem");
    field(keys::kDataHangupMB)->setText("500");
    EXPECT_EQ(readFile(settings.path()), kFile);  // nothing yet

    prompter.shown.clear();
    dlg->okButton()->click();
    ASSERT_TRUE(prompter.shown.empty()) << prompter.shown[0].text;
    EXPECT_EQ(dlg->result(), QDialog::Accepted);

    EXPECT_EQ(filePlans(), (Names{"Travel", "Modem", "Phone"}));
    EXPECT_EQ(settings.readString("Plan Travel", "Match"), "wwan*");
    EXPECT_EQ(settings.readString("Plan Travel", keys::kBillingDay), "15");
    EXPECT_EQ(settings.readString("Plan SIM", "Match", "-"), "-");
    EXPECT_EQ(settings.readString("Plan Old", "Match", "-"), "-");
    EXPECT_EQ(settings.readString("Plan Modem", keys::kDataHangupMB), "500");
    EXPECT_EQ(settings.readString("Plan Modem", keys::kCostPerMB), "0.0100000000");
    // A key the plan lacked and nobody changed stays out.
    EXPECT_EQ(settings.readString("Plan Modem", keys::kFreeMonthMB, "-"), "-");
    EXPECT_EQ(settings.readString("Plan Phone", "Match"), "usb0, rndis*");
    EXPECT_EQ(settings.readString("Plan Phone", keys::kCostPerMB), "0.5000000000");
    // A new plan starts from the default plan's values.
    EXPECT_EQ(settings.readString("Plan Phone", keys::kCostPerMinute), "0.1000000000");
    const std::string text = readFile(settings.path());
    EXPECT_NE(text.find("; my settings\n"), std::string::npos);
    EXPECT_NE(text.find("DataHangupMB=500\n; the stick in the left port\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("[Connections]\nEntry=1\n"), std::string::npos) << text;
    EXPECT_TRUE(readPlans(settings).problems.empty());
}

TEST_F(Plans, CancelLeavesTheFileByteForByte) {
    auto dlg = open();
    dlg->show();
    choose("Modem");
    prompter.answers = {Answer::Yes};
    page->button("Delete")->click();
    names = {"New"};
    page->button("Add")->click();
    page->button("Up")->click();
    field(keys::kCostPerMinute)->setText("9");
    dlg->cancelButton()->click();
    EXPECT_EQ(readFile(settings.path()), kFile);
}

TEST_F(Plans, TwoPlansMayTradeNames) {
    auto dlg = open();
    choose("Modem");
    names = {"X"};
    page->renamePlan();
    choose("SIM");
    names = {"Modem"};
    page->renamePlan();
    choose("X");
    names = {"SIM"};
    page->renamePlan();
    dlg->okButton()->click();
    EXPECT_EQ(filePlans(), (Names{"SIM", "Modem", "Old"}));
    EXPECT_EQ(settings.readString("Plan SIM", "Match"), "ppp0");
    EXPECT_EQ(settings.readString("Plan Modem", "Match"), "wwan*");
}

// A refused name is told, and the box asks again with what was typed.
TEST_F(Plans, BadNamesAreRefusedAndTheTypedNameIsOfferedAgain) {
    auto dlg = open();
    names = {"", "a,b", "default", "  modem ", std::string(41, 'n'), " Stick "};
    page->addPlan();
    EXPECT_EQ(offered, (Names{"", "", "a,b", "default", "  modem ", std::string(41, 'n')}));
    std::vector<std::string> told;
    for (const Message& m : prompter.shown) {
        told.push_back(m.text);
    }
    EXPECT_EQ(told, (Names{"A plan name is 1 to 40 characters.",
                           "A plan name may not hold \"]\", \",\" or a control character.",
                           "The name \"Default\" belongs to the default plan.",
                           "There is a plan \"Modem\" already. Plan names are the same whatever "
                           "the case of their letters.",
                           "A plan name is 1 to 40 characters."}));
    EXPECT_EQ(page->names().back(), "Stick");

    // A plan may change the case of its own name; a cancelled box changes nothing.
    choose("Modem");
    names = {"MODEM"};
    page->renamePlan();
    page->renamePlan();  // cancelled
    EXPECT_EQ(page->names(), (Names{"Default", "MODEM", "SIM", "Old", "Stick"}));
    EXPECT_EQ(page->nameProblem(std::string(40, 'n'), -1), "");
}

// A bad field keeps its text while other plans are shown; OK shows it on its plan and tab and
// writes nothing.
TEST_F(Plans, ABadFieldIsKeptAndShownOnItsPlan) {
    auto dlg = open();
    dlg->show();
    choose("SIM");
    page->tabs()->setCurrentIndex(1);
    field(keys::kWarnWhenMonthInterval)->setText("0");
    choose("Modem");
    EXPECT_EQ(field(keys::kWarnWhenMonthInterval)->text(), "1");
    choose("SIM");
    EXPECT_EQ(field(keys::kWarnWhenMonthInterval)->text(), "0");
    choose("Default");
    page->tabs()->setCurrentIndex(0);

    dlg->okButton()->click();
    EXPECT_TRUE(dlg->isVisible());
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text,
              "Warn when cost per month exceeds: please enter an amount greater than 0 and at "
              "most 100000.");
    EXPECT_EQ(dlg->currentPage(), page);
    EXPECT_EQ(page->names()[page->list()->currentRow()], "SIM");
    EXPECT_EQ(page->tabs()->currentIndex(), 1);
    EXPECT_EQ(field(keys::kWarnWhenMonthInterval)->text(), "0");
    EXPECT_EQ(readFile(settings.path()), kFile);
}

// "Default" is the Price and Warnings pages' plan: the same values in both places, never
// deleted, matched by no name.
TEST_F(Plans, DefaultIsThePricePagesPlan) {
    auto dlg = open();
    dlg->show();
    EXPECT_EQ(page->list()->currentRow(), 0);
    EXPECT_FALSE(page->matchEdit()->isEnabled());
    EXPECT_FALSE(page->button("Delete")->isEnabled());
    EXPECT_FALSE(page->button("Rename")->isEnabled());
    QTest::keyClick(page->list(), Qt::Key_Delete);
    EXPECT_TRUE(prompter.shown.empty());
    EXPECT_EQ(page->names().size(), 4u);

    EXPECT_EQ(field(keys::kCostPerMinute)->text(), "0.1");
    field(keys::kCostPerMinute)->setText("0.3");
    dlg->showPage(5);
    auto* priceField = dlg->page(5)->findChild<QLineEdit*>(keys::kCostPerMinute);
    EXPECT_EQ(priceField->text(), "0.3");
    priceField->setText("0.4");
    dlg->showPage(kPlansPage);
    EXPECT_EQ(field(keys::kCostPerMinute)->text(), "0.4");
    field(keys::kCostPerMinute)->setText("0.5");  // typed last, on this page
    dlg->okButton()->click();
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(settings.readString(keys::kPrice, keys::kCostPerMinute), "0.5000000000");
    EXPECT_EQ(settings.readString("Plan Modem", keys::kCostPerMinute, "-"), "-");
}

// Add, type the names it covers, move it, delete another, all from the keys.
TEST_F(Plans, WorksFromTheKeyboardAlone) {
    auto dlg = open();
    dlg->show();
    QApplication::setActiveWindow(dlg.get());
    if (!QTest::qWaitForWindowActive(dlg.get())) {
        GTEST_SKIP() << "the window system does not activate windows";
    }
    page->list()->setFocus();
    QTest::keyClick(page->list(), Qt::Key_Down);
    QTest::keyClick(page->list(), Qt::Key_Down);  // SIM: every button is on
    std::vector<QWidget*> order;
    for (int i = 0; i < 8; ++i) {
        order.push_back(QApplication::focusWidget());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(order, (std::vector<QWidget*>{page->list(), page->button("Add"),
                                            page->button("Rename"), page->button("Delete"),
                                            page->button("Up"), page->button("Down"),
                                            page->matchEdit(), page->tabs()->tabBar()}));
    // Each button has a letter of its own.
    QStringList mnemonics;
    for (const char* name : {"Add", "Rename", "Delete", "Up", "Down"}) {
        mnemonics << page->button(name)->shortcut().toString();
    }
    mnemonics.removeDuplicates();
    EXPECT_EQ(mnemonics, (QStringList{"Alt+A", "Alt+N", "Alt+D", "Alt+U", "Alt+W"}));

    // Tab from the list to a button and press it with the space bar.
    const auto press = [&](const char* name) {
        page->list()->setFocus();
        for (int i = 0; i < 6 && QApplication::focusWidget() != page->button(name); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        ASSERT_EQ(QApplication::focusWidget(), page->button(name)) << name;
        QTest::keyClick(page->button(name), Qt::Key_Space);
    };
    names = {"Phone"};
    press("Add");
    EXPECT_EQ(page->names().back(), "Phone");
    EXPECT_EQ(QApplication::focusWidget(), page->matchEdit());
    QTest::keyClicks(page->matchEdit(), "usb0");
    press("Up");
    EXPECT_EQ(page->names(), (Names{"Default", "Modem", "SIM", "Phone", "Old"}));

    QTest::keyClick(page->tabs()->tabBar(), Qt::Key_Right);
    EXPECT_EQ(page->tabs()->currentIndex(), 1);

    page->list()->setFocus();
    QTest::keyClick(page->list(), Qt::Key_End);  // Old
    prompter.answers = {Answer::No, Answer::Yes};
    QTest::keyClick(page->list(), Qt::Key_Delete);
    EXPECT_EQ(page->names().size(), 5u);
    QTest::keyClick(page->list(), Qt::Key_Delete);
    EXPECT_EQ(page->names(), (Names{"Default", "Modem", "SIM", "Phone"}));

    QTest::keyClick(page->list(), Qt::Key_Return);
    EXPECT_EQ(dlg->result(), QDialog::Accepted);
    EXPECT_EQ(filePlans(), (Names{"Modem", "SIM", "Phone"}));
    EXPECT_EQ(settings.readString("Plan Phone", "Match"), "usb0");
}

// A plan section the program cannot take is named on the page and left in the file as it is.
TEST_F(Plans, ABadSectionIsToldAndLeftAlone) {
    const std::string file = std::string(kFile) + "[Plan " + std::string(41, 'x') + "]\nA=1\n";
    writeFile(settings.path(), file);
    auto dlg = open();
    dlg->show();
    bool found = false;
    for (QLabel* l : page->findChildren<QLabel*>()) {
        found = found || (l->isVisible() && l->text().contains("is left out"));
    }
    EXPECT_TRUE(found);
    EXPECT_EQ(page->names().size(), 4u);
    choose("Modem");
    page->movePlan(1);
    dlg->okButton()->click();
    EXPECT_EQ(filePlans(), (Names{"SIM", "Modem", "Old"}));
    EXPECT_NE(readFile(settings.path()).find("[Plan " + std::string(41, 'x') + "]\nA=1\n"),
              std::string::npos);
}

}  // namespace
}  // namespace tavu
