#pragma once

#include <string>
#include <vector>

#include "app/cli.h"

namespace tavu {

// tavu balance [--modem N]: sends the balance code to the operator through the modem, prints
// the reply and keeps it in the usage store. tavu messages [--modem N]: the modem's text
// messages, one a line: date and time, sender, text, tab-separated. Exit status 0 on success, 1
// when there is no modem or no answer, 2 for a usage error.
int runBalanceCommand(CliContext& context, const std::vector<std::string>& args);
int runMessagesCommand(CliContext& context, const std::vector<std::string>& args);

}  // namespace tavu
