#include <gtest/gtest.h>

#include <limits>
#include <map>

#include "monitor/monitor_driver.h"
#include "support/monitor_rig.h"
#include "support/null_view.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

// Timers the test fires by hand; each start notes the period, whether it is once, and how many
// polls had run by then.
class FakeTimers final : public DriverTimers {
  public:
    struct Armed {
        int ms = 0;
        bool once = false;
        int pollsBefore = 0;
    };
    void start(int id, int ms, bool once) override { armed[id] = Armed{ms, once, *polls}; }
    void stop(int id) override { armed.erase(id); }
    bool active(int id) const override { return armed.count(id) != 0; }

    std::map<int, Armed> armed;
    const int* polls = nullptr;
};

class CountingView : public test::NullView {
  public:
    void elapsedTick(const std::string&, std::int64_t) override { ++polls; }
    void startMailCheck() override {}
    int polls = 0;
};

class Driver : public testing::Test, protected test::MonitorRig<> {
  protected:
    Driver() : MonitorRig("[entry Fast]\nbytes-in-per-s = 100000\n") { timers.polls = &view.polls; }

    MonitorDriver& make(MonitorDriver::Hooks hooks = {}) {
        core = std::make_unique<MonitorCore>(services(), view);
        driver = std::make_unique<MonitorDriver>(*core, settings, clock, timers, std::move(hooks));
        return *driver;
    }

    CountingView view;
    FakeTimers timers;
    std::unique_ptr<MonitorCore> core;
    std::unique_ptr<MonitorDriver> driver;
};

TEST(DriverArithmetic, PollsJustPastTheNextWholeSecond) {
    const TimePoint whole = fromLocal(2026, 12, 7, 20, 0, 0);
    EXPECT_EQ(MonitorDriver::msToNextPoll(whole), 1001);
    EXPECT_EQ(MonitorDriver::msToNextPoll(whole + 1ms), 1000);
    EXPECT_EQ(MonitorDriver::msToNextPoll(whole + 999ms), 2);
    EXPECT_EQ(MonitorDriver::msToNextPoll(TimePoint{} - 250ms), 251) << "before 1970";
}

TEST(DriverArithmetic, MinutesAreClampedToWhatATimerCounts) {
    EXPECT_EQ(MonitorDriver::minutesPeriodMs(10), 600000);
    EXPECT_EQ(MonitorDriver::minutesPeriodMs(0), 60000);
    EXPECT_EQ(MonitorDriver::minutesPeriodMs(-5), 60000);
    const int huge = MonitorDriver::minutesPeriodMs(std::numeric_limits<int>::max());
    EXPECT_GT(huge, 0) << "no overflow";
    EXPECT_GT(huge, std::numeric_limits<int>::max() - 60000);
}

TEST_F(Driver, StartArmsThePollAtTheWholeSecondAndTheMinuteTimers) {
    clock.advance(300ms);
    settings.writeInt("Settings", "HangupComboState", 1);
    settings.writeInt("Settings", "HangupInterval", -3);
    settings.writeInt("Settings", "CheckMail", 1);
    settings.writeInt("Settings", "CMailTime", 0);
    make({[] {}, [] {}}).start();
    ASSERT_TRUE(timers.active(MonitorDriver::PollTimer));
    EXPECT_EQ(timers.armed[MonitorDriver::PollTimer].ms, 701);
    EXPECT_TRUE(timers.armed[MonitorDriver::PollTimer].once);
    EXPECT_EQ(timers.armed[MonitorDriver::CostTimer].ms, 60000);
    EXPECT_FALSE(timers.armed[MonitorDriver::CostTimer].once);
    ASSERT_TRUE(timers.active(MonitorDriver::WhenConnectedTimer));
    EXPECT_EQ(timers.armed[MonitorDriver::WhenConnectedTimer].ms, 60000) << "-3 minutes";
    EXPECT_FALSE(timers.active(MonitorDriver::MailTimer)) << "CMailTime 0: no periodic check";
    EXPECT_FALSE(timers.active(MonitorDriver::AfterConnectTimer));

    settings.writeInt("Settings", "CMailTime", 2000000000);
    settings.writeInt("Settings", "HangupInterval", 0);
    driver->restartConfigured();
    EXPECT_EQ(timers.armed[MonitorDriver::MailTimer].ms, MonitorDriver::minutesPeriodMs(35791));
    EXPECT_EQ(timers.armed[MonitorDriver::WhenConnectedTimer].ms, 60000);
    settings.writeInt("Settings", "CheckMail", 0);
    settings.writeInt("Settings", "HangupComboState", 0);
    driver->restartConfigured();
    EXPECT_FALSE(timers.active(MonitorDriver::MailTimer));
    EXPECT_FALSE(timers.active(MonitorDriver::WhenConnectedTimer));

    driver->stop();
    EXPECT_TRUE(timers.armed.empty());
}

