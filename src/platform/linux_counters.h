#pragma once

#include <vector>

#include "platform/counters.h"
#include "platform/linux_netlink.h"

namespace tavu::platform {

// The counters of all dial-up interfaces (point-to-point and up) among the given links. The
// kernel keeps no compression ratios and no timeout count; those stay 0.
CounterValues sumDialupCounters(const std::vector<netlink::LinkInfo>& links);

// Dial-up counters on Linux: the kernel's interface statistics, taken in one link dump per read.
class LinuxDialupCounters : public DialupCounters {
  public:
    bool read(CounterValues& out) override;

  private:
    std::vector<netlink::LinkInfo> links_;  // kept to reuse its storage from read to read
};

}  // namespace tavu::platform
