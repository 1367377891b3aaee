#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "core/settings_keys.h"
#include "log/log_record.h"
#include "monitor/monitor_core.h"
#include "support/monitor_rig.h"
#include "support/null_view.h"
#include "usage/usage_store.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

// The store as the monitor sees it: rows replaced whole by quarter, writes counted, and a
// problem to be made to fail with.
class FakeSink : public UsageSink {
  public:
    bool write(const std::string&, const ConnectionKey& key,
               const std::vector<UsageRow>& rows) override {
        ++writes;
        if (!failWith.empty()) {
            problem_ = failWith;
            return false;
        }
        for (const UsageRow& r : rows) {
            stored[key][r.quarter] = r;
        }
        return true;
    }
    std::vector<UsageRow> rowsOf(const std::string&, const ConnectionKey& key) override {
        std::vector<UsageRow> out;
        for (const auto& [q, r] : stored[key]) {
            out.push_back(r);
        }
        return out;
    }
    const std::string& problem() const override { return problem_; }
    const UsageSource* source(const std::string&) override {
        memory.rows.clear();
        for (const auto& [key, byQuarter] : stored) {
            for (const auto& [q, r] : byQuarter) {
                memory.rows[key].push_back(r);
            }
        }
        return &memory;
    }

    MemoryUsageSource memory;
    std::map<ConnectionKey, std::map<std::int64_t, UsageRow>> stored;
    int writes = 0;
    std::string failWith;
    std::string problem_;
};

class StatusView : public test::NullView {
  public:
    void insertStatus(const std::string& line) override { status.push_back(line); }
    std::vector<std::string> status;
};

class MonitorUsage : public testing::Test, protected test::MonitorRig<> {
  protected:
    MonitorUsage()
        : MonitorRig("[entry Provider]\nbytes-in-per-s = 1000\nbytes-out-per-s = 100\n") {
        EXPECT_TRUE(ras) << lineError;
        usage = &sink;
    }
    void startRun() {
        view = std::make_unique<StatusView>();
        core = std::make_unique<MonitorCore>(services(), *view);
    }
    void runFor(int seconds) {
        for (int i = 0; i < seconds; ++i) {
            clock.advance(1s);
            core->poll();
        }
    }
    // The rows of the one connection stored, and their sums.
    std::vector<UsageRow> rows() {
        EXPECT_EQ(sink.stored.size(), 1u);
        return sink.stored.empty() ? std::vector<UsageRow>{}
                                   : sink.rowsOf({}, sink.stored.begin()->first);
    }
    static UsageRow sum(const std::vector<UsageRow>& rows) {
        UsageRow s;
        for (const UsageRow& r : rows) {
            s.seconds += r.seconds;
            s.uploaded += r.uploaded;
            s.downloaded += r.downloaded;
        }
        return s;
    }
    // The record's length in seconds, bytes sent and bytes received.
    UsageRow logged() {
        const auto lines = logLines();
        EXPECT_EQ(lines.size(), 1u);
        if (lines.empty()) {
            return {};
        }
        const LogFields f = splitRecord(lines[0]);
        auto secs = [](std::string_view t) {
            return std::stoll(std::string(t.substr(0, 2))) * 3600 +
                   std::stoll(std::string(t.substr(3, 2))) * 60 +
                   std::stoll(std::string(t.substr(6, 2)));
        };
        return UsageRow{0, secs(f[LogFields::EndTime]) - secs(f[LogFields::StartTime]),
                        std::stoll(std::string(f[LogFields::BytesSent])),
                        std::stoll(std::string(f[LogFields::BytesReceived]))};
    }

    FakeSink sink;
    std::unique_ptr<StatusView> view;
    std::unique_ptr<MonitorCore> core;
};

TEST_F(MonitorUsage, RowsJoinTheRecordAndSumToItExactlyQuarterByQuarter) {
    startRun();
    const auto handle = ras->bringUp("Provider");
    runFor(2000);  // over two quarter hours' ends
    ras->drop(handle);
    runFor(1);

    const ConnectionKey key{"07-12-2026", "20:00:01", "/dev/ttyS0", "Provider"};
    ASSERT_EQ(sink.stored.count(key), 1u);
    const std::vector<UsageRow> list = rows();
    const UsageRow total = sum(list);
    const UsageRow record = logged();
    EXPECT_EQ(total.seconds, record.seconds);
    EXPECT_EQ(total.uploaded, record.uploaded);
    EXPECT_EQ(total.downloaded, record.downloaded);
    ASSERT_GE(list.size(), 2u);
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(list[i].quarter % kQuarterSeconds, 0);
        EXPECT_LE(list[i].seconds, kQuarterSeconds);
        if (i > 0) {
            EXPECT_EQ(list[i].quarter, list[i - 1].quarter + kQuarterSeconds);
        }
    }
    // A whole quarter in the middle carries the bytes of its own seconds.
    const auto whole =
        std::find_if(list.begin(), list.end(), [](const UsageRow& r) { return r.seconds == 900; });
    ASSERT_NE(whole, list.end());
    EXPECT_EQ(whole->downloaded, 900 * 1000);
    EXPECT_EQ(whole->uploaded, 900 * 100);
}

