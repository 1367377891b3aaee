#include "app/cli.h"
#include "app/cli_dialup.h"

namespace tavu {

// One line a subcommand; each lives in a file of its own beside this one.
const std::vector<Subcommand>& subcommands() {
    static const std::vector<Subcommand> table = {
        {"dial", kDialUsage, runDialCommand},
        {"hangup", kHangupUsage, runHangupCommand},
        {"entries", kEntriesUsage, runEntriesCommand},
    };
    return table;
}

}  // namespace tavu
