#include "monitor/operator_watch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "core/clock.h"
#include "core/file_io.h"
#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "core/version.h"
#include "monitor/monitor_core.h"
#include "tariff/billing_period.h"
#include "tariff/price_fields.h"
#include "usage/usage_store.h"

namespace tavu {

namespace {

// 64-bit FNV-1a: a stable hash, the same in every run and build.
std::uint64_t fnv1a(std::string_view text, std::uint64_t h = 1469598103934665603ULL) {
    for (const char c : text) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ULL;
    }
    return h;
}

std::string hex(std::uint64_t v) {
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

bool isHexKey(std::string_view s) {
    return s.size() == 16 && std::all_of(s.begin(), s.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
           });
}

constexpr std::size_t kSeenFileMax = 64 * 1024;

std::string clockText(std::int64_t seconds) {
    const LocalDateTime t = toLocal(TimePoint{std::chrono::seconds(seconds)});
    return formatClock(t.hour, t.minute, 0).substr(0, 5);
}

}  // namespace

SeenMessages::SeenMessages(std::string path) : path_(std::move(path)) {
    std::string text;
    if (!readSmallFile(path_, kSeenFileMax, text)) {
        return;  // none yet, or unreadable: nothing is known
    }
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            end = text.size();
        }
        const std::string_view line = std::string_view(text).substr(at, end - at);
        // A line is the key; anything else in the file is ignored.
        if (isHexKey(line) && keys_.insert(std::string(line)).second) {
            order_.emplace_back(line);
        }
        at = end + 1;
    }
}

std::string SeenMessages::keyOf(const platform::ModemMessage& message) {
    std::uint64_t h = fnv1a(message.sender);
    h = fnv1a(std::string_view("\n", 1), h);
    h = fnv1a(std::to_string(message.timestamp), h);
    h = fnv1a(std::string_view("\n", 1), h);
    return hex(fnv1a(message.text, h));
}

bool SeenMessages::firstSight(const platform::ModemMessage& message) {
    const std::string key = keyOf(message);
    if (!keys_.insert(key).second) {
        return false;
    }
    order_.push_back(key);
    while (order_.size() > kKept) {
        keys_.erase(order_.front());
        order_.erase(order_.begin());
    }
    std::string text;
    for (const std::string& k : order_) {
        text += k;
        text += '\n';
    }
    const int err = replaceUserFile(path_, 0600, [&](int fd) { return writeAll(fd, text); });
    problem_ = err == 0 ? std::string()
                        : "The messages already shown cannot be remembered in " + path_ + ": " +
                              replaceErrorText(err);
    return true;
}

OperatorWatch::OperatorWatch(OperatorServices services)
    : s_(std::move(services)), seen_(s_.configDir + "/operator-messages") {
    balanceSettings = [this] { return readBalanceSettings(s_.settings, currentPlan()); };
}

PlanKeys OperatorWatch::currentPlan() const {
    const auto& lines = s_.core.connections();
    if (!s_.core.connected() || lines.empty()) {
        return {};
    }
    const PlanSet plans = readPlans(s_.settings);
    return PlanKeys::of(planFor(plans, lines[0].entryName, lines[0].deviceName));
}

std::string OperatorWatch::currentPlanName() const {
    const PlanSet plans = readPlans(s_.settings);
    const auto& lines = s_.core.connections();
    if (plans.empty()) {
        return {};  // all plans are the default plan
    }
    const Plan* plan = s_.core.connected() && !lines.empty()
                           ? planFor(plans, lines[0].entryName, lines[0].deviceName)
                           : nullptr;
    return plan != nullptr ? plan->name : kDefaultPlanName;
}

OperatorWatch::~OperatorWatch() {
    *alive_ = false;
    s_.modem.setListener({});
}

std::int64_t OperatorWatch::nowSeconds() const {
    return std::chrono::duration_cast<std::chrono::seconds>(s_.clock.now().time_since_epoch())
        .count();
}

