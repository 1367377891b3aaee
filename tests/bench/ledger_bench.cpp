// Speed of the usage engine's first count: a big log with no usage.db beside it, counted whole
// and its sums written to a new store.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench/bench_log.h"
#include "core/clock.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "ledger/usage_ledger.h"
#include "log/log_record.h"
#include "usage/usage_store.h"

namespace {

// Ten years of three always-on links, each connection ending where the next begins, written in
// the order they end: the log of a machine that is never offline.
struct AlwaysOnLinks {
    explicit AlwaysOnLinks(std::int64_t records) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "tavu-bench-XXXXXX").string();
        dir = ::mkdtemp(tmpl.data());
        log = dir + "/logfile.log";
        tavu::SettingsStore s(dir + "/tavu.ini");
        s.writeString("Price", "PricePerDial", "0.15");
        s.writeString("Price", "CostPerMinute", "0.035");
        s.writeString("Price", "CheapCostPerMinute", "0.012");
        s.writeString("Price", "CheapTimeStart", "22:00");
        s.writeString("Price", "CheapTimeEnd", "07:30");
        s.writeString("Price", "MinConTime", "00:01");
        s.writeString("Price", "CostPerMB", "0.0125");
        s.writeInt("Price", "FreeMonthMB", 300);
        s.writeInt("Settings", "BillingDay", 15);
        s.writeString("Plan Mobile", "Match", "LTE");
        s.writeString("Plan Mobile", "CostPerMB", "0.02");
        const std::int64_t first = std::chrono::duration_cast<std::chrono::seconds>(
                                       tavu::fromLocal(2016, 1, 1).time_since_epoch())
                                       .count();
        const std::int64_t span = 3652 * std::int64_t{86400};
        const std::int64_t mean = 3 * span / records;
        std::mt19937 rng(11);
        const char* devices[] = {"ppp0", "wwan0", "eth1"};
        const char* names[] = {"ISP", "LTE", "Fiber"};
        std::int64_t at[3] = {first, first + 600, first + 1200};
        std::ofstream out(log, std::ios::binary);
        std::string buf;
        const auto local = [](std::int64_t t, std::string& date, std::string& clock) {
            const tavu::LocalDateTime l = tavu::toLocal(tavu::TimePoint{std::chrono::seconds(t)});
            date = tavu::formatDate(l.day, l.month, l.year);
            clock = tavu::formatClock(l.hour, l.minute, l.second);
        };
        std::string sd, st, ed, et;
        for (std::int64_t i = 0; i < records; ++i) {
            // The link whose connection ends first is logged next.
            int k = 0;
            for (int j = 1; j < 3; ++j) {
                if (at[j] < at[k]) {
                    k = j;
                }
            }
            const std::int64_t length = static_cast<std::int64_t>(rng() % (2 * mean)) + 1;
            local(at[k], sd, st);
            local(at[k] + length, ed, et);
            buf += tavu::composeRecord({sd, st, ed, et, "joe", devices[k], names[k],
                                        std::to_string(rng() % 20000000),
                                        std::to_string(rng() % 200000000)});
            at[k] += length + static_cast<std::int64_t>(rng() % 30);
            if (buf.size() > (1 << 20)) {
                out << buf;
                buf.clear();
            }
        }
        out << buf;
    }
    ~AlwaysOnLinks() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string dir;
    std::string log;
};

void removeStore(const std::string& log) {
    const std::string db = tavu::UsageStore::pathFor(log);
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::error_code ec;
        std::filesystem::remove(db + suffix, ec);
    }
}

void firstCount(benchmark::State& state, const std::string& dir, const std::string& log) {
    tavu::SettingsStore settings(dir + "/tavu.ini");
    const auto threads = static_cast<unsigned>(state.range(1));
    for (auto _ : state) {
        state.PauseTiming();
        removeStore(log);
        state.ResumeTiming();
        tavu::UsageLedger ledger(
            settings, log, tavu::LedgerOptions{.progress = {}, .create = true, .threads = threads});
        benchmark::DoNotOptimize(ledger.countedWhole());
    }
    removeStore(log);
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() *
                            static_cast<std::int64_t>(std::filesystem::file_size(log)));
}

// Random records of 27 years, in no order of time.
void BM_LedgerFirstCount(benchmark::State& state) {
    const tavu::bench::BenchLog& f = tavu::bench::benchLog(state.range(0));
    firstCount(state, f.dir, f.log);
}
BENCHMARK(BM_LedgerFirstCount)
    ->Args({1000000, 1})
    ->Args({1000000, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_LedgerFirstCountAlwaysOn(benchmark::State& state) {
    static AlwaysOnLinks links(1000000);
    firstCount(state, links.dir, links.log);
}
BENCHMARK(BM_LedgerFirstCountAlwaysOn)
    ->Args({1000000, 1})
    ->Args({1000000, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
