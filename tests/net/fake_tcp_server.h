#pragma once

// A TCP server on a free loopback port whose answer the test writes.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace tavu::test {

class FakeTcpServer {
  public:
    // handler gets each accepted connection in turn; the server closes it afterwards.
    explicit FakeTcpServer(std::function<void(int fd)> handler) : handler_(std::move(handler)) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        ::listen(listener_, 8);
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~FakeTcpServer() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    FakeTcpServer(const FakeTcpServer&) = delete;
    FakeTcpServer& operator=(const FakeTcpServer&) = delete;

    int port() const { return port_; }
    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    int connections() const { return connections_; }

    static void sendBytes(int fd, const std::string& bytes) {
        ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    // What the client sent, until `lineEnds` line feeds came or it stopped for half a second.
    static std::string readLines(int fd, int lineEnds) {
        std::string got;
        char buf[256];
        for (;;) {
            int seen = 0;
            for (char c : got) {
                seen += c == '\n';
            }
            pollfd p{fd, POLLIN, 0};
            if (seen >= lineEnds || ::poll(&p, 1, 500) != 1) {
                return got;
            }
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) {
                return got;
            }
            got.append(buf, static_cast<std::size_t>(n));
        }
    }

  private:
    void run() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 50) != 1) {
                continue;
            }
            const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            ++connections_;
            handler_(fd);
            ::close(fd);
        }
    }

    std::function<void(int)> handler_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<int> connections_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

}  // namespace tavu::test
