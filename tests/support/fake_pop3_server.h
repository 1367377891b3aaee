#pragma once

// A mail server on loopback that follows a script, for the exact cases real servers do not
// produce. It serves one connection and records every line the client sent.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tavu::test {

struct ServerStep {
    enum Kind { Send, Read, Pause, Close };
    Kind kind;
    std::string text;  // Send: the bytes; Pause: milliseconds
};

inline ServerStep say(std::string text) {
    return {ServerStep::Send, std::move(text)};
}
inline ServerStep hear() {
    return {ServerStep::Read, {}};
}
inline ServerStep pauseMs(int ms) {
    return {ServerStep::Pause, std::to_string(ms)};
}
inline ServerStep hangUp() {
    return {ServerStep::Close, {}};
}

// The greeting, USER, PASS and STAT, answered with "+OK" and statReply.
inline std::vector<ServerStep> pop3Dialogue(const std::string& statReply) {
    return {say("+OK ready\r\n"), hear(), say("+OK\r\n"), hear(),
            say("+OK\r\n"),       hear(), say(statReply)};
}

class FakePop3Server {
  public:
    explicit FakePop3Server(std::vector<ServerStep> script) : script_(std::move(script)) {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(listen_, 4);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~FakePop3Server() {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }

    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    int port() const { return port_; }

    // Every line the client sent so far, line ends included.
    std::vector<std::string> received() {
        const std::lock_guard lock(mutex_);
        return lines_;
    }
    // Waits (up to 5 s) until the client closed the connection.
    std::vector<std::string> receivedWhenClosed() {
        for (int i = 0; i < 500 && !closed_; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return received();
    }

  private:
    bool waitReadable(int fd, int ms) {
        pollfd p{fd, POLLIN, 0};
        return ::poll(&p, 1, ms) > 0;
    }
    // One line from the client; false when it closed.
    bool readLine(int fd) {
        std::string line;
        char c = 0;
        while (!stop_) {
            if (!waitReadable(fd, 50)) {
                continue;
            }
            if (::recv(fd, &c, 1, 0) != 1) {
                return false;
            }
            line.push_back(c);
            if (c == '\n') {
                const std::lock_guard lock(mutex_);
                lines_.push_back(line);
                return true;
            }
        }
        return false;
    }
    void serve() {
        int fd = -1;
        while (!stop_ && fd < 0) {
            if (waitReadable(listen_, 50)) {
                fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            }
        }
        if (fd < 0) {
            return;
        }
        bool open = true;
        for (const ServerStep& s : script_) {
            if (!open) {
                break;
            }
            if (s.kind == ServerStep::Close) {
                ::shutdown(fd, SHUT_RDWR);
                open = false;
            } else if (s.kind == ServerStep::Send) {
                ::send(fd, s.text.data(), s.text.size(), MSG_NOSIGNAL);
            } else if (s.kind == ServerStep::Read) {
                open = readLine(fd);
            } else {
                const auto until =
                    std::chrono::steady_clock::now() + std::chrono::milliseconds(std::stoi(s.text));
                while (!stop_ && std::chrono::steady_clock::now() < until) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            }
        }
        // Record what else comes until the client closes.
        while (open && readLine(fd)) {
        }
        ::close(fd);
        closed_ = true;
    }

    std::vector<ServerStep> script_;
    int listen_ = -1;
    int port_ = 0;
    std::thread thread_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> closed_{false};
};

}  // namespace tavu::test
