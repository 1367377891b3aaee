// The operator's figures in the windows: the Messages window and its Delete, the main window's
// "Check balance" command and the notification of a text message.

#include <gtest/gtest.h>

#include <QLabel>
#include <QMenu>
#include <QTreeWidget>

#include "core/settings_keys.h"
#include "monitor/operator_watch.h"
#include "platform/modem/fake_modem_service.h"
#include "ui/main/monitor_fixture.h"
#include "ui/modem/messages_dlg.h"

namespace tavu {
namespace {

using platform::FakeModemService;
using platform::ModemMessage;

class MessagesWindow : public testing::Test {
  protected:
    MessagesWindow() {
        modemId = modem.addModem(0);
        modem.messages[modemId] = {
            {"/org/freedesktop/ModemManager1/SMS/3", "Operator", "80 % used", 1765000000},
            {"/org/freedesktop/ModemManager1/SMS/4", "<b>Bold</b>",
             "<img src=x>line one\nline two &amp;", 0}};
    }
    FakeModemService modem;
    std::string modemId;
    ScriptedPrompter prompter;
};

TEST_F(MessagesWindow, ListsTheMessagesAsPlainText) {
    CMessagesDlg dlg(modem, prompter);
    modem.deliver();
    ASSERT_EQ(dlg.list()->topLevelItemCount(), 2);
    const QTreeWidgetItem* first = dlg.list()->topLevelItem(0);
    EXPECT_EQ(first->text(1), "Operator");
    EXPECT_EQ(first->text(2), "80 % used");
    EXPECT_FALSE(first->text(0).isEmpty());
    const QTreeWidgetItem* hostile = dlg.list()->topLevelItem(1);
    EXPECT_EQ(hostile->text(1), "<b>Bold</b>");
    EXPECT_EQ(hostile->text(2), "<img src=x>line one line two &amp;");
    EXPECT_TRUE(hostile->text(0).isEmpty());  // no time stamp
}

TEST_F(MessagesWindow, DeleteAsksAndOnlyYesRemovesTheMessageFromTheModem) {
    CMessagesDlg dlg(modem, prompter);
    modem.deliver();
    dlg.list()->setCurrentItem(dlg.list()->topLevelItem(1));
    prompter.answers = {Answer::No};
    dlg.deleteSelected();
    modem.deliver();
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].caption, "Are you sure ?");
    EXPECT_EQ(prompter.shown[0].buttons, Buttons::YesNo);
    EXPECT_EQ(prompter.shown[0].icon, Icon::Question);
    EXPECT_TRUE(modem.deleted.empty());

    prompter.answers = {Answer::Yes};
    dlg.deleteSelected();
    modem.deliver();
    EXPECT_EQ(modem.deleted, std::vector<std::string>{"/org/freedesktop/ModemManager1/SMS/4"});
    ASSERT_EQ(dlg.list()->topLevelItemCount(), 1);
    EXPECT_EQ(dlg.list()->topLevelItem(0)->text(1), "Operator");

    // A refusal of the modem is said.
    modem.failDelete = true;
    dlg.list()->setCurrentItem(dlg.list()->topLevelItem(0));
    prompter.answers = {Answer::Yes};
    dlg.deleteSelected();
    modem.deliver();
    EXPECT_EQ(prompter.shown.back().text, "The message cannot be deleted.");
}

TEST_F(MessagesWindow, NoModemIsSaid) {
    modem.daemonRunning = false;
    CMessagesDlg dlg(modem, prompter);
    EXPECT_EQ(dlg.note()->text(), "No modem is present.");
    EXPECT_EQ(dlg.list()->topLevelItemCount(), 0);
}

class OperatorMainWindow : public test::MonitorFixture {
  protected:
    // The window goes before the modem service it listens to.
    ~OperatorMainWindow() override { window.reset(); }
    ConnectionMonitor& makeModemWindow(bool tray) {
        window = std::make_unique<ConnectionMonitor>(
            AppContext{settings, clock, prompter, *ras, nullptr, sound, system, shell, dir.path(),
                       dir.path(), nullptr, &modem});
        window->trayAvailability = [tray] { return tray; };
        window->initialise();
        modem.deliver();
        return *window;
    }
    FakeModemService modem;
};

TEST_F(OperatorMainWindow, CheckBalanceFromTheTrayMenuShowsTheReplyAndItsFigures) {
    settings.writeString(keys::kSettings, keys::kBalanceUSSD, "*100#");
    settings.writeString(keys::kSettings, keys::kBalanceDataPattern, "([0-9.]+) GB left");
    settings.writeString(keys::kSettings, keys::kBalanceDataUnit, "GB");
    modem.addModem(0);
    ConnectionMonitor& w = makeModemWindow(false);
    QAction* item = nullptr;
    for (QAction* a : w.trayMenu()->actions()) {
        if (a->text() == "Check balance") {
            item = a;
        }
    }
    ASSERT_NE(item, nullptr);
    item->trigger();
    modem.deliver();
    ASSERT_EQ(modem.ussdRequests.size(), 1u);
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back().text, "Your balance is 1.5 GB left");
    EXPECT_EQ(w.statusLines().front(), "Operator: 1.5 GB left (20:00)");
}

TEST_F(OperatorMainWindow, WithoutAModemCheckBalanceSaysSo) {
    ConnectionMonitor& w = makeModemWindow(false);
    settings.writeString(keys::kSettings, keys::kBalanceUSSD, "*100#");
    w.runCommand(CmdCheckBalance);
    ASSERT_FALSE(prompter.shown.empty());
    EXPECT_EQ(prompter.shown.back().text, "No modem that can ask for the balance.");
}

TEST_F(OperatorMainWindow, AMessageIsNotifiedOnceWithItsMarkupShownAsText) {
    const std::string id = modem.addModem(0);
    modem.messages[id] = {{"/sms/1", "<i>Op</i>", "<a href='http://x'>Win</a> & more", 5}};
    ConnectionMonitor& w = makeModemWindow(true);
    ASSERT_TRUE(w.trayAvailable());
    const auto [title, body] = w.lastNotice();
    EXPECT_EQ(title.toStdString(), "Message from \u2039i\u203aOp\u2039/i\u203a");
    EXPECT_EQ(body.toStdString(), "\u2039a href='http://x'\u203aWin\u2039/a\u203a \uff06 more");
    EXPECT_FALSE(body.contains('<'));
}

}  // namespace
}  // namespace tavu
