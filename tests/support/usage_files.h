#pragma once

// The files beside a log that the usage engine reads besides the log itself: the usage store's
// rows of a connection, and the journal of the connection in progress.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "core/clock.h"
#include "log/connection_journal.h"
#include "log/log_record.h"
#include "usage/usage_source.h"
#include "usage/usage_store.h"

namespace tavu::test {

inline std::int64_t epochOf(TimePoint t) {
    return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

// The key under which the store keeps a record's rows.
inline ConnectionKey keyOf(const LogRecord& r) {
    return ConnectionKey{r.startDate, r.startTime, r.device, r.connection};
}

// Stores rows of a connection in usage.db beside the log, as the monitor writes them.
inline testing::AssertionResult storeRows(const std::string& logPath, const ConnectionKey& key,
                                          const std::vector<UsageRow>& rows) {
    std::string error;
    auto store = UsageStore::open(UsageStore::pathFor(logPath), true, error);
    if (store == nullptr) {
        return testing::AssertionFailure() << error;
    }
    if (!store->write(key, rows)) {
        return testing::AssertionFailure() << store->problem();
    }
    return testing::AssertionSuccess();
}

// Journals a connection in progress beside the log as a monitor does: begun at `start`, its
// record last written at `end` (the record's end). The journal stays when the writer goes.
inline testing::AssertionResult journalConnection(const std::string& logPath,
                                                  const LogRecord& record, TimePoint start,
                                                  TimePoint end) {
    JournalEntry e;
    e.start = epochOf(start);
    e.end = e.start;
    e.handle = 1;
    e.mark = "test";
    e.record = record;
    e.record.endDate = record.startDate;
    e.record.endTime = record.startTime;
    ConnectionJournal journal;
    const std::string path = ConnectionJournal::pathFor(logPath);
    if (!journal.begin(path, e)) {
        return testing::AssertionFailure() << journal.problem();
    }
    e.end = epochOf(end);
    e.record = record;
    if (!journal.update(path, e)) {
        return testing::AssertionFailure() << journal.problem();
    }
    return testing::AssertionSuccess();
}

}  // namespace tavu::test
