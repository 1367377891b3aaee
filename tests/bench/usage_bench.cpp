// Speed of one period's totals from ten years of quarter-hour rows of an always-on connection.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/bench_log.h"
#include "core/clock.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "log/log_date.h"
#include "log/log_record.h"
#include "tariff/totals.h"
#include "tariff/usage_buckets.h"
#include "usage/usage_source.h"

namespace {

constexpr std::int64_t kDays = 3650;  // 350,400 quarter hours

// One record of ten years and its rows in the store.
struct AlwaysOn {
    AlwaysOn() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "tavu-bench-XXXXXX").string();
        dir = ::mkdtemp(tmpl.data());
        log = dir + "/logfile.log";
        tavu::SettingsStore s(dir + "/tavu.ini");
        s.writeString("Price", "PricePerDial", "0.5");
        s.writeString("Price", "CostPerMinute", "0.001");
        s.writeString("Price", "CostPerMB", "0.01");
        s.writeInt("Price", "FreeMonthMB", 5000);
        s.writeInt("Settings", "BillingDay", 15);
        const tavu::LogDate first{1, 1, 2017};
        const tavu::LogDate last =
            tavu::LogDate::fromDaysSinceEpoch(first.daysSinceEpoch() + kDays);
        const auto date = [](const tavu::LogDate& d) {
            return tavu::formatDate(static_cast<int>(d.day), static_cast<int>(d.month),
                                    static_cast<int>(d.year));
        };
        const tavu::ConnectionKey key{date(first), "00:00:00", "ttyS0", "Provider"};
        std::ofstream(log) << tavu::composeRecord({key.startDate, key.startTime, date(last),
                                                   "00:00:00", "joe", key.device, key.connection,
                                                   "1000000000000", "9000000000000"});
        const std::int64_t start = std::chrono::duration_cast<std::chrono::seconds>(
                                       tavu::fromLocal(2017, 1, 1).time_since_epoch())
                                       .count();
        auto& rows = store.rows[key];
        rows.reserve(kDays * 96);
        for (std::int64_t q = 0; q < kDays * 96; ++q) {
            rows.push_back(tavu::UsageRow{start + q * 900, 900, 28000 + q % 7, 257000 + q % 13});
        }
    }
    ~AlwaysOn() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    std::string dir;
    std::string log;
    tavu::MemoryUsageSource store;
};

const AlwaysOn& alwaysOn() {
    static const AlwaysOn f;
    return f;
}

void BM_PeriodTotalsFromStoreRows(benchmark::State& state) {
    const AlwaysOn& f = alwaysOn();
    tavu::SettingsStore settings(f.dir + "/tavu.ini");
    const tavu::LocalDateTime today{2026, 3, 20, 12, 0, 0, 0};
    for (auto _ : state) {
        tavu::TotalsOptions options;
        options.store = &f.store;
        const tavu::LogTotals t =
            tavu::TotalsEngine(settings, tavu::SummaryFilter::ThisMonth, today, options).run(f.log);
        benchmark::DoNotOptimize(t.totalCost);
    }
}
BENCHMARK(BM_PeriodTotalsFromStoreRows)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PeriodDaysFromStoreRows(benchmark::State& state) {
    const AlwaysOn& f = alwaysOn();
    tavu::SettingsStore settings(f.dir + "/tavu.ini");
    const tavu::LocalDateTime today{2026, 3, 20, 12, 0, 0, 0};
    for (auto _ : state) {
        const auto days =
            tavu::usageBuckets(settings, f.log, &f.store, tavu::UsageBy::Day,
                               tavu::LogDate{15, 3, 2026}, tavu::LogDate{20, 3, 2026}, today);
        benchmark::DoNotOptimize(days.data());
    }
}
BENCHMARK(BM_PeriodDaysFromStoreRows)->Unit(benchmark::kMillisecond)->UseRealTime();

// The period filter over a log of a million short records, spread where they happened.
void BM_PeriodTotalsPass(benchmark::State& state) {
    const tavu::bench::BenchLog& f = tavu::bench::benchLog(state.range(0));
    tavu::SettingsStore settings(f.dir + "/tavu.ini");
    const tavu::LocalDateTime today{2026, 3, 15, 12, 0, 0, 0};
    for (auto _ : state) {
        const tavu::LogTotals t =
            tavu::computeTotals(settings, f.log, tavu::SummaryFilter::ThisMonth, today);
        benchmark::DoNotOptimize(t.totalCost);
    }
}
BENCHMARK(BM_PeriodTotalsPass)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
