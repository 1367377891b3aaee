#pragma once

#include <string>
#include <vector>

#include "app/cli.h"

namespace tavu {

// tavu lookup HOST | reverse ADDRESS | time [SERVER] | ping HOST | upgrade-check: each prints
// what the net tools window or the upgrade check shows, exit status 0 on success, 1 on failure.
int runLookupCommand(CliContext& context, const std::vector<std::string>& args);
int runReverseCommand(CliContext& context, const std::vector<std::string>& args);
int runTimeCommand(CliContext& context, const std::vector<std::string>& args);
int runPingCommand(CliContext& context, const std::vector<std::string>& args);
int runUpgradeCheckCommand(CliContext& context, const std::vector<std::string>& args);

}  // namespace tavu
