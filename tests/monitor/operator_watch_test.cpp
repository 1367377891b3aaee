// The operator's figures beside the timer: the balance, its warnings, the text messages, roaming
// and the signal, with the scriptable modem service on the simulated line.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "core/settings_keys.h"
#include "log/log_record.h"
#include "monitor/monitor_core.h"
#include "monitor/operator_balance.h"
#include "monitor/operator_watch.h"
#include "platform/modem/fake_modem_service.h"
#include "support/monitor_rig.h"
#include "support/null_view.h"
#include "usage/usage_store.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;
using platform::FakeModemService;
using platform::ModemMessage;
using platform::ModemStatus;
using platform::UssdResult;

BalanceSettings patterns(std::string data, std::string money, std::string unit = "GB") {
    BalanceSettings b;
    b.dataPattern = std::move(data);
    b.moneyPattern = std::move(money);
    b.dataUnit = std::move(unit);
    return b;
}

TEST(BalanceReply, TheFirstGroupIsTheNumberInTheUnitGiven) {
    const BalanceSettings b = patterns("([0-9.]+) GB left", "Saldo ([0-9.]+) EUR");
    const BalanceFigures f = parseBalanceReply("Saldo 12.30 EUR, 1.5 GB left until 31.12.", b);
    ASSERT_TRUE(f.dataBytes);
    EXPECT_EQ(*f.dataBytes, 1500000000);
    ASSERT_TRUE(f.money);
    EXPECT_DOUBLE_EQ(*f.money, 12.3);
    EXPECT_TRUE(f.problem.empty()) << f.problem;
    EXPECT_EQ(balanceStatusLine(f, "12:40"), "Operator: 1.5 GB and 12.30 left (12:40)");
    // Megabytes, the default unit, and a line with the data alone.
    const BalanceFigures mb = parseBalanceReply("Left: 250 MB", patterns("([0-9]+) MB", "", ""));
    EXPECT_EQ(mb.dataBytes, 250000000);
    EXPECT_EQ(balanceStatusLine(mb, "09:05"), "Operator: 250 MB left (09:05)");
    // No match: no figure, no problem.
    const BalanceFigures none = parseBalanceReply("Service unavailable", b);
    EXPECT_FALSE(none.dataBytes);
    EXPECT_FALSE(none.money);
    EXPECT_TRUE(none.problem.empty());
}

TEST(BalanceReply, BadPatternsUnitsAndNumbersAreSaidAndLeaveTheFigureOut) {
    // A pattern that cannot be read, one without a group, an unknown unit.
    EXPECT_NE(parseBalanceReply("1 GB", patterns("([0-9", "")).problem.find("BalanceDataPattern"),
              std::string::npos);
    EXPECT_NE(parseBalanceReply("1 GB", patterns("[0-9]+ GB", "")).problem.find("no group"),
              std::string::npos);
    const BalanceFigures unit = parseBalanceReply("1 GB", patterns("([0-9]+) GB", "", "TB"));
    EXPECT_FALSE(unit.dataBytes);
    EXPECT_NE(unit.problem.find("MB or GB"), std::string::npos);
    // A decimal comma is no number; nor is a figure no counter could hold.
    const BalanceFigures comma = parseBalanceReply("1,5 GB", patterns("([0-9,]+) GB", ""));
    EXPECT_FALSE(comma.dataBytes);
    EXPECT_NE(comma.problem.find("not a number"), std::string::npos);
    const BalanceFigures huge =
        parseBalanceReply(std::string(20, '9') + " GB", patterns("([0-9]+) GB", ""));
    EXPECT_FALSE(huge.dataBytes);
    EXPECT_FALSE(huge.problem.empty());
    // A hostile reply: 64 KB of what a greedy pattern backtracks over, and a figure past the
    // part that is read.
    std::string hostile(64 * 1024, 'a');
    hostile += " 3 GB";
    const BalanceFigures cut = parseBalanceReply(hostile, patterns("(a|a)*([0-9]+) GB", ""));
    EXPECT_FALSE(cut.dataBytes);
}

