#pragma once

#include <string>

namespace tavu {

class Prompter;
namespace platform {
class Shell;
}  // namespace platform

// Opens the manual in the desktop's browser; where none can be started or the opener fails, says so
// and names the manual's file, so that it can be opened by hand.
void openManual(platform::Shell& shell, Prompter& prompter, const std::string& path);

std::string noBrowserText(const std::string& path);

}  // namespace tavu
