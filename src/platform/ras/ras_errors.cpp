#include "platform/ras/ras_errors.h"

#include "platform/ras/ras_codes.h"
#include "platform/ras/remote_access.h"

namespace tavu::platform {

namespace {

// The texts of the codes that every service reports.
const char* sharedText(int code) {
    switch (code) {
        case ERROR_ACCESS_DENIED:
            return "Access is denied: you are not allowed to change this connection.";
        case ERROR_INVALID_HANDLE:
            return "The connection does not exist (any more).";
        case ERROR_NOT_SUPPORTED:
            return "This is not supported on this system yet.";
        case ERROR_CANNOT_FIND_PHONEBOOK_ENTRY:
            return "The phone-book entry cannot be found.";
        case ERROR_REMOTE_DISCONNECTION:
            return "The connection was closed by the remote computer.";
        case ERROR_HARDWARE_FAILURE:
            return "The connection was closed because of a hardware failure of the modem.";
        case ERROR_USER_DISCONNECTION:
            return "The connection was closed by the user.";
        case ERROR_PORT_NOT_AVAILABLE:
            return "The modem is not available: it is missing or used by another program.";
        case ERROR_LINE_BUSY:
            return "The line is busy.";
        case ERROR_NO_ANSWER:
            return "The remote computer did not answer.";
        case ERROR_NO_CARRIER:
            return "There was no carrier on the line.";
        case ERROR_NO_DIALTONE:
            return "There is no dial tone.";
        case ERROR_AUTHENTICATION_FAILURE:
            return "Access was denied because the user name or password is not valid.";
        default:
            return nullptr;
    }
}

// The texts of the codes that only the real dial-up services report. The simulated line has no
// text for them, so a script that ends a dial with one of them shows the dial window's own
// "Undefined RAS Dial Error" text.
const char* dialupText(int code) {
    switch (code) {
        case ERROR_UNKNOWN:
            return "The dial failed for a reason the program does not know.";
        case ERROR_FROM_DEVICE:
            return "The modem reported an error.";
        default:
            return nullptr;
    }
}

const char* pppdText(int code) {
    switch (code) {
        case ERROR_CANNOT_OPEN_PHONEBOOK:
            return "The phone book (the folder of pppd's peer files) cannot be read.";
        case ERROR_CORRUPT_PHONEBOOK:
            return "The phone-book entry cannot be used.";
        case ERROR_DEVICE_NOT_READY:
            return "The modem is not answering: check that it is switched on and connected.";
        case ERROR_VOICE_ANSWER:
            return "A person answered the call, not a modem.";
        case ERROR_RASMAN_CANNOT_INITIALIZE:
            return "This system's kernel has no support for PPP, so pppd cannot make the "
                   "connection (pppd ended with status 4). Load the ppp_generic module or use a "
                   "kernel with PPP support.";
        case ERROR_PPP_TIMEOUT:
            return "The remote computer stopped answering.";
        case ERROR_PPP_NOT_CONVERGING:
            return "This computer and the remote computer could not agree on the PPP "
                   "connection.";
        case ERROR_PPP_LOOPBACK_DETECTED:
            return "The line is looped back: the modem talks to itself.";
        case ERROR_SCRIPT_SYNTAX:
            return "The modem's chat script could not be run.";
        default:
            return nullptr;
    }
}

const char* networkManagerText(int code) {
    switch (code) {
        case ERROR_CANNOT_OPEN_PHONEBOOK:
            return "NetworkManager's connections cannot be read.";
        default:
            return nullptr;
    }
}

bool endsSentence(std::string_view s) {
    return !s.empty() && (s.back() == '.' || s.back() == '!' || s.back() == '?');
}

}  // namespace

std::string rasErrorText(int code, RasBackend backend) {
    const char* text = nullptr;
    switch (backend) {
        case RasBackend::Simulated:
            break;
        case RasBackend::Pppd:
            text = pppdText(code);
            break;
        case RasBackend::NetworkManager:
            text = networkManagerText(code);
            break;
    }
    if (text == nullptr && backend != RasBackend::Simulated) {
        text = dialupText(code);
    }
    if (text == nullptr) {
        text = sharedText(code);
    }
    return text != nullptr ? std::string(text) : std::string();
}

std::string rasTextWithDetail(std::string text, std::string_view detail, bool detailAlone) {
    if (detail.empty()) {
        return text;
    }
    if (text.empty() || detailAlone) {
        std::string alone(detail);
        if (!endsSentence(alone)) {
            alone += '.';
        }
        return alone;
    }
    while (!detail.empty() && detail.back() == '.') {
        detail.remove_suffix(1);
    }
    while (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text + " (" + std::string(detail) + ").";
}

}  // namespace tavu::platform
