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

// The simulated line's counters, with the eight it does not keep made to move with the bytes
// received, so every field of the window has something to show.
class AllTwelveCounters : public platform::DialupCounters {
  public:
    explicit AllTwelveCounters(platform::SimulatedRemoteAccess& ras) : line_(ras) {}
    bool read(platform::CounterValues& out) override {
        if (!line_.read(out)) {
            return false;
        }
        for (int i = platform::PercentCompressionIn; i <= platform::TotalErrors; ++i) {
            out[static_cast<std::size_t>(i)] = out[platform::BytesReceived] / (1000 + i);
        }
        return true;
    }

  private:
    platform::SimulatedCounters line_;
};

CPerformanceDlg* openPerformanceWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->windowTitle() == "Connection performance") {
            return qobject_cast<CPerformanceDlg*>(w);
        }
    }
    return nullptr;
}

bool hasRed(const QImage& img, int x) {
    return img.pixel(x, img.height() - 1) == qRgb(255, 0, 0);
}

class PerformanceWindow : public test::MonitorFixture {
  protected:
    PerformanceWindow() {
        std::string error;
        ras = platform::SimulatedRemoteAccess::fromText(
            "[entry Provider]\nbytes-in-per-s = 4200\nbytes-out-per-s = 600\n", clock, error);
        counters = std::make_unique<AllTwelveCounters>(*ras);
        window = std::make_unique<ConnectionMonitor>(AppContext{settings, clock, prompter, *ras,
                                                                counters.get(), sound, system,
                                                                shell, dir.path(), dir.path()});
        window->trayAvailability = [] { return true; };
        window->initialise();
    }
    void tickAfter(std::chrono::seconds s) {
        clock.advance(s);
        window->tick(ConnectionMonitor::PollTimer);
    }
    // Opens the window from the command and runs body while it is open; body closes it.
    void whileOpen(const std::function<void(CPerformanceDlg&)>& body) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            CPerformanceDlg* dlg = openPerformanceWindow();
            if (dlg == nullptr) {
                ADD_FAILURE() << "no window titled \"Connection performance\" is open";
                if (QWidget* modal = QApplication::activeModalWidget()) {
                    modal->close();
                }
                return;
            }
            ran = true;
            body(*dlg);
            if (dlg->isVisible()) {
                dlg->reject();
            }
        });
        window->runCommand(CmdPerformance);
        EXPECT_TRUE(ran);
    }

    std::unique_ptr<AllTwelveCounters> counters;
};

TEST_F(PerformanceWindow, LaysOutEveryLabelFieldAndButton) {
    CPerformanceDlg dlg;
    QStringList texts;
    for (QLabel* l : dlg.findChildren<QLabel*>()) {
        texts << l->text();
        EXPECT_EQ(l->textFormat(), Qt::PlainText);
    }
    for (const char* label : CPerformanceDlg::labelTexts()) {
        EXPECT_TRUE(texts.contains(label)) << label;
    }
    EXPECT_TRUE(texts.contains("Bytes in"));
    EXPECT_TRUE(texts.contains("Bytes out"));
    EXPECT_TRUE(texts.contains(CPerformanceDlg::systemNote()));
    for (int i = 0; i < CPerformanceDlg::kCounters; ++i) {
        EXPECT_EQ(dlg.valueField(i)->text(), "0");
    }
    EXPECT_EQ(dlg.durationField()->text(), "00:00:00");
    EXPECT_EQ(dlg.okButton()->text(), "OK");
    EXPECT_EQ(dlg.bytesInGraph()->model().maximum(), 100u);
    EXPECT_EQ(dlg.bytesOutGraph()->model().minimum(), 0u);
    EXPECT_TRUE(dlg.timer().isActive());
    EXPECT_EQ(dlg.timer().interval(), 1000);

    // The timer's tick moves only the bytes-in graph, by an empty column.
    const QImage outBefore = dlg.bytesOutGraph()->image();
    dlg.postCounters(platform::CounterValues{});
    dlg.postCounters(platform::CounterValues{6000});
    const int last = dlg.bytesInGraph()->image().width() - 4;
    ASSERT_TRUE(hasRed(dlg.bytesInGraph()->image(), last));
    dlg.timerTick();
    EXPECT_FALSE(hasRed(dlg.bytesInGraph()->image(), last));
    EXPECT_TRUE(hasRed(dlg.bytesInGraph()->image(), last - 4));

    // Counters beyond 32 bits show as they are; durations keep whole hours beyond a day.
    dlg.postCounters(platform::CounterValues{3'000'000'000, 4'294'967'296});
    EXPECT_EQ(dlg.valueField(platform::BytesReceived)->text(), "3000000000");
    EXPECT_EQ(dlg.valueField(platform::BytesTransmitted)->text(), "4294967296");
    dlg.postElapsed(25 * 3600);
    EXPECT_EQ(dlg.durationField()->text(), "25:00:00");
}

TEST_F(PerformanceWindow, FedByTheSimulatedLineWhileOpen) {
    ras->bringUp("Provider");
    tickAfter(1s);
    ASSERT_TRUE(window->core().connected());

    whileOpen([&](CPerformanceDlg& dlg) {
        EXPECT_EQ(window->core().counterWindow(), &dlg);
        tickAfter(1s);
        EXPECT_EQ(dlg.durationField()->text(), "00:00:01");
        QStringList first;
        for (int i = 0; i < CPerformanceDlg::kCounters; ++i) {
            first << dlg.valueField(i)->text();
        }
        EXPECT_EQ(first[platform::BytesReceived], "8400");
        const int last = dlg.bytesInGraph()->image().width() - 4;
        EXPECT_FALSE(hasRed(dlg.bytesInGraph()->image(), last))
            << "the first value after opening draws no bar";

        tickAfter(1s);
        EXPECT_EQ(dlg.durationField()->text(), "00:00:02");
        for (int i = 0; i < CPerformanceDlg::kCounters; ++i) {
            EXPECT_NE(dlg.valueField(i)->text(), first[i]) << CPerformanceDlg::labelTexts()[i];
            EXPECT_NE(dlg.valueField(i)->text(), "0") << CPerformanceDlg::labelTexts()[i];
        }
        EXPECT_TRUE(hasRed(dlg.bytesInGraph()->image(), last)) << "4200 bytes: 76 units";
        EXPECT_TRUE(hasRed(dlg.bytesOutGraph()->image(), last)) << "600 bytes: 10 units";

        tickAfter(25h);
        EXPECT_EQ(dlg.durationField()->text(), "25:00:02");
        dlg.okButton()->click();
    });

    EXPECT_EQ(window->core().counterWindow(), nullptr);
    EXPECT_EQ(openPerformanceWindow(), nullptr);
    tickAfter(1s);  // nothing is posted any more: there is no window to post to
    EXPECT_EQ(window->core().counterWindow(), nullptr);
    EXPECT_EQ(window->core().display().bytesReceived, std::to_string(4200 * (25 * 3600 + 4)));
}

}  // namespace
}  // namespace tavu
