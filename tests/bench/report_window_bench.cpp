// Opening the Report window on large logs: time to the first painted frame and the memory it
// takes. Run with QT_QPA_PLATFORM=offscreen.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <stdlib.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QHeaderView>
#include <QScrollBar>
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
#include "log/log_record.h"
#include "ui/reports/report_dlg.h"
#include "ui/reports/summary_dlg.h"
#include "usage/usage_store.h"

namespace {

// Drops the log from the page cache, so that the next open reads it from the disk.
void evict(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

// Peak resident memory of the process in kB since the last reset.
long peakRssKb() {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    long kb = 0;
    char line[256];
    while (f != nullptr && std::fgets(line, sizeof line, f) != nullptr) {
        if (std::sscanf(line, "VmHWM: %ld", &kb) == 1) {
            break;
        }
    }
    if (f != nullptr) {
        std::fclose(f);
    }
    return kb;
}

long currentRssKb() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f != nullptr) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Makes the peak figure start again from the present resident size.
void resetPeakRss() {
    if (std::FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

// Counts the paint events of one widget.
class PaintWatch : public QObject {
  public:
    explicit PaintWatch(QWidget* w) { w->installEventFilter(this); }
    bool painted = false;

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::Paint) {
            painted = true;
        }
        return false;
    }
};

void waitForPaint(const PaintWatch& watch) {
    while (!watch.painted) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

// The Report window open on a bench log, its list painted once.
struct ShownReport {
    explicit ShownReport(std::int64_t records)
        : log(tavu::bench::benchLog(records)),
          settings(log.dir + "/tavu.ini"),
          dlg(settings, log.dir, clock),
          watch(dlg.list()->viewport()) {
        dlg.show();
        waitForPaint(watch);
    }
    // Paints the list again and waits until it is painted.
    void repaint() {
        watch.painted = false;
        dlg.list()->viewport()->repaint();
        waitForPaint(watch);
    }

    const tavu::bench::BenchLog& log;
    tavu::SettingsStore settings;
    const tavu::SystemClock clock;
    tavu::CReportDlg dlg;
    PaintWatch watch;
};

// Opens the window, shows it and runs the event loop until the list has been painted.
void BM_OpenReport(benchmark::State& state) {
    const tavu::bench::BenchLog& f = tavu::bench::benchLog(state.range(0));
    const bool cold = state.range(1) != 0;
    tavu::SettingsStore settings(f.dir + "/tavu.ini");
    const tavu::SystemClock clock;
    double peakMb = 0, heapMb = 0, rssMb = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (cold) {
            evict(f.log);
        }
        malloc_trim(0);
        resetPeakRss();
        const long rssBefore = currentRssKb();
        const std::size_t heapBefore = mallinfo2().uordblks;
        state.ResumeTiming();

        tavu::CReportDlg dlg(settings, f.dir, clock);
        PaintWatch watch(dlg.list()->viewport());
        dlg.show();
        waitForPaint(watch);

        state.PauseTiming();
        heapMb = static_cast<double>(mallinfo2().uordblks - heapBefore) / (1 << 20);
        rssMb = static_cast<double>(currentRssKb() - rssBefore) / 1024;
        peakMb = static_cast<double>(peakRssKb()) / 1024;
        if (dlg.model()->rowCount() != state.range(0)) {
            state.SkipWithError("rows missing");
        }
        state.ResumeTiming();
    }
    state.counters["heap_MB"] = heapMb;      // held by the open window
    state.counters["rss_grow_MB"] = rssMb;   // resident growth while opening
    state.counters["peak_rss_MB"] = peakMb;  // the whole process at its peak
}
BENCHMARK(BM_OpenReport)
    ->ArgsProduct({{100000, 1000000}, {0, 1}})
    ->ArgNames({"records", "cold"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Jumping from the top of the list to its oldest record and painting it.
void BM_ScrollToOldest(benchmark::State& state) {
    ShownReport report(state.range(0));
    QScrollBar* bar = report.dlg.list()->verticalScrollBar();
    bool atEnd = false;
    for (auto _ : state) {
        bar->setValue(atEnd ? bar->minimum() : bar->maximum());
        atEnd = !atEnd;
        report.repaint();
    }
}
BENCHMARK(BM_ScrollToOldest)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Sorting the open window by one column (as a click on its heading does) and painting the
// first rows of the new order.
void BM_SortReport(benchmark::State& state) {
    ShownReport report(state.range(0));
    const int column = static_cast<int>(state.range(1));
    QHeaderView* header = report.dlg.list()->horizontalHeader();
    bool ascending = false;
    for (auto _ : state) {
        ascending = !ascending;
        header->setSortIndicator(column, ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
        report.repaint();
    }
}
BENCHMARK(BM_SortReport)
    ->ArgsProduct({{1000000}, {0, 1, 3, 4, 8, 9}})
    ->ArgNames({"records", "column"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Opening the Summary window until its figures are painted. upgrade 0: the log's sums are kept
// already (counted once before the timing); upgrade 1: no store yet, as after an upgrade: the
// first count goes on behind the window, and the time runs until the figures it gives are
// painted (first_paint_ms: until the window's first frame, with the count's progress).
void BM_OpenSummary(benchmark::State& state) {
    const tavu::bench::BenchLog& f = tavu::bench::benchLog(state.range(0));
    const bool upgrade = state.range(1) != 0;
    tavu::SettingsStore settings(f.dir + "/tavu.ini");
    const tavu::SystemClock clock;
    const auto removeStore = [&] {
        for (const char* end : {"", "-wal", "-shm"}) {
            std::remove((tavu::UsageStore::pathFor(f.log) + end).c_str());
        }
    };
    // The event loop runs until the count is over, without a spin that takes a core from it.
    const auto waitForCount = [](tavu::CSummaryDlg& dlg) {
        if (dlg.counting()) {
            QEventLoop loop;
            QObject::connect(&dlg, &tavu::CSummaryDlg::counted, &loop, &QEventLoop::quit);
            loop.exec();
        }
    };
    removeStore();
    if (!upgrade) {
        tavu::CSummaryDlg first(settings, f.dir, clock);
        waitForCount(first);
    }
    double firstPaintMs = 0;
    for (auto _ : state) {
        if (upgrade) {
            state.PauseTiming();
            removeStore();
            state.ResumeTiming();
        }
        QElapsedTimer timer;
        timer.start();
        tavu::CSummaryDlg dlg(settings, f.dir, clock);
        PaintWatch watch(&dlg);
        dlg.show();
        waitForPaint(watch);
        firstPaintMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
        if (dlg.counting()) {
            waitForCount(dlg);
            watch.painted = false;
            waitForPaint(watch);
        }
        if (dlg.valueText(0) != QString::number(state.range(0))) {
            state.SkipWithError("the figures are missing");
        }
    }
    state.counters["first_paint_ms"] =
        benchmark::Counter(firstPaintMs, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_OpenSummary)
    ->ArgsProduct({{1000000}, {0, 1}})
    ->ArgNames({"records", "upgrade"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