TEST_F(MonitorUsage, NothingWrittenWhileIdleAndOnceAMinuteWhileUp) {
    startRun();
    runFor(600);
    EXPECT_EQ(sink.writes, 0);
    const auto handle = ras->bringUp("Provider");
    runFor(301);
    EXPECT_EQ(sink.writes, 5);
    ras->drop(handle);
    runFor(1);
    EXPECT_EQ(sink.writes, 6);
    runFor(300);
    EXPECT_EQ(sink.writes, 6);
}

TEST_F(MonitorUsage, KilledLosesAtMostAMinuteAndTheResumedConnectionGoesOnUnderItsKey) {
    startRun();
    const auto handle = ras->bringUp("Provider");
    runFor(1000);
    core.reset();  // killed: no exit, no last write
    EXPECT_GE(sum(rows()).seconds, 1000 - 60);

    clock.advance(20s);
    startRun();
    runFor(100);
    ras->drop(handle);
    runFor(1);
    const UsageRow total = sum(rows());
    const UsageRow record = logged();
    EXPECT_EQ(total.seconds, record.seconds);
    EXPECT_EQ(total.uploaded, record.uploaded);
    EXPECT_EQ(total.downloaded, record.downloaded);
}

TEST_F(MonitorUsage, TimeWhileNoCopyRanIsSpreadOverTheQuartersItCovered) {
    startRun();
    const auto handle = ras->bringUp("Provider");
    runFor(100);
    core.reset();
    clock.advance(40min);  // the line stayed up, the program did not run
    startRun();
    runFor(10);
    ras->drop(handle);
    runFor(1);
    const std::vector<UsageRow> list = rows();
    const UsageRow record = logged();
    EXPECT_EQ(sum(list).seconds, record.seconds);
    EXPECT_EQ(sum(list).downloaded, record.downloaded);
    // Quarters wholly within the gap hold their share of it, not the quarter of the restart.
    const auto whole =
        std::count_if(list.begin(), list.end(), [](const UsageRow& r) { return r.seconds == 900; });
    EXPECT_GE(whole, 1);
    for (const UsageRow& r : list) {
        EXPECT_NEAR(static_cast<double>(r.downloaded), 1000.0 * r.seconds, 1000.0 * 61)
            << "quarter " << r.quarter;
    }
}

TEST_F(MonitorUsage, StoreThatFailsIsSaidOnceAndTheRecordIsStillLogged) {
    sink.failWith = "The usage store is not used (database is locked)";
    startRun();
    const auto handle = ras->bringUp("Provider");
    runFor(300);
    EXPECT_EQ(std::count(view->status.begin(), view->status.end(), sink.failWith), 1);
    // Once it works again, the rows kept meanwhile are stored, none lost.
    sink.failWith.clear();
    runFor(100);
    ras->drop(handle);
    runFor(1);
    EXPECT_EQ(sum(rows()).seconds, logged().seconds);
}

// Counters that the test sets: traffic that comes in bursts.
class SetCounters : public platform::DialupCounters {
  public:
    bool read(platform::CounterValues& out) override {
        out = {};
        out[platform::BytesReceived] = received;
        return true;
    }
    std::int64_t received = 0;
};

TEST_F(MonitorUsage, CostCheckHangsUpWhenTheRowsNotTheSpreadCrossTheCap) {
    // Up from 23:40 on the 7th; the period starts on the 8th at midnight. Quiet until 00:20,
    // then 10 MB: all of it in the new period by the rows, 3.4 MB by an even spread.
    settings.writeInt("Settings", "BillingDay", 8);
    settings.writeInt("Warnings", "DataHangupMB", 6);
    SetCounters burst;
    MonitorServices s = services();
    s.counters = &burst;
    view = std::make_unique<StatusView>();
    core = std::make_unique<MonitorCore>(s, *view);
    clock.set(fromLocal(2026, 12, 7, 23, 40, 0));
    ras->bringUp("Provider");
    runFor(40 * 60);
    core->costCheck();
    ASSERT_TRUE(core->connected());
    burst.received = 10'000'000;
    runFor(30);  // counted, not yet stored: the check sees the rows in memory
    core->costCheck();
    runFor(1);
    EXPECT_FALSE(core->connected());
    ASSERT_EQ(prompter.shown.size(), 1u);
    EXPECT_EQ(prompter.shown[0].text,
              "Connection closed: the data limit of 6 MB for this period was reached.");
}

}  // namespace
}  // namespace tavu
