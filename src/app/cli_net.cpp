#include "app/cli_net.h"

#include <ostream>

#include "core/paths.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "net/lookup.h"
#include "net/net_time.h"
#include "net/ping.h"
#include "net/upgrade_query.h"

namespace tavu {

namespace {

// Checks the count of arguments; reports a usage error otherwise.
bool argumentCount(CliContext& context, const std::vector<std::string>& args, std::size_t low,
                   std::size_t high, const char* usage) {
    if (args.size() >= low && args.size() <= high) {
        return true;
    }
    context.err << "Usage: " << usage << "\n";
    return false;
}

// Answers come from the network: printed without their control characters.
int print(CliContext& context, bool ok, const std::string& text) {
    (ok ? context.out : context.err) << printableText(text) << "\n";
    return ok ? 0 : 1;
}

SettingsStore settingsOf(const CliContext& context) {
    return SettingsStore(joinPath(context.configDir, kSettingsFileName));
}

}  // namespace

int runLookupCommand(CliContext& context, const std::vector<std::string>& args) {
    if (!argumentCount(context, args, 1, 1, "tavu lookup HOST")) {
        return 2;
    }
    const net::LookupResult r = net::hostToAddress(args[0]);
    return print(context, r.ok, r.text);
}

int runReverseCommand(CliContext& context, const std::vector<std::string>& args) {
    if (!argumentCount(context, args, 1, 1, "tavu reverse ADDRESS")) {
        return 2;
    }
    const net::LookupResult r = net::addressToHost(args[0]);
    return print(context, r.ok, r.text);
}

int runTimeCommand(CliContext& context, const std::vector<std::string>& args) {
    if (!argumentCount(context, args, 0, 1, "tavu time [SERVER]")) {
        return 2;
    }
    const std::string server =
        args.empty() ? net::configuredTimeServer(settingsOf(context)) : args[0];
    const net::TimeQueryResult r = net::queryTime(server);
    return print(context, r.ok, r.text);
}

int runPingCommand(CliContext& context, const std::vector<std::string>& args) {
    if (!argumentCount(context, args, 1, 1, "tavu ping HOST")) {
        return 2;
    }
    net::echoOnce(args[0]);
    const net::EchoResult r = net::echoOnce(args[0]);
    return print(context, r.ok, net::echoLine(r));
}

int runUpgradeCheckCommand(CliContext& context, const std::vector<std::string>& args) {
    if (!argumentCount(context, args, 0, 0, "tavu upgrade-check")) {
        return 2;
    }
    const std::string answer = net::makeUpgradeQueryJob(settingsOf(context))();
    return print(context, answer != kUpgradeConnectFailureText, net::upgradeAnswerText(answer));
}

}  // namespace tavu
