#include "dial/schedule_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/clock.h"
#include "core/settings_store.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

class Schedule : public testing::Test {
  protected:
    std::string status(const char* key) { return settings.readString("Settings", key); }
    int count(const char* key) { return settings.readInt("Settings", key, -1); }
    ScheduleAction tick() {
        clock.advance(1s);
        return scheduleCheck(settings, clock);
    }

    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    ManualClock clock{fromLocal(2026, 3, 2, 11, 58, 30)};
};

TEST_F(Schedule, TenSecondCountdownFiresOnTheTenthTick) {
    startSchedule(settings, dialScheduleKeys(), false, true, "", 10, 0);
    EXPECT_EQ(count("DialSecsToDial"), 10);
    EXPECT_EQ(settings.readInt("Settings", "DAtTime", -1), 0);
    EXPECT_EQ(settings.readInt("Settings", "DAfterTime", -1), 1);
    std::vector<std::string> shown;
    for (int i = 1; i < 10; ++i) {
        ASSERT_EQ(tick(), ScheduleAction::None) << i;
        shown.push_back(status("DialTimerStatus"));
    }
    EXPECT_EQ(shown.front(), "Time remaining : 00:00:10");
    EXPECT_EQ(shown.back(), "Time remaining : 00:00:02");
    EXPECT_EQ(tick(), ScheduleAction::Dial);
    EXPECT_EQ(count("DialSecsToDial"), 0);
    EXPECT_EQ(tick(), ScheduleAction::None);
    EXPECT_EQ(status("DialTimerStatus"), "Dial sequence stopped");
    EXPECT_EQ(status("HangupTimerStatus"), "Hangup sequence stopped");
}

TEST_F(Schedule, UnitsAndLongDelays) {
    startSchedule(settings, hangupScheduleKeys(), false, true, "", 1, 2);
    EXPECT_EQ(count("HangupSecsToHangup"), 3600);
    tick();
    EXPECT_EQ(status("HangupTimerStatus"), "Time remaining : 01:00:00");
    EXPECT_EQ(count("HangupSecsToHangup"), 3599);
    // A day and more shows whole hours.
    startSchedule(settings, hangupScheduleKeys(), false, true, "", 25, 2);
    tick();
    EXPECT_EQ(status("HangupTimerStatus"), "Time remaining : 25:00:00");
    startSchedule(settings, dialScheduleKeys(), false, true, "", 2, 1);
    EXPECT_EQ(count("DialSecsToDial"), 120);
    // The number 0 leaves the schedule stopped; no radio chosen leaves the count alone.
    startSchedule(settings, dialScheduleKeys(), false, true, "", 0, 0);
    EXPECT_EQ(count("DialSecsToDial"), 0);
    startSchedule(settings, dialScheduleKeys(), false, false, "", 7, 0);
    EXPECT_EQ(count("DialSecsToDial"), 0);
    stopSchedule(settings, hangupScheduleKeys());
    EXPECT_EQ(count("HangupSecsToHangup"), 0);
}

TEST_F(Schedule, AtTimeFiresWithinTheMinuteOnceAndOnlyThen) {
    startSchedule(settings, dialScheduleKeys(), true, false, "12:00:00", 10, 0);
    EXPECT_EQ(count("DialSecsToDial"), 10);
    EXPECT_EQ(status("DialTime"), "12:00:00");
    int ticks = 0;
    while (tick() == ScheduleAction::None) {
        ++ticks;
        ASSERT_LT(ticks, 200);
        EXPECT_EQ(status("DialTimerStatus"), "Dialing at : 12:00:00");
    }
    const LocalDateTime fired = clock.localNow();
    EXPECT_EQ(fired.hour, 12);
    EXPECT_EQ(fired.minute, 0);
    EXPECT_EQ(fired.second, 0);
    EXPECT_EQ(tick(), ScheduleAction::None);  // the rest of the minute: stopped
    EXPECT_EQ(status("DialTimerStatus"), "Dial sequence stopped");
}

TEST_F(Schedule, StartingAtATimeOverridesAStoredCountdownMode) {
    settings.writeInt("Settings", "HAtTime", 0);
    startSchedule(settings, hangupScheduleKeys(), true, false, "13:30", 10, 0);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(tick(), ScheduleAction::None);
    }
    EXPECT_EQ(count("HangupSecsToHangup"), 10);
}

TEST_F(Schedule, DialBeforeHangupInOneTick) {
    settings.writeInt("Settings", "DialSecsToDial", 1);
    settings.writeInt("Settings", "HangupSecsToHangup", 1);
    EXPECT_EQ(tick(), ScheduleAction::Dial);
    EXPECT_EQ(count("HangupSecsToHangup"), 1);
    EXPECT_EQ(tick(), ScheduleAction::Hangup);
    EXPECT_EQ(count("HangupSecsToHangup"), 0);
}

TEST_F(Schedule, StartUpClearsBothCountsAndAnIdleTickWritesNothing) {
    settings.writeInt("Settings", "DialSecsToDial", 40);
    settings.writeInt("Settings", "HangupSecsToHangup", 10);
    clearSchedules(settings);
    EXPECT_EQ(count("DialSecsToDial"), 0);
    EXPECT_EQ(count("HangupSecsToHangup"), 0);
    tick();
    struct stat before {};
    ASSERT_EQ(::stat(settings.path().c_str(), &before), 0);
    for (int i = 0; i < 5; ++i) {
        tick();
    }
    struct stat after {};
    ::stat(settings.path().c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
    EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
}

}  // namespace
}  // namespace tavu
