#include <ostream>

#include "app/cli.h"
#include "app/headless_monitor.h"

namespace tavu {

// `tavu monitor [--config-dir DIR]`: the connection monitor without any window.
int runMonitorCommand(CliContext& context, const std::vector<std::string>& args) {
    if (!args.empty()) {
        context.err << "tavu: unexpected argument '" << args.front() << "' (see tavu --help)\n";
        return 2;
    }
    return runHeadlessMonitor(context.configDir, context.out, context.err);
}

}  // namespace tavu