TEST_F(Driver, WithoutAWindowThereIsNoMailOrAfterConnectTimer) {
    settings.writeInt("Settings", "CheckMail", 1);
    make().start();
    EXPECT_FALSE(timers.active(MonitorDriver::MailTimer));
    driver->connectionStarted();
    EXPECT_FALSE(timers.active(MonitorDriver::AfterConnectTimer));
}

TEST_F(Driver, ThePollIsArmedAgainBeforeItRuns) {
    make().start();
    ras->bringUp("Fast");
    for (int i = 0; i < 3; ++i) {
        clock.advance(1250ms);
        const int before = view.polls;
        driver->tick(MonitorDriver::PollTimer);
        EXPECT_EQ(timers.armed[MonitorDriver::PollTimer].pollsBefore, before);
        EXPECT_EQ(timers.armed[MonitorDriver::PollTimer].ms,
                  MonitorDriver::msToNextPoll(clock.now()));
    }
    EXPECT_GT(view.polls, 0) << "the tick polls";
}

TEST_F(Driver, EachTimerDoesItsOwnWork) {
    int mails = 0, afterConnects = 0;
    settings.writeInt("Settings", "CheckMail", 1);
    settings.writeInt("Settings", "DataWarnMB", 1);
    make({[&] { ++mails; }, [&] { ++afterConnects; }}).start();

    // Idle: no mail check, and the after-connect timer waits for a connection.
    driver->connectionStarted();
    EXPECT_EQ(timers.armed[MonitorDriver::AfterConnectTimer].ms, 60000);
    EXPECT_TRUE(timers.armed[MonitorDriver::AfterConnectTimer].once);
    driver->tick(MonitorDriver::MailTimer);
    driver->tick(MonitorDriver::AfterConnectTimer);
    EXPECT_EQ(mails, 0);
    EXPECT_EQ(afterConnects, 0);
    EXPECT_TRUE(timers.active(MonitorDriver::AfterConnectTimer));

    ras->bringUp("Fast");
    clock.advance(1s);
    driver->tick(MonitorDriver::PollTimer);
    ASSERT_TRUE(core->connected());
    driver->tick(MonitorDriver::MailTimer);
    EXPECT_EQ(mails, 1);
    EXPECT_EQ(afterConnects, 0);
    driver->tick(MonitorDriver::AfterConnectTimer);
    EXPECT_EQ(afterConnects, 1);
    EXPECT_FALSE(timers.active(MonitorDriver::AfterConnectTimer)) << "once";

    // 100 KB a second: past the 1 MB warning after 11 s; only the cost timer tells.
    for (int i = 0; i < 11; ++i) {
        clock.advance(1s);
        driver->tick(MonitorDriver::PollTimer);
    }
    EXPECT_TRUE(prompter.shown.empty());
    driver->tick(MonitorDriver::CostTimer);
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text, "You have used 1 MB of data in this period.");
}

}  // namespace
}  // namespace tavu
