#pragma once

#include <string_view>
#include <utility>
#include <vector>

#include "platform/kernel/counters.h"
#include "platform/kernel/linux_netlink.h"

namespace tavu::platform {

// The counters of all dial-up interfaces (netlink::isDialupLink) among the given links. The
// kernel keeps no compression ratios and no timeout count; those stay 0.
CounterValues sumDialupCounters(const std::vector<netlink::LinkInfo>& links,
                                std::string_view patterns = kDefaultDialupInterfaces);

// Dial-up counters on Linux: the kernel's interface statistics, taken in one link dump per read,
// of the same interfaces the remote-access side lists.
class LinuxDialupCounters : public DialupCounters {
  public:
    explicit LinuxDialupCounters(InterfacePatterns patterns = {})
        : patterns_(std::move(patterns)) {}

    bool read(CounterValues& out) override;
    // A connection whose device is a dial-up interface, from the links of the last read().
    bool readOf(std::uint64_t handle, std::string_view device, CounterValues& out) override;

  private:
    InterfacePatterns patterns_;
    std::vector<netlink::LinkInfo> links_;  // kept to reuse its storage from read to read
};

}  // namespace tavu::platform
