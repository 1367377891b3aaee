#include "app/cli.h"

namespace tavu {

// One line a subcommand; each lives in a file of its own beside this one.
const std::vector<Subcommand>& subcommands() {
    static const std::vector<Subcommand> table = {};
    return table;
}

}  // namespace tavu
