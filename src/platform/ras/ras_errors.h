#pragma once

#include <string>
#include <string_view>

namespace tavu::platform {

// The dial-up services whose error texts differ for a few codes.
enum class RasBackend {
    Simulated,       // the simulated line: only the codes every service shares have a text
    Pppd,            // pppd and chat on a modem
    NetworkManager,  // NetworkManager over the system bus
};

// The program's own text for a remote-access error code as the given service shows it; empty
// when the code has no text there.
std::string rasErrorText(int code, RasBackend backend = RasBackend::Simulated);

// What a failure added to a code's text: the text with the detail in brackets, one full stop at
// the end even when either brings its own ("The line is busy (pppd said so)."). A detail without a
// text, or one that stands for the whole message, is shown alone, ending in one full stop. An
// empty detail leaves the text as it is.
std::string rasTextWithDetail(std::string text, std::string_view detail, bool detailAlone = false);

}  // namespace tavu::platform
