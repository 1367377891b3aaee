#include "ui/perf/performance_dlg.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include "ui/main/monitor_fixture.h"
#include "ui/perf/traffic_graph.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

// The simulated line's counters; the eight it does not keep move with the bytes received, so
// every field has something to show.
class AllTwelveCounters : public platform::DialupCounters {
  public:
    explicit AllTwelveCounters(platform::SimulatedRemoteAccess& ras) : line_(ras) {}
    bool read(platform::CounterValues& out) override {
        line_.read(out);
        for (int i = platform::PercentCompressionIn; i <= platform::TotalErrors; ++i) {
            out[static_cast<std::size_t>(i)] = out[platform::BytesReceived] / (1000 + i);
        }
        return true;
    }
    platform::SimulatedCounters line_;
};

CPerformanceDlg* findByTitle() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->windowTitle() == "Connection performance") {
            return qobject_cast<CPerformanceDlg*>(w);
        }
    }
    return nullptr;
}

class PerformanceWindow : public test::MonitorFixture {
  protected:
    void tickAfter(std::chrono::seconds s) {
        clock.advance(s);
        window->tick(ConnectionMonitor::PollTimer);
    }
    bool barAtRight(CTrafficGraph* g) {
        return g->image().pixel(g->width() - 4, g->height() - 1) == qRgb(255, 0, 0);
    }
};

TEST_F(PerformanceWindow, FedByTheSimulatedLineOnlyWhileOpen) {
    std::string error;
    ras = platform::SimulatedRemoteAccess::fromText(
        "[entry Provider]\nbytes-in-per-s = 4200\nbytes-out-per-s = 600\n", clock, error);
    AllTwelveCounters counters(*ras);
    window = std::make_unique<ConnectionMonitor>(AppContext{
        settings, clock, prompter, *ras, &counters, sound, system, shell, dir.path(), "/opt"});
    window->trayAvailability = [] { return true; };
    window->initialise();
    ras->bringUp("Provider");
    tickAfter(1s);

    bool ran = false;
    QTimer::singleShot(0, [&] {
        CPerformanceDlg* dlg = findByTitle();
        ran = dlg != nullptr;
        if (!ran) {
            QApplication::activeModalWidget()->close();
            return;
        }
        EXPECT_EQ(dlg->durationField()->text(), "00:00:00");
        EXPECT_EQ(dlg->valueField(platform::TotalErrors)->text(), "0");
        EXPECT_EQ(dlg->timer().interval(), 1000);
        tickAfter(1s);
        EXPECT_EQ(dlg->durationField()->text(), "00:00:01");
        EXPECT_EQ(dlg->valueField(platform::BytesReceived)->text(), "8400");
        EXPECT_FALSE(barAtRight(dlg->bytesInGraph())) << "no false bar for the first value";
        QStringList before;
        for (int i = 0; i < CPerformanceDlg::kCounters; ++i) {
            before << dlg->valueField(i)->text();
        }
        tickAfter(1s);
        for (int i = 0; i < CPerformanceDlg::kCounters; ++i) {
            EXPECT_NE(dlg->valueField(i)->text(), before[i]) << CPerformanceDlg::labelTexts()[i];
        }
        EXPECT_TRUE(barAtRight(dlg->bytesInGraph())) << "4200 bytes: 76 units";
        EXPECT_TRUE(barAtRight(dlg->bytesOutGraph())) << "600 bytes: 10 units";
        dlg->timerTick();
        EXPECT_FALSE(barAtRight(dlg->bytesInGraph())) << "the timer adds an empty column";
        EXPECT_TRUE(barAtRight(dlg->bytesOutGraph())) << "to the bytes-in graph only";
        tickAfter(25h);
        EXPECT_EQ(dlg->durationField()->text(), "25:00:02") << "whole hours beyond a day";
        dlg->okButton()->click();
    });
    window->runCommand(CmdPerformance);
    EXPECT_TRUE(ran) << "the command opens a window titled \"Connection performance\"";
    EXPECT_EQ(window->core().counterWindow(), nullptr) << "nothing is posted once it closed";
    EXPECT_EQ(findByTitle(), nullptr);
}

}  // namespace
}  // namespace tavu
