// Speed of the totals pass and the reverse report read over logs of growing size.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "app/settings_store.h"
#include "app/text.h"
#include "monitor/log_file.h"
#include "monitor/log_record.h"
#include "reports/report_rows.h"
#include "tariff/totals.h"

namespace {

struct Fixture {
    std::string dir;
    std::string log;
    std::uint64_t bytes = 0;
};

// The logs made for the benchmarks, removed when the program ends.
struct Fixtures : std::map<std::int64_t, Fixture> {
    ~Fixtures() {
        for (const auto& [n, f] : *this) {
            std::error_code ec;
            std::filesystem::remove_all(f.dir, ec);
        }
    }
};

// Writes a log of n records once per size, with a realistic tariff beside it.
const Fixture& fixture(std::int64_t n) {
    static Fixtures made;
    auto it = made.find(n);
    if (it != made.end()) {
        return it->second;
    }
    Fixture f;
    std::string tmpl = (std::filesystem::temp_directory_path() / "tavu-bench-XXXXXX").string();
    f.dir = ::mkdtemp(tmpl.data());
    f.log = f.dir + "/logfile.log";
    tavu::SettingsStore s(f.dir + "/tavu.ini");
    s.writeString("Price", "PricePerDial", "0.5000000000");
    s.writeString("Price", "CostPerMinute", "0.1000000000");
    s.writeString("Price", "CheapCostPerMinute", "0.0500000000");
    s.writeString("Price", "CheapTimeStart", "23:00");
    s.writeString("Price", "CheapTimeEnd", "05:59");
    s.writeString("Price", "MinConTime", "00:01");
    s.writeString("Price", "ConnectionBlock", "00:01");
    s.writeString("Price", "FreeMonthTime", "01:00");
    s.writeInt("Settings", "CheapInSat", 1);
    std::mt19937 rng(7);
    std::ofstream out(f.log, std::ios::binary);
    std::string buf;
    for (std::int64_t i = 0; i < n; ++i) {
        const int day = 1 + static_cast<int>(rng() % 28);
        const int month = 1 + static_cast<int>(rng() % 12);
        const int year = 2000 + static_cast<int>(rng() % 27);
        const int h = static_cast<int>(rng() % 24);
        const int m = static_cast<int>(rng() % 60);
        const int len = static_cast<int>(rng() % 7200);
        const int endSecs = (h * 3600 + m * 60 + len) % 86400;
        buf += tavu::composeRecord(
            {tavu::formatDate(day, month, year), tavu::formatClock(h, m, 0),
             tavu::formatDate(day, month, year),
             tavu::formatClock(endSecs / 3600, endSecs / 60 % 60, endSecs % 60), "joe", "ttyS0",
             "Provider", std::to_string(rng() % 10000000), std::to_string(rng() % 100000000)});
        if (buf.size() > (1 << 20)) {
            out << buf;
            buf.clear();
        }
    }
    out << buf;
    out.close();
    f.bytes = std::filesystem::file_size(f.log);
    return made.emplace(n, f).first->second;
}

void BM_TotalsPass(benchmark::State& state) {
    const Fixture& f = fixture(state.range(0));
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
BENCHMARK(BM_TotalsPass)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_ReportRowsNewestFirst(benchmark::State& state) {
    const Fixture& f = fixture(state.range(0));
    tavu::SettingsStore settings(f.dir + "/tavu.ini");
    for (auto _ : state) {
        const tavu::BillingRules rules = tavu::BillingRules::read(settings);
        tavu::TariffReader tariffs(settings);
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
