#include "app/display_check.h"

#include "app/cli.h"

namespace tavu {

bool displayAvailable(const std::function<const char*(const char*)>& env,
                      const std::vector<std::string>& args) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = env(name);
        if (value != nullptr && value[0] != '\0') {
            return true;
        }
    }
    for (const std::string& a : args) {
        if (a == "-platform" || a == "-display" || a.rfind("-platform=", 0) == 0) {
            return true;
        }
    }
    return false;
}

std::string noDisplayText() {
    std::string text =
        "TAVU needs a desktop session (no display found).\n"
        "These commands work without one:\n"
        "  tavu report [--config-dir DIR]              print the connection report\n"
        "  tavu summary [--config-dir DIR] [--filter all|month|today]\n"
        "                                              print the summary\n";
    for (const Subcommand& s : subcommands()) {
        text += s.usage;
    }
    text +=
        "  tavu --help                                 show every command\n"
        "  tavu --version                              show the version\n";
    return text;
}

}  // namespace tavu
