// Cost of one write of the connection journal: the plain replace done every 10 s and the one
// flushed to the disk (at a connection's start and once a minute).
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "log/connection_journal.h"

namespace {

void journalWrites(benchmark::State& state, bool synced) {
    std::string dir = (std::filesystem::temp_directory_path() / "tavu-bench-XXXXXX").string();
    ::mkdtemp(dir.data());
    tavu::JournalEntry e;
    e.start = 1796670000;
    e.handle = 7;
    e.record = {"07-12-2026", "20:00:00", "07-12-2026", "20:02:05", "joe",
                "/dev/ttyS0", "Provider", "6600",       "66000"};
    tavu::ConnectionJournal journal;
    const std::string path = tavu::ConnectionJournal::pathFor(dir + "/logfile.log");
    journal.begin(path, e);
    e.end = e.start + tavu::ConnectionJournal::kWriteEvery;  // plain: never a minute on
    for (auto _ : state) {
        if (synced) {
            e.end += tavu::ConnectionJournal::kSyncEvery;
        }
        benchmark::DoNotOptimize(journal.update(path, e));
    }
    journal.finish();
    std::filesystem::remove_all(dir);
}

void BM_JournalWrite(benchmark::State& state) {
    journalWrites(state, false);
}
void BM_JournalWriteFlushed(benchmark::State& state) {
    journalWrites(state, true);
}

}  // namespace

BENCHMARK(BM_JournalWrite);
BENCHMARK(BM_JournalWriteFlushed);
