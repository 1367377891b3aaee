#pragma once

#include <string>
#include <vector>

#include "app/cli.h"

namespace tavu {

// `tavu dial [ENTRY] [--user NAME --password-stdin]`, `tavu hangup`, `tavu entries`.
extern const char* const kDialUsage;
extern const char* const kHangupUsage;
extern const char* const kEntriesUsage;
int runDialCommand(CliContext& context, const std::vector<std::string>& args);
int runHangupCommand(CliContext& context, const std::vector<std::string>& args);
int runEntriesCommand(CliContext& context, const std::vector<std::string>& args);

}  // namespace tavu
