#pragma once

#include <string>
#include <vector>

#include "app/cli.h"

namespace tavu {

// `tavu dial [ENTRY] [--user NAME --password-stdin]`, `tavu hangup`, `tavu entries`,
// `tavu prepare [ENTRY...]`.
extern const char* const kDialUsage;
extern const char* const kHangupUsage;
extern const char* const kEntriesUsage;
extern const char* const kPrepareUsage;
int runDialCommand(CliContext& context, const std::vector<std::string>& args);
int runHangupCommand(CliContext& context, const std::vector<std::string>& args);
int runEntriesCommand(CliContext& context, const std::vector<std::string>& args);
int runPrepareCommand(CliContext& context, const std::vector<std::string>& args);

}  // namespace tavu
