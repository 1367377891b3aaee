#include "dial/dial_controller.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/settings_store.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

// The simulated line, counting the calls made to it; errorText can be switched off.
class CountingLine : public platform::RemoteAccess {
  public:
    explicit CountingLine(platform::SimulatedRemoteAccess& line) : line_(line) {}
    bool listConnections(std::vector<platform::RasConnection>& out) override {
        ++calls;
        return line_.listConnections(out);
    }
    int connectionState(std::uint64_t h) override {
        ++calls;
        return line_.connectionState(h);
    }
    int hangUp(std::uint64_t h) override {
        ++calls;
        hangUps.push_back(h);
        return line_.hangUp(h);
    }
    int dial(const platform::DialRequest& r, platform::DialEventFn fn, std::uint64_t& h) override {
        ++calls;
        requests.push_back(r);
        return line_.dial(r, std::move(fn), h);
    }
    std::string errorText(int code) override { return withTexts ? line_.errorText(code) : ""; }
    bool listEntries(std::vector<std::string>& out) override { return line_.listEntries(out); }
    int createEntry() override { return line_.createEntry(); }
    int editEntry(const std::string& n) override { return line_.editEntry(n); }
    int deleteEntry(const std::string& n) override { return line_.deleteEntry(n); }

    int calls = 0;
    bool withTexts = true;
    std::vector<platform::DialRequest> requests;
    std::vector<std::uint64_t> hangUps;

  private:
    platform::SimulatedRemoteAccess& line_;
};

class RecordingView : public DialController::View {
  public:
    void setStatusText(const std::string& t) override { texts.push_back(t); }
    void setButtonText(const std::string& t) override { button = t; }
    void startTimer(int id, int ms) override { timers[id] = ms; }
    void stopTimer(int id) override { timers.erase(id); }
    void finish() override { ++finished; }

    std::vector<std::string> texts;
    std::string button;
    std::map<int, int> timers;
    int finished = 0;
};

class Dialer : public testing::Test {
  protected:
    void makeLine(const std::string& outcomes) {
        std::string error;
        sim = platform::SimulatedRemoteAccess::fromText("[entry Provider]\noutcomes = " + outcomes +
                                                            "\nstep-ms = 100\ndial-ms = 100\n"
                                                            "auth-ms = 100\n",
                                                        clock, error);
        ASSERT_TRUE(sim) << error;
        line = std::make_unique<CountingLine>(*sim);
        settings.writeString("Settings", "DefaultCon", "Provider");
        settings.writeString("Connections", "ProviderUser", "ann");
        settings.writeString("Connections", "ProviderPassword", "pw");
        DialController::resetLastStatusText();
        controller = std::make_unique<DialController>(
            DialController::Dial, settings, *line, view,
            [this](const std::string& url) { opened.push_back(url); });
        controller->open();
    }

    // Lets the timer of the next attempt run out and the line work until nothing is due.
    void fireAndRun() {
        ASSERT_EQ(view.timers.count(3), 1u);
        clock.advance(std::chrono::milliseconds(view.timers[3]));
        controller->timerFired(3);
        while (sim->nextDueTime()) {
            clock.set(*sim->nextDueTime());
            sim->processDue();
        }
    }

    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    ManualClock clock{fromLocal(2026, 3, 2, 10, 0, 0)};
    std::unique_ptr<platform::SimulatedRemoteAccess> sim;
    std::unique_ptr<CountingLine> line;
    RecordingView view;
    std::unique_ptr<DialController> controller;
    std::vector<std::string> opened;
};

TEST(DialTexts, BusyRule) {
    // Rule 1 with 3: the first and second busy results redial, the third does not.
    EXPECT_TRUE(redialAfterBusy(1, 3, 1));
    EXPECT_TRUE(redialAfterBusy(1, 3, 2));
    EXPECT_FALSE(redialAfterBusy(1, 3, 3));
    EXPECT_FALSE(redialAfterBusy(1, 0, 1));  // RedialTimes missing reads 0
    EXPECT_TRUE(redialAfterBusy(2, 0, 1000));
    EXPECT_FALSE(redialAfterBusy(3, 9, 1));
    EXPECT_FALSE(redialAfterBusy(0, 9, 1));
}

