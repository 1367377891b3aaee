#pragma once

#include <chrono>
#include <string>

namespace tavu::net {

// Error codes of an echo, beside the system's own error numbers.
inline constexpr int kPingUnexpectedReply = 59;  // a reply with the wrong size or data
inline constexpr int kPingHostNotFound = 11001;
inline constexpr int kPingNetUnreachable = 11002;
inline constexpr int kPingHostUnreachable = 11003;
inline constexpr int kPingTimedOut = 11010;
inline constexpr int kPingTtlExpired = 11013;

// Said when the system lets this user open neither kind of ICMP socket.
inline constexpr const char* kPingNotPermittedText =
    "Ping is not permitted for this user: allow it with the system setting "
    "net.ipv4.ping_group_range (it must include one of the user's groups)";

// The fixed echo: time-to-live 10, 32 data bytes of 'E', one second to answer.
inline constexpr int kEchoTtl = 10;
inline constexpr int kEchoDataSize = 32;
inline constexpr char kEchoDataByte = 'E';

struct EchoResult {
    bool ok = false;
    std::string address;  // the replying address, dotted
    int rttMs = 0;
    int error = 0;           // when not ok: the code of the failing step
    std::string notAllowed;  // when not ok and the system refused ICMP sockets: why
    std::string host;        // the host asked for, as given
};

// One echo to a dotted address, or to the first IPv4 address of a host name. Blocks for up to
// the time-out plus the name lookup. Uses an unprivileged ICMP datagram socket, or a raw socket
// when that is refused and the program may open one.
EchoResult echoOnce(const std::string& host,
                    std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));

// The list line of an echo: "[Ping] 10.0.0.1 [name], replied in RTT:3 ms" (the address stands
// for the name when it has none), "[Ping] Unknown host NAME" for a name that does not resolve
// ("[Ping] No host to ping" for none), "[Ping] Error 11010" or the refusal text.
std::string echoLine(const EchoResult& result);

// The ping command: one echo whose result is dropped, then a second one whose line is returned.
// Up to two time-outs; run it off the window's thread.
std::string pingHost(const std::string& host);

}  // namespace tavu::net
