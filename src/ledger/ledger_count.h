#pragma once

// Counting log records into the kept sums: each record priced by its own plan's tariff, priced
// whole for the figures without a filter, and placed in time for the days and hours.

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "ledger/day_book.h"
#include "log/log_record.h"
#include "tariff/plan.h"
#include "tariff/tariff.h"
#include "usage/usage_source.h"

namespace tavu {

class SettingsStore;

// The usage rows of the records counted, when the store keeps any.
class RowsLookup {
  public:
    virtual ~RowsLookup() = default;
    // The rows of the record's connection, in time order; null when it has none.
    virtual const std::vector<UsageRow>* rowsOf(const LogFields& f,
                                                std::vector<UsageRow>& scratch) const = 0;
};

// Each record asked of the source by itself: for a few records (the log's new tail).
class RowsOneByOne final : public RowsLookup {
  public:
    explicit RowsOneByOne(const UsageSource* source) : source_(source) {}
    const std::vector<UsageRow>* rowsOf(const LogFields& f,
                                        std::vector<UsageRow>& scratch) const override;

  private:
    const UsageSource* source_;
};

// All the source's rows read at once, for a count of the whole log: one read, not one query per
// record. Safe to ask from several threads.
class RowsAtOnce final : public RowsLookup {
  public:
    explicit RowsAtOnce(const UsageSource* source);
    const std::vector<UsageRow>* rowsOf(const LogFields& f,
                                        std::vector<UsageRow>& scratch) const override;
    bool empty() const { return index_.empty(); }

  private:
    std::vector<std::vector<UsageRow>> rows_;
    std::unordered_map<std::string, std::size_t> index_;
};

// A count's rules: the plans, and each plan's tariff and billing rules, as the settings give
// them now.
class LedgerRules {
  public:
    explicit LedgerRules(const SettingsStore& settings);
    const PlanSet& plans() const { return plans_; }
    std::size_t planCount() const { return tariffs_.size(); }
    // The record's plan: 0 the default plan, i the i-th plan.
    std::size_t planOf(std::string_view connection, std::string_view device) const;
    const Tariff& tariff(std::size_t plan) const { return tariffs_[plan]; }
    const BillingRules& billing(std::size_t plan) const { return billing_[plan]; }
    // A text that changes whenever anything the kept sums depend on changes: the plans, their
    // tariffs and billing rules, and the local time zone.
    const std::string& fingerprint() const { return fingerprint_; }

  private:
    PlanSet plans_;
    std::vector<Tariff> tariffs_;
    std::vector<BillingRules> billing_;
    std::string fingerprint_;
};

// One connection name's records (the entry or NetworkManager connection), each priced whole,
// added up in log order, and the device of its last record.
struct NameSums {
    WholeSums whole;
    std::string device;
    // Another stretch of the log added after this one.
    void append(const NameSums& later) {
        whole.append(later.whole);
        device = later.device;
    }
};
using NameBook = std::map<std::string, NameSums, std::less<>>;

// Adds a record's whole figures to its name's sums.
void addToName(NameBook& names, std::string_view name, std::string_view device, double cost,
               std::int64_t seconds, double sent, double received);

// What a count gives: each plan's book (the default plan's first), each connection name's sums,
// and the keys of the last records counted, newest last.
struct LedgerCount {
    std::vector<PlanBook> plans;
    NameBook names;
    std::vector<ConnectionKey> lastKeys;
    std::int64_t records = 0;
};

inline constexpr std::size_t kKeptLastKeys = 16;

// A byte count of a log line's field: leadingDouble of it. Up to fifteen digits and nothing
// else, the common case, are read eight at a time: the bytes before the field, from lineStart
// on, may be read (and are left out).
double byteCount(std::string_view field, const char* lineStart);

// Counts one record (split from a log line) into the count. Returns false when it is no
// record.
bool countRecord(const LogFields& f, const LedgerRules& rules, const RowsLookup* rows,
                 LocalDays& days, LedgerCount& out);

// Counts the lines of [begin, end) of the log open as fd (of the given size), in stretches on
// several threads; the whole sums are added in log order. progress(done, all) is called on the
// calling thread once before the first stretch (done 0), then as stretches are done.
void countLogBytes(int fd, std::uint64_t size, std::uint64_t begin, std::uint64_t end,
                   const LedgerRules& rules, const RowsLookup* rows, LedgerCount& out,
                   const std::function<void(std::uint64_t, std::uint64_t)>& progress = {},
                   unsigned threads = 0);

}  // namespace tavu
