#include "app/cli.h"

namespace tavu {

int runMonitorCommand(CliContext& context, const std::vector<std::string>& args);

// One line a subcommand; each lives in a file of its own beside this one.
const std::vector<Subcommand>& subcommands() {
    static const std::vector<Subcommand> table = {
        {"monitor",
         "  tavu monitor [--config-dir DIR]             time and log connections without a "
         "window\n",
         runMonitorCommand},
    };
    return table;
}

}  // namespace tavu
