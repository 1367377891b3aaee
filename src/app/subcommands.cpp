#include "app/cli.h"
#include "app/cli_dialup.h"
#include "app/cli_modem.h"
#include "app/cli_net.h"

namespace tavu {

int runMailCommand(CliContext& context, const std::vector<std::string>& args);
int runMonitorCommand(CliContext& context, const std::vector<std::string>& args);
#ifdef TAVU_CHART_COMMAND
int runChartCommand(CliContext& context, const std::vector<std::string>& args);
#endif

// One line a subcommand; each lives in a file of its own beside this one.
const std::vector<Subcommand>& subcommands() {
    // clang-format off
    static const std::vector<Subcommand> table = {
        usageSubcommand(),
        {"monitor", "  tavu monitor [--config-dir DIR] [--metrics ADDRESS:PORT]\n"
                    "                                              time and log connections without a window\n", runMonitorCommand},
        {"dial", kDialUsage, runDialCommand},
        {"hangup", kHangupUsage, runHangupCommand},
        {"entries", kEntriesUsage, runEntriesCommand},
        {"prepare", kPrepareUsage, runPrepareCommand},
        {"mail", "  tavu mail [--config-dir DIR]                check the mailbox now and print the result\n", runMailCommand},
        {"balance", "  tavu balance [--config-dir DIR] [--modem N] [--plan NAME]\n"
                    "                                              ask the operator for the balance (the plan's BalanceUSSD)\n", runBalanceCommand},
        {"messages", "  tavu messages [--config-dir DIR] [--modem N]\n"
                     "                                              list the modem's text messages\n", runMessagesCommand},
        {"lookup", "  tavu lookup HOST                            print the host's address\n", runLookupCommand},
        {"reverse", "  tavu reverse ADDRESS                        print the address's host name\n", runReverseCommand},
        {"time", "  tavu time [SERVER]                          print a time server's time\n", runTimeCommand},
        {"ping", "  tavu ping HOST                              ping the host, print the reply\n", runPingCommand},
        {"upgrade-check", "  tavu upgrade-check                          ask for a newer version\n", runUpgradeCheckCommand},
#ifdef TAVU_CHART_COMMAND
        {"chart", "  tavu chart --out FILE.png [--kind usage|period] [--filter all|month|today]\n"
                  "             [--size WxH] [--plan NAME]       draw a Summary chart into a PNG file\n", runChartCommand, true},
#endif
    };
    // clang-format on
    return table;
}

}  // namespace tavu
