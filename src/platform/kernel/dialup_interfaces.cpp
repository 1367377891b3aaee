#include "platform/kernel/dialup_interfaces.h"

#include <fnmatch.h>

#include "core/settings_keys.h"
#include "core/settings_store.h"

namespace tavu::platform {

bool nameMatchesPatterns(std::string_view name, std::string_view patterns) {
    if (name.empty()) {
        return false;
    }
    const std::string subject(name);
    std::size_t i = 0;
    while (i < patterns.size()) {
        const std::size_t start = patterns.find_first_not_of(" \t", i);
        if (start == std::string_view::npos) {
            break;
        }
        std::size_t end = patterns.find_first_of(" \t", start);
        if (end == std::string_view::npos) {
            end = patterns.size();
        }
        const std::string pattern(patterns.substr(start, end - start));
        if (::fnmatch(pattern.c_str(), subject.c_str(), 0) == 0) {
            return true;
        }
        i = end;
    }
    return false;
}

std::string dialupInterfacePatterns(const SettingsStore& settings) {
    return settings.readString(keys::kDialup, keys::kInterfaces, kDefaultDialupInterfaces);
}

std::string currentPatterns(const InterfacePatterns& source) {
    return source ? source() : std::string(kDefaultDialupInterfaces);
}

}  // namespace tavu::platform
