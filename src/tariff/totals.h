#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/clock.h"
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
};

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

    // Whether a record with this start date, as stored ("dd-mm-yyyy"), falls in the period.
    bool contains(std::string_view startDate) const;
};

// "Only this month" is the calendar month of today, "Only today" today alone. The settings are
// those the period may depend on.
SummaryPeriod summaryPeriod(const SettingsStore& settings, SummaryFilter filter,
                            const LocalDateTime& today);

// One totals pass, fed a record at a time, in any order: the summary, the report's exports
// and the chart share it, so their sums are the same.
class TotalsPass {
  public:
    TotalsPass(const SettingsStore& settings, SummaryFilter filter, const LocalDateTime& today);

    // Prices and counts the record when the filter lets it pass; nullptr when it does not.
    // The pricing holds until the next call.
    const Pricing* add(const LogFields& fields);

    // The totals of the records added so far, the free time of the month deducted.
    LogTotals finish() const;

    const SummaryPeriod& period() const { return period_; }

  private:
    const SettingsStore& settings_;
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

// The same with the filter stored in Settings/SummaryWhen.
LogTotals computeTotals(const SettingsStore& settings, const std::string& logPath,
                        const LocalDateTime& today);

SummaryFilter storedSummaryFilter(const SettingsStore& settings);

}  // namespace tavu