// A view that keeps the status list as the main window does, newest first.
class StatusList : public test::NullView {
  public:
    void insertStatus(const std::string& line) override { lines.insert(lines.begin(), line); }
    void removeStatus(const std::string& line) override {
        const auto it = std::find(lines.begin(), lines.end(), line);
        if (it != lines.end()) {
            lines.erase(it);
        }
    }
    bool has(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    std::vector<std::string> lines;
};

class OperatorWatchTest : public testing::Test, protected test::MonitorRig<> {
  protected:
    OperatorWatchTest()
        : MonitorRig("[entry Provider]\nbytes-in-per-s = 1000\nbytes-out-per-s = 1000\n") {
        EXPECT_TRUE(ras) << lineError;
        modemId = modem.addModem(0, {"ttyS0"});
        core = std::make_unique<MonitorCore>(services(), view);
    }
    std::unique_ptr<OperatorWatch> makeWatch() {
        OperatorServices s{settings, clock, prompter, modem, *core, view, dir.path(), {}, {}, {}};
        s.showMessage = [this](const std::string& sender, const std::string& text) {
            shownMessages.push_back(sender + ": " + text);
        };
        s.keepReply = [this](const OperatorReply& reply, std::string& problem) {
            if (!keepFails.empty()) {
                problem = keepFails;
                return false;
            }
            kept.push_back(reply);
            return true;
        };
        s.lastReply = [this]() -> std::optional<OperatorReply> {
            ++replyReads;
            if (kept.empty())
                return std::nullopt;
            return kept.back();
        };
        auto w = std::make_unique<OperatorWatch>(s);
        w->start();
        modem.deliver();
        return w;
    }
    void runFor(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            clock.advance(1s);
            core->poll();
            watch->tick();
            modem.deliver();
        }
    }
    void roam(bool on) {
        ModemStatus st = modem.status(modemId);
        st.registration = on ? platform::kRegistrationRoaming : platform::kRegistrationHome;
        modem.changeStatus(modemId, st);
        modem.deliver();
    }
    int shownWith(const std::string& text) const {
        return static_cast<int>(std::count_if(
            prompter.shown.begin(), prompter.shown.end(),
            [&](const Message& m) { return m.text.find(text) != std::string::npos; }));
    }

    FakeModemService modem;
    std::string modemId;
    StatusList view;
    std::unique_ptr<MonitorCore> core;
    std::unique_ptr<OperatorWatch> watch;
    std::vector<std::string> shownMessages;
    std::vector<OperatorReply> kept;
    int replyReads = 0;
    std::string keepFails;
};

TEST_F(OperatorWatchTest, RoamingWarnsOncePerConnectionAndAgainInTheNext) {
    watch = makeWatch();
    roam(true);  // not connected: the status list says it, no warning
    EXPECT_TRUE(view.has("Roaming"));
    EXPECT_EQ(shownWith(OperatorWatch::kRoamingWarning), 0);
    roam(false);

    const auto first = ras->bringUp("Provider");
    runFor(5);
    roam(true);
    runFor(5);
    roam(false);
    roam(true);  // the same connection roams again: no second warning
    runFor(5);
    EXPECT_EQ(shownWith(OperatorWatch::kRoamingWarning), 1);
    EXPECT_TRUE(core->connected());
    ras->drop(first);
    runFor(2);

    // The next connection starts while the modem roams: its own warning at once.
    ras->bringUp("Provider");
    runFor(2);
    EXPECT_EQ(shownWith(OperatorWatch::kRoamingWarning), 2);
}

TEST_F(OperatorWatchTest, AModemRoamingAtTheStartIsSaidOnce) {
    ModemStatus st = modem.status(modemId);
    st.registration = platform::kRegistrationRoamingSmsOnly;
    st.roaming = true;
    modem.statuses[modemId] = st;
    watch = makeWatch();
    EXPECT_EQ(std::count(view.lines.begin(), view.lines.end(), "Roaming"), 1);
    roam(true);  // no change: not said again
    EXPECT_EQ(std::count(view.lines.begin(), view.lines.end(), "Roaming"), 1);
}

TEST_F(OperatorWatchTest, HangupWhenRoamingClosesTheLineAndTheRecordIsLogged) {
    settings.writeInt(keys::kWarnings, keys::kHangupWhenRoaming, 1);
    watch = makeWatch();
    ras->bringUp("Provider");
    runFor(10);
    ASSERT_TRUE(core->connected());
    roam(true);
    runFor(2);
    EXPECT_FALSE(core->connected());
    EXPECT_EQ(logLines().size(), 1u);
    EXPECT_EQ(shownWith("started to roam"), 1);
    EXPECT_EQ(shownWith(OperatorWatch::kRoamingWarning), 0);
    // A line closed by the program is not dialled again.
    EXPECT_TRUE(core->userHungUp());
}

