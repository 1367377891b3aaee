#include "dial/schedule_check.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"

namespace tavu {

namespace {

using Writes = std::vector<SettingsStore::Entry>;

// The integer value of `length` characters of the text from `from`; 0 when there are none.
int partValue(std::string_view text, std::size_t from, std::size_t length) {
    if (from >= text.size()) {
        return 0;
    }
    return leadingInt32(text.substr(from, length));
}

enum class Step { Next, Fire };

Step checkOne(const SettingsStore& settings, const Clock& clock, const ScheduleKeys& k,
              Writes& writes) {
    const int count = settings.readInt(keys::kSettings, k.count, 0);
    if (count == 0) {
        writes.push_back({keys::kSettings, k.status, k.stoppedText});
        return Step::Next;
    }
    if (count == 1) {
        writes.push_back({keys::kSettings, k.count, "0"});
        return Step::Fire;
    }
    // Any other count, taken as unsigned, is above 1.
    const auto remaining = static_cast<std::uint32_t>(count);
    const int atTime = settings.readInt(keys::kSettings, k.atTime, 0);
    if (atTime == 0) {
        writes.push_back(
            {keys::kSettings, k.count, std::to_string(static_cast<int>(remaining - 1))});
        // A day or more shows the whole hours, as every elapsed time of the program does.
        writes.push_back({keys::kSettings, k.status, kTimeRemainingText + formatHms(remaining)});
        return Step::Next;
    }
    if (atTime == 1) {
        const std::string time = settings.readString(keys::kSettings, k.time);
        writes.push_back({keys::kSettings, k.status, k.atText + time});
        const LocalDateTime now = clock.localNow();
        if (now.hour == partValue(time, 0, 2) && now.minute == partValue(time, 3, 2)) {
            writes.push_back({keys::kSettings, k.count, "0"});
            return Step::Fire;
        }
    }
    return Step::Next;
}

}  // namespace

const ScheduleKeys& dialScheduleKeys() {
    static const ScheduleKeys k{
        keys::kDialSecsToDial,  keys::kDAtTime,           keys::kDAfterTime,
        keys::kDialTime,        keys::kDialTimerInterval, keys::kDialSequenceComboState,
        keys::kDialTimerStatus, "Dial sequence stopped",  "Dialing at : "};
    return k;
}

const ScheduleKeys& hangupScheduleKeys() {
    static const ScheduleKeys k{keys::kHangupSecsToHangup,
                                keys::kHAtTime,
                                keys::kHAfterTime,
                                keys::kHangupTime,
                                keys::kHangupTimerInterval,
                                keys::kHangupSequenceComboState,
                                keys::kHangupTimerStatus,
                                "Hangup sequence stopped",
                                "Hangup at : "};
    return k;
}

ScheduleAction scheduleCheck(SettingsStore& settings, const Clock& clock) {
    Writes writes;
    ScheduleAction action = ScheduleAction::None;
    if (checkOne(settings, clock, dialScheduleKeys(), writes) == Step::Fire) {
        action = ScheduleAction::Dial;
    } else if (checkOne(settings, clock, hangupScheduleKeys(), writes) == Step::Fire) {
        action = ScheduleAction::Hangup;
    }
    settings.writeMany(writes);
    return action;
}

int scheduleUnitSeconds(int unit) {
    return unit == 1 ? 60 : unit == 2 ? 3600 : 1;
}

void startSchedule(SettingsStore& settings, const ScheduleKeys& k, bool atTimeChecked,
                   bool afterChecked, const std::string& timeText, int number, int unit) {
    Writes writes;
    if (atTimeChecked) {
        writes.push_back({keys::kSettings, k.count, std::to_string(kArmedMarker)});
        writes.push_back({keys::kSettings, k.time, timeText});
    } else if (afterChecked) {
        const std::int64_t seconds = static_cast<std::int64_t>(number) * scheduleUnitSeconds(unit);
        // The count is stored as an int: a longer delay waits as long as an int can count.
        const std::int64_t clamped = seconds > INT32_MAX ? INT32_MAX : seconds < 0 ? 0 : seconds;
        writes.push_back({keys::kSettings, k.count, std::to_string(clamped)});
    }
    writes.push_back({keys::kSettings, k.atTime, atTimeChecked ? "1" : "0"});
    writes.push_back({keys::kSettings, k.afterTime, afterChecked ? "1" : "0"});
    settings.writeMany(writes);
}

void stopSchedule(SettingsStore& settings, const ScheduleKeys& k) {
    settings.writeInt(keys::kSettings, k.count, 0);
}

void clearSchedules(SettingsStore& settings) {
    settings.writeMany({{keys::kSettings, keys::kDialSecsToDial, "0"},
                        {keys::kSettings, keys::kHangupSecsToHangup, "0"}});
}

}  // namespace tavu
