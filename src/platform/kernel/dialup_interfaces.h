#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tavu {
class SettingsStore;
}

namespace tavu::platform {

// The interface names that count as dial-up when Dialup/Interfaces is absent.
inline constexpr const char* kDefaultDialupInterfaces = "ppp*";

// Gives the current patterns each time it is asked; an empty function stands for the default.
using InterfacePatterns = std::function<std::string()>;

// Whether a name matches one of the space-separated shell patterns ("ppp* dsl?").
bool nameMatchesPatterns(std::string_view name, std::string_view patterns);

// Dialup/Interfaces as the settings hold it now.
std::string dialupInterfacePatterns(const SettingsStore& settings);

// The patterns a source gives, or the default ones when there is no source.
std::string currentPatterns(const InterfacePatterns& source);

}  // namespace tavu::platform
