#include <ostream>

#include "app/cli.h"
#include "app/headless_monitor.h"
#include "metrics/listen_address.h"

namespace tavu {

// `tavu monitor [--config-dir DIR] [--metrics ADDRESS:PORT]`: the connection monitor without any
// window, serving the metrics at the address given for this run.
int runMonitorCommand(CliContext& context, const std::vector<std::string>& args) {
    std::optional<std::string> metrics;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--metrics" && i + 1 < args.size()) {
            metrics = args[++i];
        } else if (a.rfind("--metrics=", 0) == 0) {
            metrics = a.substr(10);
        } else if (a == "--metrics") {
            context.err << "tavu: --metrics needs ADDRESS:PORT (see tavu --help)\n";
            return 2;
        } else {
            context.err << "tavu: unexpected argument '" << a << "' (see tavu --help)\n";
            return 2;
        }
    }
    if (metrics) {
        std::string error;
        if (!parseListenAddress(*metrics, error)) {
            context.err << "tavu: " << error << " (see tavu --help)\n";
            return 2;
        }
    }
    return runHeadlessMonitor(context.configDir, context.out, context.err, metrics);
}

}  // namespace tavu
