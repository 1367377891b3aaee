#include "upgrade_server/upgrade_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "net/upgrade_protocol.h"

namespace tavu::upgrade {

namespace {

std::atomic<int> activeClients{0};

void serveClient(int fd, const ServerOptions& options) {
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    std::string bytes;
    char buf[256];
    while (!parseRequest(bytes) && bytes.size() < kMaxRequest) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) {
            break;  // silent too long
        }
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) {
            break;
        }
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    const std::string answer = answerFor(bytes, options);
    if (!answer.empty()) {
        std::string out = answer;
        out.push_back('\0');
        std::size_t sent = 0;
        while (sent < out.size()) {
            const ssize_t n = ::send(fd, out.data() + sent, out.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) {
                break;
            }
            sent += static_cast<std::size_t>(n);
        }
    }
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
}

}  // namespace

std::string answerFor(const std::string& requestBytes, const ServerOptions& options) {
    const auto request = parseRequest(requestBytes);
    if (!request || request->question != kQuestion) {
        return {};
    }
    return request->version == options.currentVersion ? std::string(kNothingNew) : options.message;
}

int runServer(const ServerOptions& options, void (*ready)(const std::string&, int)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(options.port));
    if (::inet_pton(AF_INET, options.bind.c_str(), &addr.sin_addr) != 1) {
        std::fprintf(stderr, "tavu-upgrade-server: %s is not an IPv4 address\n",
                     options.bind.c_str());
        return 1;
    }
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (listener < 0 || ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener, 64) != 0) {
        std::fprintf(stderr, "tavu-upgrade-server: cannot listen on %s:%d: %s\n",
                     options.bind.c_str(), options.port, std::strerror(errno));
        return 1;
    }
    socklen_t len = sizeof addr;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
    if (ready) {
        ready(options.bind, ntohs(addr.sin_port));
    }
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED || errno == EMFILE || errno == ENFILE) {
                continue;
            }
            std::fprintf(stderr, "tavu-upgrade-server: accept: %s\n", std::strerror(errno));
            return 1;
        }
        if (activeClients.load() >= options.maxClients) {
            ::close(fd);
            continue;
        }
        ++activeClients;
        std::thread([fd, &options] {
            serveClient(fd, options);
            --activeClients;
        }).detach();
    }
}

}  // namespace tavu::upgrade
