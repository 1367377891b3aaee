#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace tavu {
class SettingsStore;
}

namespace tavu::net {

inline constexpr const char* kDefaultTimeServer = "time.nist.gov";
inline constexpr int kTimePort = 37;
inline constexpr const char* kRemoteTimeUnknown = "???";
inline constexpr const char* kTimeCannotResolve = "Cannot resolve";
inline constexpr const char* kTimeCannotConnect = "Cannot establish connection";
inline constexpr const char* kTimeNoAnswer = "Unable to get time";

// Seconds between 1900-01-01 and 1970-01-01, both 00:00:00 UTC.
inline constexpr std::int64_t kTimeProtocolOffset = 2208988800;

// The moment a time server's 32-bit count of seconds since 1900 stands for, in seconds since
// 1970. The count wraps on 2036-02-07 06:28:16 UTC; a count that would land before 1970 belongs
// to the next era.
std::int64_t timeProtocolToUnix(std::uint32_t seconds);

// A moment as "Thu Jan 01 00:00:00 1970" (UTC, English names, whatever the locale).
std::string formatUtc(std::int64_t unixSeconds);

struct TimeQueryResult {
    bool ok = false;
    std::string text;  // the formatted time, or one of the three failure texts
};

// Asks a time server (host, or host:port; port 37 by default) over TCP. The connection and the
// answer each have the time-out; the four bytes are read however the network splits them.
TimeQueryResult queryTime(const std::string& server,
                          std::chrono::milliseconds timeout = std::chrono::seconds(10));

// The server of the settings (Inet/TimeServer, or the default).
std::string configuredTimeServer(const SettingsStore& settings);

}  // namespace tavu::net
