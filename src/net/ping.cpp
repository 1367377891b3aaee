#include "net/ping.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <vector>

#include "net/lookup.h"
#include "net/net_socket.h"

namespace tavu::net {

namespace {

using Clock = std::chrono::steady_clock;

std::uint16_t checksum(const unsigned char* data, std::size_t size) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        sum += static_cast<std::uint32_t>(data[i] << 8 | data[i + 1]);
    }
    if (size % 2) {
        sum += static_cast<std::uint32_t>(data[size - 1] << 8);
    }
    while (sum >> 16) {
        sum = (sum & 0xffff) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

int codeOfIcmpError(int type, int code) {
    if (type == 11) {
        return kPingTtlExpired;
    }
    return code == 0 ? kPingNetUnreachable : kPingHostUnreachable;
}

// The socket of one echo; closed when it goes.
struct EchoSocket {
    int fd = -1;
    bool raw = false;
    ~EchoSocket() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

bool openEchoSocket(EchoSocket& s, EchoResult& result) {
    s.fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (s.fd >= 0) {
        const int on = 1;
        ::setsockopt(s.fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
        return true;
    }
    const int datagramError = errno;
    s.fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (s.fd >= 0) {
        s.raw = true;
        return true;
    }
    result.error = datagramError;
    if (datagramError == EACCES || datagramError == EPERM) {
        result.notAllowed = kPingNotPermittedText;
    }
    return false;
}

// The replies of other echoes and other programs are told apart by identifier and sequence.
std::uint16_t nextSequence() {
    static std::atomic<std::uint16_t> sequence{0};
    return ++sequence;
}

// Reads an ICMP error the kernel queued for a datagram socket; 0 when there was none.
int queuedIcmpError(int fd) {
    char control[512];
    unsigned char data[256];
    iovec iov{data, sizeof data};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    if (::recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT) < 0) {
        return 0;
    }
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_RECVERR) {
            const auto* ee = reinterpret_cast<const sock_extended_err*>(CMSG_DATA(c));
            if (ee->ee_origin == SO_EE_ORIGIN_ICMP) {
                return codeOfIcmpError(ee->ee_type, ee->ee_code);
            }
            return ee->ee_errno ? static_cast<int>(ee->ee_errno) : kPingHostUnreachable;
        }
    }
    return 0;
}

}  // namespace

EchoResult echoOnce(const std::string& host, std::chrono::milliseconds timeout) {
    EchoResult result;
    result.host = host;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    if (::inet_pton(AF_INET, host.c_str(), &target.sin_addr) != 1) {
        const std::vector<Address> addresses = resolve(host, true);
        if (addresses.empty() || addresses.front().family() != AF_INET) {
            result.error = kPingHostNotFound;
            return result;
        }
        target.sin_addr =
            reinterpret_cast<const sockaddr_in*>(&addresses.front().storage)->sin_addr;
    }

    EchoSocket s;
    if (!openEchoSocket(s, result)) {
        return result;
    }
    const int ttl = kEchoTtl;
    const int tos = 0;
    ::setsockopt(s.fd, IPPROTO_IP, IP_TTL, &ttl, sizeof ttl);
    ::setsockopt(s.fd, IPPROTO_IP, IP_TOS, &tos, sizeof tos);

    // The request: type 8, code 0, checksum, identifier, sequence, the data.
    const std::uint16_t id = static_cast<std::uint16_t>(::getpid() ^ 0x7a5e);
    const std::uint16_t seq = nextSequence();
    std::vector<unsigned char> request(8 + kEchoDataSize,
                                       static_cast<unsigned char>(kEchoDataByte));
    request[0] = 8;
    request[1] = 0;
    request[2] = request[3] = 0;
    request[4] = static_cast<unsigned char>(id >> 8);
    request[5] = static_cast<unsigned char>(id);
    request[6] = static_cast<unsigned char>(seq >> 8);
    request[7] = static_cast<unsigned char>(seq);
    const std::uint16_t sum = checksum(request.data(), request.size());
    request[2] = static_cast<unsigned char>(sum >> 8);
    request[3] = static_cast<unsigned char>(sum);

    const auto sent = Clock::now();
    const auto deadline = sent + timeout;
    if (::sendto(s.fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&target),
                 sizeof target) < 0) {
        result.error = errno;
        return result;
    }

    std::vector<unsigned char> buf(28 + 8 + 1500);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{s.fd, POLLIN, 0};
        const int n = left > 0 ? ::poll(&p, 1, static_cast<int>(left)) : 0;
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            result.error = n == 0 ? kPingTimedOut : errno;
            return result;
        }
        if (!s.raw && (p.revents & POLLERR)) {
            if (const int code = queuedIcmpError(s.fd)) {
                result.error = code;
                return result;
            }
            continue;
        }
        sockaddr_in from{};
        socklen_t fromLen = sizeof from;
        const ssize_t got = ::recvfrom(s.fd, buf.data(), buf.size(), MSG_DONTWAIT,
                                       reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (got < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                continue;
            }
            result.error = errno;
            return result;
        }
        std::size_t off = 0;
        if (s.raw) {
            off = static_cast<std::size_t>(buf[0] & 0x0f) * 4;  // the IP header comes first
        }
        const std::size_t size = static_cast<std::size_t>(got);
        if (size < off + 8) {
            continue;
        }
        const unsigned char* icmp = buf.data() + off;
        const std::size_t icmpSize = size - off;
        const auto field = [](const unsigned char* p) {
            return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
        };
        const int type = icmp[0];
        if (type == 0) {
            // A datagram socket gets only its own replies, with the identifier the kernel chose.
            if ((s.raw && field(icmp + 4) != id) || field(icmp + 6) != seq) {
                continue;
            }
            const int rtt = static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count());
            const std::size_t dataSize = icmpSize - 8;
            const bool dataRight = dataSize == static_cast<std::size_t>(kEchoDataSize) &&
                                   std::all_of(icmp + 8, icmp + icmpSize,
                                               [](unsigned char c) { return c == kEchoDataByte; });
            if (!dataRight) {
                result.error = kPingUnexpectedReply;
                return result;
            }
            char text[INET_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
            result.ok = true;
            result.address = text;
            result.rttMs = rtt;
            return result;
        }
        if (s.raw && (type == 3 || type == 11) && icmpSize >= 8 + 20 + 8) {
            // The error quotes the request: its IP header, then the first 8 bytes of the echo.
            const unsigned char* quoted = icmp + 8;
            const unsigned char* echo = quoted + static_cast<std::size_t>(quoted[0] & 0x0f) * 4;
            if (echo + 8 <= icmp + icmpSize && echo[0] == 8 && field(echo + 4) == id &&
                field(echo + 6) == seq) {
                result.error = codeOfIcmpError(type, icmp[1]);
                return result;
            }
        }
    }
}

std::string echoLine(const EchoResult& result) {
    if (result.ok) {
        std::string name = reverseName(result.address);
        if (name.empty()) {
            name = result.address;
        }
        return "[Ping] " + result.address + " [" + name +
               "], replied in RTT:" + std::to_string(result.rttMs) + " ms";
    }
    if (!result.notAllowed.empty()) {
        return "[Ping] " + result.notAllowed;
    }
    if (result.error == kPingHostNotFound) {
        return result.host.empty() ? "[Ping] No host to ping"
                                   : "[Ping] Unknown host " + result.host;
    }
    return "[Ping] Error " + std::to_string(result.error);
}

std::string pingHost(const std::string& host) {
    echoOnce(host);
    return echoLine(echoOnce(host));
}

}  // namespace tavu::net