TEST_F(OperatorWatchTest, HangupWhenRoamingTurnedOnAfterTheWarningStillHangsUp) {
    watch = makeWatch();
    ras->bringUp("Provider");
    runFor(3);
    roam(true);
    EXPECT_EQ(shownWith(OperatorWatch::kRoamingWarning), 1);
    roam(false);
    settings.writeInt(keys::kWarnings, keys::kHangupWhenRoaming, 1);
    roam(true);
    runFor(2);
    EXPECT_FALSE(core->connected());
    EXPECT_EQ(logLines().size(), 1u);
}

TEST_F(OperatorWatchTest, TheSignalLineIsReplacedWhenItChangesAndGoesWithTheConnection) {
    watch = makeWatch();
    const auto handle = ras->bringUp("Provider");
    runFor(2);
    EXPECT_TRUE(view.has("LTE, signal 60 %"));
    ModemStatus st = modem.status(modemId);
    st.accessTechnology = "UMTS";
    st.signalPercent = 35;
    modem.changeStatus(modemId, st);
    modem.deliver();
    EXPECT_FALSE(view.has("LTE, signal 60 %"));
    EXPECT_EQ(view.lines.front(), "UMTS, signal 35 %");
    ras->drop(handle);
    runFor(2);
    EXPECT_FALSE(view.has("UMTS, signal 35 %"));
}

TEST_F(OperatorWatchTest, BalanceByHandShowsKeepsAndPutsTheFiguresInTheStatusList) {
    settings.writeString(keys::kSettings, keys::kBalanceUSSD, "*100#");
    settings.writeString(keys::kSettings, keys::kBalanceDataPattern, "([0-9.]+) GB left");
    settings.writeString(keys::kSettings, keys::kBalanceDataUnit, "GB");
    watch = makeWatch();
    clock.advance(40min);
    watch->checkBalance();
    watch->checkBalance();  // the first answer is still on its way: not asked twice
    modem.deliver();
    ASSERT_EQ(modem.ussdRequests.size(), 1u);
    EXPECT_EQ(modem.ussdRequests[0].code, "*100#");
    EXPECT_EQ(modem.ussdRequests[0].deadlineMs, 30000);
    EXPECT_EQ(shownWith("Your balance is 1.5 GB left"), 1);
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].reply, "Your balance is 1.5 GB left");
    EXPECT_EQ(view.lines.front(), "Operator: 1.5 GB left (20:40)");

    // A restart shows the kept reply's figures without asking.
    watch.reset();
    view.lines.clear();
    watch = makeWatch();
    EXPECT_TRUE(view.has("Operator: 1.5 GB left (20:40)"));
    EXPECT_EQ(modem.ussdRequests.size(), 1u);
}

TEST_F(OperatorWatchTest, BalanceFailuresGetAClearMessage) {
    watch = makeWatch();
    watch->checkBalance();  // no code set
    EXPECT_EQ(shownWith("BalanceUSSD"), 1);
    settings.writeString(keys::kSettings, keys::kBalanceUSSD, "*100#");
    modem.daemonRunning = false;
    watch->checkBalance();
    EXPECT_EQ(shownWith("No modem that can ask for the balance."), 1);
    modem.daemonRunning = true;
    modem.ussdResult = {UssdResult::TimedOut, {}};
    watch->checkBalance();
    modem.deliver();
    EXPECT_EQ(shownWith("within 30 seconds"), 1);
    EXPECT_TRUE(kept.empty());
    EXPECT_FALSE(watch->balancePending());
}

TEST_F(OperatorWatchTest, BalanceIsAskedEveryHoursAndItsProblemsGoToTheStatusListOnce) {
    settings.writeString(keys::kSettings, keys::kBalanceUSSD, "*100#");
    settings.writeInt(keys::kSettings, keys::kBalanceEveryHours, 2);
    keepFails = "The usage store cannot be written.";
    watch = makeWatch();
    runFor(1);
    EXPECT_EQ(modem.ussdRequests.size(), 1u);
    clock.advance(2h - 10s);
    runFor(5);
    EXPECT_EQ(modem.ussdRequests.size(), 1u);
    clock.advance(5s);
    runFor(1);
    EXPECT_EQ(modem.ussdRequests.size(), 2u);
    // Asked by itself: no box, the store's problem said once.
    EXPECT_EQ(shownWith("Your balance"), 0);
    EXPECT_EQ(std::count(view.lines.begin(), view.lines.end(), keepFails), 1);
}