TEST_F(Dialer, ConnectsShowingEveryStepThenOpensTheStartPage) {
    settings.writeInt("Settings", "LaunchBrowser", 1);
    settings.writeString("Settings", "UrlToLaunch", "https://start.example/");
    makeLine("connected");
    EXPECT_EQ(view.texts.front(), "Connecting to Provider...");
    EXPECT_EQ(view.button, "Cancel");
    EXPECT_EQ(view.timers.at(3), 1000);
    EXPECT_EQ(line->calls, 0);
    fireAndRun();
    ASSERT_EQ(line->requests.size(), 1u);
    EXPECT_EQ(line->requests[0].user, "ann");
    EXPECT_EQ(line->requests[0].password, "pw");
    const std::vector<std::string> expected = {
        "Connecting to Provider...",
        "Opening the port...",
        "Port has been opened successfully",
        "Connecting to the device...",
        "The device has connected successfully.",
        "All devices in the device chain have successfully connected.",
        "Verifying the user name and password...",
        "Authentication...\nPlease wait...",
        "The client has successfully completed authentication.",
        "Registering your computer on the network...",
        "Projection result information is available.",
        "Connected to remote server successfully!"};
    EXPECT_EQ(view.texts, expected);
    EXPECT_EQ(view.finished, 1);
    EXPECT_EQ(opened, std::vector<std::string>{"https://start.example/"});
    EXPECT_EQ(DialController::lastStatusText(), "Connected to remote server successfully!");
    // The stored user name and password stay.
    EXPECT_EQ(settings.readString("Connections", "ProviderUser"), "ann");
}

TEST_F(Dialer, RuleTwoRedialsUntilConnectedReleasingEachBusyAttempt) {
    settings.writeInt("Settings", "RedialWhenBusy", 2);
    makeLine("busy, busy, busy, connected");
    for (int i = 0; i < 3; ++i) {
        fireAndRun();
        EXPECT_EQ(view.texts.back(), "Line is busy.\nRedialing, please wait...");
        EXPECT_EQ(view.button, "Cancel");
        EXPECT_EQ(view.timers.at(3), 1500);
    }
    fireAndRun();
    EXPECT_EQ(view.finished, 1);
    EXPECT_EQ(controller->busyCount(), 3);
    EXPECT_EQ(line->requests.size(), 4u);
    EXPECT_EQ(line->hangUps.size(), 3u);  // the three busy attempts, each before the next dial
    std::vector<platform::RasConnection> up;
    sim->listConnections(up);
    EXPECT_EQ(up.size(), 1u);
}

TEST_F(Dialer, RuleOneStopsAtRedialTimesWithTheBusyText) {
    settings.writeInt("Settings", "RedialWhenBusy", 1);
    settings.writeInt("Settings", "RedialTimes", 3);
    makeLine("busy");
    fireAndRun();
    fireAndRun();
    EXPECT_EQ(view.timers.count(3), 1u);
    fireAndRun();
    EXPECT_EQ(line->requests.size(), 3u);
    EXPECT_EQ(view.timers.count(3), 0u);
    EXPECT_EQ(view.texts.back(), sim->errorText(676));
    EXPECT_EQ(view.button, "OK");
    EXPECT_EQ(view.finished, 0);
}

TEST_F(Dialer, NoRedialUnderRuleThreeUnsetRuleOrAnotherError) {
    for (const char* rule : {"", "3", "0"}) {
        if (*rule) {
            settings.writeString("Settings", "RedialWhenBusy", rule);
        }
        makeLine("busy");
        fireAndRun();
        EXPECT_EQ(view.timers.count(3), 0u) << rule;
        EXPECT_EQ(view.button, "OK");
        EXPECT_EQ(controller->busyCount(), 1);
    }
    settings.writeInt("Settings", "RedialWhenBusy", 2);
    makeLine("no-answer");
    fireAndRun();
    EXPECT_EQ(view.timers.count(3), 0u);
    EXPECT_EQ(view.texts.back(), sim->errorText(678));
    EXPECT_EQ(controller->busyCount(), 0);
}

