#include "monitor/monitor_figures.h"

#include <chrono>
#include <deque>
#include <map>

#include "core/clock.h"
#include "core/settings_keys.h"
#include "log/log_record.h"
#include "monitor/monitor_core.h"
#include "tariff/billing_period.h"
#include "tariff/plan.h"
#include "tariff/totals.h"
#include "usage/usage_store.h"

namespace tavu {

namespace {

std::int64_t epochSeconds(const LocalDateTime& t) {
    return std::chrono::duration_cast<std::chrono::seconds>(
               fromLocal(t.year, t.month, t.day, t.hour, t.minute, t.second).time_since_epoch())
        .count();
}

}  // namespace

FiguresKeeper::FiguresKeeper(const SettingsStore& settings, const Clock& clock, MonitorCore& core,
                             UsageSink* usage, std::string version)
    : settings_(settings), clock_(clock), core_(core), usage_(usage) {
    figures_.version = std::move(version);
}

void FiguresKeeper::refresh() {
    const LocalDateTime today = clock_.localNow();
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::seconds>(clock_.now().time_since_epoch()).count();
    const std::string log = core_.logPath();
    const std::vector<MonitorCore::LiveConnection> live = core_.liveConnections(now);
    // The connections in progress under the names their records will have in the log.
    std::vector<LogRecord> current;
    for (const MonitorCore::LiveConnection& l : live) {
        LogRecord& record = current.emplace_back(l.record);
        record.device = l.key.device;
        record.connection = l.key.connection;
    }

    // Every connection name with all its records, the one in progress as if it ended now.
    std::map<std::string, ConnectionFigures> byName;
    TotalsEngine(settings_, SummaryFilter::All, today)
        .run(
            log,
            [&](const CountedRecord& r) {
                const std::string name(r.fields[LogFields::Connection]);
                ConnectionFigures& c = byName[name];
                c.name = name;
                c.device = std::string(r.fields[LogFields::Device]);
                c.seconds += static_cast<double>(r.pricing.minBilled);
                c.sent += r.sent;
                c.received += r.received;
                c.cost += r.pricing.cost;
            },
            current);
    for (const MonitorCore::LiveConnection& l : live) {
        ConnectionFigures& c = byName[l.key.connection];
        c.name = l.key.connection;
        c.device = l.key.device;
        c.active = true;
    }
    std::vector<ConnectionFigures> connections;
    connections.reserve(byName.size());
    for (auto& [name, c] : byName) {
        connections.push_back(std::move(c));
    }
    floor_.apply(connections);

    // The billing period as the cost check counts it: the store's rows, and the rows of the
    // connection in progress still in memory. While no connection is up the store is only read,
    // as the summary reads it: never made.
    std::optional<ReadingStore> reading;
    const UsageSource* stored = nullptr;
    if (usage_ != nullptr && !live.empty()) {
        stored = usage_->source(log);
    } else if (usage_ != nullptr) {
        stored = reading.emplace(log).get();
    }
    // Each connection's rows still in memory lie over the sources before it.
    std::deque<PendingUsageSource> pending;
    const UsageSource* rows = stored;
    for (const MonitorCore::LiveConnection& l : live) {
        rows = &pending.emplace_back(rows, l.key, l.pending);
    }
    if (live.empty()) {
        rows = &pending.emplace_back(stored, ConnectionKey{}, std::vector<UsageRow>{});
    }
    // One pass counts every plan in its own current period, with its own free time and data.
    TotalsEngine period(settings_, SummaryFilter::ThisMonth, today, TotalsOptions{.store = rows});
    period.run(log, {}, current);
    std::vector<PeriodFigures> periods;
    for (const PlanTotals& each : period.eachPlan()) {
        const Plan* plan =
            each.plan < 0 ? nullptr : &period.plans().plans[static_cast<std::size_t>(each.plan)];
        const PlanKeys planKeys = PlanKeys::of(plan);
        const LogTotals& totals = each.totals;
        PeriodFigures p;
        p.plan = plan != nullptr ? plan->name : kDefaultPlanName;
        p.start = epochSeconds(each.period.billing.start());
        p.end = epochSeconds(each.period.billing.end());
        p.bytes = totals.transmitted;
        p.seconds = static_cast<double>(totals.totalTime);
        p.cost = totals.totalCost;
        p.projectedBytes = totals.projectedData.value_or(0);
        p.projectedCost = totals.projectedCost.value_or(0);
        if (const int warn = dataCapMB(settings_, keys::kDataWarnMB, planKeys); warn > 0) {
            p.warnCapBytes = warn * 1e6;
        }
        if (const int hangup = dataCapMB(settings_, keys::kDataHangupMB, planKeys); hangup > 0) {
            p.hangupCapBytes = hangup * 1e6;
        }
        periods.push_back(std::move(p));
    }

    figures_.connections = std::move(connections);
    figures_.periods = std::move(periods);
}

}  // namespace tavu
