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

void MonitorCore::usageTick(MonitoredConnection& c, std::int64_t now, bool fresh, bool resumed) {
    if (s_.usage == nullptr) {
        return;
    }
    if (fresh) {
        c.usageKey = keyOf(recordUntil(c, c.start));
        c.usagePending.clear();
        c.usageStored.clear();
        c.usageUntil = c.start;
        c.usageUp = 0;
        c.usageDown = 0;
        c.usageWritten = now;
        if (resumed) {
            // A connection resumed after a restart goes on where its stored rows end: the time
            // and the bytes since then count in the quarters between.
            const std::vector<UsageRow> rows = s_.usage->rowsOf(logPath(), c.usageKey);
            for (const UsageRow& r : rows) {
                c.usageUntil += r.seconds;
                c.usageUp += r.uploaded;
                c.usageDown += r.downloaded;
                c.usageStored[r.quarter] = r;
            }
            if (!rows.empty()) {
                c.usagePending[rows.back().quarter] = rows.back();
            }
        }
    }
    countUsage(c, now);
    if (now - c.usageWritten >= kUsageWriteEvery || now < c.usageWritten) {
        c.usageWritten = now;
        writeUsage(c);
    }
}

void MonitorCore::countUsage(MonitoredConnection& c, std::int64_t now) {
    // The counters' increase since the last count happened in the seconds since then; spread
    // over them by the second (a gap after a restart) it meets the quarters where it fell.
    const std::int64_t up = std::max<std::int64_t>(0, c.bytesOut - c.usageUp);
    const std::int64_t down = std::max<std::int64_t>(0, c.bytesIn - c.usageDown);
    c.usageUp = std::max(c.usageUp, c.bytesOut);
    c.usageDown = std::max(c.usageDown, c.bytesIn);
    const std::int64_t from = c.usageUntil;
    const std::int64_t to = std::max(now, from);
    c.usageUntil = to;
    if (from == to) {
        if (up != 0 || down != 0) {
            // No time passed: the bytes belong to the second before.
            UsageRow& row = c.usagePending[quarterOf(std::max(c.start, from - 1))];
            row.quarter = quarterOf(std::max(c.start, from - 1));
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
        UsageRow& row = c.usagePending[q];
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
        const std::int64_t now = nowSeconds();
        countUsage(line_, now);
        for (MonitoredConnection& c : others_) {
            countUsage(c, now);
        }
    }
    roaming_ = roaming;
}

void MonitorCore::writeUsage(MonitoredConnection& c) {
    if (c.usagePending.empty()) {
        return;
    }
    std::vector<UsageRow> rows;
    rows.reserve(c.usagePending.size());
    for (const auto& [quarter, row] : c.usagePending) {
        rows.push_back(row);
    }
    if (s_.usage->write(logPath(), c.usageKey, rows)) {
        for (const UsageRow& r : rows) {
            c.usageStored[r.quarter] = r;
        }
        // The quarter being counted stays: the next write replaces its row whole.
        c.usagePending.erase(c.usagePending.begin(), std::prev(c.usagePending.end()));
        return;
    }
    // The rows stay in memory for the next write; the log's record keeps the connection whole.
    // Each problem is said once.
    if (s_.usage->problem() != usageProblemShown_) {
        usageProblemShown_ = s_.usage->problem();
        // The ledger may have said the same of the store already.
        if (usageProblemShown_ != ledgerProblemShown_) {
            view_.insertStatus(usageProblemShown_);
        }
    }
}

std::vector<MonitorCore::LiveConnection> MonitorCore::liveConnections(std::int64_t now) {
    std::vector<LiveConnection> out;
    if (!connected_) {
        return out;
    }
    auto add = [&](MonitoredConnection& c) {
        LiveConnection& live = out.emplace_back();
        live.usage.record = recordUntil(c, now);
        live.handle = c.line.handle;
        if (s_.usage != nullptr) {
            live.key = c.usageKey;
            countUsage(c, now);
            // The rows stored, each replaced by the one in memory of its quarter.
            std::map<std::int64_t, UsageRow> rows = c.usageStored;
            for (const auto& [quarter, row] : c.usagePending) {
                rows[quarter] = row;
            }
            live.usage.rows.reserve(rows.size());
            for (const auto& [quarter, row] : rows) {
                live.usage.rows.push_back(row);
            }
        } else {
            live.key = keyOf(live.usage.record);
        }
        // The names as the log will store them.
        live.usage.record.device = live.key.device;
        live.usage.record.connection = live.key.connection;
    };
    add(line_);
    for (MonitoredConnection& c : others_) {
        add(c);
    }
    return out;
}

std::vector<LiveUsage> MonitorCore::usageOf(const std::vector<LiveConnection>& live) {
    std::vector<LiveUsage> out;
    out.reserve(live.size());
    for (const LiveConnection& l : live) {
        out.push_back(l.usage);
    }
    return out;
}

void MonitorCore::usageEnd(MonitoredConnection& c, std::int64_t end) {
    if (s_.usage == nullptr) {
        return;
    }
    countUsage(c, end);
    writeUsage(c);
    c.usagePending.clear();
    c.usageStored.clear();
}

}  // namespace tavu
