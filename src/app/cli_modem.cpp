// `tavu balance` and `tavu messages`: the operator's figures and text messages, asked of the
// modem through ModemManager.

#include "app/cli_modem.h"

#include <chrono>
#include <cstdlib>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <QEventLoop>

#include "app/core_application.h"
#include "app/services.h"
#include "core/clock.h"
#include "core/paths.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "log/log_file.h"
#include "monitor/operator_balance.h"
#include "platform/modem/modemmanager/mm_modem_service.h"
#include "tariff/plan.h"
#include "usage/usage_store.h"

namespace tavu {

namespace {

constexpr int kUssdDeadlineMs = 30000;

int usage(CliContext& context, const std::string& why) {
    context.err << "tavu: " << why << " (see tavu --help)\n";
    return 2;
}

// --modem N, and --plan NAME where plan is given; false (with a usage message) for anything
// else.
bool parseModemOption(CliContext& context, const char* command,
                      const std::vector<std::string>& args, int& index,
                      std::optional<std::string>* plan = nullptr) {
    index = -1;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string value;
        if (plan != nullptr && (args[i] == "--plan" || args[i].rfind("--plan=", 0) == 0)) {
            if (args[i] == "--plan" && i + 1 >= args.size()) {
                usage(context, "--plan needs a plan's name");
                return false;
            }
            *plan = args[i] == "--plan" ? args[++i] : args[i].substr(7);
            continue;
        }
        if (args[i] == "--modem" && i + 1 < args.size()) {
            value = args[++i];
        } else if (args[i].rfind("--modem=", 0) == 0) {
            value = args[i].substr(8);
        } else {
            usage(context, std::string(command) +
                               (plan != nullptr ? " takes only --modem N and --plan NAME, not \""
                                                : " takes only --modem N, not \"") +
                               printableText(args[i]) + "\"");
            return false;
        }
        if (value.empty() || value.size() > 6 ||
            value.find_first_not_of("0123456789") != std::string::npos) {
            usage(context,
                  "--modem takes the modem's number, not \"" + printableText(value) + "\"");
            return false;
        }
        index = std::stoi(value);
    }
    return true;
}

// The connection up, by its name and device; false when none is.
bool connectionUp(const SettingsStore& settings, platform::RasConnection& up) {
    const auto dialup = makeDialupService(settings);
    std::vector<platform::RasConnection> connections;
    if (!dialup || !dialup->listConnections(connections) || connections.empty())
        return false;
    up = connections.front();
    return true;
}

// What names the modem of the connection that is up: the modem object of NetworkManager's
// device, else the connection's device; empty when no connection is up.
std::string connectedDevice(const SettingsStore& settings) {
    const auto dialup = makeDialupService(settings);
    if (!dialup)
        return {};
    std::vector<platform::ManagedLink> links;
    if (dialup->nm().available() && dialup->nm().managedLinks(links)) {
        for (const platform::ManagedLink& link : links) {
            if (link.counts && link.activated && !link.modem.empty())
                return link.modem;
        }
    }
    std::vector<platform::RasConnection> connections;
    if (dialup->listConnections(connections) && !connections.empty())
        return connections.front().deviceName;
    return {};
}

// Runs the event loop until done() is called.
template <typename Start>
void waitFor(Start start) {
    QEventLoop loop;
    bool finished = false;
    start([&] {
        finished = true;
        loop.quit();
    });
    if (!finished)
        loop.exec();
}

// How long the operator has to answer: 30 s. The program's tests shorten it through
// TAVU_TEST_USSD_DEADLINE_MS (milliseconds), which nobody else needs to set.
int ussdDeadline() {
    const char* v = std::getenv("TAVU_TEST_USSD_DEADLINE_MS");
    if (v == nullptr)
        return kUssdDeadlineMs;
    const std::int64_t ms = leadingInt(v);
    return ms > 0 && ms <= kUssdDeadlineMs ? static_cast<int>(ms) : kUssdDeadlineMs;
}

// Tabs and line ends of a message would break its line in the list.
std::string oneLine(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

std::string dateAndTime(std::int64_t seconds) {
    if (seconds <= 0)
        return {};
    const LocalDateTime t = toLocal(TimePoint(std::chrono::seconds(seconds)));
    return formatDate(t.day, t.month, t.year) + " " + formatClock(t.hour, t.minute, t.second);
}

}  // namespace

int runBalanceCommand(CliContext& context, const std::vector<std::string>& args) {
    int index = -1;
    std::optional<std::string> planName;
    if (!parseModemOption(context, "balance", args, index, &planName))
        return 2;
    const SettingsStore settings(joinPath(context.configDir, kSettingsFileName));
    // The code of the plan named, else of the plan of the connection up, else the default
    // plan's (in Settings).
    const PlanSet plans = readPlans(settings);
    PlanKeys plan;
    if (planName) {
        if (*planName != kDefaultPlanName) {
            const Plan* named = plans.find(*planName);
            if (named == nullptr) {
                context.err << "tavu: there is no plan named \"" << printableText(*planName)
                            << "\"\n";
                return 2;
            }
            plan = PlanKeys(*named);
        }
    } else if (platform::RasConnection up; !plans.empty() && connectionUp(settings, up)) {
        plan = PlanKeys::of(planFor(plans, up.entryName, up.deviceName));
    }
    const std::string section(plan.section(keys::kSettings));
    const std::string code = readBalanceSettings(settings, plan).ussd;
    if (code.empty()) {
        context.err << "No balance code is set: set " << keys::kBalanceUSSD << " in the ["
                    << printableText(section) << "] section, for example " << keys::kBalanceUSSD
                    << "=*100#.\n";
        return 1;
    }
    const auto app = ensureCoreApplication();
    platform::ModemManagerService modems;
    const std::string modem =
        modems.available() ? modems.chooseModem(index < 0 ? connectedDevice(settings) : "", index)
                           : std::string();
    platform::UssdResult result{platform::UssdResult::NoModem, {}};
    if (!modem.empty()) {
        waitFor([&](auto finished) {
            modems.initiateUssd(modem, code, ussdDeadline(),
                                [&, finished](const platform::UssdResult& r) {
                                    result = r;
                                    finished();
                                });
        });
    }
    switch (result.kind) {
        case platform::UssdResult::Reply:
        case platform::UssdResult::NeedsResponse:
            break;
        case platform::UssdResult::NoModem:
            context.err << platform::kNoUssdModemText << "\n";
            return 1;
        case platform::UssdResult::TimedOut:
            context.err << "The operator did not answer the balance code " << printableText(code)
                        << " in time.\n";
            return 1;
        case platform::UssdResult::Failed:
            context.err << "The balance could not be asked: "
                        << (result.text.empty() ? std::string("the modem refused") : result.text)
                        << "\n";
            return 1;
    }
    context.out << result.text << "\n";
    if (result.kind == platform::UssdResult::NeedsResponse)
        context.err << "The operator asked for more; the request was cancelled.\n";
    // Kept with its time, for the status list's figures.
    std::string refused;
    const auto store = UsageStore::open(
        UsageStore::pathFor(logFilePath(settings, context.configDir)), true, refused);
    const auto now =
        std::chrono::duration_cast<std::chrono::seconds>(context.clock.now().time_since_epoch())
            .count();
    if (!store) {
        context.err << refused << "\n";
    } else if (!store->addOperatorReply({now, code, result.text})) {
        context.err << store->problem() << "\n";
    }
    return 0;
}

int runMessagesCommand(CliContext& context, const std::vector<std::string>& args) {
    int index = -1;
    if (!parseModemOption(context, "messages", args, index))
        return 2;
    const SettingsStore settings(joinPath(context.configDir, kSettingsFileName));
    const auto app = ensureCoreApplication();
    platform::ModemManagerService modems;
    const std::string modem =
        modems.available() ? modems.chooseModem(index < 0 ? connectedDevice(settings) : "", index)
                           : std::string();
    if (modem.empty()) {
        context.err << "No modem that keeps text messages.\n";
        return 1;
    }
    bool ok = false;
    std::vector<platform::ModemMessage> messages;
    std::string error;
    waitFor([&](auto finished) {
        modems.listMessages(
            modem, [&, finished](bool good, const std::vector<platform::ModemMessage>& list,
                                 const std::string& why) {
                ok = good;
                messages = list;
                error = why;
                finished();
            });
    });
    if (!ok) {
        context.err << "The modem's messages could not be read: " << error << "\n";
        return 1;
    }
    for (const platform::ModemMessage& m : messages) {
        context.out << dateAndTime(m.timestamp) << '\t' << oneLine(m.sender) << '\t'
                    << oneLine(m.text) << '\n';
    }
    return 0;
}

}  // namespace tavu
