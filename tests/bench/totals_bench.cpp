// Speed of the totals pass and the reverse report read over logs of growing size.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "bench/bench_log.h"
#include "core/clock.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "log/log_file.h"
#include "log/log_record.h"
#include "reports/report_rows.h"
#include "tariff/totals.h"

namespace {

void BM_TotalsPass(benchmark::State& state) {
    const tavu::bench::BenchLog& f = tavu::bench::benchLog(state.range(0));
    tavu::SettingsStore settings(f.dir + "/tavu.ini");
    const tavu::LocalDateTime today{2026, 3, 15, 12, 0, 0, 0};
    for (auto _ : state) {
        const tavu::LogTotals t =
            tavu::computeTotals(settings, f.log, tavu::SummaryFilter::All, today);
        benchmark::DoNotOptimize(t.totalCost);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(f.bytes));
}
// The pass runs on every core: its time is the wall-clock time.
BENCHMARK(BM_TotalsPass)
    ->Arg(10000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_ReportRowsNewestFirst(benchmark::State& state) {
    const tavu::bench::BenchLog& f = tavu::bench::benchLog(state.range(0));
    tavu::SettingsStore settings(f.dir + "/tavu.ini");
    for (auto _ : state) {
        const tavu::BillingRules rules = tavu::BillingRules::read(settings);
        tavu::TariffReader tariffs(settings);
        const tavu::LocalOffsetCache offsets;
        double sum = 0;
        tavu::LogReader::forEachLineReverse(f.log, [&](std::string_view line) {
            const tavu::LogFields fields = tavu::splitRecord(line);
            if (fields.isRecord()) {
                sum += tavu::makeReportRow(fields, tariffs.forNextRecord(), rules).pricing.cost;
            }
        });
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(f.bytes));
}
BENCHMARK(BM_ReportRowsNewestFirst)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
