#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/prompter.h"
#include "ledger/usage_ledger.h"
#include "log/connection_journal.h"
#include "log/log_record.h"
#include "monitor/counter_window.h"
#include "monitor/monitor_ledger.h"
#include "platform/kernel/counters.h"
#include "platform/ras/remote_access.h"
#include "tariff/plan.h"
#include "tariff/totals.h"
#include "usage/usage_source.h"

namespace tavu {

class LogWriter;
class SettingsStore;
class UsageSink;
namespace platform {
class Sound;
}

// The texts the main window's display draws.
struct DisplayTexts {
    std::string elapsed = "00:00:00";
    std::string bytesReceived = "0";
    std::string bytesTransmitted = "0";
    std::string userName;
    std::string mailCount = "0";
};

// What the monitor asks of the main window.
class MonitorView {
  public:
    virtual ~MonitorView() = default;
    virtual void setTitle(const std::string& title) = 0;
    // The main tray icon: connected or waiting picture, and its tooltip.
    virtual void setTrayState(bool connected, const std::string& tooltip) = 0;
    virtual void insertStatus(const std::string& line) = 0;
    // Takes back the newest status line with this text: an action that announced itself ended
    // without its result (a hang-up the user declined).
    virtual void removeStatus(const std::string& line) { (void)line; }
    // The display texts changed: repaint them.
    virtual void redraw() = 0;
    virtual void showMainWindow() = 0;
    // The hide operation: hide the main window, and show the floating window when asked to.
    virtual void hideMainWindow() = 0;
    // Every processed connected tick: the elapsed text and seconds for the floating and the
    // performance windows.
    virtual void elapsedTick(const std::string& text, std::int64_t seconds) = 0;
    // A connection was detected: arm the one-shot mail check a minute later.
    virtual void connectionStarted() = 0;
    // The dial command (after a dropped line).
    virtual void dial() = 0;
    // The mail check that keeps the line busy.
    virtual void startMailCheck() = 0;
    // With plans: one line for each plan with a connection up, its usage in its current period
    // ("Plan Modem: 1,234 MB, 12.34 this period"), in place of the lines shown before; none
    // when no connection is up.
    virtual void showPlanUsage(const std::vector<std::string>& lines) { (void)lines; }
};

// Everything the monitor uses from outside.
struct MonitorServices {
    SettingsStore& settings;
    const Clock& clock;
    Prompter& prompter;
    platform::RemoteAccess& ras;
    platform::DialupCounters* counters;  // none where the system keeps no counters
    platform::Sound& sound;
    LogWriter& logWriter;
    std::string configDir;  // the default log folder
    std::string userName;
    // The system's version text. No Linux kernel lists a connection before it is up, so no
    // version switches the connected-state test, the byte counters or the idle hang-up off.
    std::string versionText;
    // The short pause before each hang-up; tests pass one that returns at once.
    std::function<void(std::chrono::milliseconds)> pause;
    // Where the usage of each quarter hour goes; none: not kept.
    UsageSink* usage = nullptr;
};

// One connection the monitor times: its start, its bytes so far and its usage by quarter hour.
struct MonitoredConnection {
    platform::RasConnection line;  // as last listed
    std::int64_t start = 0;        // seconds since the epoch
    std::int64_t bytesIn = 0;
    std::int64_t bytesOut = 0;
    // The usage counted up to usageUntil (seconds since the epoch) and to these counter values;
    // the rows not yet stored, by quarter, each whole (the store replaces it).
    ConnectionKey usageKey;
    std::map<std::int64_t, UsageRow> usagePending;
    // The rows stored so far, kept to count the connection in progress by without reading them
    // back.
    std::map<std::int64_t, UsageRow> usageStored;
    std::int64_t usageUntil = 0;
    std::int64_t usageUp = 0;
    std::int64_t usageDown = 0;
    std::int64_t usageWritten = 0;  // when the rows were last stored
};

// The connection monitor without its window: the once-a-second poll, the connection's start,
// tick and end, the log record, the hang-up operation, the "when connected" action, the caps
// and the cost check.
//
// Without plans the monitor follows "the line": the first listed connection, timed from the
// moment any connection was first listed until none is. With plans (sections [Plan NAME]) each
// listed connection is timed and logged on its own, and the cost check guards each plan's
// connections by that plan's limits; the first of them is the one the window shows.
//
// The figures come from one usage ledger of the log (the sums kept beside it) and the
// connections in progress, never from a pass over the log. At every connected tick the caps
// that hang up (the data cap and the money limits that close the line) are checked against
// them, so that no cap is passed by more than a second of traffic; the warnings and the plans'
// status lines come with the cost check, once a minute.
//
// Nothing the poll or a timer does waits for the user: its boxes are held until its work is
// done and then shown without waiting (Prompter::notify), one box per cause at a time, and the
// redial after a dropped line runs after the poll. A record that could not be written is kept
// and written before the next record, or at exit.
class MonitorCore {
  public:
    MonitorCore(MonitorServices services, MonitorView& view);

