// What the metrics cost: one scrape's text from the figures kept, and one count of the figures
// from the monitor's usage ledger (its sums counted once, at the first count) as the monitor
// makes it when a figure may have changed.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "bench/bench_log.h"
#include "core/clock.h"
#include "core/prompter.h"
#include "core/settings_store.h"
#include "log/log_file.h"
#include "metrics/exposition.h"
#include "monitor/monitor_core.h"
#include "monitor/monitor_figures.h"
#include "platform/fakes.h"
#include "support/null_view.h"
#include "usage/usage_store.h"

namespace {

using namespace tavu;

// A line with no connection on it.
class IdleLine final : public platform::RemoteAccess {
  public:
    bool listConnections(std::vector<platform::RasConnection>& out) override {
        out.clear();
        return true;
    }
    int connectionState(std::uint64_t) override { return 0; }
    int hangUp(std::uint64_t) override { return 0; }
    int dial(const platform::DialRequest&, platform::DialEventFn, std::uint64_t&) override {
        return 0;
    }
    std::string errorText(int) override { return {}; }
    bool listEntries(std::vector<std::string>& out) override {
        out.clear();
        return true;
    }
    int createEntry() override { return 0; }
    int editEntry(const std::string&) override { return 0; }
    int deleteEntry(const std::string&) override { return 0; }
};

using QuietView = test::NullView;

void BM_MetricsScrapeText(benchmark::State& state) {
    MetricsFigures f;
    f.version = "1.1 BETA";
    for (std::int64_t i = 0; i < state.range(0); ++i) {
        f.connections.push_back({"Provider " + std::to_string(i), "ppp0", i == 0, 3600.0 * i,
                                 1e9 + i, 2e9 + i, 12.5 * i});
    }
    PeriodFigures p;
    p.plan = "Default";
    p.bytes = 5e9;
    p.hangupCapBytes = 1e10;
    f.periods.push_back(p);
    for (auto _ : state) {
        const std::string text = expositionText(f);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_MetricsScrapeText)->Arg(1)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

// Counts the figures of the log in `dir` over and over.
void refreshFigures(benchmark::State& state, const std::string& dir) {
    SettingsStore settings(dir + "/tavu.ini");
    ManualClock clock(fromLocal(2026, 3, 15, 12));
    ScriptedPrompter prompter;
    IdleLine line;
    platform::FakeSound sound;
    LogWriter writer(prompter);
    QuietView view;
    MonitorCore core(MonitorServices{settings,
                                     clock,
                                     prompter,
                                     line,
                                     nullptr,
                                     sound,
                                     writer,
                                     dir,
                                     "joe",
                                     "6.1",
                                     {},
                                     nullptr},
                     view);
    FiguresKeeper keeper(settings, clock, core, "1.1 BETA");
    keeper.refresh();  // the first count of the log, once
    for (auto _ : state) {
        keeper.refresh();
        benchmark::DoNotOptimize(keeper.figures().periods.data());
    }
}

void BM_FiguresRefresh(benchmark::State& state) {
    refreshFigures(state, bench::benchLog(state.range(0)).dir);
}
// A count from the sums kept in memory (no store beside the bench's log).
BENCHMARK(BM_FiguresRefresh)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The same log under three plans besides the default one, each with a billing day of its own:
// one count of the kept sums gives the four periods.
void BM_FiguresRefreshPlans(benchmark::State& state) {
    const bench::BenchLog& f = bench::benchLog(state.range(0));
    std::string tmpl = (std::filesystem::temp_directory_path() / "tavu-bench-XXXXXX").string();
    const std::string dir = ::mkdtemp(tmpl.data());
    std::filesystem::create_hard_link(f.log, dir + "/logfile.log");
    std::filesystem::copy_file(f.dir + "/tavu.ini", dir + "/tavu.ini");
    {
        SettingsStore s(dir + "/tavu.ini");
        s.writeMany({{"Plan Travel", "Match", "wwan*"},
                     {"Plan Travel", "BillingDay", "5"},
                     {"Plan Travel", "CostPerMB", "0.05"},
                     {"Plan Modem", "Match", "ttyS*"},
                     {"Plan Modem", "BillingDay", "15"},
                     {"Plan Modem", "CostPerMinute", "0.02"},
                     {"Plan Modem", "FreeMonthMB", "500"},
                     {"Plan Modem", "DataHangupMB", "10000"},
                     {"Plan Phone", "Match", "usb0"},
                     {"Plan Phone", "BillingDay", "28"}});
    }
    refreshFigures(state, dir);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}
BENCHMARK(BM_FiguresRefreshPlans)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// One connection up since the clock's start, a megabyte a second.
class BusyLine final : public platform::RemoteAccess, public platform::DialupCounters {
  public:
    explicit BusyLine(const Clock& clock) : clock_(clock), start_(clock.now()) {}
    bool listConnections(std::vector<platform::RasConnection>& out) override {
        out.assign(1, platform::RasConnection{});
        out[0].handle = 7;
        out[0].entryName = "Provider";
        out[0].deviceName = "ttyS0";
        return true;
    }
    int connectionState(std::uint64_t) override { return 0; }
    int hangUp(std::uint64_t) override { return 0; }
    int dial(const platform::DialRequest&, platform::DialEventFn, std::uint64_t&) override {
        return 0;
    }
    std::string errorText(int) override { return {}; }
    bool listEntries(std::vector<std::string>& out) override {
        out.clear();
        return true;
    }
    int createEntry() override { return 0; }
    int editEntry(const std::string&) override { return 0; }
    int deleteEntry(const std::string&) override { return 0; }
    bool read(platform::CounterValues& out) override {
        out.fill(0);
        out[platform::BytesReceived] =
            1000000 *
            std::chrono::duration_cast<std::chrono::seconds>(clock_.now() - start_).count();
        return true;
    }

  private:
    const Clock& clock_;
    TimePoint start_;
};

// A connected tick of the monitor with a data cap that is never reached: the poll, the usage by
// quarter hour, the journal and the cap checked against the kept sums and the connection in
// progress. Its time must not grow with the log.
void BM_ConnectedTickWithACap(benchmark::State& state) {
    const bench::BenchLog& f = bench::benchLog(state.range(0));
    std::string tmpl = (std::filesystem::temp_directory_path() / "tavu-bench-XXXXXX").string();
    const std::string dir = ::mkdtemp(tmpl.data());
    std::filesystem::copy_file(f.log, dir + "/logfile.log");
    std::filesystem::copy_file(f.dir + "/tavu.ini", dir + "/tavu.ini");
    {
        SettingsStore settings(dir + "/tavu.ini");
        settings.writeInt("Warnings", "DataHangupMB", 2000000000);
        ManualClock clock(fromLocal(2026, 3, 15, 12));
        ScriptedPrompter prompter;
        BusyLine line(clock);
        platform::FakeSound sound;
        LogWriter writer(prompter);
        UsageStoreSink store;
        QuietView view;
        MonitorCore core(MonitorServices{settings,
                                         clock,
                                         prompter,
                                         line,
                                         &line,
                                         sound,
                                         writer,
                                         dir,
                                         "joe",
                                         "6.1",
                                         {},
                                         &store},
                         view);
        clock.advance(std::chrono::seconds(1));
        core.poll();  // the first tick counts the log once: the store's sums are made
        for (auto _ : state) {
            clock.advance(std::chrono::seconds(1));
            core.poll();
        }
        benchmark::DoNotOptimize(core.connected());
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}
BENCHMARK(BM_ConnectedTickWithACap)
    ->Arg(10000)
    ->Arg(1000000)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(3000);

}  // namespace
