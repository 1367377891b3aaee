#include "monitor/monitor_core.h"

#include <algorithm>
#include <cmath>

#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "core/version.h"
#include "log/log_file.h"
#include "platform/desktop/sound.h"
#include "tariff/billing_period.h"
#include "tariff/price_fields.h"
#include "tariff/totals.h"
#include "usage/usage_store.h"

namespace tavu {

namespace {

const Message kRasFailure{"Unknown Error - RAS INI Failure", "Error", Buttons::Ok, Icon::None};

// The limits that close the line without asking, as the settings give them now.
struct ClosingLimits {
    bool month = false;
    double monthAbove = 0;
    bool call = false;
    double callAbove = 0;
    int dataMB = 0;  // none: 0

    bool any() const { return month || call || dataMB > 0; }
    bool monthPassed(const LogTotals& t) const { return month && t.totalCost > monthAbove; }
    bool callPassed(const LogTotals& t) const { return call && t.averageCost > callAbove; }
    bool dataPassed(const LogTotals& t) const {
        return dataMB > 0 && t.transmitted >= dataMB * 1e6;
    }
    bool passed(const LogTotals& t) const {
        return monthPassed(t) || callPassed(t) || dataPassed(t);
    }
};

ClosingLimits closingLimits(const SettingsStore& settings, const PlanKeys& keys) {
    ClosingLimits l;
    l.month = moneyLimitOn(settings, keys::kDisWhenMonth, keys);
    l.monthAbove = l.month ? readMoneyLimit(settings, keys::kDisWhenMonthInterval, keys) : 0;
    l.call = moneyLimitOn(settings, keys::kDisWhenCall, keys);
    l.callAbove = l.call ? readMoneyLimit(settings, keys::kDisWhenCallInterval, keys) : 0;
    l.dataMB = std::max(0, dataCapMB(settings, keys::kDataHangupMB, keys));
    return l;
}

}  // namespace

MonitorCore::MonitorCore(MonitorServices services, MonitorView& view)
    : s_(std::move(services)), view_(view) {
    display_.userName = s_.userName;
    whenConnectedAction_ = s_.settings.readInt(keys::kSettings, keys::kHangupComboState, 0);
    lastTick_ = nowSeconds() - 1;
}

std::int64_t MonitorCore::nowSeconds() const {
    return std::chrono::duration_cast<std::chrono::seconds>(s_.clock.now().time_since_epoch())
        .count();
}

std::int64_t MonitorCore::hangupIntervalSeconds() const {
    return 60 * std::max<std::int64_t>(
                    1, s_.settings.readInt(keys::kSettings, keys::kHangupInterval, 10));
}

std::string MonitorCore::logPath() const {
    return logFilePath(s_.settings, s_.configDir);
}

void MonitorCore::notify(const Message& message) {
    const auto same = [&](const Message& m) {
        return m.text == message.text && m.caption == message.caption;
    };
    if (std::none_of(notices_.begin(), notices_.end(), same) &&
        std::none_of(showing_.begin(), showing_.end(), same)) {
        notices_.push_back(message);
    }
}

void MonitorCore::showNotices(bool wait) {
    if (inPoll_) {
        return;  // the poll's own boxes wait until it is done
    }
    while (!notices_.empty()) {
        showing_.push_back(std::move(notices_.front()));
        notices_.pop_front();
        const Message m = showing_.back();
        // A prompter whose boxes wait lets the timers run meanwhile; the same cause is not
        // raised again while its box is open.
        if (wait) {
            s_.prompter.show(m);
        } else {
            s_.prompter.notify(m);
        }
        const auto it = std::find_if(showing_.begin(), showing_.end(), [&](const Message& o) {
            return o.text == m.text && o.caption == m.caption;
        });
        if (it != showing_.end()) {
            showing_.erase(it);
        }
    }
}

Answer MonitorCore::ask(const Message& message) {
    showNotices();
    return s_.prompter.show(message);
}

MonitorCore::~MonitorCore() {
    followChanges(false);
}

void MonitorCore::followChanges(bool on) {
    if (on == following_) {
        return;
    }
    following_ = on;
    s_.ras.setChangeListener(on ? platform::RemoteAccess::ChangeFn([this] { linkChanged(); })
                                : platform::RemoteAccess::ChangeFn());
}

void MonitorCore::poll() {
    if (inPoll_) {
        return;  // never within itself
    }
    inPoll_ = true;
    const std::int64_t now = nowSeconds();
    if (now > lastTick_) {
        look(now, false);
    }
    lastTick_ = nowSeconds();
    inPoll_ = false;
    afterLook();
}

void MonitorCore::linkChanged() {
    if (inPoll_ || inCostCheck_ || inHangUp_) {
        return;  // the poll sees it within a second
    }
    inPoll_ = true;
    look(nowSeconds(), true);
    inPoll_ = false;
    afterLook();
}

void MonitorCore::look(std::int64_t now, bool changesOnly) {
    std::vector<platform::RasConnection> listed;
    if (!s_.ras.listConnections(listed)) {
        if (!changesOnly) {
            notify(kRasFailure);
        }
        return;
    }
    if (listed.size() > platform::RemoteAccess::kMaxConnections) {
        listed.resize(platform::RemoteAccess::kMaxConnections);
    }
    // Any listed connection is up: no Linux kernel lists one before it is.
    const bool up = !listed.empty();
    if (changesOnly && up == connected_ && journalChecked_) {
        return;
    }
    if (up) {
        table_ = std::move(listed);  // an empty listing keeps the last connection's record
    }
    if (!journalChecked_) {
        recoverJournal(up);
    }
    perConnection_ = !readPlans(s_.settings).empty();
    if (up && connected_ && !followEach(now)) {
        connectionEnd(now);  // every connection timed went; those listed now are new
    }
    if (up) {
        connectedTick(now);
    } else if (connected_) {
        connectionEnd(now);
    }
}

bool MonitorCore::followEach(std::int64_t now) {
    const auto listed = [&](std::uint64_t handle) {
        return std::any_of(table_.begin(), table_.end(),
                           [&](const platform::RasConnection& c) { return c.handle == handle; });
    };
    if (!perConnection_) {
        // The plans were taken away: the line is followed as one again.
        for (MonitoredConnection& c : others_) {
            endOne(c, now);
        }
        others_.clear();
        return true;
    }
    for (auto it = others_.begin(); it != others_.end();) {
        if (listed(it->line.handle)) {
            ++it;
        } else {
            endOne(*it, now);
            it = others_.erase(it);
        }
    }
    if (!listed(line_.line.handle)) {
        if (others_.empty()) {
            return false;
        }
        // The connection shown ended; the next one is shown from its own start on.
        endOne(line_, now);
        line_ = std::move(others_.front());
        others_.erase(others_.begin());
        journalTick(now, true);
    }
    addNewlyListed(now);
    return true;
}

void MonitorCore::addNewlyListed(std::int64_t now) {
    for (const platform::RasConnection& l : table_) {
        if (l.handle == line_.line.handle ||
            std::any_of(others_.begin(), others_.end(),
                        [&](const MonitoredConnection& c) { return c.line.handle == l.handle; })) {
            continue;
        }
        MonitoredConnection c;
        c.line = l;
        c.start = now;
        view_.insertStatus("Connection " + l.entryName + " detected");
        usageTick(c, now, true, false);
        others_.push_back(std::move(c));
    }
}

void MonitorCore::endOne(MonitoredConnection& c, std::int64_t seen) {
    const std::int64_t now = endOf(c, seen);
    capClosed_.erase(c.line.handle);
    closedAt_.erase(c.line.handle);
    usageEnd(c, now);
    writeRecord(c, now);
    lineChanged_ = true;
    view_.insertStatus("Connection " + c.line.entryName + " closed");
}

std::vector<const MonitoredConnection*> MonitorCore::timed() const {
    std::vector<const MonitoredConnection*> out;
    if (connected_) {
        out.push_back(&line_);
        for (const MonitoredConnection& c : others_) {
            out.push_back(&c);
        }
    }
    return out;
}

void MonitorCore::afterLook() {
    // What may wait for the user comes after the poll's work.
    showNotices();
    if (lineChanged_) {
        lineChanged_ = false;
        if (lineListener_) {
            lineListener_();
        }
    }
    if (redialPending_) {
        redialPending_ = false;
        view_.dial();
    }
}

void MonitorCore::connectedTick(std::int64_t now) {
    const bool fresh = !connected_;
    bool resumed = false;
    if (!connected_) {
        // A connection the journal of an earlier run describes is timed from its start.
        resumed = resumeStart_.has_value();
        line_ = MonitoredConnection{};
        line_.line = table_[0];
        line_.start = resumed ? *resumeStart_ : now;
        if (!perConnection_) {
            line_.bytesIn = bytesIn_;  // the counters as last read, as the display shows them
            line_.bytesOut = bytesOut_;
        }
        resumeStart_.reset();
        traffic_.clear();
        if (s_.settings.readInt(keys::kSettings, keys::kShowWhenConnected, 0) == 1) {
            view_.showMainWindow();
        }
        view_.insertStatus("Connection " + table_[0].entryName + " detected");
        if (!resumed) {
            playSignal(keys::kActionWhenConMade, keys::kSoundWhenConMade);
        }
        view_.connectionStarted();
        lineChanged_ = true;
        now = nowSeconds();  // the signal took its time
        if (perConnection_) {
            addNewlyListed(now);
        }
    } else if (!perConnection_) {
        line_.line = table_[0];  // the line is whatever is listed first
    }
    const std::int64_t elapsed = std::max<std::int64_t>(0, now - line_.start);
    display_.elapsed = formatHms(elapsed);
    view_.setTrayState(true, "Connected - " + display_.elapsed);
    view_.setTitle(display_.elapsed);
    refreshCounters();
    if (s_.counters != nullptr) {
        traffic_.emplace_back(now, bytesIn_ + bytesOut_);
        const std::int64_t keep = hangupIntervalSeconds() + 120;
        while (!traffic_.empty() && traffic_.front().first < now - keep) {
            traffic_.pop_front();
        }
    }
    connected_ = true;
    journalTick(now, fresh);
    usageTick(line_, now, fresh, resumed);
    for (MonitoredConnection& c : others_) {
        usageTick(c, now, false, false);
    }
    view_.redraw();
    view_.elapsedTick(display_.elapsed, elapsed);
    if (counterWindow_ != nullptr) {
        counterWindow_->postElapsed(elapsed);
        if (countersRead_) {
            counterWindow_->postCounters(counters_);
        }
    }
    // The caps that hang up, against this second's counters: none is passed by more than a
    // second of traffic.
    if (!inCostCheck_ && !inHangUp_) {
        inCostCheck_ = true;
        checkCaps(false);
        inCostCheck_ = false;
    }
}

void MonitorCore::refreshCounters() {
    // Display mode. The counters are 64-bit from the platform to the texts: a connection that
    // moves more than 2 GiB shows and logs its true byte counts.
    countersRead_ = s_.counters != nullptr && s_.counters->read(counters_);
    if (!countersRead_) {
        return;
    }
    bytesIn_ = counters_[platform::BytesReceived];
    bytesOut_ = counters_[platform::BytesTransmitted];
    display_.bytesReceived = std::to_string(bytesIn_);
    display_.bytesTransmitted = std::to_string(bytesOut_);
    if (!perConnection_) {
        line_.bytesIn = bytesIn_;
        line_.bytesOut = bytesOut_;
        return;
    }
    // Each connection gets its own counters where the system keeps them apart; what is left of
    // the sum goes to the first connection without, the others count none.
    std::int64_t restIn = bytesIn_;
    std::int64_t restOut = bytesOut_;
    MonitoredConnection* rest = nullptr;
    const auto each = [&](MonitoredConnection& c) {
        platform::CounterValues own{};
        if (s_.counters->readOf(c.line.handle, c.line.deviceName, own)) {
            c.bytesIn = own[platform::BytesReceived];
            c.bytesOut = own[platform::BytesTransmitted];
            restIn -= c.bytesIn;
            restOut -= c.bytesOut;
        } else if (rest == nullptr) {
            rest = &c;
        }
    };
    each(line_);
    for (MonitoredConnection& c : others_) {
        each(c);
    }
    if (rest != nullptr) {
        rest->bytesIn = std::max<std::int64_t>(0, restIn);
        rest->bytesOut = std::max<std::int64_t>(0, restOut);
    }
}

void MonitorCore::connectionEnd(std::int64_t seen) {
    for (MonitoredConnection& c : others_) {
        endOne(c, seen);
    }
    others_.clear();
    const std::int64_t now = endOf(line_, seen);
    capClosed_.clear();
    closedAt_.clear();
    connected_ = false;
    // The display ends on the duration the log records, up to the moment the end was seen (or
    // a limit closed the line).
    display_.elapsed = formatHms(std::max<std::int64_t>(0, now - line_.start));
    view_.insertStatus("Connection closed");
    view_.setTrayState(false, "Waiting for connection...");
    if (s_.settings.readInt(keys::kSettings, keys::kShowWhenConnected, 0) == 1) {
        view_.hideMainWindow();
    }
    view_.setTitle("TAVU");
    view_.showPlanUsage({});
    usageEnd(line_, now);
    writeRecord(line_, now);
    lineChanged_ = true;
    view_.redraw();
    playSignal(keys::kActionWhenConDropped, keys::kSoundWhenConDropped);
    if (!userHungUp_ && s_.settings.readInt(keys::kSettings, keys::kRedial, 0) == 1) {
        redialPending_ = true;  // dialled when the poll is done
    }
}

std::int64_t MonitorCore::endOf(const MonitoredConnection& c, std::int64_t seen) const {
    // A line that stayed up for long after the hang-up was online meanwhile.
    constexpr std::int64_t kSeenDownWithin = 5;
    const auto it = closedAt_.find(c.line.handle);
    if (it == closedAt_.end() || seen - it->second > kSeenDownWithin) {
        return seen;
    }
    return std::clamp(it->second, c.start, seen);
}

void MonitorCore::writeRecord(const MonitoredConnection& c, std::int64_t end) {
    unwritten_.push_back(recordUntil(c, end));
    writeKeptRecords();
}

LogRecord MonitorCore::recordUntil(const MonitoredConnection& c, std::int64_t end) const {
    const LocalDateTime a = toLocal(TimePoint{std::chrono::seconds(c.start)});
    const LocalDateTime b = toLocal(TimePoint{std::chrono::seconds(end)});
    LogRecord r;
    r.startDate = formatDate(a.day, a.month, a.year);
    r.startTime = formatClock(a.hour, a.minute, a.second);
    r.endDate = formatDate(b.day, b.month, b.year);
    r.endTime = formatClock(b.hour, b.minute, b.second);
    r.user = s_.userName;
    r.device = c.line.deviceName;
    r.connection = c.line.entryName;
    if (perConnection_) {
        r.bytesSent = std::to_string(c.bytesOut);
        r.bytesReceived = std::to_string(c.bytesIn);
    } else {
        // The line's bytes are those the display shows.
        r.bytesSent = display_.bytesTransmitted;
        r.bytesReceived = display_.bytesReceived;
    }
    return r;
}

void MonitorCore::writeKeptRecords() {
    const std::string path = logPath();
    bool wrote = false;
    while (!unwritten_.empty()) {
        LogWriter::Refusal why = LogWriter::Refusal::None;
        if (!s_.logWriter.write(path, unwritten_.front(), &why)) {
            notify(LogWriter::failure(path, why));
            break;
        }
        unwritten_.pop_front();
        wrote = true;
    }
    // The kept sums count the records at once: the figures hold them, and other programs find
    // nothing new to count.
    if (wrote) {
        ledger_.wrote(path);
    }
    if (!unwritten_.empty()) {
        return;
    }
    // Every record is in the log: the journal of a connection that has ended is done. While a
    // record waits in memory its journal stays, so a crash before the retry loses nothing.
    if (!connected_) {
        journal_.finish();
    }
}

void MonitorCore::writeExitRecord() {
    if (connected_) {
        const std::int64_t now = nowSeconds();
        usageEnd(line_, now);
        writeRecord(line_, now);
        for (MonitoredConnection& c : others_) {
            usageEnd(c, now);
            writeRecord(c, now);
        }
        if (unwritten_.empty()) {
            journal_.finish();
        }
    } else {
        writeKeptRecords();
    }
    showNotices(true);  // the program ends: this box waits to be read
}

void MonitorCore::playSignal(const char* actionKey, const char* fileKey) {
    const int action = s_.settings.readInt(keys::kSettings, actionKey, 0);
    if (action == 1) {
        s_.sound.beepSweeps();
    } else if (action == 2) {
        const std::string file = s_.settings.readString(keys::kSettings, fileKey);
        if (!file.empty()) {
            s_.sound.playFile(file);
        }
    }
}

bool MonitorCore::hangUpOperation() {
    const bool hungUp = hangUpLines(true);
    showNotices();
    return hungUp;
}

bool MonitorCore::hangUpLines(bool confirm) {
    inHangUp_ = true;
    const bool hungUp = hangUpListed(confirm);
    inHangUp_ = false;
    return hungUp;
}

bool MonitorCore::hangUpListed(bool confirm) {
    if (confirm && s_.settings.readInt(keys::kSettings, keys::kConfirmHangup, 1) == 1 &&
        ask(Message{"You are about to hangup an active connection. Are you sure ?",
                    "Are you sure ?", Buttons::YesNo, Icon::Question}) != Answer::Yes) {
        return false;
    }
    std::vector<platform::RasConnection> listed;
    if (!s_.ras.listConnections(listed)) {
        notify(kRasFailure);
        return false;
    }
    bool hungUp = false;
    for (std::size_t i = 0; i < listed.size() && i < platform::RemoteAccess::kMaxConnections; ++i) {
        hungUp = hangUpOne(listed[i].handle) || hungUp;
    }
    return hungUp;
}

bool MonitorCore::hangUpOne(std::uint64_t handle) {
    if (s_.pause) {
        s_.pause(std::chrono::milliseconds(200));
    }
    userHungUp_ = true;
    const int code = s_.ras.hangUp(handle);
    if (code == platform::kRasOk) {
        return true;
    }
    std::string text = s_.ras.errorText(code);
    if (text.empty()) {
        text = "The connection could not be closed (error " + std::to_string(code) + ").";
    }
    notify(Message{text, "Error", Buttons::Ok, Icon::Error});
    return false;
}

bool MonitorCore::hangUpHandles(const std::vector<std::uint64_t>& handles) {
    inHangUp_ = true;
    bool hungUp = false;
    for (const std::uint64_t handle : handles) {
        hungUp = hangUpOne(handle) || hungUp;
    }
    inHangUp_ = false;
    return hungUp;
}

void MonitorCore::hangupCommand() {
    if (connected_) {
        view_.insertStatus("Hangup...");
        if (!hangUpOperation()) {
            view_.removeStatus("Hangup...");  // declined or failed: nothing is being hung up
        }
    } else {
        view_.insertStatus("Not connected...");
    }
}

void MonitorCore::whenConnectedTimer() {
    if (!connected_) {
        return;
    }
    if (whenConnectedAction_ == 2) {
        view_.startMailCheck();
        return;
    }
    if (whenConnectedAction_ != 1 || traffic_.empty()) {
        return;
    }
    // Auto hangup: the link carried less than 1 KB in both directions together during the last
    // interval. A connection younger than the interval is left alone.
    const std::int64_t interval = hangupIntervalSeconds();
    const std::int64_t now = traffic_.back().first;
    const std::int64_t since = now - interval;
    const auto before = std::find_if(traffic_.rbegin(), traffic_.rend(),
                                     [&](const auto& sample) { return sample.first <= since; });
    if (before == traffic_.rend()) {
        return;
    }
    // Nobody may be at the desk: the idle line is closed without a question.
    if (traffic_.back().second - before->second < kIdleBytes && hangUpLines(false)) {
        view_.insertStatus("Idle connection closed");
    }
    showNotices();
}

UsageLedger& MonitorCore::ledger(bool lookAtLog) {
    // The store is made once the monitor keeps usage for a connection, as its rows are.
    UsageLedger& l = ledger_.at(logPath(), connected_ && s_.usage != nullptr, lookAtLog);
    if (const std::string problem = l.problem(); problem != ledgerProblemShown_) {
        ledgerProblemShown_ = problem;
        // The store's rows may have said the same already.
        if (!problem.empty() && problem != usageProblemShown_) {
            view_.insertStatus(problem);
        }
    }
    return l;
}

LogTotals MonitorCore::periodTotals(const std::string& plan) {
    // The period's figures: the usage of the logged connections that happened in the current
    // billing period and that of the connections in progress so far (one may have begun in the
    // period before), less the period's free time and data.
    const LocalDateTime today = s_.clock.localNow();
    const std::vector<LiveUsage> live = usageOf(liveConnections(nowSeconds()));
    return ledger().totals(SummaryFilter::ThisMonth, today, plan, live);
}

bool MonitorCore::closeConnection(const std::string& notice) {
    if (!connected_ || inHangUp_) {
        return false;
    }
    const bool closed = hangUpLines(false);
    if (closed) {
        notify(Message{notice, kAppTitle, Buttons::Ok, Icon::None});
    }
    showNotices();
    return closed;
}

void MonitorCore::costCheck() {
    // The limits guard a connection: with none up there is nothing to warn about or to close.
    if (inCostCheck_ || !connected_) {
        return;
    }
    inCostCheck_ = true;
    checkCaps(true);
    inCostCheck_ = false;
    showNotices();
}

void MonitorCore::checkLimits(const LogTotals& totals, const PlanKeys& keys,
                              const std::string& inPlan,
                              const std::function<bool(const char*, double)>& once,
                              const std::function<bool()>& hangUp) {
    auto limit = [&](const char* key) { return readMoneyLimit(s_.settings, key, keys); };
    auto on = [&](const char* key) { return moneyLimitOn(s_.settings, key, keys); };
    auto megabytes = [&](const char* key) {
        return std::max(0, dataCapMB(s_.settings, key, keys));
    };
    const double month = totals.totalCost;
    const double call = totals.averageCost;
    const double data = totals.transmitted;
    const int dataWarn = megabytes(keys::kDataWarnMB);
    const ClosingLimits closing = closingLimits(s_.settings, keys);
    if (on(keys::kWarnWhenMonth) && month > limit(keys::kWarnWhenMonthInterval) &&
        once("month", limit(keys::kWarnWhenMonthInterval))) {
        notify(Message{"Warning - cost per month too high" + inPlan +
                           ". See Preferences->Warnings. Cost : " + formatFixed(month, 2),
                       "Warning", Buttons::Ok, Icon::Error});
    }
    if (on(keys::kWarnWhenCall) && call > limit(keys::kWarnWhenCallInterval) &&
        once("call", limit(keys::kWarnWhenCallInterval))) {
        notify(Message{"Warning - cost per call too high" + inPlan +
                           ". See Preferences->Warnings. Cost : " + formatFixed(call, 2),
                       "Warning", Buttons::Ok, Icon::Error});
    }
    if (dataWarn > 0 && data >= dataWarn * 1e6 && once("data", dataWarn)) {
        notify(Message{"You have used " + formatFixed(std::floor(data / 1e6), 0) + " MB of data" +
                           inPlan + " in this period.",
                       "Warning", Buttons::Ok, Icon::Warning});
    }
    // An automatic hang-up asks nothing: it closes the line, then says which limit did it.
    bool closed = false;
    auto close = [&](bool exceeded, std::string notice) {
        if (!closed && exceeded && hangUp()) {
            closed = true;
            notify(Message{std::move(notice), kAppTitle, Buttons::Ok, Icon::None});
        }
    };
    close(closing.monthPassed(totals), "Warning - cost per month too high" + inPlan +
                                           ". See Preferences->Warnings. Connection closed.");
    close(closing.callPassed(totals), "Warning - cost per call too high" + inPlan +
                                          ". See Preferences->Warnings. Connection closed.");
    close(closing.dataPassed(totals), "Connection closed: the data limit of " +
                                          std::to_string(closing.dataMB) + " MB for this period" +
                                          inPlan + " was reached.");
}

namespace {

// Whole megabytes with a comma between thousands: "1,234".
std::string groupedMB(double bytes) {
    std::string digits = formatFixed(std::floor(std::max(0.0, bytes) / 1e6), 0);
    for (std::size_t i = digits.size(); i > 3; i -= 3) {
        digits.insert(i - 3, ",");
    }
    return digits;
}

}  // namespace

bool MonitorCore::closedBy(bool hungUp, const std::vector<std::uint64_t>& handles) {
    if (hungUp) {
        const std::int64_t now = nowSeconds();
        for (const std::uint64_t h : handles) {
            closedAt_.emplace(h, now);
        }
    }
    return hungUp;
}

void MonitorCore::checkCaps(bool minute) {
    const PlanSet plans = readPlans(s_.settings);
    // Each connection up counts in its own plan; a plan is checked while one of its connections
    // is up, against its own period: its logged connections and its connections in progress.
    // Without plans the line is the default plan's one connection.
    std::map<int, std::vector<const MonitoredConnection*>> byPlan;
    const auto planOf = [&](const MonitoredConnection& c) {
        return plans.empty() ? -1 : planIndexFor(plans, c.line.entryName, c.line.deviceName);
    };
    byPlan[planOf(line_)].push_back(&line_);
    for (const MonitoredConnection& c : others_) {
        byPlan[planOf(c)].push_back(&c);
    }
    const auto planAt = [&](int index) {
        return index < 0 ? nullptr : &plans.plans[static_cast<std::size_t>(index)];
    };
    if (!minute) {
        // At a tick only the plans with a limit that hangs up, and a connection the tick's check
        // has not closed yet.
        std::erase_if(byPlan, [&](const auto& entry) {
            const auto& [index, connections] = entry;
            return !closingLimits(s_.settings, PlanKeys::of(planAt(index))).any() ||
                   std::all_of(connections.begin(), connections.end(),
                               [&](const MonitoredConnection* c) {
                                   return capClosed_.contains(c->line.handle);
                               });
        });
        if (byPlan.empty()) {
            return;
        }
    }

    // One count of the kept sums and the connections in progress gives every plan's period.
    const LocalDateTime today = s_.clock.localNow();
    const std::vector<LiveUsage> live = usageOf(liveConnections(nowSeconds()));
    UsageLedger& counted = ledger(minute);
    counted.totals(SummaryFilter::ThisMonth, today, {}, live);
    std::map<int, LogTotals> totalsOf;
    for (const PlanTotals& each : counted.eachPlan()) {
        totalsOf[each.plan] = each.totals;
    }

    std::vector<std::string> usageLines;
    for (const auto& [index, connections] : byPlan) {
        const Plan* plan = planAt(index);
        const PlanKeys keys = PlanKeys::of(plan);
        const LogTotals& totals = totalsOf[index];
        if (!minute && !closingLimits(s_.settings, keys).passed(totals)) {
            continue;
        }
        if (plans.empty()) {
            // The money warnings come at every check; the data warning once per period (and
            // again when its limit is changed).
            const auto once = [&](const char* kind, double limit) {
                if (std::string_view(kind) != "data") {
                    return true;
                }
                const BillingPeriod period = currentBillingPeriod(s_.settings, today);
                const std::string warned =
                    formatDate(period.day, period.month, period.year) + "/" + formatFixed(limit, 0);
                if (warned == dataWarned_) {
                    return false;
                }
                dataWarned_ = warned;
                return true;
            };
            if (!minute) {
                capClosed_.insert(line_.line.handle);
            }
            checkLimits(totals, keys, {}, once,
                        [&] { return closedBy(hangUpLines(false), {line_.line.handle}); });
            continue;
        }
        const std::string name = plan != nullptr ? plan->name : kDefaultPlanName;
        if (minute) {
            usageLines.push_back("Plan " + printableText(name) + ": " +
                                 groupedMB(totals.transmitted) + " MB, " +
                                 formatFixed(totals.totalCost, 2) + " this period");
        }
        // Each warning once per plan and period (and again when its limit is changed).
        const BillingPeriod period = currentBillingPeriod(s_.settings, today, keys);
        const std::string periodTag =
            name + "|" + formatDate(period.day, period.month, period.year) + "|";
        const auto once = [&](const char* kind, double limit) {
            return planWarned_.insert(periodTag + kind + "|" + formatFixed(limit, 2)).second;
        };
        // Only this plan's connections are closed; the others stay up.
        std::vector<std::uint64_t> handles;
        for (const MonitoredConnection* c : connections) {
            handles.push_back(c->line.handle);
            if (!minute) {
                capClosed_.insert(c->line.handle);
            }
        }
        checkLimits(totals, keys, " in plan " + printableText(name), once,
                    [&] { return closedBy(hangUpHandles(handles), handles); });
    }
    if (minute && !plans.empty()) {
        view_.showPlanUsage(usageLines);
    }
}

}  // namespace tavu
