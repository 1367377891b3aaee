#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "tariff/billing_period.h"
#include "tariff/tariff.h"

namespace tavu {

class SettingsStore;
struct LogFields;

// Filters of the totals pass, as Settings/SummaryWhen stores them.
enum class SummaryFilter { All = 0, ThisMonth = 1, Today = 2 };

struct LogTotals {
    double totalCost = 0;
    double averageCost = 0;
    std::int64_t count = 0;
    std::int64_t totalTime = 0;  // seconds, after the minimal length, before blocks
    double uploaded = 0;
    double downloaded = 0;
    double transmitted = 0;
    // With the period filter only: total cost and total transmitted carried on to the end of the
    // period at the pace so far (x period length / time since its start); 0 with no record.
    std::optional<double> projectedCost;
    std::optional<double> projectedData;
};

struct LogRecord;

// Reads the tariff the way a pricing run must: the minimal length and block once, the rates
// "afresh for every record". The rates are re-read whenever the settings file has changed;
// whether it has is checked every kRecheckEvery records, which keeps a pass over a million
// records from stat-ing the file a million times.
class TariffReader {
  public:
    explicit TariffReader(const SettingsStore& settings);
    const Tariff& forNextRecord();

    static constexpr unsigned kRecheckEvery = 1024;

  private:
    const SettingsStore& settings_;
    std::uint64_t generation_;
    unsigned sinceCheck_ = 0;
    Tariff tariff_;
};

// The days a summary filter counts. The Summary's totals, its chart and the report's filter
// all take their period from summaryPeriod(), so they always agree.
struct SummaryPeriod {
    SummaryFilter filter = SummaryFilter::All;
    LogDate first;  // first and last day counted; unused for All
    LogDate last;
    BillingPeriod billing;  // the billing period, with the period filter

    // Whether a record with this start date, as stored ("dd-mm-yyyy"), falls in the period.
    bool contains(std::string_view startDate) const;
};

// "Only this month" is the current billing period (the calendar month with Settings/BillingDay
// 1), "Only today" today alone.
SummaryPeriod summaryPeriod(const SettingsStore& settings, SummaryFilter filter,
                            const LocalDateTime& today);

// One totals pass, fed a record at a time, in any order: the summary, the report's exports
// and the chart share it, so their sums are the same. It lives on one thread.
class TotalsPass {
  public:
    TotalsPass(const SettingsStore& settings, SummaryFilter filter, const LocalDateTime& today);

    // Prices and counts the record when the filter lets it pass; nullptr when it does not.
    // The pricing holds until the next call.
    const Pricing* add(const LogFields& fields);

    // The same for a record priced elsewhere, in log order: its cost and bytes, then its count
    // and billed seconds (which may come summed over several records), and the tariff of the
    // last one counted.
    void addAmounts(double cost, double sent, double received);
    void addCounts(std::int64_t count, std::int64_t seconds);
    void setLastTariff(const Tariff& tariff) { last_ = tariff; }

    // The totals of the records added so far, the free time of the month deducted.
    LogTotals finish() const;

    const SummaryPeriod& period() const { return period_; }

  private:
    // Every record's local times go through the time zone: its offsets once per date.
    LocalOffsetCache offsets_;
    const SettingsStore& settings_;
    LocalDateTime today_;
    SummaryPeriod period_;
    BillingRules rules_;
    TariffReader tariffs_;
    Tariff last_{};  // the tariff of the last counted record; zero when none was counted
    Pricing pricing_;
    LogTotals totals_;
    double costError_ = 0;  // compensation of the cost sum: its order does not change it
};

// The totals pass over the log with the given filter; "today" is the local date it filters by.
LogTotals computeTotals(const SettingsStore& settings, const std::string& logPath,
                        SummaryFilter filter, const LocalDateTime& today);

// The same, with one more record counted as if it stood at the end of the log (the connection
// in progress, ended now).
LogTotals computeTotals(const SettingsStore& settings, const std::string& logPath,
                        SummaryFilter filter, const LocalDateTime& today,
                        const LogRecord* extraRecord);

// The same with the filter stored in Settings/SummaryWhen.
LogTotals computeTotals(const SettingsStore& settings, const std::string& logPath,
                        const LocalDateTime& today);

SummaryFilter storedSummaryFilter(const SettingsStore& settings);

}  // namespace tavu
