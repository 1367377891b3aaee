#pragma once

#include <cstdint>
#include <string>

#include "monitor/monitor_core.h"

namespace tavu::test {

// A monitor view that ignores everything; tests override what they watch.
class NullView : public MonitorView {
  public:
    void setTitle(const std::string&) override {}
    void setTrayState(bool, const std::string&) override {}
    void insertStatus(const std::string&) override {}
    void redraw() override {}
    void showMainWindow() override {}
    void hideMainWindow() override {}
    void elapsedTick(const std::string&, std::int64_t) override {}
    void connectionStarted() override {}
    void dial() override {}
    void startMailCheck() override {}
};

}  // namespace tavu::test