void OperatorWatch::start() {
    std::weak_ptr<bool> alive = alive_;
    platform::ModemService::Listener listener;
    listener.messageAdded = [this, alive](const std::string&, const platform::ModemMessage& m) {
        if (alive.lock()) {
            messageArrived(m);
        }
    };
    listener.statusChanged = [this, alive](const std::string& modem,
                                           const platform::ModemStatus& status) {
        if (alive.lock()) {
            statusChanged(modem, status);
        }
    };
    s_.modem.setListener(std::move(listener));
    if (!s_.modem.available()) {
        return;
    }
    const std::vector<platform::ModemInfo> modems = s_.modem.modems();
    if (!modems.empty()) {
        showLastReply();
    }
    for (const platform::ModemInfo& info : modems) {
        // A modem that roams already is said at once.
        if ((roaming_[info.id] = s_.modem.status(info.id).roaming)) {
            s_.view.insertStatus("Roaming");
        }
        s_.modem.listMessages(
            info.id, [this, alive](bool ok, const std::vector<platform::ModemMessage>& list,
                                   const std::string&) {
                if (!alive.lock() || !ok) {
                    return;
                }
                for (const platform::ModemMessage& m : list) {
                    messageArrived(m);
                }
            });
    }
}

void OperatorWatch::showLastReply() {
    if (lastReplyRead_) {
        return;
    }
    lastReplyRead_ = true;
    if (!s_.lastReply) {
        return;
    }
    if (const std::optional<OperatorReply> last = s_.lastReply()) {
        lastAsked_ = std::max(lastAsked_, last->time);
        showFigures(last->reply, last->time, false);
    }
}

void OperatorWatch::messageArrived(const platform::ModemMessage& message) {
    if (!seen_.firstSight(message)) {
        return;
    }
    if (!seen_.problem().empty()) {
        quietProblem(seen_.problem());
    }
    if (s_.showMessage) {
        // The service cleaned both texts; they are shown as they are, as plain text.
        s_.showMessage(message.sender, message.text);
    }
}

void OperatorWatch::tick() {
    const bool up = s_.core.connected();
    if (up && !wasConnected_) {
        wasConnected_ = true;
        connectionStarted();
    } else if (!up && wasConnected_) {
        wasConnected_ = false;
        connectionEnded();
    }
    // Read again only when the settings or the line changed: the tick comes every second.
    const auto& lines = s_.core.connections();
    const std::string key =
        std::to_string(s_.settings.generation()) +
        (up && !lines.empty() ? "|" + lines[0].entryName + "|" + lines[0].deviceName : "");
    if (key != tickKey_) {
        tickKey_ = key;
        tickBalance_ = balanceSettings();
    }
    const BalanceSettings& b = tickBalance_;
    if (b.everyHours > 0 && !b.ussd.empty() && !ussdPending_ && balanceDue(b)) {
        askBalance(false);
    }
}

bool OperatorWatch::balanceDue(const BalanceSettings& b) const {
    const std::int64_t now = nowSeconds();
    // A clock set back far behind the last question asks again.
    return now - lastAsked_ >= std::int64_t{b.everyHours} * 3600 || now < lastAsked_ - 3600;
}

void OperatorWatch::connectionStarted() {
    roamWarned_ = false;
    const auto& lines = s_.core.connections();
    connModem_ = s_.modem.available()
                     ? s_.modem.chooseModem(lines.empty() ? std::string() : lines[0].deviceName, -1)
                     : std::string();
    if (connModem_.empty()) {
        return;
    }
    showLastReply();
    const platform::ModemStatus st = s_.modem.status(connModem_);
    if (!st.present) {
        return;
    }
    showSignal(st);
    if (st.roaming) {
        roamingOnLine();
    }
}

void OperatorWatch::connectionEnded() {
    if (!signalLine_.empty()) {
        s_.view.removeStatus(signalLine_);
        signalLine_.clear();
    }
    connModem_.clear();
    s_.core.setRoaming(false);
}

void OperatorWatch::statusChanged(const std::string& modem, const platform::ModemStatus& status) {
    bool& was = roaming_[modem];
    const bool started = status.roaming && !was;
    was = status.roaming;
    showLastReply();  // a modem that came after the start
    if (started) {
        s_.view.insertStatus("Roaming");
    }
    if (modem != connModem_ || !s_.core.connected()) {
        return;
    }
    showSignal(status);
    if (status.roaming) {
        roamingOnLine();
    } else {
        s_.core.setRoaming(false);
    }
}

