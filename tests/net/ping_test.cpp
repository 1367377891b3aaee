#include "net/ping.h"

#include <gtest/gtest.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "net/netns_support.h"

namespace tavu::net {
namespace {

using namespace std::chrono_literals;

void allowDatagramPing(bool allow) {
    test::writeSysctl("/proc/sys/net/ipv4/ping_group_range", allow ? "0 2147483647" : "1 0");
}

// Takes CAP_NET_RAW out of this thread's effective set: no raw sockets any more.
bool dropRawSocketRight() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    if (::syscall(SYS_capget, &header, data) != 0) {
        return false;
    }
    data[CAP_NET_RAW / 32].effective &= ~(1u << (CAP_NET_RAW % 32));
    return ::syscall(SYS_capset, &header, data) == 0;
}

std::uint16_t checksum(const unsigned char* p, std::size_t n) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < n; i += 2) {
        sum += static_cast<std::uint32_t>(p[i] << 8 | p[i + 1]);
    }
    if (n % 2) {
        sum += static_cast<std::uint32_t>(p[n - 1] << 8);
    }
    while (sum >> 16) {
        sum = (sum & 0xffff) + (sum >> 16);
    }
    return static_cast<std::uint16_t>(~sum);
}

// Answers every echo request on the raw socket with `data` instead of the request's data.
class WrongEchoResponder {
  public:
    explicit WrongEchoResponder(std::string data) : data_(std::move(data)) {
        fd_ = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        thread_ = std::thread([this] { run(); });
    }
    ~WrongEchoResponder() {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    bool ok() const { return fd_ >= 0; }

  private:
    void run() {
        std::vector<unsigned char> buf(2048);
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) != 1) {
                continue;
            }
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(fd_, buf.data(), buf.size(), 0,
                                         reinterpret_cast<sockaddr*>(&from), &len);
            const std::size_t ihl = static_cast<std::size_t>(buf[0] & 0x0f) * 4;
            if (n < static_cast<ssize_t>(ihl + 8) || buf[ihl] != 8) {
                continue;  // not a request
            }
            std::vector<unsigned char> reply(buf.begin() + static_cast<long>(ihl),
                                             buf.begin() + static_cast<long>(ihl) + 8);
            reply[0] = 0;
            reply[2] = reply[3] = 0;
            reply.insert(reply.end(), data_.begin(), data_.end());
            const std::uint16_t sum = checksum(reply.data(), reply.size());
            reply[2] = static_cast<unsigned char>(sum >> 8);
            reply[3] = static_cast<unsigned char>(sum);
            ::sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
        }
    }

    std::string data_;
    int fd_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(Ping, LoopbackThroughTheDatagramSocketAndTheRawFallback) {
    EchoResult datagram;
    EchoResult raw;
    EchoResult refused;
    std::string secondLine;
    const std::string why = test::runInLoopbackNetns([&] {
        allowDatagramPing(false);
        raw = echoOnce("127.0.0.1");  // refused datagram socket: a raw one, as root
        allowDatagramPing(true);
        if (!dropRawSocketRight()) {
            return;
        }
        datagram = echoOnce("127.0.0.1");
        secondLine = pingHost("127.0.0.2");
        allowDatagramPing(false);
        refused = echoOnce("127.0.0.1");
    });
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    EXPECT_TRUE(raw.ok) << raw.error;
    EXPECT_EQ(raw.address, "127.0.0.1");
    EXPECT_TRUE(datagram.ok) << datagram.error;
    EXPECT_EQ(datagram.address, "127.0.0.1");
    EXPECT_GE(datagram.rttMs, 0);
    EXPECT_TRUE(secondLine.rfind("[Ping] 127.0.0.2 [", 0) == 0) << secondLine;
    EXPECT_NE(secondLine.find("], replied in RTT:"), std::string::npos) << secondLine;
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(echoLine(refused), std::string("[Ping] ") + kPingNotPermittedText);
}

TEST(Ping, RepliesWithOtherDataOrSizeAreError59) {
    std::string otherData;
    std::string shortData;
    std::string nobody;
    const std::string why = test::runInLoopbackNetns([&] {
        allowDatagramPing(true);
        test::writeSysctl("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1");
        nobody = echoLine(echoOnce("127.0.0.1", 200ms));
        {
            WrongEchoResponder responder(std::string(32, 'X'));
            if (responder.ok()) {
                otherData = pingHost("127.0.0.1");
            }
        }
        WrongEchoResponder responder(std::string(16, 'E'));
        if (responder.ok()) {
            shortData = echoLine(echoOnce("127.0.0.1"));
        }
    });
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    EXPECT_EQ(nobody, "[Ping] Error 11010");
    EXPECT_EQ(otherData, "[Ping] Error 59");
    EXPECT_EQ(shortData, "[Ping] Error 59");
}

TEST(Ping, LinesOfAnAddressWithoutNameAndOfAnUnknownHost) {
    std::string unnamed;
    std::string unknown;
    const std::string why = test::runInLoopbackNetns([&] {
        EchoResult r;
        r.ok = true;
        r.address = "192.0.2.7";
        r.rttMs = 12;
        unnamed = echoLine(r);
        unknown = echoLine(echoOnce("tavu15-no-such-host.invalid"));
    });
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    EXPECT_EQ(unnamed, "[Ping] 192.0.2.7 [192.0.2.7], replied in RTT:12 ms");
    EXPECT_EQ(unknown, "[Ping] Unknown host tavu15-no-such-host.invalid");
}

}  // namespace
}  // namespace tavu::net
