#pragma once

// Error codes of the remote-access service that only the Linux dialler reports, numbered as the
// service numbers them.

namespace tavu::platform {

inline constexpr int ERROR_CANNOT_OPEN_PHONEBOOK = 621;
inline constexpr int ERROR_CORRUPT_PHONEBOOK = 625;
inline constexpr int ERROR_UNKNOWN = 635;
inline constexpr int ERROR_FROM_DEVICE = 651;
inline constexpr int ERROR_DEVICE_NOT_READY = 666;
inline constexpr int ERROR_VOICE_ANSWER = 677;
inline constexpr int ERROR_RASMAN_CANNOT_INITIALIZE = 711;
inline constexpr int ERROR_PPP_TIMEOUT = 718;
inline constexpr int ERROR_PPP_NOT_CONVERGING = 732;
inline constexpr int ERROR_PPP_LOOPBACK_DETECTED = 737;
inline constexpr int ERROR_SCRIPT_SYNTAX = 752;

}  // namespace tavu::platform
