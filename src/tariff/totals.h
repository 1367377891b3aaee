#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "tariff/billing_period.h"
#include "tariff/tariff.h"

namespace tavu {

class SettingsStore;
class UsageSource;
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
    // With plans, all of them counted and the period filter: each plan counted its own current
    // period.
    bool periodsOfAllPlans = false;
};

// The caption of totals that add the current periods of several plans.
inline constexpr const char* kAllPlansPeriodsCaption = "Current periods of all plans";

struct LogRecord;

// Reads the tariff the way a pricing run must: the minimal length and block once, the rates
// "afresh for every record". The rates are re-read whenever the settings file has changed;
// whether it has is checked every kRecheckEvery records, which keeps a pass over a million
// records from stat-ing the file a million times.
class TariffReader {
  public:
    explicit TariffReader(const SettingsStore& settings, PlanKeys plan = {});
    const Tariff& forNextRecord();

    static constexpr unsigned kRecheckEvery = 1024;

  private:
    const SettingsStore& settings_;
    std::uint64_t generation_;
    unsigned sinceCheck_ = 0;
    PlanKeys plan_;
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
                            const LocalDateTime& today, const PlanKeys& plan = {});

// One record the totals engine counted: its fields as split from the log line (valid only
// during the call), its pricing with the tariff in force for it, and its bytes.
// With the period and day filters a record counts where its usage happened: sent and received
// are then its bytes in the period, and share the part of its seconds that lies in it (1 for a
// record that cannot be placed in time and counts wholly on its start date). The pricing is
// always that of the whole connection.
struct CountedRecord {
    const LogFields& fields;
    const Pricing& pricing;
    double sent;
    double received;
    double share = 1;
    int plan = -1;         // the record's plan in TotalsEngine::plans(); -1: the default plan
    double costPerMB = 0;  // the data price of its plan
    double roamingCostPerMB = 0;  // its price of data used while roaming
};

// The totals of one plan that a pass counted, in that plan's own period.
struct PlanTotals {
    int plan = -1;  // its place in TotalsEngine::plans(); -1: the default plan
    SummaryPeriod period;
    LogTotals totals;
};

// The order in which the engine hands the records to its sink.
enum class LogOrder { Forward, NewestFirst };

struct TotalsOptions {
    // The log is read in stretches of this many bytes; each record belongs to the stretch in
    // which its line starts, and the stretches are added up in log order.
    static constexpr std::size_t kStretchBytes = std::size_t{1} << 20;

    unsigned threads = 0;  // threads that price stretches; 0: the machine's cores (at most 8)
    std::size_t stretchBytes = kStretchBytes;
    LogOrder order = LogOrder::Forward;
    // The usage store, when there is one: a record with rows in it counts its seconds and bytes
    // by them; any other record is spread evenly over its span.
    const UsageSource* store = nullptr;
    // Which plan the pass counts: empty for all of them, each record priced by its own plan;
    // else the name of one plan (kDefaultPlanName for the default plan), and only its records.
    // A name that no plan has counts nothing.
    std::string plan = {};
};

// The names a plan choice may take: the default plan's first, then the plans in their order.
std::vector<std::string> planChoices(const PlanSet& plans);

// What is wrong with a plan choice (TotalsOptions::plan): empty when it names the default plan
// (kDefaultPlanName, without regard to case, also when there are no plans) or one of the plans.
std::string planChoiceProblem(const PlanSet& plans, std::string_view name);

// The caption of the period filter for a plan choice: kAllPlansPeriodsCaption when several plans
// count, each its own period; else "Only this month" or "Only this period" by the billing day of
// the plan chosen (of the default plan when there are no plans).
const char* periodCaption(const SettingsStore& settings, const PlanSet& plans,
                          std::string_view plan);

// The one place that reads the log, splits its records, filters them by the summary period
// and prices them. Stretches of the log are priced on several threads and handed on in log
// order (or newest first), so the sums and everything a sink builds from them come out as a
// pass from one end of the log to the other gives them. The Summary, `tavu summary`, the
// reports, the chart and the cost check all run it.
class TotalsEngine {
  public:
    using Sink = std::function<void(const CountedRecord&)>;

    TotalsEngine(const SettingsStore& settings, SummaryFilter filter, const LocalDateTime& today,
                 TotalsOptions options = {});

    // The period counted: that of the plan chosen, or the default plan's.
    const SummaryPeriod& period() const { return period_; }
    // The plans of the settings file, read when the engine was made.
    const PlanSet& plans() const { return plans_; }

    // One pass over the log at logPath: the sink, when given, gets every counted record in the
    // chosen order on the calling thread. extraRecord, when given, is counted as if it stood
    // at the end of the log (the connection in progress, ended now); with the newest first it
    // comes first. Returns the totals, the free time and data of the period deducted.
    LogTotals run(const std::string& logPath, const Sink& sink = {},
                  const LogRecord* extraRecord = nullptr);
    // The same with several connections in progress, counted in this order.
    LogTotals run(const std::string& logPath, const Sink& sink,
                  const std::vector<LogRecord>& extraRecords);
    // The totals of each plan the last run counted, each in its own period with its own free
    // time and data: the default plan first, then the plans in their order. One pass counts
    // them all; run() gives their sum.
    const std::vector<PlanTotals>& eachPlan() const { return eachPlan_; }

  private:
    const SettingsStore& settings_;
    LocalDateTime today_;
    SummaryPeriod period_;
    TotalsOptions options_;
    PlanSet plans_;
    std::vector<char> counted_;  // for each plan, the default first: whether the pass counts it
    std::vector<PlanTotals> eachPlan_;
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

// The totals of several plans added up.
LogTotals addPlanTotals(const std::vector<LogTotals>& plans);

}  // namespace tavu
