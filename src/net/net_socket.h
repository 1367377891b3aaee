#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>

namespace tavu::net {

// A host and an optional port, from "host", "host:port", "[v6]:port" or a bare IPv6 address.
struct HostPort {
    std::string host;
    int port = 0;  // 0: the service's own port
};
std::optional<HostPort> parseHostPort(const std::string& text);

// One resolved address of a host.
struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family() const { return storage.ss_family; }
};

// The addresses of a host name or a numeric address, in the resolver's order; IPv4 ones first
// when `ipv4First`. Empty when the name does not resolve.
std::vector<Address> resolve(const std::string& host, bool ipv4First = true);

// The numeric text of an address ("10.0.0.1", "::1").
std::string numericText(const Address& address);

// A TCP connection that closes its socket when it goes.
class TcpConnection {
  public:
    TcpConnection() = default;
    ~TcpConnection();
    TcpConnection(TcpConnection&& other) noexcept;
    TcpConnection& operator=(TcpConnection&& other) noexcept;
    TcpConnection(const TcpConnection&) = delete;
    TcpConnection& operator=(const TcpConnection&) = delete;

    // Connects to the address and port within the time-out; false when it could not.
    bool connect(const Address& address, int port, std::chrono::milliseconds timeout);
    bool isOpen() const { return fd_ >= 0; }

    // Sends all of the bytes before the deadline; false otherwise.
    bool sendAll(const std::string& bytes, std::chrono::steady_clock::time_point deadline);
    // Reads whatever comes next, at most `max` bytes, waiting until the deadline. Empty when the
    // peer closed, the deadline passed or an error happened (`closed` tells the first apart).
    std::string receiveSome(std::size_t max, std::chrono::steady_clock::time_point deadline,
                            bool* closed = nullptr);
    void close();

  private:
    int fd_ = -1;
};

}  // namespace tavu::net
