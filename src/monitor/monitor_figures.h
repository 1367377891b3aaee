#pragma once

#include <cstdint>
#include <string>

#include "metrics/figures.h"

namespace tavu {

class Clock;
class MonitorCore;
class SettingsStore;

// The figures the metrics serve, counted from the monitor's usage ledger (the sums kept beside
// the log) and its connections in progress; never by a pass over the log. A scrape reads them as
// they were last counted.
class FiguresKeeper {
  public:
    FiguresKeeper(const SettingsStore& settings, const Clock& clock, MonitorCore& core,
                  std::string version);

    // Counts the figures: every connection name's totals (All), and the current billing period
    // of every plan (as `tavu summary --filter month --plan NAME` counts it, the default plan
    // first, then the plans in section order), each with the connections in progress.
    void refresh();
    // Counts them only when one may have changed since the last count: while a connection is up
    // (or when one ended), when the log or the settings changed, and when the day turned (a new
    // billing period, a projection a day further). Else it looks at two files and reads nothing.
    void refreshIfChanged();
    const MetricsFigures& figures() const { return figures_; }
    // How many times the figures were counted.
    std::uint64_t counts() const { return counts_; }

  private:
    const SettingsStore& settings_;
    const Clock& clock_;
    MonitorCore& core_;
    MetricsFigures figures_;
    CounterFloor floor_;
    std::uint64_t counts_ = 0;
    bool countedLive_ = false;     // the last count had a connection in progress
    std::int64_t countedDay_ = 0;  // the local day of the last count (year * 10000 + ...)
};

}  // namespace tavu
