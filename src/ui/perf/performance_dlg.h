#pragma once

#include <QTimer>
#include <array>
#include <cstdint>

#include "monitor/counter_window.h"
#include "monitor/traffic_graph_model.h"
#include "platform/kernel/counters.h"
#include "ui/common/dark_dialog.h"

class QLabel;
class QPushButton;

namespace tavu {

class CTrafficGraph;
class MonitorCore;

// The "Connection performance" window: the twelve dial-up counters, the connection's duration
// and two scrolling graphs of the bytes received and sent per second. The monitor feeds it at
// every connected tick while it is open; a timer adds an empty column to the bytes-in graph
// every second, connected or not.
class CPerformanceDlg : public DarkDialog, public CounterWindow {
    Q_OBJECT

  public:
    static constexpr int kCounters = static_cast<int>(platform::kCounterNames.size());
    static constexpr int kTimerMs = 1000;

    explicit CPerformanceDlg(QWidget* parent = nullptr);
    ~CPerformanceDlg() override;

    // Opens the window modally, attached to the monitor while it is open.
    static int run(MonitorCore& monitor, QWidget* parent = nullptr);

    // CounterWindow
    void postElapsed(std::int64_t seconds) override;
    void postCounters(const platform::CounterValues& values) override;

    // The timer's work: the bytes-in graph moves by one empty column.
    void timerTick();

    // The label texts, in the order of the counters, then the duration's.
    static const std::array<const char*, kCounters + 1>& labelTexts();
    // The fixed line at the bottom: which counters this system keeps.
    static const char* systemNote();

    QLabel* valueField(int counter) const { return values_[static_cast<std::size_t>(counter)]; }
    QLabel* durationField() const { return duration_; }
    CTrafficGraph* bytesInGraph() const { return bytesIn_; }
    CTrafficGraph* bytesOutGraph() const { return bytesOut_; }
    QPushButton* okButton() const { return ok_; }
    const QTimer& timer() const { return timer_; }

  private:
    std::array<QLabel*, kCounters> values_{};
    QLabel* duration_ = nullptr;
    CTrafficGraph* bytesIn_ = nullptr;
    CTrafficGraph* bytesOut_ = nullptr;
    QPushButton* ok_ = nullptr;
    CounterSteps inSteps_;
    CounterSteps outSteps_;
    QTimer timer_;
};

}  // namespace tavu
