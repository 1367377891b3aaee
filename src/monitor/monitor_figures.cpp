#include "monitor/monitor_figures.h"

#include <chrono>
#include <map>

#include "core/clock.h"
#include "core/settings_keys.h"
#include "ledger/usage_ledger.h"
#include "monitor/monitor_core.h"
#include "tariff/billing_period.h"
#include "tariff/plan.h"

namespace tavu {

namespace {

std::int64_t epochSeconds(const LocalDateTime& t) {
    return std::chrono::duration_cast<std::chrono::seconds>(
               fromLocal(t.year, t.month, t.day, t.hour, t.minute, t.second).time_since_epoch())
        .count();
}

std::int64_t dayNumber(const LocalDateTime& t) {
    return (static_cast<std::int64_t>(t.year) * 100 + t.month) * 100 + t.day;
}

}  // namespace

FiguresKeeper::FiguresKeeper(const SettingsStore& settings, const Clock& clock, MonitorCore& core,
                             std::string version)
    : settings_(settings), clock_(clock), core_(core) {
    figures_.version = std::move(version);
}

void FiguresKeeper::refreshIfChanged() {
    if (core_.connected() || countedLive_ || core_.ledgerChanged() ||
        dayNumber(clock_.localNow()) != countedDay_) {
        refresh();
    }
}

void FiguresKeeper::refresh() {
    ++counts_;
    const LocalDateTime today = clock_.localNow();
    countedDay_ = dayNumber(today);
    const std::int64_t now =
        std::chrono::duration_cast<std::chrono::seconds>(clock_.now().time_since_epoch()).count();
    const std::vector<MonitorCore::LiveConnection> connectionsUp = core_.liveConnections(now);
    countedLive_ = !connectionsUp.empty();
    const std::vector<LiveUsage> live = MonitorCore::usageOf(connectionsUp);
    UsageLedger& ledger = core_.ledger(true);

    // Every connection name with all its records, those in progress as if they ended now.
    std::map<std::string, ConnectionFigures> byName;
    for (const NamedTotals& n : ledger.byConnection(live)) {
        ConnectionFigures& c = byName[n.name];
        c.name = n.name;
        c.device = n.device;
        c.seconds = static_cast<double>(n.totals.totalTime);
        c.sent = n.totals.uploaded;
        c.received = n.totals.downloaded;
        c.cost = n.totals.totalCost;
    }
    for (const MonitorCore::LiveConnection& l : connectionsUp) {
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

    // Every plan in its own current period, with its own free time and data.
    ledger.totals(SummaryFilter::ThisMonth, today, {}, live);
    std::vector<PeriodFigures> periods;
    for (const PlanTotals& each : ledger.eachPlan()) {
        const Plan* plan =
            each.plan < 0 ? nullptr : &ledger.plans().plans[static_cast<std::size_t>(each.plan)];
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
