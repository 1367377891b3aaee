#pragma once

#include <cstdint>

#include "platform/kernel/counters.h"

namespace tavu {

// The window that shows every dial-up counter while it is open. The monitor hands it the
// connection's elapsed seconds and the twelve counters at every connected tick, and nothing at
// all while no such window is attached.
class CounterWindow {
  public:
    virtual ~CounterWindow() = default;
    virtual void postElapsed(std::int64_t seconds) = 0;
    virtual void postCounters(const platform::CounterValues& values) = 0;
};

}  // namespace tavu
