#include "ui/reports/live_usage.h"

#include "monitor/monitor_core.h"

namespace tavu {

std::vector<LiveUsage> liveUsageOf(MonitorCore& core, std::int64_t now, const std::string& logPath,
                                   const UsageSource* stored) {
    // The monitor holds every row of its connections in progress, stored or not.
    (void)stored;
    if (core.logPath() != logPath) {
        return {};
    }
    return MonitorCore::usageOf(core.liveConnections(now));
}

}  // namespace tavu
