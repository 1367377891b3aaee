#pragma once

#include <string>

#include "metrics/figures.h"

namespace tavu {

class Clock;
class MonitorCore;
class SettingsStore;
class UsageSink;

// The figures the metrics serve, counted from the log, the usage store and the connection in
// progress. Counted again only when asked (at the cost check's pace and when a connection
// starts or ends); a scrape reads them as they were last counted and never passes over the log.
class FiguresKeeper {
  public:
    // usage: the store the monitor writes its rows to; none: records are spread evenly.
    FiguresKeeper(const SettingsStore& settings, const Clock& clock, MonitorCore& core,
                  UsageSink* usage, std::string version);

    // Two passes over the log: every connection name's totals (All), and the current billing
    // period of every plan (as `tavu summary --filter month --plan NAME` counts it, the default
    // plan first, then the plans in section order), each with the connection in progress.
    void refresh();
    const MetricsFigures& figures() const { return figures_; }

  private:
    const SettingsStore& settings_;
    const Clock& clock_;
    MonitorCore& core_;
    UsageSink* usage_;
    MetricsFigures figures_;
    CounterFloor floor_;
};

}  // namespace tavu
