#include "upgrade_server/upgrade_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <thread>

#include "net/upgrade_protocol.h"

namespace tavu::upgrade {

namespace {

std::atomic<int> activeClients{0};

// How long the server waits before it accepts again when the system has no descriptor or
// memory to spare: the pending connection stays in the queue, so trying at once would spin.
constexpr auto kAcceptBackOff = std::chrono::milliseconds(100);

int msUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 24LL * 3600 * 1000));
}

// Sends all of the bytes before the deadline; a client that does not read loses its slot.
void sendAll(int fd, const std::string& bytes, std::chrono::steady_clock::time_point deadline) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n =
            ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        pollfd p{fd, POLLOUT, 0};
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) ||
            ::poll(&p, 1, msUntil(deadline)) <= 0) {
            return;
        }
    }
}

void serveClient(int fd, const ServerOptions& options) {
    const auto deadline = std::chrono::steady_clock::now() + options.timeout;
    std::string bytes;
    char buf[256];
    while (!parseRequest(bytes) && bytes.size() < kMaxRequest) {
        const int left = msUntil(deadline);
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, left) <= 0) {
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
        sendAll(fd, out, std::chrono::steady_clock::now() + options.timeout);
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
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                std::this_thread::sleep_for(kAcceptBackOff);
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
        try {
            std::thread([fd, &options] {
                try {
                    serveClient(fd, options);
                } catch (const std::exception&) {
                    ::close(fd);  // out of memory half-way: this client gets nothing
                }
                --activeClients;
            }).detach();
        } catch (const std::exception&) {
            // No thread to be had (memory, the thread limit): this client is turned away.
            --activeClients;
            ::close(fd);
        }
    }
}

}  // namespace tavu::upgrade
