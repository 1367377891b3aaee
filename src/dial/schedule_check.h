#pragma once

#include <string>

namespace tavu {

class Clock;
class SettingsStore;

// The keys of one schedule, dial or hang-up.
struct ScheduleKeys {
    const char* count;      // seconds to wait; 10 marks an armed at-time schedule; 0 stopped
    const char* atTime;     // 1: at-time mode
    const char* afterTime;  // mirrors the delay radio
    const char* time;       // HH:MM[:SS]
    const char* interval;   // the number of the delay field
    const char* unit;       // 0 seconds, 1 minutes, 2 hours
    const char* status;     // the status line the check writes
    const char* stoppedText;
    const char* atText;  // "Dialing at : " / "Hangup at : "
};

const ScheduleKeys& dialScheduleKeys();
const ScheduleKeys& hangupScheduleKeys();

inline constexpr const char* kTimeRemainingText = "Time remaining : ";
// The count that marks an armed at-time schedule.
inline constexpr int kArmedMarker = 10;

enum class ScheduleAction { None, Dial, Hangup };

// One tick of the schedule check (once a second): counts down, watches the clock, writes the
// status lines, and says what is due. A dial that fires ends the tick, so a hang-up due in the
// same second fires on the next one. All the tick's writes go to the file in one write, and a
// tick that changes nothing writes nothing.
ScheduleAction scheduleCheck(SettingsStore& settings, const Clock& clock);

// The Start button of a page: arms the schedule from the page's fields. unit: 0..2.
void startSchedule(SettingsStore& settings, const ScheduleKeys& keys, bool atTimeChecked,
                   bool afterChecked, const std::string& timeText, int number, int unit);
// The Stop button.
void stopSchedule(SettingsStore& settings, const ScheduleKeys& keys);

// At start-up: no schedule survives a restart.
void clearSchedules(SettingsStore& settings);

// The unit factor of the delay field: 1, 60 or 3600 (1 for an unknown unit).
int scheduleUnitSeconds(int unit);

}  // namespace tavu
