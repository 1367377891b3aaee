// The usage store: one billing period's rows read out of ten years of an always-on connection,
// the monitor's write of a minute, and the bytes a row takes on the disk.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>

#include "usage/usage_store.h"

namespace {

constexpr std::int64_t kStart = 1481155200;  // 8 December 2016, 00:00 UTC
constexpr std::int64_t kYears = 10;
constexpr std::int64_t kRows = kYears * 365 * 96 + 2 * 96;  // 350,592: ten years and leap days

const tavu::ConnectionKey kKey{"08-12-2016", "00:00:00", "/dev/ttyUSB0", "Provider"};

// Ten years of one always-on connection, made once, removed at exit.
struct TenYears {
    TenYears() {
        dir = (std::filesystem::temp_directory_path() / "tavu-bench-XXXXXX").string();
        ::mkdtemp(dir.data());
        path = dir + "/usage.db";
        std::string error;
        auto store = tavu::UsageStore::open(path, true, error);
        std::vector<tavu::UsageRow> rows;
        rows.reserve(kRows);
        for (std::int64_t i = 0; i < kRows; ++i) {
            rows.push_back(
                tavu::UsageRow{kStart + i * tavu::kQuarterSeconds, 900, 1000000 + i, 9000000 + i});
        }
        store->write(kKey, rows);
        store.reset();  // the write-ahead log goes into the file
        bytes = static_cast<double>(std::filesystem::file_size(path));
    }
    ~TenYears() { std::filesystem::remove_all(dir); }
    std::string dir;
    std::string path;
    double bytes = 0;
};

TenYears& tenYears() {
    static TenYears made;
    return made;
}

void BM_UsageRowsOfOnePeriodInTenYears(benchmark::State& state) {
    TenYears& data = tenYears();
    std::string error;
    auto store = tavu::UsageStore::open(data.path, false, error);
    // The last month of the ten years.
    const std::int64_t to = kStart + kRows * tavu::kQuarterSeconds;
    const std::int64_t from = to - 30 * 86400;
    std::size_t rows = 0;
    for (auto _ : state) {
        const tavu::UsageRows got = store->rowsBetween(from, to);
        rows = got.empty() ? 0 : got.begin()->second.size();
        benchmark::DoNotOptimize(rows);
    }
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["bytes_per_row"] = data.bytes / kRows;
    state.counters["stored_rows"] = static_cast<double>(kRows);
}
BENCHMARK(BM_UsageRowsOfOnePeriodInTenYears)->Unit(benchmark::kMillisecond);

// Opening the store as a command does: the checks of the file, its header and size, and SQLite's
// first look at it.
void BM_UsageStoreOpenTenYears(benchmark::State& state) {
    TenYears& data = tenYears();
    for (auto _ : state) {
        std::string error;
        benchmark::DoNotOptimize(tavu::UsageStore::open(data.path, false, error));
    }
}
BENCHMARK(BM_UsageStoreOpenTenYears)->Unit(benchmark::kMillisecond);

// The monitor's write of a minute: the quarter being counted, replaced in one transaction.
void BM_UsageMinuteWrite(benchmark::State& state) {
    std::string dir = (std::filesystem::temp_directory_path() / "tavu-bench-XXXXXX").string();
    ::mkdtemp(dir.data());
    std::string error;
    auto store = tavu::UsageStore::open(dir + "/usage.db", true, error);
    std::int64_t n = 0;
    for (auto _ : state) {
        ++n;
        benchmark::DoNotOptimize(store->write(
            kKey, {tavu::UsageRow{kStart + (n / 15) * tavu::kQuarterSeconds, 60, n, n}}));
    }
    store.reset();
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_UsageMinuteWrite)->Unit(benchmark::kMicrosecond);

}  // namespace
