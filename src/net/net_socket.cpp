#include "net/net_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

namespace tavu::net {

namespace {

int msLeft(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 24LL * 3600 * 1000));
}

// Waits for the socket to become ready for `events` before the deadline.
bool waitFor(int fd, short events, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, msLeft(deadline));
        if (n > 0) {
            return true;
        }
        if (n == 0 || errno != EINTR) {
            return false;
        }
    }
}

}  // namespace

std::optional<HostPort> parseHostPort(const std::string& text) {
    HostPort hp;
    std::string portText;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos) {
            return std::nullopt;
        }
        hp.host = text.substr(1, close - 1);
        if (close + 1 < text.size()) {
            if (text[close + 1] != ':') {
                return std::nullopt;
            }
            portText = text.substr(close + 2);
            if (portText.empty()) {
                return std::nullopt;
            }
        }
    } else if (std::count(text.begin(), text.end(), ':') == 1) {
        const auto colon = text.find(':');
        hp.host = text.substr(0, colon);
        portText = text.substr(colon + 1);
        if (portText.empty()) {
            return std::nullopt;
        }
    } else {
        hp.host = text;  // a name, or an IPv6 address without a port
    }
    if (hp.host.empty()) {
        return std::nullopt;
    }
    if (!portText.empty()) {
        const char* end = portText.data() + portText.size();
        auto [p, ec] = std::from_chars(portText.data(), end, hp.port);
        if (ec != std::errc() || p != end || hp.port < 1 || hp.port > 65535) {
            return std::nullopt;
        }
    }
    return hp;
}

std::vector<Address> resolve(const std::string& host, bool ipv4First) {
    std::vector<Address> out;
    if (host.empty()) {
        return out;
    }
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &list) != 0) {
        return out;
    }
    for (addrinfo* ai = list; ai; ai = ai->ai_next) {
        if ((ai->ai_family != AF_INET && ai->ai_family != AF_INET6) ||
            ai->ai_addrlen > sizeof(sockaddr_storage)) {
            continue;
        }
        Address a;
        std::copy_n(reinterpret_cast<const char*>(ai->ai_addr), ai->ai_addrlen,
                    reinterpret_cast<char*>(&a.storage));
        a.length = ai->ai_addrlen;
        out.push_back(a);
    }
    ::freeaddrinfo(list);
    if (ipv4First) {
        std::stable_partition(out.begin(), out.end(),
                              [](const Address& a) { return a.family() == AF_INET; });
    }
    return out;
}

std::string numericText(const Address& address) {
    char buf[INET6_ADDRSTRLEN] = {};
    const void* raw =
        address.family() == AF_INET
            ? static_cast<const void*>(
                  &reinterpret_cast<const sockaddr_in*>(&address.storage)->sin_addr)
            : static_cast<const void*>(
                  &reinterpret_cast<const sockaddr_in6*>(&address.storage)->sin6_addr);
    if (!::inet_ntop(address.family(), raw, buf, sizeof buf)) {
        return {};
    }
    return buf;
}

TcpConnection::~TcpConnection() {
    close();
}

TcpConnection::TcpConnection(TcpConnection&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

TcpConnection& TcpConnection::operator=(TcpConnection&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void TcpConnection::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool TcpConnection::connect(const Address& address, int port, std::chrono::milliseconds timeout) {
    close();
    Address target = address;
    if (target.family() == AF_INET) {
        reinterpret_cast<sockaddr_in*>(&target.storage)->sin_port = htons(port);
    } else {
        reinterpret_cast<sockaddr_in6*>(&target.storage)->sin6_port = htons(port);
    }
    fd_ = ::socket(target.family(), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd_ < 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&target.storage), target.length) != 0) {
        if (errno != EINPROGRESS || !waitFor(fd_, POLLOUT, deadline)) {
            close();
            return false;
        }
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
            close();
            return false;
        }
    }
    return true;
}

bool TcpConnection::sendAll(const std::string& bytes,
                            std::chrono::steady_clock::time_point deadline) {
    std::size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (!waitFor(fd_, POLLOUT, deadline)) {
                return false;
            }
        } else {
            return false;
        }
    }
    return fd_ >= 0;
}

std::string TcpConnection::receiveSome(std::size_t max,
                                       std::chrono::steady_clock::time_point deadline,
                                       bool* closed) {
    if (closed) {
        *closed = false;
    }
    std::string buf(max, '\0');
    while (fd_ >= 0 && max > 0) {
        const ssize_t n = ::recv(fd_, buf.data(), max, 0);
        if (n > 0) {
            buf.resize(static_cast<std::size_t>(n));
            return buf;
        }
        if (n == 0) {
            if (closed) {
                *closed = true;
            }
            break;
        }
        if ((errno != EAGAIN && errno != EINTR) || !waitFor(fd_, POLLIN, deadline)) {
            break;
        }
    }
    return {};
}

}  // namespace tavu::net
