#pragma once

// A Hayes modem on a pseudo-terminal: it echoes what it is sent, answers every AT command with
// OK and every ATD with the next of its scripted answers (BUSY, NO CARRIER, CONNECT, ...; the
// last one repeats). After CONNECT it stays quiet until the line is closed. It records the
// commands it was sent and notices when the program lets go of the line.

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tavu::test {

class ModemEmulator {
  public:
    // silent: the modem answers nothing at all (switched off).
    explicit ModemEmulator(std::vector<std::string> dialAnswers, bool silent = false)
        : answers_(std::move(dialAnswers)), silent_(silent) {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            device_ = ::ptsname(master_);
        }
        thread_ = std::thread([this] { run(); });
    }
    ~ModemEmulator() {
        stop_ = true;
        thread_.join();
        if (master_ >= 0) {
            ::close(master_);
        }
    }
    ModemEmulator(const ModemEmulator&) = delete;
    ModemEmulator& operator=(const ModemEmulator&) = delete;

    bool ok() const { return !device_.empty(); }
    const std::string& device() const { return device_; }

    std::vector<std::string> commands() const {
        std::lock_guard lock(mutex_);
        return commands_;
    }
    int dials() const {
        int n = 0;
        for (const std::string& c : commands()) {
            n += c.rfind("ATD", 0) == 0 ? 1 : 0;
        }
        return n;
    }
    // How often the line was opened and then closed again by everyone.
    int closes() const { return closes_; }
    bool inUse() const { return inUse_; }

    // Waits (up to the limit) until the line has been closed `count` times.
    bool waitForCloses(int count, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (closes_ < count && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return closes_ >= count;
    }

  private:
    void send(const std::string& s) {
        [[maybe_unused]] const ssize_t n = ::write(master_, s.data(), s.size());
    }

    void command(const std::string& line) {
        std::string cmd;
        for (char c : line) {
            cmd += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        }
        if (cmd.rfind("AT", 0) != 0) {
            return;
        }
        std::string answer = "OK";
        if (cmd.rfind("ATD", 0) == 0) {
            std::lock_guard lock(mutex_);
            answer =
                answers_.empty() ? "NO CARRIER" : answers_[std::min(next_, answers_.size() - 1)];
            ++next_;
        }
        {
            std::lock_guard lock(mutex_);
            commands_.push_back(cmd);
        }
        if (!silent_) {
            send("\r\n" + answer + "\r\n");
        }
        online_ = answer.rfind("CONNECT", 0) == 0;
    }

    void run() {
        std::string line;
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (master_ < 0 || ::poll(&p, 1, 20) <= 0) {
                continue;
            }
            char buf[256];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0) {
                // No one holds the other end.
                if (inUse_) {
                    inUse_ = false;
                    online_ = false;
                    line.clear();
                    ++closes_;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            inUse_ = true;
            if (online_) {
                continue;
            }
            if (!silent_) {
                send(std::string(buf, static_cast<std::size_t>(n)));
            }
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == '\r' || buf[i] == '\n') {
                    if (!line.empty()) {
                        command(line);
                    }
                    line.clear();
                } else {
                    line += buf[i];
                }
            }
        }
    }

    std::vector<std::string> answers_;
    bool silent_;
    int master_ = -1;
    std::string device_;
    mutable std::mutex mutex_;
    std::vector<std::string> commands_;
    std::size_t next_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> inUse_{false};
    std::atomic<bool> online_{false};
    std::atomic<int> closes_{0};
    std::thread thread_;
};

}  // namespace tavu::test
