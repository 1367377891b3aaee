#pragma once

#include <string>

// NetworkManager's numbers (its D-Bus interface) and what the program makes of them. No toolkit,
// no bus: pure functions.

namespace tavu::platform {

// NMDeviceState.
inline constexpr unsigned kNmDevicePrepare = 40;
inline constexpr unsigned kNmDeviceConfig = 50;
inline constexpr unsigned kNmDeviceNeedAuth = 60;
inline constexpr unsigned kNmDeviceIpConfig = 70;
inline constexpr unsigned kNmDeviceIpCheck = 80;
inline constexpr unsigned kNmDeviceSecondaries = 90;
inline constexpr unsigned kNmDeviceActivated = 100;
inline constexpr unsigned kNmDeviceFailed = 120;
// NMActiveConnectionState.
inline constexpr unsigned kNmActiveActivated = 2;
inline constexpr unsigned kNmActiveDeactivated = 4;
// NMMetered.
inline constexpr unsigned kNmMeteredYes = 1;
inline constexpr unsigned kNmMeteredGuessYes = 3;

// Whether a connection of NetworkManager is one the program times: a dial-up type (gsm, cdma,
// pppoe, bluetooth), or metered by its own setting (connection.metered) or by its device's
// Metered property. VPNs never count.
bool nmConnectionCounts(const std::string& type, int connectionMetered, unsigned deviceMetered,
                        bool vpn);

// The dial state a device state of NetworkManager stands for; -1 for none.
int nmDialState(unsigned deviceState);

// How a dial ended, as the program reports it: an error code and what to add to its text
// (empty for nothing).
struct NmFailure {
    int code = 0;
    std::string detail;
};

// The error for a device-state reason (NMDeviceStateReason) of a failed activation. A reason
// without a code of its own gets ERROR_FROM_DEVICE (the modem, the SIM card, the mobile network)
// or ERROR_UNKNOWN, with NetworkManager's meaning of the reason as the detail.
NmFailure nmDeviceFailure(unsigned reason);

// The error for the reason (NMActiveConnectionStateReason) an activation ended with, when its
// device reported no failure first.
NmFailure nmActivationEnd(unsigned reason);

}  // namespace tavu::platform
