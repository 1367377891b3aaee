#pragma once

// The connections in progress that the window program's own monitor times, as the report
// windows count them.

#include <cstdint>
#include <string>
#include <vector>

#include "ledger/usage_ledger.h"

namespace tavu {

class MonitorCore;
class UsageSource;

// Each connection in progress at `now` (seconds since the epoch) as a count made then sees it:
// its record ended then, under the names it will have in the log, and its usage rows so far,
// which the monitor holds in memory (`stored`, the store beside the log, is not read).
// None when the monitor writes to another log than logPath.
std::vector<LiveUsage> liveUsageOf(MonitorCore& core, std::int64_t now, const std::string& logPath,
                                   const UsageSource* stored);

}  // namespace tavu
