// The monitor's side of the usage store: the connection's seconds and bytes counted by the UTC
// quarter hour in which they happened, stored once a minute and when the connection ends.

#include <algorithm>

#include "log/log_record.h"
#include "monitor/monitor_core.h"
#include "usage/usage_store.h"

namespace tavu {

namespace {

constexpr std::int64_t kUsageWriteEvery = 60;

// The connection as its log record will name it, separators blanked as the log stores them.
ConnectionKey keyOf(const LogRecord& record) {
    const std::string line = composeRecord(record);
    return connectionKeyOf(splitRecord(line));
}

// part of total, rounded down, exact for any byte count a counter holds.
std::int64_t share(std::int64_t total, std::int64_t part, std::int64_t whole) {
    return static_cast<std::int64_t>(static_cast<__int128>(total) * part / whole);
}

}  // namespace

void MonitorCore::usageTick(std::int64_t now, bool fresh, bool resumed) {
    if (s_.usage == nullptr) {
        return;
    }
    if (fresh) {
        usageKey_ = keyOf(recordUntil(start_));
        usagePending_.clear();
        usageUntil_ = start_;
        usageUp_ = 0;
        usageDown_ = 0;
        usageWritten_ = now;
        if (resumed) {
            // A connection resumed after a restart goes on where its stored rows end: the time
            // and the bytes since then count in the quarters between.
            const std::vector<UsageRow> rows = s_.usage->rowsOf(logPath(), usageKey_);
            for (const UsageRow& r : rows) {
                usageUntil_ += r.seconds;
                usageUp_ += r.uploaded;
                usageDown_ += r.downloaded;
            }
            if (!rows.empty()) {
                usagePending_[rows.back().quarter] = rows.back();
            }
        }
    }
    countUsage(now);
    if (now - usageWritten_ >= kUsageWriteEvery || now < usageWritten_) {
        usageWritten_ = now;
        writeUsage();
    }
}

void MonitorCore::countUsage(std::int64_t now) {
    // The counters' increase since the last count happened in the seconds since then; spread
    // over them by the second (a gap after a restart) it meets the quarters where it fell.
    const std::int64_t up = std::max<std::int64_t>(0, bytesOut_ - usageUp_);
    const std::int64_t down = std::max<std::int64_t>(0, bytesIn_ - usageDown_);
    usageUp_ = std::max(usageUp_, bytesOut_);
    usageDown_ = std::max(usageDown_, bytesIn_);
    const std::int64_t from = usageUntil_;
    const std::int64_t to = std::max(now, from);
    usageUntil_ = to;
    if (from == to) {
        if (up != 0 || down != 0) {
            // No time passed: the bytes belong to the second before.
            UsageRow& row = usagePending_[quarterOf(std::max(start_, from - 1))];
            row.quarter = quarterOf(std::max(start_, from - 1));
            row.uploaded += up;
            row.downloaded += down;
            row.roaming += roaming_ ? up + down : 0;
        }
        return;
    }
    const std::int64_t span = to - from;
    std::int64_t done = 0;
    for (std::int64_t q = quarterOf(from); q < to; q += kQuarterSeconds) {
        const std::int64_t secs = std::min(to, q + kQuarterSeconds) - std::max(from, q);
        UsageRow& row = usagePending_[q];
        row.quarter = q;
        row.seconds += secs;
        const std::int64_t sent = share(up, done + secs, span) - share(up, done, span);
        const std::int64_t received = share(down, done + secs, span) - share(down, done, span);
        row.uploaded += sent;
        row.downloaded += received;
        row.roaming += roaming_ ? sent + received : 0;
        done += secs;
    }
}

void MonitorCore::setRoaming(bool roaming) {
    if (roaming == roaming_) {
        return;
    }
    // The bytes counted so far were used in the state before.
    if (connected_ && s_.usage != nullptr) {
        countUsage(nowSeconds());
    }
    roaming_ = roaming;
}

void MonitorCore::writeUsage() {
    if (usagePending_.empty()) {
        return;
    }
    std::vector<UsageRow> rows;
    rows.reserve(usagePending_.size());
    for (const auto& [quarter, row] : usagePending_) {
        rows.push_back(row);
    }
    if (s_.usage->write(logPath(), usageKey_, rows)) {
        // The quarter being counted stays: the next write replaces its row whole.
        usagePending_.erase(usagePending_.begin(), std::prev(usagePending_.end()));
        return;
    }
    // The rows stay in memory for the next write; the log's record keeps the connection whole.
    // Each problem is said once.
    if (s_.usage->problem() != usageProblemShown_) {
        usageProblemShown_ = s_.usage->problem();
        view_.insertStatus(usageProblemShown_);
    }
}

std::optional<MonitorCore::LiveConnection> MonitorCore::liveConnection(std::int64_t now) {
    if (!connected_) {
        return std::nullopt;
    }
    LiveConnection live{recordUntil(now), usageKey_, {}};
    if (s_.usage != nullptr) {
        countUsage(now);
        for (const auto& [quarter, row] : usagePending_) {
            live.pending.push_back(row);
        }
    } else {
        live.key = keyOf(live.record);
    }
    return live;
}

void MonitorCore::usageEnd(std::int64_t end) {
    if (s_.usage == nullptr) {
        return;
    }
    countUsage(end);
    writeUsage();
    usagePending_.clear();
}

}  // namespace tavu
