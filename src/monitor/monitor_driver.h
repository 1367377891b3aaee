#pragma once

#include <functional>
#include <map>
#include <memory>

#include "core/clock.h"

class QTimer;

namespace tavu {

class MonitorCore;
class SettingsStore;

// The timers a monitor driver arms, by id. The program's are Qt's (QtDriverTimers); tests use
// their own and fire them by hand.
class DriverTimers {
  public:
    virtual ~DriverTimers() = default;
    // Starts a timer, or starts it again from now: once after `ms`, or every `ms`.
    virtual void start(int id, int ms, bool once) = 0;
    virtual void stop(int id) = 0;
    virtual bool active(int id) const = 0;
};

// Timers of the event loop; a timer's event calls `fire` with its id.
class QtDriverTimers final : public DriverTimers {
  public:
    explicit QtDriverTimers(std::function<void(int)> fire);
    ~QtDriverTimers() override;
    void start(int id, int ms, bool once) override;
    void stop(int id) override;
    bool active(int id) const override;

  private:
    std::function<void(int)> fire_;
    std::map<int, std::unique_ptr<QTimer>> timers_;
};

// The timers of the connection monitor, for the main window and `tavu monitor` alike:
//  1  the poll, armed just past each wall-clock second;
//  2  the "when connected" action, every HangupInterval minutes, while the action is set;
//  3  the mailbox check, every CMailTime minutes, while connected and the check is on;
//  4  once, a minute after a connection started: the checks that follow a connect;
//  5  the cost check, every minute.
// The poll's timer is armed again before the poll runs, so a slow poll (or a box it leads to)
// neither drifts nor stops the next polls.
class MonitorDriver {
  public:
    enum TimerId {
        PollTimer = 1,
        WhenConnectedTimer = 2,
        MailTimer = 3,
        AfterConnectTimer = 4,
        CostTimer = 5,
    };

    // What a window adds: the mailbox check (timer 3) and the checks after a connect (timer 4).
    // Without them timers 3 and 4 are never armed.
    struct Hooks {
        std::function<void()> mailCheck;
        std::function<void()> afterConnect;
    };

    MonitorDriver(MonitorCore& core, const SettingsStore& settings, const Clock& clock,
                  DriverTimers& timers, Hooks hooks = {});

    // Arms the timers and follows the line's own news.
    void start();
    // Stops every timer and the line's news.
    void stop();
    // Timers 2 and 3 again from the settings, after the user changed them.
    void restartConfigured();
    // A connection came up: timer 4 fires once in a minute.
    void connectionStarted();
    // One event of a timer.
    void tick(int timerId);

    // A period given in minutes, in milliseconds: at least a minute, at most what a timer counts.
    static int minutesPeriodMs(int minutes);
    // From `now` to just past the next whole second.
    static int msToNextPoll(TimePoint now);
    // The mailbox check's period; 0 when there is none.
    static int mailPeriodMs(const SettingsStore& settings);

  private:
    void armPoll();

    MonitorCore& core_;
    const SettingsStore& settings_;
    const Clock& clock_;
    DriverTimers& timers_;
    Hooks hooks_;
};

}  // namespace tavu
