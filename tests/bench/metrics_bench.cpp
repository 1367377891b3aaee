// What the metrics cost: one scrape's text from the figures kept, and one count of the figures
// (two passes over the log) as the monitor makes it once a minute.
#include <benchmark/benchmark.h>

#include "bench/bench_log.h"
#include "core/clock.h"
#include "core/prompter.h"
#include "core/settings_store.h"
#include "log/log_file.h"
#include "metrics/exposition.h"
#include "monitor/monitor_core.h"
#include "monitor/monitor_figures.h"
#include "platform/fakes.h"

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

class QuietView final : public MonitorView {
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

void BM_MetricsScrapeText(benchmark::State& state) {
    MetricsFigures f;
    f.version = "1.1 BETA";
    for (std::int64_t i = 0; i < state.range(0); ++i) {
        f.connections.push_back({"Provider " + std::to_string(i), "ppp0", i == 0, 3600.0 * i,
                                 1e9 + i, 2e9 + i, 12.5 * i});
    }
    PeriodFigures p;
    p.bytes = 5e9;
    p.hangupCapBytes = 1e10;
    f.periods.push_back(p);
    for (auto _ : state) {
        const std::string text = expositionText(f);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_MetricsScrapeText)->Arg(1)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_FiguresRefresh(benchmark::State& state) {
    const bench::BenchLog& f = bench::benchLog(state.range(0));
    SettingsStore settings(f.dir + "/tavu.ini");
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
                                     f.dir,
                                     "joe",
                                     "6.1",
                                     {},
                                     nullptr},
                     view);
    FiguresKeeper keeper(settings, clock, core, nullptr, "1.1 BETA");
    for (auto _ : state) {
        keeper.refresh();
        benchmark::DoNotOptimize(keeper.figures().periods.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
// The passes run on every core: their time is the wall-clock time.
BENCHMARK(BM_FiguresRefresh)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
