#pragma once

// Private network (and mount) namespaces with the loopback device up, for tests against the
// real kernel. Root only.

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "platform/linux_netns.h"

namespace tavu::test {

inline bool bringLoopbackUp() {
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(s, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags = static_cast<short>(ifr.ifr_flags | IFF_UP);
    ok = ok && ::ioctl(s, SIOCSIFFLAGS, &ifr) == 0;
    ::close(s);
    return ok;
}

// Runs body on a thread of its own in a new network namespace whose loopback is up; with
// `hostsFile`, also in a new mount namespace where that file stands for /etc/hosts. Returns
// why it could not, or an empty string.
inline std::string runInLoopbackNetns(const std::function<void()>& body,
                                      const std::string& hostsFile = {}) {
    if (::geteuid() != 0) {
        return "needs root for network namespaces";
    }
    std::string failure;
    std::thread worker([&] {
        int flags = CLONE_NEWNET;
        if (!hostsFile.empty()) {
            flags |= CLONE_NEWNS;
        }
        if (::unshare(flags) != 0) {
            failure = std::string("unshare: ") + std::strerror(errno);
            return;
        }
        if (!hostsFile.empty() &&
            (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
             ::mount(hostsFile.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0)) {
            failure = std::string("mount: ") + std::strerror(errno);
            return;
        }
        if (!bringLoopbackUp()) {
            failure = "cannot bring lo up";
            return;
        }
        body();
    });
    worker.join();
    return failure;
}

}  // namespace tavu::test
