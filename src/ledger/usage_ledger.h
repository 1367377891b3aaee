#pragma once

// The usage engine: the figures of the log (totals, buckets, each plan's period) answered from
// sums kept in usage.db, so that nothing reads the whole log to show one period. The sums are
// counted once; afterwards only the log's new tail is parsed. A log that was replaced, cut,
// moved or edited before the bytes counted, and a change of the plans, tariffs or the local time
// zone, are counted again, once. Where the store cannot be used the sums are counted in memory
// from the log, and the figures are the same.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ledger/day_book.h"
#include "ledger/ledger_count.h"
#include "log/log_record.h"
#include "tariff/totals.h"
#include "tariff/usage_buckets.h"

namespace tavu {

class SettingsStore;
class UsageStore;

// A connection in progress as a count at some moment sees it: its record ended then, and its
// usage rows so far (those stored and those still in memory).
struct LiveUsage {
    LogRecord record;
    std::vector<UsageRow> rows;
};

// One connection name's figures without a filter: its records each priced whole, and its
// connections in progress as if they had ended now.
struct NamedTotals {
    std::string name;    // the entry or NetworkManager connection, as the log stores it
    std::string device;  // of its last record (or connection in progress)
    LogTotals totals;
};

struct LedgerOptions {
    // While the whole log is counted (the first count, or after a change): bytes done, of all;
    // first with none done, before the count starts. Called on the thread that counts.
    std::function<void(std::uint64_t, std::uint64_t)> progress;
    // Make usage.db beside the log when there is none.
    bool create = true;
    // Threads of a whole count; 0: the machine's cores.
    unsigned threads = 0;
};

class UsageLedger {
  public:
    UsageLedger(const SettingsStore& settings, std::string logPath, LedgerOptions options = {});
    ~UsageLedger();
    UsageLedger(const UsageLedger&) = delete;
    UsageLedger& operator=(const UsageLedger&) = delete;

    // Brings the sums up to date with the log and the settings: nothing to do when neither
    // changed, the new tail when the log grew, all of it when anything else changed.
    void refresh();

    // The totals of a filter as of `today`, of all plans (plan empty) or of the plan named
    // ("Default" for the default plan; a name that no plan has counts nothing), with the
    // connections in progress counted as if they had ended now.
    LogTotals totals(SummaryFilter filter, const LocalDateTime& today, const std::string& plan = {},
                     const std::vector<LiveUsage>& live = {});
    // Each plan's own totals from the last totals(): the default plan first.
    const std::vector<PlanTotals>& eachPlan() const { return eachPlan_; }

    // Each connection name's figures without a filter, by name.
    std::vector<NamedTotals> byConnection(const std::vector<LiveUsage>& live = {});

    // The buckets of the local days from..to (both included) that hold usage, in time order.
    std::vector<UsageBucket> buckets(UsageBy by, const LogDate& from, const LogDate& to,
                                     const LocalDateTime& today, const std::string& plan = {},
                                     const std::vector<LiveUsage>& live = {});

    // The first and the last local day that hold usage, of all plans (plan empty) or of the plan
    // named, the connections in progress included; none when nothing was used.
    std::optional<std::pair<LogDate, LogDate>> usedDays(const std::string& plan = {},
                                                        const std::vector<LiveUsage>& live = {});

    // The connection in progress that a monitor journals beside the log (ended at its last
    // write), with its stored rows; none when there is no journal, or its record is already in
    // the log.
    std::vector<LiveUsage> journaled();

    const PlanSet& plans() const { return rules_->plans(); }
    // What the user is told once: why the store is not used, or the fault that a read of it met;
    // empty when all went well.
    std::string problem() const;
    // Whether the last refresh counted the whole log.
    bool countedWhole() const { return countedWhole_; }
    // The store beside the log, when it is used (null when it is not).
    const UsageSource* rows() const;

  private:
    struct Cursor;
    struct Loaded;
    void countAll(int fd, std::uint64_t size, std::uint64_t complete);
    bool ensureMonths(std::size_t plan, std::int64_t firstDay, std::int64_t lastDay, bool hours);
    // The usage of a day (and its hours), kept and overlaid.
    const DayBook* keptDay(std::size_t plan, std::int64_t day) const;
    // The counted plans of a choice, as indexes.
    std::vector<std::size_t> chosen(const std::string& plan) const;
    // The partial last line and the connections in progress, counted over the whole sums (and
    // the names' sums, when asked).
    LedgerCount overlay(const std::vector<LiveUsage>& live, bool names = false);
    bool readState();
    // The kept sums met a fault: counted again from the log, in memory.
    bool damaged();
    bool writeAll();
    bool writeMonths(const std::vector<std::pair<std::size_t, std::int64_t>>& months);

    const SettingsStore& settings_;
    std::string logPath_;
    LedgerOptions options_;
    std::unique_ptr<LedgerRules> rules_;
    std::unique_ptr<UsageStore> store_;
    std::string refusal_;
    std::string problem_;
    bool kept_ = false;  // the sums live in the store (else in memory only)
    bool countedWhole_ = false;
    std::unique_ptr<Cursor> cursor_;
    // Each plan's sums: the whole sums, and the days of the months loaded (all of them when
    // counted in memory).
    std::vector<PlanBook> books_;
    NameBook names_;  // each connection name's whole sums
    std::vector<std::set<std::int64_t>> monthsLoaded_;
    std::vector<std::set<std::int64_t>> hoursLoaded_;
    bool allLoaded_ = false;
    std::string loadedFor_;  // the state the loaded sums belong to
    // The last line of the log when it has no line end yet: counted, never kept.
    std::string partialLine_;
    std::vector<PlanTotals> eachPlan_;
};

}  // namespace tavu