    MonitorCore(const MonitorCore&) = delete;
    MonitorCore& operator=(const MonitorCore&) = delete;
    ~MonitorCore();

    // The connection poll (the tick of timer 1); works at most once per wall-clock second.
    void poll();
    // On: the remote-access service's change events make the monitor look at once (see
    // linkChanged), the poll staying the fallback. Off by default.
    void followChanges(bool on);
    // A connection may have come up or gone down: a connection that came up starts now, one
    // that went away ends now. Anything else waits for the poll, and so does an event that
    // comes while the monitor is busy with the line itself.
    void linkChanged();
    // Timer 2, while connected: the action copied from the settings when the window started.
    void whenConnectedTimer();
    // Timer 5, while connected: compares the billing period's costs and data, the connection in
    // progress included, with the limits; warns, or hangs up without asking. (The limits that
    // hang up are also checked at every connected tick.)
    void costCheck();
    // Asks (when set to), then hangs up every listed connection; true when one was hung up.
    bool hangUpOperation();
    // The Hangup command: status line, then the hang-up operation when connected.
    void hangupCommand();
    // At exit: the record of a connection still up, ended now.
    void writeExitRecord();
    // Hangs up without asking, then shows the notice (a guard closed the line); the record is
    // logged as after any hang-up. False when there was nothing to hang up.
    bool closeConnection(const std::string& notice);
    // The billing period's figures so far, the connection in progress included: of all plans,
    // or of the plan named ("Default" for the default plan).
    LogTotals periodTotals(const std::string& plan = {});
    // Whether the line's modem is roaming now: the bytes counted from now on are roaming bytes
    // until it is set back.
    void setRoaming(bool roaming);
    bool roaming() const { return roaming_; }

    bool connected() const { return connected_; }
    bool userHungUp() const { return userHungUp_; }
    const DisplayTexts& display() const { return display_; }
    DisplayTexts& display() { return display_; }
    int whenConnectedAction() const { return whenConnectedAction_; }
    const std::vector<platform::RasConnection>& connections() const { return table_; }
    // The connections timed now: the one the window shows first. Empty while none is up.
    std::vector<const MonitoredConnection*> timed() const;
    // The log file records are written to now.
    std::string logPath() const;
    // Records kept because the log could not be written.
    std::size_t unwrittenRecords() const { return unwritten_.size(); }

    // The connections in progress as a count made at `now` sees them, the way the cost check
    // counts them: each record ended then, under the names the log will store, and its usage
    // rows so far (those stored and those not yet, counted up to then), all held in memory. The
    // one the window shows comes first; none while no connection is up.
    struct LiveConnection {
        LiveUsage usage;
        ConnectionKey key;
        std::uint64_t handle = 0;
    };
    std::vector<LiveConnection> liveConnections(std::int64_t now);
    static std::vector<LiveUsage> usageOf(const std::vector<LiveConnection>& live);
    // The usage ledger of the log, opened at its first need. lookAtLog: also count what another
    // program changed in the log. A store the ledger cannot use is said once in the status list.
    UsageLedger& ledger(bool lookAtLog = false);
    // Whether the ledger's figures could have changed since it last counted (MonitorLedger).
    bool ledgerChanged() const { return ledger_.changed(logPath()); }
    const MonitorLedger& ledgerKeeper() const { return ledger_; }
    // Called once the poll's work is done, after a connection was detected and after one ended
    // (its record written): the moments the figures counted from the log change.
    void setLineListener(std::function<void()> listener) { lineListener_ = std::move(listener); }

    // Window mode of the counter read: while a window is attached it gets the elapsed seconds
    // and all twelve counters at every connected tick; nullptr detaches it.
    void setCounterWindow(CounterWindow* window) { counterWindow_ = window; }
    CounterWindow* counterWindow() const { return counterWindow_; }

    static constexpr std::int64_t kIdleBytes = 1024;