void OperatorWatch::roamingOnLine() {
    s_.core.setRoaming(true);
    // Hung up whenever the line roams, even after a warning given before the setting was on.
    if (s_.settings.readInt(keys::kWarnings, keys::kHangupWhenRoaming, 0) == 1) {
        s_.core.closeConnection(
            "Connection closed: the modem started to roam. See Preferences->Warnings.");
        return;
    }
    if (roamWarned_) {
        return;
    }
    roamWarned_ = true;
    s_.prompter.notify(Message{kRoamingWarning, "Warning", Buttons::Ok, Icon::Warning});
}

void OperatorWatch::showSignal(const platform::ModemStatus& status) {
    std::string line;
    if (!status.accessTechnology.empty()) {
        line = status.accessTechnology;
    }
    if (status.signalPercent >= 0) {
        line += (line.empty() ? "Signal " : ", signal ") +
                std::to_string(std::min(100, status.signalPercent)) + " %";
    }
    replaceStatus(signalLine_, line);
}

void OperatorWatch::replaceStatus(std::string& shown, const std::string& line) {
    if (line == shown) {
        return;
    }
    if (!shown.empty()) {
        s_.view.removeStatus(shown);
    }
    shown = line;
    if (!line.empty()) {
        s_.view.insertStatus(line);
    }
}

void OperatorWatch::quietProblem(const std::string& text) {
    if (text != quietProblem_) {
        quietProblem_ = text;
        s_.view.insertStatus(text);
    }
}

void OperatorWatch::checkBalance() {
    askBalance(true);
}

void OperatorWatch::askBalance(bool byHand) {
    const BalanceSettings b = balanceSettings();
    auto fail = [&](const std::string& text) {
        if (byHand) {
            s_.prompter.notify(Message{text, kAppTitle, Buttons::Ok, Icon::Information});
        } else {
            quietProblem(text);
        }
    };
    const std::int64_t asked = lastAsked_;
    lastAsked_ = nowSeconds();
    if (b.ussd.empty()) {
        fail(std::string("No balance code is set: give the operator's code (such as *100#) as ") +
             keys::kBalanceUSSD + " in the section " +
             std::string(currentPlan().section(keys::kSettings)) + " of the settings.");
        return;
    }
    if (ussdPending_) {
        return;  // the answer to the question asked is on its way
    }
    std::string modem = connModem_;
    if (modem.empty() && s_.modem.available()) {
        modem = s_.modem.chooseModem({}, -1);
    }
    if (modem.empty()) {
        fail(kNoModem);
        return;
    }
    // With a modem to ask, the reply kept is read: it may say that the question asked by itself
    // is not due yet.
    if (!lastReplyRead_) {
        lastAsked_ = asked;
        showLastReply();
        if (!byHand && !balanceDue(b)) {
            return;
        }
        lastAsked_ = nowSeconds();
    }
    ussdPending_ = true;
    std::weak_ptr<bool> alive = alive_;
    const std::string code = b.ussd;
    s_.modem.initiateUssd(modem, code, kUssdDeadlineMs,
                          [this, alive, code, byHand](const platform::UssdResult& r) {
                              if (alive.lock()) {
                                  balanceAnswered(r, code, byHand);
                              }
                          });
}

