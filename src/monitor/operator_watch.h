#pragma once

// The operator's own figures beside the timer: the balance asked by USSD, the operator's text
// messages, roaming and the signal of the connection's modem.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "monitor/operator_balance.h"
#include "platform/modem/modem_service.h"
#include "tariff/plan.h"

namespace tavu {

class Clock;
class MonitorCore;
class MonitorView;
class Prompter;
class SettingsStore;
struct OperatorReply;

// The text messages already shown, kept in a small file of the configuration folder so that a
// message is shown once, also across restarts. A message is known by a hash of its sender, time
// stamp and text: the daemon renumbers its messages when it starts again, so its id alone
// would show an old message anew. The newest entries are kept.
class SeenMessages {
  public:
    explicit SeenMessages(std::string path);
    // Whether the message was seen; marks it seen (and writes the file) when it was not.
    bool firstSight(const platform::ModemMessage& message);
    // Why the file could not be written last time; empty when it could.
    const std::string& problem() const { return problem_; }

    static std::string keyOf(const platform::ModemMessage& message);
    static constexpr std::size_t kKept = 500;

  private:
    std::string path_;
    std::vector<std::string> order_;  // oldest first
    std::set<std::string> keys_;
    std::string problem_;
};

struct OperatorServices {
    SettingsStore& settings;
    const Clock& clock;
    Prompter& prompter;
    platform::ModemService& modem;
    MonitorCore& core;
    MonitorView& view;
    std::string configDir;  // where the messages shown are remembered
    // Shows a text message as a notification (sender, text: plain text, never markup).
    std::function<void(const std::string& sender, const std::string& text)> showMessage;
    // Keeps a reply to the balance code; false with a reason when it could not.
    std::function<bool(const OperatorReply& reply, std::string& problem)> keepReply;
    // The newest reply kept, to show its figures at the start.
    std::function<std::optional<OperatorReply>()> lastReply;
};

// Follows the modems for the main window. Nothing here waits: the modem service answers later,
// from the event loop.
class OperatorWatch {
  public:
    // How long the operator has to answer the balance code.
    static constexpr int kUssdDeadlineMs = 30000;

    explicit OperatorWatch(OperatorServices services);
    OperatorWatch(const OperatorWatch&) = delete;
    OperatorWatch& operator=(const OperatorWatch&) = delete;
    ~OperatorWatch();

    // The start: the listener, the messages already in the modems and, when there is a modem,
    // the figures of the reply kept. The usage store is read only once there is a modem: the
    // start without one opens no store.
    void start();
    // After every poll of the monitor: a connection that started or ended, and the balance
    // asked every BalanceEveryHours hours.
    void tick();
    // "Check balance": asks the operator and shows the reply in a box.
    void checkBalance();

    // The balance settings of the plan in use (the default plan's are in Settings).
    std::function<BalanceSettings()> balanceSettings;
    // The plan of the connection that is up (the first line's name and device); the default
    // plan when none is up or no plan covers it.
    PlanKeys currentPlan() const;
    // The name of that plan for the totals: empty without plans.
    std::string currentPlanName() const;
    // The connection's modem: the one the line's device names, or the only one.
    std::string connectionModem() const { return connModem_; }
    bool balancePending() const { return ussdPending_; }

    static constexpr const char* kRoamingWarning = "You are roaming: data may cost much more.";
    static constexpr const char* kNoModem = "No modem that can ask for the balance.";

  private:
    // The figures of the newest reply kept, read from the store at the first need of them (a
    // modem found, or a question to ask); it also says when the balance was last asked.
    void showLastReply();
    bool balanceDue(const BalanceSettings& b) const;
    void askBalance(bool byHand);
    void balanceAnswered(const platform::UssdResult& result, const std::string& code, bool byHand);
    void showFigures(const std::string& reply, std::int64_t time, bool warn);
    void warnAboutFigures(const BalanceFigures& figures);
    void messageArrived(const platform::ModemMessage& message);
    void statusChanged(const std::string& modem, const platform::ModemStatus& status);
    void connectionStarted();
    void connectionEnded();
    void roamingOnLine();
    void showSignal(const platform::ModemStatus& status);
    void replaceStatus(std::string& shown, const std::string& line);
    // A problem of a check nobody asked for: said once in the status list.
    void quietProblem(const std::string& text);
    std::int64_t nowSeconds() const;

    OperatorServices s_;
    SeenMessages seen_;
    bool wasConnected_ = false;
    std::string connModem_;
    bool roamWarned_ = false;              // in this connection
    std::map<std::string, bool> roaming_;  // by modem, as last reported
    std::string signalLine_;
    std::string figuresLine_;
    std::string quietProblem_;
    bool ussdPending_ = false;
    bool lastReplyRead_ = false;
    // The balance settings as the tick last read them, and what they were read for.
    BalanceSettings tickBalance_;
    std::string tickKey_;
    std::int64_t lastAsked_ = 0;
    std::string dataWarned_;  // the period and limit whose warnings were shown
    std::string moneyWarned_;
    // Cleared when the watch goes, so that an answer that comes later finds nothing to do.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tavu