  private:
    // The poll's look at the line; changesOnly: act only when the line came up or went down.
    void look(std::int64_t now, bool changesOnly);
    // What waits until the poll's work is done: its boxes and the redial.
    void afterLook();
    void connectedTick(std::int64_t now);
    // The line's end, seen at `seen`.
    void connectionEnd(std::int64_t seen);
    // With plans: the connections that came or went beside the one shown; false when the one
    // shown went and no other is left to show (the line's end).
    bool followEach(std::int64_t now);
    // A connection that ended while another stays up: its usage and record, and a status line.
    void endOne(MonitoredConnection& c, std::int64_t seen);
    // When a connection seen down at `seen` ended: when a limit closed it, else then.
    std::int64_t endOf(const MonitoredConnection& c, std::int64_t seen) const;
    // Notes when the connections a limit hung up were closed; returns hungUp.
    bool closedBy(bool hungUp, const std::vector<std::uint64_t>& handles);
    void writeRecord(const MonitoredConnection& c, std::int64_t end);
    LogRecord recordUntil(const MonitoredConnection& c, std::int64_t end) const;
    // Each plan's limits (or the settings' without plans) against its usage in its own period,
    // counted once for all plans. minute: the cost check, with the warnings and the plans' status
    // lines; else the tick's check of the limits that hang up, which acts as the cost check
    // would only where one of them is passed.
    void checkCaps(bool minute);
    // One plan's limits against its totals: the warnings each shown when once(kind, limit)
    // says so ("month", "call", "data"), the hang-ups by hangUp(); inPlan names the plan in the
    // texts (empty without plans).
    void checkLimits(const LogTotals& totals, const PlanKeys& keys, const std::string& inPlan,
                     const std::function<bool(const char*, double)>& once,
                     const std::function<bool()>& hangUp);
    // Hangs up the given connections without asking; true when one was hung up.
    bool hangUpHandles(const std::vector<std::uint64_t>& handles);
    bool hangUpOne(std::uint64_t handle);
    // With plans: starts timing the listed connections not timed yet.
    void addNewlyListed(std::int64_t now);
    // The journal of the connection in progress (monitor_journal.cpp): read once at the first
    // listing, written while connected.
    void recoverJournal(bool up);
    void journalTick(std::int64_t now, bool fresh);
    // The usage of the connection in progress by quarter hour (monitor_usage.cpp): counted at
    // every connected tick, written once a minute and when the connection ends.
    void usageTick(MonitoredConnection& c, std::int64_t now, bool fresh, bool resumed);
    void usageEnd(MonitoredConnection& c, std::int64_t end);
    void countUsage(MonitoredConnection& c, std::int64_t now);
    void writeUsage(MonitoredConnection& c);
    // The hang-up operation without showing its boxes; confirm: ask first when set to.
    bool hangUpLines(bool confirm);
    bool hangUpListed(bool confirm);
    // Writes the kept records in order; stops at the first that fails and says so.
    void writeKeptRecords();
    // A box that only informs: held until the current work is done.
    void notify(const Message& message);
    // Shows the held boxes; wait: as ordinary boxes that wait for the user (at exit).
    void showNotices(bool wait = false);
    // A question: the held boxes come first, then the question waits for its answer.
    Answer ask(const Message& message);
    void playSignal(const char* actionKey, const char* fileKey);
    void refreshCounters();
    std::int64_t nowSeconds() const;
    // HangupInterval (minutes, at least 1) in seconds.
    std::int64_t hangupIntervalSeconds() const;

    MonitorServices s_;
    MonitorView& view_;
    bool connected_ = false;
    bool userHungUp_ = false;
    bool inPoll_ = false;
    bool inCostCheck_ = false;
    bool inHangUp_ = false;
    bool following_ = false;
    bool redialPending_ = false;
    std::deque<Message> notices_;   // held until the current work is done
    std::vector<Message> showing_;  // being shown now
    std::deque<LogRecord> unwritten_;
    std::int64_t lastTick_ = 0;
    int whenConnectedAction_ = 0;
    std::vector<platform::RasConnection> table_;
    DisplayTexts display_;
    std::int64_t bytesIn_ = 0;  // the counters of all dial-up connections together
    std::int64_t bytesOut_ = 0;
    MonitoredConnection line_;                 // the connection shown
    std::vector<MonitoredConnection> others_;  // with plans: the others listed, in order
    bool perConnection_ = false;               // plans are defined: each connection on its own
    CounterWindow* counterWindow_ = nullptr;
    platform::CounterValues counters_{};  // of this tick's read, when it succeeded
    bool countersRead_ = false;           // at this tick
    // (second, bytes in both directions) of the connected ticks, for the idle hang-up.
    std::deque<std::pair<std::int64_t, std::int64_t>> traffic_;
    ConnectionJournal journal_;
    std::string journalProblemShown_;  // said once in the status list until a write works
    bool journalChecked_ = false;
    std::optional<std::int64_t> resumeStart_;  // the start of a connection resumed from a journal
    std::uint64_t markedHandle_ = 0;           // the connection whose mark is kept
    std::string mark_;
    std::string dataWarned_;  // the period and limit whose data warning was shown
    // With plans: the warnings shown, each by plan, kind, period and limit.
    std::set<std::string> planWarned_;
    std::string usageProblemShown_;  // said once in the status list
    MonitorLedger ledger_{s_.settings};
    std::string ledgerProblemShown_;  // said once in the status list
    // The connections a tick's check has hung up (or tried to): left to the cost check until
    // they end.
    std::set<std::uint64_t> capClosed_;
    // When a limit closed a connection, by its handle: its record ends then, not a second later
    // when the poll sees the line down.
    std::map<std::uint64_t, std::int64_t> closedAt_;

    std::function<void()> lineListener_;
    bool lineChanged_ = false;  // a connection started or ended in this poll
    bool roaming_ = false;
};

}  // namespace tavu
