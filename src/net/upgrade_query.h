#pragma once

#include <chrono>
#include <string>

#include "net/net_jobs.h"
#include "net/upgrade_protocol.h"

namespace tavu {
class SettingsStore;
}

namespace tavu::net {

// The upgrade server when Settings/UpgradeServer does not name one (host, or host:port).
inline constexpr const char* kDefaultUpgradeServer = "localhost";

inline constexpr const char* kNoUpdateText = "No update avaible. Please try again later.";

// Asks the upgrade server (host, or host:port; port 4444 by default) the question, sending this
// program's version. Returns the answer up to its first zero byte (at most 1000 bytes), or
// kUpgradeConnectFailureText when the server cannot be reached or sends nothing. Connecting and
// the answer each wait at most `timeout`.
std::string upgradeQuery(const std::string& server,
                         const std::string& question = upgrade::kQuestion,
                         std::chrono::milliseconds timeout = std::chrono::seconds(10));

// Settings/UpgradeServer, or the default.
std::string configuredUpgradeServer(const SettingsStore& settings);

// The upgrade question to the server of the settings, read now; the job owns its copy and
// may run on any thread.
UpgradeQueryJob makeUpgradeQueryJob(const SettingsStore& settings,
                                    std::chrono::milliseconds timeout = std::chrono::seconds(10));

// What the user reads for an answer: kNoUpdateText for "OK", otherwise the answer itself.
std::string upgradeAnswerText(const std::string& answer);

}  // namespace tavu::net