TEST_F(Dialer, CancelEndsAPendingRedialAndHangsUpTheAttempt) {
    settings.writeInt("Settings", "RedialWhenBusy", 2);
    makeLine("busy");
    fireAndRun();
    const std::uint64_t busyHandle = controller->connectionHandle();
    ASSERT_NE(busyHandle, 0u);
    controller->cancel();
    EXPECT_EQ(view.finished, 1);
    EXPECT_EQ(view.timers.count(3), 0u);
    EXPECT_EQ(line->hangUps, std::vector<std::uint64_t>{busyHandle});
    controller->timerFired(3);  // a late timer does nothing any more
    EXPECT_EQ(line->requests.size(), 1u);
}

TEST_F(Dialer, CancelBeforeTheFirstAttemptCallsNothing) {
    makeLine("connected");
    controller->cancel();
    EXPECT_EQ(view.finished, 1);
    EXPECT_EQ(line->calls, 0);
    EXPECT_TRUE(view.timers.empty());
}

TEST_F(Dialer, ErrorsWithoutTextUseTheFallbacks) {
    makeLine("wrong-password");
    line->withTexts = false;
    fireAndRun();
    EXPECT_EQ(view.texts.back(), "Undefined RAS Dial Error.");
    // A dial refused at once: an entry the phone book does not hold.
    settings.writeString("Settings", "DefaultCon", "Gone");
    controller =
        std::make_unique<DialController>(DialController::Dial, settings, *line, view, nullptr);
    controller->open();
    fireAndRun();
    EXPECT_EQ(view.texts.back(), "Undefined RAS Dial Error (623).");
    EXPECT_EQ(view.button, "OK");
}

TEST_F(Dialer, ForgetsTheUserNameAndPasswordAfterTheAttemptWhenAsked) {
    settings.writeInt("Connections", "RememberPassword", 0);
    makeLine("no-answer");
    fireAndRun();
    EXPECT_EQ(line->requests.at(0).password, "pw");
    EXPECT_EQ(settings.readString("Connections", "ProviderUser", "x"), "");
    EXPECT_EQ(settings.readString("Connections", "ProviderPassword", "x"), "");
}

TEST_F(Dialer, EventsGoToTheWindowThatClaimedThemLast) {
    makeLine("connected");
    clock.advance(1000ms);
    controller->timerFired(3);
    RecordingView second;
    DialController other(DialController::Dial, settings, *line, second, nullptr);
    other.open();
    EXPECT_EQ(DialController::eventTarget(), &other);
    clock.advance(150ms);
    sim->processDue();
    EXPECT_EQ(second.texts.back(), "Opening the port...");
    controller->timerFired(1);  // any timer of a window claims the events back
    clock.advance(100ms);
    sim->processDue();
    EXPECT_EQ(view.texts.back(), "Port has been opened successfully");
    // A state without a text shows the last text again.
    controller->dialEvent(77, 0);
    EXPECT_EQ(view.texts.back(), "Port has been opened successfully");
}

TEST_F(Dialer, MailAndUpgradeWindowsLeaveTheDialAlone) {
    makeLine("connected");
    clock.advance(1000ms);
    controller->timerFired(3);
    for (const int mode : {DialController::MailCheck, DialController::UpgradeCheck}) {
        RecordingView otherView;
        DialController other(mode, settings, *line, otherView, nullptr);
        other.open();
        other.timerFired(mode);
        EXPECT_EQ(DialController::eventTarget(), controller.get()) << mode;
        clock.advance(100ms);
        sim->processDue();
        other.dialEvent(platform::RASCS_Connected, 0);  // a stray event changes nothing either
        other.cancel();
        EXPECT_TRUE(otherView.texts.empty()) << mode;
        EXPECT_TRUE(line->hangUps.empty()) << mode;
    }
    while (sim->nextDueTime()) {
        clock.set(*sim->nextDueTime());
        sim->processDue();
    }
    EXPECT_EQ(view.texts.back(), "Connected to remote server successfully!");
    EXPECT_EQ(view.finished, 1);
}

}  // namespace
}  // namespace tavu
