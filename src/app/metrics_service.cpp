#include "app/metrics_service.h"

#include <cstdlib>

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "core/version.h"
#include "metrics/exposition.h"
#include "metrics/listen_address.h"
#include "monitor/monitor_core.h"

namespace tavu {

MetricsService::MetricsService(const SettingsStore& settings, const Clock& clock, MonitorCore& core)
    : settings_(settings), core_(core), keeper_(settings, clock, core, kVersionText) {}

MetricsService::~MetricsService() {
    core_.setLineListener({});
}

int MetricsService::refreshIntervalMs() {
    if (const char* v = std::getenv("TAVU_TEST_METRICS_INTERVAL_MS")) {
        const std::int64_t ms = leadingInt(v);
        if (ms >= 100 && ms <= 60000) {
            return static_cast<int>(ms);
        }
    }
    return 60000;
}

bool MetricsService::start(const std::optional<std::string>& listen, std::string& problem) {
    const std::string text =
        listen ? *listen : settings_.readString(keys::kSettings, keys::kMetricsListen);
    if (trim(text).empty()) {
        return true;
    }
    std::string error;
    const std::optional<ListenAddress> at = parseListenAddress(text, error);
    if (!at) {
        problem = "Metrics not served: " + error;
        return false;
    }
    auto server =
        std::make_unique<MetricsServer>([this] { return expositionText(keeper_.figures()); });
    if (!server->listen(at->host, at->port, error)) {
        problem = "Metrics not served: can not listen at " + formatListenAddress(*at) + ": " +
                  printableText(error);
        return false;
    }
    server_ = std::move(server);
    address_ = formatListenAddress(*at);
    keeper_.refresh();
    core_.setLineListener([this] { keeper_.refresh(); });
    // The timer only looks: the figures are counted again when one may have changed.
    QObject::connect(&refresh_, &QTimer::timeout, [this] { keeper_.refreshIfChanged(); });
    refresh_.start(refreshIntervalMs());
    return true;
}

}  // namespace tavu