// The reply kept is read from the store only once there is a modem to go with it; the time it
// was asked still keeps the question asked by itself until it is due.
TEST_F(OperatorWatchTest, WithoutAModemTheReplyKeptIsNotReadUntilOneComes) {
    settings.writeString(keys::kSettings, keys::kBalanceUSSD, "*100#");
    settings.writeString(keys::kSettings, keys::kBalanceDataPattern, "([0-9.]+) GB left");
    settings.writeString(keys::kSettings, keys::kBalanceDataUnit, "GB");
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::seconds>(clock.now().time_since_epoch()).count();
    kept.push_back({now - 3600, "*100#", "1.5 GB left"});
    modem.daemonRunning = false;
    watch = makeWatch();
    runFor(2);
    EXPECT_EQ(replyReads, 0);
    EXPECT_TRUE(view.lines.empty());

    // The daemon with its modem: asked by itself every two hours, an hour after the last time.
    modem.daemonRunning = true;
    settings.writeInt(keys::kSettings, keys::kBalanceEveryHours, 2);
    runFor(1);
    EXPECT_EQ(replyReads, 1);
    EXPECT_TRUE(view.has("Operator: 1.5 GB left (19:00)")) << view.lines.front();
    EXPECT_TRUE(modem.ussdRequests.empty());
    clock.advance(1h - 10s);
    runFor(10);
    EXPECT_EQ(modem.ussdRequests.size(), 1u);
    EXPECT_EQ(replyReads, 1);
}

TEST_F(OperatorWatchTest, DataLeftBelowTheCapsRemainderWarnsOncePerPeriod) {
    settings.writeString(keys::kSettings, keys::kBalanceUSSD, "*100#");
    settings.writeString(keys::kSettings, keys::kBalanceDataPattern, "([0-9.]+) GB left");
    settings.writeString(keys::kSettings, keys::kBalanceDataUnit, "GB");
    settings.writeString(keys::kSettings, keys::kBalanceMoneyPattern, "([0-9.]+) EUR");
    settings.writeInt(keys::kWarnings, keys::kDataWarnMB, 2000);
    watch = makeWatch();
    // 1.5 GB left, 2000 MB of the cap left: the operator's figure is the lower one.
    watch->checkBalance();
    modem.deliver();
    EXPECT_EQ(shownWith("The operator says 1.5 GB"), 1);
    watch->checkBalance();
    modem.deliver();
    EXPECT_EQ(shownWith("The operator says 1.5 GB"), 1);
    // Money: 3.00 left while the month's limit of 10 leaves 10.
    settings.writeInt(keys::kSettings, keys::kWarnWhenMonth, 1);
    settings.writeString(keys::kSettings, keys::kWarnWhenMonthInterval, "10");
    modem.ussdResult = {UssdResult::Reply, "3.00 EUR and 9 GB left"};
    watch->checkBalance();
    modem.deliver();
    EXPECT_EQ(shownWith("The operator says 3.00"), 1);
    EXPECT_EQ(shownWith("The operator says 9 GB"), 0);  // more than the cap leaves
    // The next period warns again.
    clock.advance(std::chrono::hours(24 * 31));
    modem.ussdResult = {UssdResult::Reply, "1.5 GB left"};
    watch->checkBalance();
    modem.deliver();
    EXPECT_EQ(shownWith("The operator says 1.5 GB"), 2);
}

TEST_F(OperatorWatchTest, AMessageIsShownOnceAlsoAfterARestart) {
    ModemMessage old{"/org/freedesktop/ModemManager1/SMS/0", "Operator", "80 % of your data used",
                     1765000000};
    modem.messages[modemId].push_back(old);
    watch = makeWatch();
    ASSERT_EQ(shownMessages.size(), 1u);
    EXPECT_EQ(shownMessages[0], "Operator: 80 % of your data used");
    // A text with markup arrives: handed on as it is, to be shown as plain text.
    modem.receiveMessage(modemId, {"/org/freedesktop/ModemManager1/SMS/1", "<b>x</b>",
                                   "<a href='x'>win</a> &amp;", 1765000100});
    modem.deliver();
    ASSERT_EQ(shownMessages.size(), 2u);
    EXPECT_EQ(shownMessages[1], "<b>x</b>: <a href='x'>win</a> &amp;");

    // Restarted, with the daemon's messages renumbered: nothing is shown again.
    watch.reset();
    for (auto& m : modem.messages[modemId]) {
        m.id += "0";
    }
    watch = makeWatch();
    EXPECT_EQ(shownMessages.size(), 2u);
}

