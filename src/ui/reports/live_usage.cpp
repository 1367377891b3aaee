#include "ui/reports/live_usage.h"

#include "monitor/monitor_core.h"
#include "usage/usage_store.h"

namespace tavu {

std::vector<LiveUsage> liveUsageOf(MonitorCore& core, std::int64_t now, const std::string& logPath,
                                   const UsageSource* stored) {
    std::vector<LiveUsage> out;
    if (core.logPath() != logPath) {
        return out;
    }
    for (MonitorCore::LiveConnection& l : core.liveConnections(now)) {
        LiveUsage& live = out.emplace_back();
        live.record = std::move(l.record);
        live.record.device = l.key.device;
        live.record.connection = l.key.connection;
        live.rows = PendingUsageSource(stored, l.key, std::move(l.pending)).rowsOf(l.key);
    }
    return out;
}

}  // namespace tavu