void OperatorWatch::balanceAnswered(const platform::UssdResult& result, const std::string& code,
                                    bool byHand) {
    ussdPending_ = false;
    using platform::UssdResult;
    std::string problem;
    switch (result.kind) {
        case UssdResult::Reply:
        case UssdResult::NeedsResponse:
            break;
        case UssdResult::NoModem:
            problem = kNoModem;
            break;
        case UssdResult::TimedOut:
            problem = "The operator did not answer the balance code within " +
                      std::to_string(kUssdDeadlineMs / 1000) + " seconds.";
            break;
        case UssdResult::Failed:
            problem = "The balance could not be asked" +
                      (result.text.empty() ? std::string(".") : ": " + result.text);
            break;
    }
    if (!problem.empty()) {
        if (byHand) {
            s_.prompter.notify(Message{problem, kAppTitle, Buttons::Ok, Icon::Error});
        } else {
            quietProblem(problem);
        }
        return;
    }
    // The service cleaned the text: printable, valid UTF-8, bounded.
    const std::string reply = platform::cleanModemText(result.text);
    const std::int64_t now = nowSeconds();
    if (byHand) {
        std::string shown = reply;
        if (result.kind == UssdResult::NeedsResponse) {
            shown += "\n\n(The operator asked for an answer; the request was closed.)";
        }
        s_.prompter.notify(Message{shown, "Operator's reply", Buttons::Ok, Icon::Information});
    }
    if (s_.keepReply) {
        std::string why;
        if (!s_.keepReply(OperatorReply{now, code, reply}, why)) {
            quietProblem(why);
        }
    }
    showFigures(reply, now, true);
}

void OperatorWatch::showFigures(const std::string& reply, std::int64_t time, bool warn) {
    const BalanceFigures f = parseBalanceReply(reply, balanceSettings());
    replaceStatus(figuresLine_, balanceStatusLine(f, clockText(time)));
    if (!f.problem.empty()) {
        quietProblem(f.problem);
    }
    if (warn) {
        warnAboutFigures(f);
    }
}

// The operator's figures against the user's own limits. The data warning cap (DataWarnMB) is
// what the user means to use in the period; what it still leaves is the cap less what the
// period used so far. When the operator says less data is left than that, the data will run
// out (or cost more) before the program's own warning comes: that is worth saying, once a
// period. The money left is compared in the same way with what the month's cost warning
// (WarnWhenMonth) still leaves.
void OperatorWatch::warnAboutFigures(const BalanceFigures& f) {
    if (!f.dataBytes && !f.money) {
        return;
    }
    const PlanKeys plan = currentPlan();
    const int dataWarn = std::max(0, dataCapMB(s_.settings, keys::kDataWarnMB, plan));
    const bool moneyOn =
        s_.settings.readInt(plan.section(keys::kSettings), keys::kWarnWhenMonth, 0) == 1;
    if ((dataWarn == 0 || !f.dataBytes) && (!moneyOn || !f.money)) {
        return;
    }
    const LogTotals totals = s_.core.periodTotals(currentPlanName());
    const BillingPeriod period = currentBillingPeriod(s_.settings, s_.clock.localNow(), plan);
    const std::string periodKey = formatDate(period.day, period.month, period.year);
    if (dataWarn > 0 && f.dataBytes) {
        const double remainder = dataWarn * 1e6 - totals.transmitted;
        const std::string key = std::string(plan.section(keys::kSettings)) + "/" + periodKey + "/" +
                                std::to_string(dataWarn);
        if (remainder > 0 && static_cast<double>(*f.dataBytes) < remainder && key != dataWarned_) {
            dataWarned_ = key;
            s_.prompter.notify(
                Message{"The operator says " + f.dataText + " of data are left: less than the " +
                            formatFixed(std::floor(remainder / 1e6), 0) +
                            " MB your warning cap leaves for this period. (The operator's figure.)",
                        "Warning", Buttons::Ok, Icon::Warning});
        }
    }
    if (moneyOn && f.money) {
        const double limit = readMoneyLimit(s_.settings, keys::kWarnWhenMonthInterval, plan);
        const double remainder = limit - totals.totalCost;
        const std::string key = std::string(plan.section(keys::kSettings)) + "/" + periodKey + "/" +
                                formatFixed(limit, 2);
        if (remainder > 0 && *f.money < remainder && key != moneyWarned_) {
            moneyWarned_ = key;
            s_.prompter.notify(Message{
                "The operator says " + formatFixed(*f.money, 2) +
                    " of money is left: less than the " + formatFixed(remainder, 2) +
                    " your monthly cost limit leaves for this period. (The operator's figure.)",
                "Warning", Buttons::Ok, Icon::Warning});
        }
    }
}

}  // namespace tavu
