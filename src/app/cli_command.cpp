#include <array>
#include <memory>
#include <ostream>
#include <utility>

#include "app/core_application.h"
#include "app/remote_command.h"
#include "monitor/commands.h"
#include "platform/desktop/single_instance.h"

namespace tavu {

namespace {

constexpr std::array<std::pair<std::string_view, int>, 18> kNamed = {{
    {"connect", CmdConnect},
    {"hangup", CmdHangup},
    {"connections", CmdConnections},
    {"timer", CmdTimer},
    {"check-mail", CmdCheckMail},
    {"check-update", CmdCheckUpdate},
    {"net-tools", CmdInetTools},
    {"performance", CmdPerformance},
    {"preferences", CmdPrefGeneral},
    {"security", CmdSecurity},
    {"skin", CmdSkin},
    {"report", CmdReport},
    {"summary", CmdSummary},
    {"help", CmdHelpContents},
    {"about", CmdAbout},
    {"show", CmdShow},
    {"hide", CmdHide},
    {"exit", CmdExit},
}};

// The Preferences by page: page 0 is the one that also restarts the timers on OK.
constexpr std::array<int, 8> kPreferencePages = {
    CmdMailPreferences, CmdPrefGeneral, CmdPrefConnection, CmdPrefEmail,
    CmdPrefWarnings,    CmdPrefPrice,   CmdPrefSounds,     CmdPrefUpgrade};

}  // namespace

const std::vector<std::string>& remoteCommandNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> out;
        for (const auto& [name, id] : kNamed) {
            out.emplace_back(name);
            if (name == "preferences") {
                out.emplace_back("preferences:N");
            }
        }
        return out;
    }();
    return names;
}

std::optional<int> remoteCommandId(std::string_view name) {
    constexpr std::string_view kPagePrefix = "preferences:";
    if (name.size() == kPagePrefix.size() + 1 &&
        name.substr(0, kPagePrefix.size()) == kPagePrefix) {
        const char digit = name.back();
        if (digit >= '0' && digit <= '7') {
            return kPreferencePages[static_cast<std::size_t>(digit - '0')];
        }
        return std::nullopt;
    }
    for (const auto& [n, id] : kNamed) {
        if (n == name) {
            return id;
        }
    }
    return std::nullopt;
}

int runRemoteCommand(const std::string& name, std::ostream& err) {
    if (!remoteCommandId(name)) {
        err << "tavu: unknown command '" << name << "'. The commands are:\n";
        for (const std::string& n : remoteCommandNames()) {
            err << "  " << n << '\n';
        }
        err << "(preferences:N opens the Preferences at page N, 0 to 7)\n";
        return 2;
    }
    // The channel needs an event loop, and so an application object.
    const auto app = ensureCoreApplication();
    platform::SingleInstance instance;
    if (!instance.sendCommand(QString::fromStdString(name))) {
        err << "TAVU is not running.\n";
        return 1;
    }
    return 0;
}

}  // namespace tavu
