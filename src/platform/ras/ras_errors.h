#pragma once

#include <string>

namespace tavu::platform {

// The program's own text for a remote-access error code; empty when the code is unknown.
std::string rasErrorText(int code);

}  // namespace tavu::platform
