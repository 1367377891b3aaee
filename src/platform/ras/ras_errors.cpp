#include "platform/ras/ras_errors.h"

#include "platform/ras/remote_access.h"

namespace tavu::platform {

std::string rasErrorText(int code) {
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
            return {};
    }
}

}  // namespace tavu::platform
