#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/clock.h"
#include "tariff/tariff.h"

namespace tavu {

class SettingsStore;

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

// The totals pass over the log with the given filter; "today" is the local date and time it
// filters by. The period filter counts the current billing period (tariff/billing_period.h).
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
