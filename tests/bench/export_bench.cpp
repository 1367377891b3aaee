// `tavu report` in its three forms over logs of growing size, written to a null stream: CSV
// and JSON should stay within a small factor of the tab-separated table.
#include <benchmark/benchmark.h>

#include <ostream>
#include <streambuf>

#include "bench/bench_log.h"
#include "core/settings_store.h"
#include "reports/report_export.h"

namespace {

// Counts what it is given and keeps none of it.
class CountingBuf : public std::streambuf {
  public:
    std::int64_t written = 0;

  protected:
    std::streamsize xsputn(const char*, std::streamsize n) override {
        written += n;
        return n;
    }
    int overflow(int c) override {
        ++written;
        return c;
    }
};

void BM_ReportExport(benchmark::State& state, tavu::ReportFormat format) {
    const tavu::bench::BenchLog& f = tavu::bench::benchLog(state.range(0));
    tavu::SettingsStore settings(f.dir + "/tavu.ini");
    const tavu::LocalDateTime today{2026, 3, 15, 12, 0, 0, 0};
    CountingBuf buf;
    std::ostream out(&buf);
    for (auto _ : state) {
        tavu::writeReport(settings, f.log, format, tavu::SummaryFilter::All, today, out);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
    state.SetBytesProcessed(buf.written);
}
BENCHMARK_CAPTURE(BM_ReportExport, tsv, tavu::ReportFormat::Tsv)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReportExport, csv, tavu::ReportFormat::Csv)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReportExport, json, tavu::ReportFormat::Json)
    ->Arg(100000)
    ->Arg(1000000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
