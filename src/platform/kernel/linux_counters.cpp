#include "platform/kernel/linux_counters.h"

#include <algorithm>
#include <limits>

namespace tavu::platform {

namespace {

// The counters are signed; a kernel count beyond that range stays at the largest value.
std::int64_t clampAdd(std::int64_t sum, std::uint64_t value) {
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    const std::uint64_t room = kMax - static_cast<std::uint64_t>(sum);
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(sum) + std::min(value, room));
}

}  // namespace

CounterValues sumDialupCounters(const std::vector<netlink::LinkInfo>& links,
                                std::string_view patterns) {
    CounterValues v{};
    for (const auto& link : links) {
        if (!link.hasStats || !netlink::isDialupLink(link, patterns)) {
            continue;
        }
        const netlink::LinkStats& s = link.stats;
        v[BytesReceived] = clampAdd(v[BytesReceived], s.rxBytes);
        v[BytesTransmitted] = clampAdd(v[BytesTransmitted], s.txBytes);
        v[FramesReceived] = clampAdd(v[FramesReceived], s.rxPackets);
        v[FramesTransmitted] = clampAdd(v[FramesTransmitted], s.txPackets);
        v[CrcErrors] = clampAdd(v[CrcErrors], s.rxCrcErrors);
        v[BufferOverrunErrors] = clampAdd(v[BufferOverrunErrors], s.rxFifoErrors);
        v[SerialOverrunErrors] = clampAdd(v[SerialOverrunErrors], s.rxOverErrors);
        v[AlignmentErrors] = clampAdd(v[AlignmentErrors], s.rxFrameErrors);
        v[TotalErrors] = clampAdd(clampAdd(v[TotalErrors], s.rxErrors), s.txErrors);
    }
    return v;
}

bool LinuxDialupCounters::readOf(std::uint64_t, std::string_view device, CounterValues& out) {
    // Only a connection named by its interface (as NetworkManager names them) is counted apart;
    // a pppd connection is named by its serial device.
    const std::string patterns = currentPatterns(patterns_);
    for (const auto& link : links_) {
        if (link.name == device && link.hasStats && netlink::isDialupLink(link, patterns)) {
            out = sumDialupCounters({link}, patterns);
            return true;
        }
    }
    return false;
}

bool LinuxDialupCounters::read(CounterValues& out) {
    if (!netlink::dumpLinks(links_) ||
        std::none_of(links_.begin(), links_.end(), [](const auto& l) { return l.hasStats; })) {
        return false;
    }
    out = sumDialupCounters(links_, currentPatterns(patterns_));
    return true;
}

}  // namespace tavu::platform
