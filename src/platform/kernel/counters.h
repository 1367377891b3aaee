#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace tavu::platform {

// The counters of all dial-up connections together, in this order.
inline constexpr std::array<const char*, 12> kCounterNames = {
    "Bytes Received",         "Bytes Transmitted",       "Frames Received.", "Frames Transmitted",
    "Percent Compression In", "Percent Compression Out", "CRC Errors",       "Timeout Errors",
    "Buffer Overrun Errors",  "Serial Overrun Errors",   "Alignment Errors", "Total Errors"};

enum CounterIndex {
    BytesReceived,
    BytesTransmitted,
    FramesReceived,
    FramesTransmitted,
    PercentCompressionIn,
    PercentCompressionOut,
    CrcErrors,
    TimeoutErrors,
    BufferOverrunErrors,
    SerialOverrunErrors,
    AlignmentErrors,
    TotalErrors,
};

using CounterValues = std::array<std::int64_t, 12>;

// Reads the dial-up counters; false when the system keeps none.
class DialupCounters {
  public:
    virtual ~DialupCounters() = default;
    virtual bool read(CounterValues& out) = 0;
    // The counters of one connection alone (by its handle and its device or interface), where
    // the system counts each connection apart; false where it does not. Answers from the
    // listing of the last read().
    virtual bool readOf(std::uint64_t handle, std::string_view device, CounterValues& out) {
        (void)handle;
        (void)device;
        (void)out;
        return false;
    }
};

}  // namespace tavu::platform
