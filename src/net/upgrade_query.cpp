#include "net/upgrade_query.h"

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/version.h"
#include "net/net_socket.h"

namespace tavu::net {

std::string upgradeQuery(const std::string& server, const std::string& question,
                         std::chrono::milliseconds timeout) {
    const auto target = parseHostPort(server);
    if (!target) {
        return kUpgradeConnectFailureText;
    }
    const std::vector<Address> addresses = resolve(target->host);
    if (addresses.empty()) {
        return kUpgradeConnectFailureText;
    }
    TcpConnection conn;
    if (!conn.connect(addresses.front(), target->port ? target->port : upgrade::kPort, timeout)) {
        return kUpgradeConnectFailureText;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    if (!conn.sendAll(upgrade::request(kVersionText, question), deadline)) {
        return kUpgradeConnectFailureText;
    }
    // The answer ends at its zero byte or when the server closes; it may come in pieces.
    std::string answer;
    while (answer.size() < upgrade::kMaxAnswer && answer.find('\0') == std::string::npos) {
        const std::string piece = conn.receiveSome(upgrade::kMaxAnswer - answer.size(), deadline);
        if (piece.empty()) {
            break;
        }
        answer += piece;
    }
    if (const auto zero = answer.find('\0'); zero != std::string::npos) {
        answer.resize(zero);
    }
    if (answer.empty()) {
        return kUpgradeConnectFailureText;
    }
    return answer;
}

std::string configuredUpgradeServer(const SettingsStore& settings) {
    std::string server = settings.readString(keys::kSettings, keys::kUpgradeServer, "");
    return server.empty() ? std::string(kDefaultUpgradeServer) : server;
}

UpgradeQueryJob makeUpgradeQueryJob(const SettingsStore& settings,
                                    std::chrono::milliseconds timeout) {
    return [server = configuredUpgradeServer(settings), timeout] {
        return upgradeQuery(server, upgrade::kQuestion, timeout);
    };
}

std::string upgradeAnswerText(const std::string& answer) {
    return answer == upgrade::kNothingNew ? std::string(kNoUpdateText) : answer;
}

}  // namespace tavu::net