TEST(SeenMessages, AnUnwritableFileIsSaidAndAHostileOneIsIgnored) {
    test::TempDir dir;
    const std::string path = dir.file("operator-messages");
    test::writeFile(path, std::string("zz\n\x01\x02\n") + std::string(100, 'f') + "\n");
    SeenMessages seen(path);
    const ModemMessage m{"/x", "Op", "text", 1};
    EXPECT_TRUE(seen.firstSight(m));
    EXPECT_FALSE(seen.firstSight(m));
    EXPECT_TRUE(seen.problem().empty()) << seen.problem();
    SeenMessages inFolder(dir.path());  // a folder where the file should be
    EXPECT_TRUE(inFolder.firstSight(m));
    EXPECT_FALSE(inFolder.problem().empty());
}

// The bytes a connection uses while its modem roams are kept apart in its rows.
class RoamingSink : public UsageSink {
  public:
    bool write(const std::string&, const ConnectionKey&,
               const std::vector<UsageRow>& rows) override {
        for (const UsageRow& r : rows) {
            stored[r.quarter] = r;
        }
        return true;
    }
    std::vector<UsageRow> rowsOf(const std::string&, const ConnectionKey&) override { return {}; }
    const std::string& problem() const override { return problem_; }
    std::map<std::int64_t, UsageRow> stored;
    std::string problem_;
};

TEST_F(OperatorWatchTest, BytesUsedWhileRoamingAreCountedApart) {
    RoamingSink sink;
    usage = &sink;
    core = std::make_unique<MonitorCore>(services(), view);
    watch = makeWatch();
    const auto handle = ras->bringUp("Provider");
    runFor(100);
    roam(true);
    runFor(50);
    roam(false);
    runFor(30);
    ras->drop(handle);
    runFor(1);
    std::int64_t all = 0;
    std::int64_t roaming = 0;
    for (const auto& [q, r] : sink.stored) {
        all += r.uploaded + r.downloaded;
        roaming += r.roaming;
    }
    // 2000 bytes a second both ways, 50 seconds of them roaming (a second either way).
    EXPECT_NEAR(static_cast<double>(roaming), 50 * 2000, 2 * 2000);
    EXPECT_GT(all, roaming + 120 * 2000);
}

// The balance keys and the caps the operator's figures are compared with belong to the plan of
// the connection up; with no connection up, to the default plan in Settings.
TEST_F(OperatorWatchTest, TheConnectionsPlanGivesTheBalanceCodeAndTheCap) {
    settings.writeString(keys::kSettings, keys::kBalanceUSSD, "*100#");
    settings.writeString("Plan Travel", "Match", "Other");
    settings.writeString("Plan Travel", keys::kBalanceUSSD, "*222#");
    settings.writeString("Plan Modem", "Match", "Provider");
    settings.writeString("Plan Modem", keys::kBalanceUSSD, "*111#");
    settings.writeString("Plan Modem", keys::kBalanceDataPattern, "([0-9.]+) GB left");
    settings.writeString("Plan Modem", keys::kBalanceDataUnit, "GB");
    settings.writeInt("Plan Modem", keys::kDataWarnMB, 2000);
    // 1,900 MB of the default plan this month: the Modem plan's own usage is what counts.
    test::writeFile(dir.file("logfile.log"),
                    composeRecord({"01-12-2026", "10:00:00", "01-12-2026", "11:00:00", "joe",
                                   "eth0", "Home", "0", "1900000000"}));
    watch = makeWatch();
    watch->checkBalance();
    modem.deliver();
    ASSERT_EQ(modem.ussdRequests.size(), 1u);
    EXPECT_EQ(modem.ussdRequests[0].code, "*100#");
    // The default plan has no pattern and no cap: no figures, no warning.
    EXPECT_EQ(shownWith("The operator says"), 0);

    ras->bringUp("Provider");
    runFor(2);
    watch->checkBalance();
    modem.deliver();
    ASSERT_EQ(modem.ussdRequests.size(), 2u);
    EXPECT_EQ(modem.ussdRequests[1].code, "*111#");
    EXPECT_TRUE(view.has("Operator: 1.5 GB left (20:00)"));
    EXPECT_EQ(shownWith("The operator says 1.5 GB"), 1);
}

}  // namespace
}  // namespace tavu
