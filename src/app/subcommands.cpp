#include "app/cli.h"
#include "app/cli_dialup.h"

namespace tavu {

int runMailCommand(CliContext& context, const std::vector<std::string>& args);

// One line a subcommand; each lives in a file of its own beside this one.
const std::vector<Subcommand>& subcommands() {
    static const std::vector<Subcommand> table = {
        {"dial", kDialUsage, runDialCommand},
        {"hangup", kHangupUsage, runHangupCommand},
        {"entries", kEntriesUsage, runEntriesCommand},
        {"mail",
         "  tavu mail [--config-dir DIR]                check the mailbox now and print the "
         "result\n",
         runMailCommand},
    };
    return table;
}

}  // namespace tavu
