#include <gtest/gtest.h>

#include "core/prompter.h"
#include "core/settings_store.h"
#include "monitor/log_file.h"
#include "monitor/log_record.h"
#include "monitor/monitor_core.h"
#include "platform/fakes.h"
#include "platform/simulated_remote_access.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

class QuietView : public MonitorView {
  public:
    void setTitle(const std::string&) override {}
    void setTrayState(bool, const std::string&) override {}
    void insertStatus(const std::string&) override {}
    void redraw() override {}
    void showMainWindow() override {}
    void hideMainWindow() override {}
    void elapsedTick(const std::string&, std::int64_t) override {}
    void connectionStarted() override {}
    void dial() override {}
    void startMailCheck() override {}
};

class RecordingWindow : public CounterWindow {
  public:
    void postElapsed(std::int64_t s) override { elapsed.push_back(s); }
    void postCounters(const platform::CounterValues& v) override { counters.push_back(v); }
    std::vector<std::int64_t> elapsed;
    std::vector<platform::CounterValues> counters;
};

// Counters set by the test; every counter distinct so a mix-up shows.
class SetCounters : public platform::DialupCounters {
  public:
    bool read(platform::CounterValues& out) override {
        ++reads;
        if (fail) {
            return false;
        }
        out = values;
        return true;
    }
    platform::CounterValues values{};
    bool fail = false;
    int reads = 0;
};

class CounterDistribution : public testing::Test {
  protected:
    CounterDistribution() {
        std::string error;
        ras = platform::SimulatedRemoteAccess::fromText("[entry Provider]\n", clock, error);
        for (std::size_t i = 0; i < counters.values.size(); ++i) {
            counters.values[i] = static_cast<std::int64_t>(100 + i);
        }
    }
    MonitorCore& makeCore(const std::string& version = "6.1") {
        core = std::make_unique<MonitorCore>(
            MonitorServices{settings, clock, prompter, *ras, &counters, sound, writer, dir.path(),
                            "tester", version, nullptr},
            view);
        return *core;
    }
    void tickAfter(std::chrono::seconds s) {
        clock.advance(s);
        core->poll();
    }

    test::TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    ManualClock clock{fromLocal(2026, 12, 7, 20, 0, 0)};
    ScriptedPrompter prompter;
    platform::FakeSound sound;
    LogWriter writer{prompter};
    std::unique_ptr<platform::SimulatedRemoteAccess> ras;
    SetCounters counters;
    QuietView view;
    RecordingWindow window;
    std::unique_ptr<MonitorCore> core;
};

TEST_F(CounterDistribution, WindowModeOnlyWhileAWindowIsAttached) {
    MonitorCore& c = makeCore();
    ras->bringUp("Provider");
    tickAfter(1s);
    tickAfter(1s);
    EXPECT_TRUE(window.elapsed.empty());
    EXPECT_EQ(counters.reads, 2) << "display mode reads once a tick and no more";

    c.setCounterWindow(&window);
    tickAfter(1s);
    counters.values[platform::TotalErrors] = 7;
    tickAfter(1s);
    EXPECT_EQ(counters.reads, 4) << "window mode reuses the display mode's read";
    EXPECT_EQ(window.elapsed, (std::vector<std::int64_t>{2, 3}));
    ASSERT_EQ(window.counters.size(), 2u);
    EXPECT_EQ(window.counters[0][platform::FramesReceived], 102);
    EXPECT_EQ(window.counters[1][platform::TotalErrors], 7);

    counters.fail = true;  // a failed read posts the seconds but leaves the fields alone
    tickAfter(1s);
    EXPECT_EQ(window.elapsed.size(), 3u);
    EXPECT_EQ(window.counters.size(), 2u);

    c.setCounterWindow(nullptr);
    counters.fail = false;
    tickAfter(1s);
    ras->drop(c.connections()[0].handle);
    tickAfter(1s);
    EXPECT_EQ(window.elapsed.size(), 3u) << "nothing reaches a closed window";
    EXPECT_EQ(window.counters.size(), 2u);
}

TEST_F(CounterDistribution, NoCountersOnTheOldSystemVersion) {
    MonitorCore& c = makeCore("4.10");
    c.setCounterWindow(&window);
    ras->bringUp("Provider");
    tickAfter(1s);
    EXPECT_EQ(counters.reads, 0);
    EXPECT_TRUE(window.elapsed.empty());
}

TEST_F(CounterDistribution, ByteCountsBeyondTwoGibReachDisplayAndLog) {
    MonitorCore& c = makeCore();
    ras->bringUp("Provider");
    counters.values[platform::BytesReceived] = 5'368'709'121;     // 5 GiB + 1
    counters.values[platform::BytesTransmitted] = 2'147'483'648;  // 2^31
    tickAfter(1s);
    EXPECT_EQ(c.display().bytesReceived, "5368709121");
    EXPECT_EQ(c.display().bytesTransmitted, "2147483648");
    ras->drop(c.connections()[0].handle);
    tickAfter(1s);
    const std::string line = test::readFile(c.logPath());
    EXPECT_NE(line.find("|2147483648|5368709121|"), std::string::npos) << line;
}

}  // namespace
}  // namespace tavu
