#include "platform/ras/networkmanager/nm_states.h"

#include "platform/ras/ras_codes.h"
#include "platform/ras/remote_access.h"

namespace tavu::platform {

namespace {

bool isDialupType(const std::string& type) {
    return type == "gsm" || type == "cdma" || type == "pppoe" || type == "bluetooth";
}

// What NetworkManager means by a device-state reason that has no error code of its own, in the
// program's words; null for a reason the program does not describe.
const char* deviceReasonText(unsigned reason) {
    switch (reason) {
        case 4:
            return "the connection's settings could not be applied";
        case 5:
            return "no IP configuration could be obtained";
        case 6:
            return "the IP configuration is no longer valid";
        case 12:
            return "PPP could not be started";
        case 15:
        case 16:
        case 17:
            return "DHCP could not configure the connection";
        case 28:
            return "the modem could not be initialised";
        case 29:
            return "the mobile network refused the access point (APN)";
        case 30:
            return "the modem is not searching for a mobile network";
        case 31:
            return "the mobile network denied the registration";
        case 32:
            return "the registration with the mobile network timed out";
        case 33:
            return "the registration with the mobile network failed";
        case 34:
            return "the SIM card's PIN check failed";
        case 35:
            return "the device's firmware is missing";
        case 36:
            return "the device was removed";
        case 37:
            return "the computer is going to sleep";
        case 38:
            return "the connection was deleted";
        case 44:
            return "the Bluetooth connection failed";
        case 45:
            return "the SIM card is not inserted";
        case 46:
            return "the SIM card needs its PIN";
        case 47:
            return "the SIM card needs its PUK";
        case 48:
            return "the SIM card is not the right one";
        case 50:
            return "a connection this one depends on failed";
        case 51:
            return "the ADSL bridge (RFC 2684) failed";
        case 57:
            return "the modem failed or is no longer available";
        case 59:
            return "the SIM card's PIN was wrong";
        default:
            return nullptr;
    }
}

// The reasons that come from the modem, its SIM card or the mobile network.
bool isModemReason(unsigned reason) {
    return (reason >= 28 && reason <= 34) || (reason >= 45 && reason <= 48) || reason == 44 ||
           reason == 57 || reason == 59;
}

}  // namespace

bool nmConnectionCounts(const std::string& type, int connectionMetered, unsigned deviceMetered,
                        bool vpn) {
    if (vpn || type == "vpn" || type == "wireguard") {
        return false;
    }
    return isDialupType(type) || connectionMetered == static_cast<int>(kNmMeteredYes) ||
           deviceMetered == kNmMeteredYes || deviceMetered == kNmMeteredGuessYes;
}

int nmDialState(unsigned deviceState) {
    switch (deviceState) {
        case kNmDevicePrepare:
            return RASCS_OpenPort;
        case kNmDeviceConfig:
            return RASCS_ConnectDevice;
        case kNmDeviceNeedAuth:
            return RASCS_Authenticate;
        case kNmDeviceIpConfig:
            return RASCS_AuthProject;
        case kNmDeviceIpCheck:
        case kNmDeviceSecondaries:
            return RASCS_LogonNetwork;
        case kNmDeviceActivated:
            return RASCS_Connected;
        default:
            return -1;
    }
}

NmFailure nmDeviceFailure(unsigned reason) {
    switch (reason) {
        case 23:  // modem busy
            return {ERROR_LINE_BUSY, {}};
        case 24:  // no dial tone
            return {ERROR_NO_DIALTONE, {}};
        case 25:  // no carrier
            return {ERROR_NO_CARRIER, {}};
        case 26:  // dial time-out
            return {ERROR_NO_ANSWER, {}};
        case 27:  // dial failed
            return {ERROR_FROM_DEVICE, {}};
        case 7:   // secrets were needed and not given
        case 14:  // PPP failed: how pppd ends when the peer refuses the login
            return {ERROR_AUTHENTICATION_FAILURE, {}};
        case 13:  // PPP disconnected: the link went down, whoever ended it
            return {ERROR_REMOTE_DISCONNECTION, {}};
        case 43:  // modem not found
        case 52:  // ModemManager not available
            return {ERROR_PORT_NOT_AVAILABLE, {}};
        default:
            break;
    }
    if (const char* text = deviceReasonText(reason)) {
        return {isModemReason(reason) ? ERROR_FROM_DEVICE : ERROR_UNKNOWN, text};
    }
    return {ERROR_UNKNOWN, "NetworkManager's reason " + std::to_string(reason)};
}

NmFailure nmActivationEnd(unsigned reason) {
    switch (reason) {
        case 2:  // deactivated by a user
            return {ERROR_USER_DISCONNECTION, {}};
        case 6:  // timed out
            return {ERROR_NO_ANSWER, {}};
        case 9:   // no secrets
        case 10:  // login failed
            return {ERROR_AUTHENTICATION_FAILURE, {}};
        default:
            return {ERROR_UNKNOWN, "NetworkManager's reason " + std::to_string(reason) +
                                       " for the end of the activation"};
    }
}

}  // namespace tavu::platform
