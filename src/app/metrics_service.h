#pragma once

#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "monitor/monitor_figures.h"
#include "net/metrics_server.h"

namespace tavu {

class Clock;
class MonitorCore;
class SettingsStore;

// The usage served as metrics by a running monitor (the window program and `tavu monitor`):
// the figures counted from the monitor's kept sums at start and when a connection starts or
// ends; every minute a look for what else may have changed them (a connection in progress, the
// log, the settings, the day), and a count only then; and the server that reads them at each
// scrape.
class MetricsService {
  public:
    MetricsService(const SettingsStore& settings, const Clock& clock, MonitorCore& core);
    ~MetricsService();

    // Serves at `listen` ("ADDRESS:PORT"), else at Settings/MetricsListen. Nothing is served,
    // and nothing counted, when the address is empty. False, with `problem` saying why, when the
    // address is no address or cannot be listened at; the monitor goes on without metrics.
    bool start(const std::optional<std::string>& listen, std::string& problem);
    // Where it serves; empty when it does not.
    const std::string& address() const { return address_; }

    // The pace of the looks in milliseconds: a minute, or for the program's own tests the
    // value of the environment variable TAVU_TEST_METRICS_INTERVAL_MS (100 or more).
    static int refreshIntervalMs();

  private:
    const SettingsStore& settings_;
    MonitorCore& core_;
    FiguresKeeper keeper_;
    std::unique_ptr<MetricsServer> server_;
    QTimer refresh_;
    std::string address_;
};

}  // namespace tavu
