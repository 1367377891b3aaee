#include "monitor/monitor_driver.h"

#include <QTimer>
#include <algorithm>
#include <limits>

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "monitor/monitor_core.h"

namespace tavu {

QtDriverTimers::QtDriverTimers(std::function<void(int)> fire) : fire_(std::move(fire)) {}

QtDriverTimers::~QtDriverTimers() = default;

void QtDriverTimers::start(int id, int ms, bool once) {
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        QObject::connect(timer.get(), &QTimer::timeout, [this, id] { fire_(id); });
    }
    timer->setSingleShot(once);
    timer->start(ms);
}

void QtDriverTimers::stop(int id) {
    if (const auto it = timers_.find(id); it != timers_.end()) {
        it->second->stop();
    }
}

bool QtDriverTimers::active(int id) const {
    const auto it = timers_.find(id);
    // Running for real: a timer whose start the system refused has no timer id.
    return it != timers_.end() && it->second->isActive() && it->second->timerId() > 0;
}

MonitorDriver::MonitorDriver(MonitorCore& core, const SettingsStore& settings, const Clock& clock,
                             DriverTimers& timers, Hooks hooks)
    : core_(core), settings_(settings), clock_(clock), timers_(timers), hooks_(std::move(hooks)) {}

int MonitorDriver::minutesPeriodMs(int minutes) {
    constexpr int kMaxMinutes = std::numeric_limits<int>::max() / 60000;
    return 60000 * std::clamp(minutes, 1, kMaxMinutes);
}

int MonitorDriver::msToNextPoll(TimePoint now) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    ms %= 1000;
    if (ms < 0) {
        ms += 1000;
    }
    return static_cast<int>(1000 - ms) + 1;
}

int MonitorDriver::mailPeriodMs(const SettingsStore& settings) {
    if (settings.readInt(keys::kSettings, keys::kCheckMail, 0) != 1) {
        return 0;
    }
    const int minutes = settings.readInt(keys::kSettings, keys::kCMailTime, 10);
    return minutes == 0 ? 0 : minutesPeriodMs(minutes);
}

void MonitorDriver::start() {
    armPoll();
    core_.followChanges(true);
    if (core_.whenConnectedAction() > 0) {
        timers_.start(
            WhenConnectedTimer,
            minutesPeriodMs(settings_.readInt(keys::kSettings, keys::kHangupInterval, 10)), false);
    }
    if (const int mailMs = mailPeriodMs(settings_); mailMs > 0 && hooks_.mailCheck) {
        timers_.start(MailTimer, mailMs, false);
    }
    timers_.start(CostTimer, 60000, false);
}

void MonitorDriver::stop() {
    core_.followChanges(false);
    for (const int id : {PollTimer, WhenConnectedTimer, MailTimer, AfterConnectTimer, CostTimer}) {
        timers_.stop(id);
    }
}

void MonitorDriver::restartConfigured() {
    if (const int mailMs = mailPeriodMs(settings_); mailMs > 0 && hooks_.mailCheck) {
        timers_.start(MailTimer, mailMs, false);
    } else {
        timers_.stop(MailTimer);
    }
    if (settings_.readInt(keys::kSettings, keys::kHangupComboState, 0) != 0) {
        timers_.start(
            WhenConnectedTimer,
            minutesPeriodMs(settings_.readInt(keys::kSettings, keys::kHangupInterval, 10)), false);
    } else {
        timers_.stop(WhenConnectedTimer);
    }
}

void MonitorDriver::connectionStarted() {
    if (hooks_.afterConnect) {
        timers_.start(AfterConnectTimer, 60000, true);
    }
}

void MonitorDriver::armPoll() {
    timers_.start(PollTimer, msToNextPoll(clock_.now()), true);
}

void MonitorDriver::tick(int timerId) {
    switch (timerId) {
        case PollTimer:
            // Armed first: whatever the poll leads to that waits for the user (the dial after a
            // dropped line) must not stop the next polls.
            armPoll();
            core_.poll();
            break;
        case WhenConnectedTimer:
            core_.whenConnectedTimer();
            break;
        case MailTimer:
            if (core_.connected() && hooks_.mailCheck) {
                hooks_.mailCheck();
            }
            break;
        case AfterConnectTimer:
            if (core_.connected()) {
                timers_.stop(AfterConnectTimer);
                if (hooks_.afterConnect) {
                    hooks_.afterConnect();
                }
            }
            break;
        case CostTimer:
            core_.costCheck();
            break;
        default:
            break;
    }
}

}  // namespace tavu
