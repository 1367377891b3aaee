#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tavu {

// Whether the windows have somewhere to go: DISPLAY or WAYLAND_DISPLAY is set, or the window
// system was chosen explicitly (-platform, -display, QT_QPA_PLATFORM). `env` reads one variable
// (nullptr when unset); args are the program's arguments.
bool displayAvailable(const std::function<const char*(const char*)>& env,
                      const std::vector<std::string>& args);

// What `tavu` says where there is no display: the reason and the commands that work anyway.
std::string noDisplayText();

}  // namespace tavu
