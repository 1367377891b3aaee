#pragma once

// Private network namespaces with tun and tap devices for tests against the real kernel.

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_tun.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace tavu::test {

// Why kernel tests cannot run here; empty when they can.
inline std::string netnsUnavailableReason() {
    if (::geteuid() != 0) {
        return "needs root to create network namespaces and tun devices";
    }
    if (::access("/dev/net/tun", R_OK | W_OK) != 0) {
        return "/dev/net/tun is not available";
    }
    return {};
}

inline void writeSysctl(const std::string& path, const char* value) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0) {
        [[maybe_unused]] ssize_t n = ::write(fd, value, std::strlen(value));
        ::close(fd);
    }
}

// Runs body on a thread of its own inside a new network namespace, which disappears with the
// thread and the devices' descriptors. Returns why it could not, or an empty string. IPv6 is off
// in the namespace so that the kernel sends nothing of its own over the test devices.
inline std::string runInNewNetns(const std::function<void()>& body) {
    std::string failure;
    std::thread worker([&] {
        if (::unshare(CLONE_NEWNET) != 0) {
            failure = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
            return;
        }
        writeSysctl("/proc/sys/net/ipv6/conf/default/disable_ipv6", "1");
        writeSysctl("/proc/sys/net/ipv6/conf/all/disable_ipv6", "1");
        body();
    });
    worker.join();
    return failure;
}

// A tun (point-to-point) or tap (Ethernet) device that lives while its descriptor is open.
class TunDevice {
  public:
    TunDevice(const std::string& name, bool tap) : name_(name) {
        fd_ = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC | O_NONBLOCK);
        ifreq ifr{};
        ifr.ifr_flags = static_cast<short>((tap ? IFF_TAP : IFF_TUN) | IFF_NO_PI);
        std::strncpy(ifr.ifr_name, name.c_str(), IFNAMSIZ - 1);
        if (fd_ >= 0 && ::ioctl(fd_, TUNSETIFF, &ifr) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~TunDevice() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    TunDevice(const TunDevice&) = delete;
    TunDevice& operator=(const TunDevice&) = delete;

    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    int index() const { return static_cast<int>(::if_nametoindex(name_.c_str())); }

    bool setUp(bool up) const {
        const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq ifr{};
        std::strncpy(ifr.ifr_name, name_.c_str(), IFNAMSIZ - 1);
        bool ok = ::ioctl(s, SIOCGIFFLAGS, &ifr) == 0;
        ifr.ifr_flags = static_cast<short>(up ? ifr.ifr_flags | IFF_UP : ifr.ifr_flags & ~IFF_UP);
        ok = ok && ::ioctl(s, SIOCSIFFLAGS, &ifr) == 0;
        ::close(s);
        return ok;
    }

    // Gives the device a local address and its peer's (which routes the peer over it).
    bool setAddresses(const char* local, const char* peer) const {
        const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ifreq ifr{};
        std::strncpy(ifr.ifr_name, name_.c_str(), IFNAMSIZ - 1);
        auto* sin = reinterpret_cast<sockaddr_in*>(&ifr.ifr_addr);
        sin->sin_family = AF_INET;
        ::inet_pton(AF_INET, local, &sin->sin_addr);
        bool ok = ::ioctl(s, SIOCSIFADDR, &ifr) == 0;
        ::inet_pton(AF_INET, peer, &sin->sin_addr);
        ok = ok && ::ioctl(s, SIOCSIFDSTADDR, &ifr) == 0;
        ::close(s);
        return ok;
    }

    // What the device sent, waiting up to a second for it; empty when nothing came.
    std::vector<unsigned char> readPacket() const {
        pollfd p{fd_, POLLIN, 0};
        std::vector<unsigned char> buf(2048);
        if (::poll(&p, 1, 1000) != 1) {
            return {};
        }
        const ssize_t n = ::read(fd_, buf.data(), buf.size());
        buf.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return buf;
    }

    // Hands the device a frame as if it had arrived from the line.
    bool inject(const std::vector<unsigned char>& frame) const {
        return ::write(fd_, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size());
    }

  private:
    std::string name_;
    int fd_ = -1;
};

// An IPv4 UDP packet from src to dst with the given payload size.
inline std::vector<unsigned char> udpPacket(const char* src, const char* dst, std::uint16_t port,
                                            std::size_t payload) {
    std::vector<unsigned char> p(28 + payload, 0);
    const std::size_t total = p.size();
    p[0] = 0x45;
    p[2] = static_cast<unsigned char>(total >> 8);
    p[3] = static_cast<unsigned char>(total);
    p[8] = 64;
    p[9] = IPPROTO_UDP;
    ::inet_pton(AF_INET, src, &p[12]);
    ::inet_pton(AF_INET, dst, &p[16]);
    std::uint32_t sum = 0;
    for (int i = 0; i < 20; i += 2) {
        sum += (p[i] << 8) | p[i + 1];
    }
    sum = (sum & 0xffff) + (sum >> 16);
    sum = (sum & 0xffff) + (sum >> 16);
    p[10] = static_cast<unsigned char>(~sum >> 8);
    p[11] = static_cast<unsigned char>(~sum);
    p[20] = 0x30;  // source port 12345
    p[21] = 0x39;
    p[22] = static_cast<unsigned char>(port >> 8);
    p[23] = static_cast<unsigned char>(port);
    p[24] = static_cast<unsigned char>((8 + payload) >> 8);
    p[25] = static_cast<unsigned char>(8 + payload);  // UDP checksum 0: none
    return p;
}

}  // namespace tavu::test
