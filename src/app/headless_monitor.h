#pragma once

#include <QObject>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>

#include "core/prompter.h"
#include "log/log_file.h"
#include "monitor/monitor_core.h"
#include "monitor/monitor_driver.h"
#include "platform/desktop/sound.h"

namespace tavu {

class Clock;
class OperatorWatch;
class SettingsStore;
namespace platform {
class ModemService;
}

// Message boxes on a machine without a desktop: the text goes to a stream (standard error),
// and nobody is there to answer. A plain box is acknowledged; a question is answered Yes,
// because the questions the monitor asks confirm a hang-up the user set up beforehand (a cost
// limit, the idle hang-up) or asked for just now (`tavu --command hangup`), and a No would make
// those settings do nothing.
class StreamPrompter final : public Prompter {
  public:
    explicit StreamPrompter(std::ostream& out) : out_(out) {}
    Answer show(const Message& message) override;

  private:
    std::ostream& out_;
};

// The connection monitor without any window: the once-a-second poll, the log, the "when
// connected" action and the once-a-minute cost check with its disconnects. Status lines go to
// `out` with the time of day in front. Given a modem service, it follows the operator's figures
// too: roaming, the signal, the balance asked every BalanceEveryHours hours and the operator's
// text messages, each told once on `out`.
class HeadlessMonitor : public QObject, public MonitorView {
    Q_OBJECT

  public:
    HeadlessMonitor(SettingsStore& settings, const Clock& clock, Prompter& prompter,
                    platform::RemoteAccess& ras, platform::DialupCounters* counters,
                    platform::Sound& sound, std::string configDir, std::string userName,
                    std::string versionText, std::ostream& out, UsageSink* usage = nullptr,
                    platform::ModemService* modem = nullptr);
    ~HeadlessMonitor() override;

    // Starts the timers.
    void start();
    // The end of the run: the record of a connection still up, ended now. Only once.
    void stop();

    enum TimerId {
        PollTimer = MonitorDriver::PollTimer,
        WhenConnectedTimer = MonitorDriver::WhenConnectedTimer,
        CostTimer = MonitorDriver::CostTimer
    };
    // One event of a timer; the timers call it, tests may call it directly.
    void tick(int timerId);

    MonitorCore& core() { return *core_; }
    OperatorWatch* operatorWatch() { return operator_.get(); }
    bool stopped() const { return stopped_; }

  signals:
    void finished();

  private:
    // MonitorView
    void setTitle(const std::string&) override {}
    void setTrayState(bool, const std::string&) override {}
    void insertStatus(const std::string& line) override;
    void redraw() override {}
    void showMainWindow() override {}
    void hideMainWindow() override {}
    void elapsedTick(const std::string&, std::int64_t) override {}
    void connectionStarted() override {}
    void dial() override;
    void startMailCheck() override {}

    const Clock& clock_;
    std::ostream& out_;
    LogWriter logWriter_;
    std::unique_ptr<MonitorCore> core_;
    QtDriverTimers timers_{[this](int id) { tick(id); }};
    std::unique_ptr<MonitorDriver> driver_;
    std::unique_ptr<OperatorWatch> operator_;
    bool stopped_ = false;
};

// `tavu monitor`: runs the monitor until SIGTERM, SIGINT or `tavu --command exit`. A copy of
// TAVU already running (with or without its window) makes it end at once with status 1.
// metricsListen: where to serve the metrics in this run, in place of Settings/MetricsListen.
int runHeadlessMonitor(const std::string& configDir, std::ostream& out, std::ostream& err,
                       const std::optional<std::string>& metricsListen = std::nullopt);

}  // namespace tavu
