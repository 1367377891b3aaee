// What the performance window costs: the monitor's connected tick with the window closed and
// open, and one second of the open window (twelve fields, two graph columns, the repaint of
// both graphs). Run with QT_QPA_PLATFORM=offscreen.

#include <benchmark/benchmark.h>

#include <QImage>

#include "core/clock.h"
#include "core/prompter.h"
#include "core/settings_store.h"
#include "log/log_file.h"
#include "monitor/monitor_core.h"
#include "platform/fakes.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "support/monitor_rig.h"
#include "support/null_view.h"
#include "support/temp_dir.h"
#include "ui/perf/performance_dlg.h"
#include "ui/perf/traffic_graph.h"

namespace tavu {
namespace {

using test::NullView;

// The connected tick on the simulated line; range(0) = 1 with the performance window open.
void BM_ConnectedTick(benchmark::State& state) {
    test::MonitorRig<> rig("[entry Provider]\nbytes-in-per-s = 4200\nbytes-out-per-s = 600\n");
    NullView view;
    MonitorCore core(rig.services("6.1", nullptr, "tester"), view);
    CPerformanceDlg dlg;
    if (state.range(0) == 1) {
        core.setCounterWindow(&dlg);
    }
    rig.ras->bringUp("Provider");
    for (auto _ : state) {
        rig.clock.advance(std::chrono::seconds(1));
        core.poll();
    }
}
BENCHMARK(BM_ConnectedTick)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// One second of the open window, the repaint of its two graphs included.
void BM_PerformanceWindowSecond(benchmark::State& state) {
    CPerformanceDlg dlg;
    QImage in(dlg.bytesInGraph()->size(), QImage::Format_RGB32);
    QImage out(dlg.bytesOutGraph()->size(), QImage::Format_RGB32);
    platform::CounterValues v{};
    for (auto _ : state) {
        v[platform::BytesReceived] += 4200;
        v[platform::BytesTransmitted] += 600;
        dlg.postElapsed(v[platform::BytesReceived] / 4200);
        dlg.postCounters(v);
        dlg.timerTick();
        dlg.bytesInGraph()->render(&in);
        dlg.bytesOutGraph()->render(&out);
    }
}
BENCHMARK(BM_PerformanceWindowSecond)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavu
