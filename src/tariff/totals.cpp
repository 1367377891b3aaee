#include "tariff/totals.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "core/clock.h"
#include "core/file_io.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "log/log_file.h"
#include "log/log_record.h"
#include "log/log_stretch.h"
#include "tariff/billing_period.h"
#include "usage/usage_source.h"

namespace tavu {

TariffReader::TariffReader(const SettingsStore& settings, PlanKeys plan)
    : settings_(settings),
      generation_(settings.generation()),
      plan_(std::move(plan)),
      tariff_(Tariff::read(settings, plan_)) {}

const Tariff& TariffReader::forNextRecord() {
    if (++sinceCheck_ >= kRecheckEvery) {
        sinceCheck_ = 0;
        const std::uint64_t g = settings_.generation();
        if (g != generation_) {
            generation_ = g;
            tariff_ = Tariff::read(settings_, plan_);
        }
    }
    return tariff_;
}

SummaryFilter storedSummaryFilter(const SettingsStore& settings) {
    const int v = settings.readInt(keys::kSettings, keys::kSummaryWhen, 0);
    return v == 1 ? SummaryFilter::ThisMonth : (v == 2 ? SummaryFilter::Today : SummaryFilter::All);
}

LogTotals computeTotals(const SettingsStore& settings, const std::string& logPath,
                        const LocalDateTime& today) {
    return computeTotals(settings, logPath, storedSummaryFilter(settings), today);
}

SummaryPeriod summaryPeriod(const SettingsStore& settings, SummaryFilter filter,
                            const LocalDateTime& today, const PlanKeys& plan) {
    SummaryPeriod p;
    p.filter = filter;
    const LogDate t{today.day, today.month, today.year};
    if (filter == SummaryFilter::Today) {
        p.first = p.last = t;
    } else if (filter == SummaryFilter::ThisMonth) {
        p.billing = currentBillingPeriod(settings, today, plan);
        p.first = LogDate{p.billing.day, p.billing.month, p.billing.year};
        // The last day is the one before the next period's first.
        const BillingPeriod& b = p.billing;
        p.last = LogDate::fromDaysSinceEpoch(
            LogDate{b.endDay, b.endMonth, b.endYear}.daysSinceEpoch() - 1);
    }
    return p;
}

bool SummaryPeriod::contains(std::string_view startDate) const {
    if (filter == SummaryFilter::All) {
        return true;
    }
    if (filter == SummaryFilter::ThisMonth) {
        return billing.containsLogDate(startDate);
    }
    if (startDate.size() < 10) {
        return false;
    }
    return parseLogDate(startDate) == first;
}

namespace {

// The moment (UTC seconds) at which a local day begins.
std::int64_t localDayStart(const LogDate& d) {
    return std::chrono::duration_cast<std::chrono::seconds>(fromLocal(static_cast<int>(d.year),
                                                                      static_cast<int>(d.month),
                                                                      static_cast<int>(d.day))
                                                                .time_since_epoch())
        .count();
}

// A connection's rows in the window, added up.
struct RowSums {
    std::int64_t seconds = 0;
    double uploaded = 0;
    double downloaded = 0;
    double roaming = 0;  // bytes used while roaming, a part of the two above
};

// The store's rows of the window, asked once a pass; a connection without rows in the window is
// asked for by itself, to tell one the store lacks from one that was not up in the window.
class StoreRows {
  public:
    StoreRows(const UsageSource* store, std::int64_t from, std::int64_t to) : store_(store) {
        if (store_ == nullptr || from >= to) {
            return;
        }
        for (const auto& [key, list] : store_->rowsBetween(from, to)) {
            RowSums sum;
            for (const UsageRow& r : list) {
                sum.seconds += r.seconds;
                sum.uploaded += static_cast<double>(r.uploaded);
                sum.downloaded += static_cast<double>(r.downloaded);
                sum.roaming += static_cast<double>(r.roaming);
            }
            sums_.emplace(key, sum);
        }
    }

    // The sums of the connection's rows in the window; null when the store has no row of it.
    const RowSums* of(const ConnectionKey& key) {
        if (store_ == nullptr) {
            return nullptr;
        }
        if (const auto it = sums_.find(key); it != sums_.end()) {
            return &it->second;
        }
        if (const auto it = lacking_.find(key); it != lacking_.end()) {
            return it->second ? &kNone : nullptr;
        }
        const bool any = !store_->rowsOf(key).empty();
        lacking_.emplace(key, any);
        return any ? &kNone : nullptr;
    }

  private:
    static constexpr RowSums kNone{};
    const UsageSource* store_;
    std::map<ConnectionKey, RowSums> sums_;
    std::map<ConnectionKey, bool> lacking_;  // asked alone: whether it has rows elsewhere
};

// A logged record that the period counts, priced with the tariff in force for it.
struct PricedRecord {
    Pricing pricing;
    const Tariff* tariff;
    double sent;
    double received;
};

struct PassRules {
    SummaryPeriod period;
    BillingRules billing;
    // With the period and day filters a record counts where its usage happened: in the window
    // [from, to) of UTC seconds, the local days firstDay..lastDay (days since 1970-01-01).
    bool spread = false;
    std::int64_t from = 0;
    std::int64_t to = 0;
    std::int64_t firstDay = 0;
    std::int64_t lastDay = 0;
    bool keys = false;  // whether the store is asked for the rows of the records placed
};

// The rules of each plan a pass counts, the default plan's first, and the plan of each record.
struct Pass {
    std::vector<PassRules> plans;
    const PlanSet& set;
    const std::vector<char>& counted;

    // The record's place in `plans`; -1 when the pass does not count its plan.
    int planOf(const LogFields& f) const {
        if (set.empty()) {
            return counted[0] != 0 ? 0 : -1;
        }
        const int p = planIndexFor(set, f[LogFields::Connection], f[LogFields::Device]) + 1;
        return counted[static_cast<std::size_t>(p)] != 0 ? p : -1;
    }
};

std::vector<TariffReader> tariffReaders(const SettingsStore& settings, const PlanSet& plans) {
    std::vector<TariffReader> readers;
    readers.reserve(plans.plans.size() + 1);
    readers.emplace_back(settings);
    for (const Plan& p : plans.plans) {
        readers.emplace_back(settings, PlanKeys(p));
    }
    return readers;
}

// Whether a record with these local dates may reach into the window at all; a cheap test
// before a record is priced. Records whose dates cannot be read are tested by pricing.
bool mayReach(const LogFields& f, const PassRules& r) {
    const LogDate sd = parseLogDate(f[LogFields::StartDate]);
    const LogDate ed = parseLogDate(f[LogFields::EndDate]);
    if (!sd.valid() || !ed.valid()) {
        return true;
    }
    const std::int64_t s = sd.daysSinceEpoch();
    return s <= r.lastDay && (s >= r.firstDay || ed.daysSinceEpoch() >= r.firstDay);
}

// The one function that filters a record by the period and prices it; nothing when the
// period does not count it.
std::optional<PricedRecord> priceCounted(const LogFields& f, const PassRules& r,
                                         TariffReader& tariffs) {
    const std::string_view date = f[LogFields::StartDate];
    if (r.spread ? !mayReach(f, r) : !r.period.contains(date)) {
        return std::nullopt;
    }
    const Tariff& t = tariffs.forNextRecord();
    const double sent = leadingDouble(f[LogFields::BytesSent]);
    const double received = leadingDouble(f[LogFields::BytesReceived]);
    return PricedRecord{priceRecord(date, f[LogFields::StartTime], f[LogFields::EndDate],
                                    f[LogFields::EndTime], t, r.billing, sent + received),
                        &t, sent, received};
}

// The sums of one pass, added a record at a time.
class Sums {
  public:
    void addAmounts(double cost, double sent, double received) {
        totals_.uploaded += sent;
        totals_.downloaded += received;
        // Neumaier's compensated sum: the total is the same whichever way the log is read.
        const double sum = totals_.totalCost + cost;
        costError_ += std::abs(totals_.totalCost) >= std::abs(cost)
                          ? (totals_.totalCost - sum) + cost
                          : (cost - sum) + totals_.totalCost;
        totals_.totalCost = sum;
    }
    void addCounts(std::int64_t count, std::int64_t seconds) {
        totals_.count += count;
        totals_.totalTime += seconds;
    }
    void addSharedTime(double seconds) { sharedTime_ += seconds; }
    void setLastTariff(const Tariff& tariff) { last_ = tariff; }

    // The totals of the records added so far, the free time and data of the period deducted.
    LogTotals finish(const SettingsStore& settings, const PlanKeys& plan,
                     const SummaryPeriod& period, const LocalDateTime& today) const;

  private:
    Tariff last_{};  // the tariff of the last counted record; zero when none was counted
    LogTotals totals_;
    double costError_ = 0;   // compensation of the cost sum: its order does not change it
    double sharedTime_ = 0;  // the time online of records shared by their seconds
};

LogTotals Sums::finish(const SettingsStore& settings, const PlanKeys& plan,
                       const SummaryPeriod& period, const LocalDateTime& today) const {
    LogTotals totals = totals_;
    totals.totalCost += costError_;
    totals.totalTime += std::llround(sharedTime_);
    totals.transmitted = totals.uploaded + totals.downloaded;
    const double gross = totals.totalCost;  // before the free time and data
    double freeValue = 0;
    const double freeMB = static_cast<double>(freeMonthMB(settings, plan));
    if (period.filter == SummaryFilter::ThisMonth) {
        // Free time of the period, at the normal rate plus one dial.
        const std::string freeText = freeMonthTimeText(settings, plan);
        if (freeText != "00:00") {
            const std::int64_t f = tariffTimeSeconds(freeText);
            freeValue = last_.pricePerDial + last_.costPerMinute * static_cast<double>(f / 60) +
                        last_.costPerMinute * (1.0 / 60.0) * static_cast<double>(f % 60);
            totals.totalCost -= freeValue;
        }
        // Free data of the period: its megabytes at the data price, up to those counted.
        if (freeMB > 0 && last_.costPerMB != 0) {
            totals.totalCost -= last_.costPerMB * std::min(freeMB, totals.transmitted / 1e6);
        }
    }
    totals.averageCost =
        totals.count != 0 ? totals.totalCost / static_cast<double>(totals.count) : 0;
    if (period.filter == SummaryFilter::ThisMonth) {
        // The pace so far carried on to the period's end: the period's connections, time and
        // data scaled, priced with the plan, and the free time and data taken off once, from
        // the scaled figures. Nothing to carry with no record yet.
        const double pace = static_cast<double>(period.billing.lengthSeconds()) /
                            static_cast<double>(period.billing.elapsedSeconds(today));
        const bool none = totals.count == 0;
        const double data = totals.transmitted * pace;
        double cost = gross * pace - freeValue;
        if (freeMB > 0 && last_.costPerMB != 0) {
            cost -= last_.costPerMB * std::min(freeMB, data / 1e6);
        }
        totals.projectedCost = none ? 0.0 : cost;
        totals.projectedData = none ? 0.0 : data;
    }
    return totals;
}

}  // namespace

LogTotals addPlanTotals(const std::vector<LogTotals>& plans) {
    LogTotals sum;
    for (const LogTotals& t : plans) {
        sum.totalCost += t.totalCost;
        sum.count += t.count;
        sum.totalTime += t.totalTime;
        sum.uploaded += t.uploaded;
        sum.downloaded += t.downloaded;
        sum.transmitted += t.transmitted;
        if (t.projectedCost) {
            sum.projectedCost = sum.projectedCost.value_or(0) + *t.projectedCost;
        }
        if (t.projectedData) {
            sum.projectedData = sum.projectedData.value_or(0) + *t.projectedData;
        }
    }
    sum.averageCost = sum.count != 0 ? sum.totalCost / static_cast<double>(sum.count) : 0;
    return sum;
}

namespace {

// The records of one stretch of the log, in log order: the sums of doubles are added up
// record by record afterwards, so that they come out exactly as a pass from one end of the
// log to the other adds them. With a sink the stretch keeps its bytes, its records' fields
// (which point into them) and their pricing too.
// Where a record counted by the period and day filters lies in time, for the store's rows.
struct Placement {
    bool placed = false;
    std::int64_t start = 0;  // UTC
    std::int64_t duration = 0;
    double minBilled = 0;  // its time online as counted
    double timePrice = 0;  // its price without the data
    double costPerMB = 0;
    double roamingCostPerMB = 0;
    ConnectionKey key;  // only when the store is asked
};

struct Stretch {
    std::vector<Placement> placements;  // with the period and day filters only
    std::vector<double> times;          // the same: each record's time online in the window
    std::vector<double> shares;         // the same: the share of each record's seconds
    std::vector<double> costs;
    std::vector<double> uploads;
    std::vector<double> downloads;
    std::vector<LogFields> fields;
    std::vector<Pricing> pricings;
    std::vector<char> bytes;
    std::vector<int> plans;                 // with plans only: each record's place in Pass::plans
    std::vector<double> costsPerMB;         // with a sink only: each record's data price
    std::vector<double> roamingCostsPerMB;  // and its price of data used while roaming
    // For each plan: the count and time of the records counted whole, and the tariffs of the
    // stretch's first and last counted record.
    struct PerPlan {
        std::int64_t count = 0;
        std::int64_t time = 0;
        std::optional<Tariff> first;
        std::optional<Tariff> last;
    };
    std::vector<PerPlan> perPlan;
};

// The seconds of [start, start + duration) within [from, to).
std::int64_t overlap(std::int64_t start, std::int64_t duration, std::int64_t from,
                     std::int64_t to) {
    return std::max<std::int64_t>(0, std::min(start + duration, to) - std::max(start, from));
}

void countRecord(const LogFields& f, const Pass& pass, std::vector<TariffReader>& tariffs,
                 bool keep, Stretch& out) {
    const int plan = pass.planOf(f);
    if (plan < 0) {
        return;
    }
    const auto pi = static_cast<std::size_t>(plan);
    const PassRules& r = pass.plans[pi];
    const std::optional<PricedRecord> c = priceCounted(f, r, tariffs[pi]);
    if (!c) {
        return;
    }
    if (out.perPlan.empty()) {
        out.perPlan.resize(pass.plans.size());
    }
    Stretch::PerPlan& mine = out.perPlan[pi];
    const auto addPlan = [&] {
        if (!pass.set.empty()) {
            out.plans.push_back(plan);
        }
        if (keep) {
            out.costsPerMB.push_back(c->tariff->costPerMB);
            out.roamingCostsPerMB.push_back(c->tariff->roamingCostPerMB);
        }
    };
    if (r.spread) {
        // A record that lies in time counts by the share of its seconds in the window; one that
        // does not counts wholly on its start date.
        const Pricing& p = c->pricing;
        Placement at;
        double share = 1;
        if (p.placed && p.duration > 0) {
            const std::int64_t in = overlap(p.start, p.duration, r.from, r.to);
            if (in == 0) {
                return;
            }
            share = static_cast<double>(in) / static_cast<double>(p.duration);
            at.placed = true;
            at.start = p.start;
            at.duration = p.duration;
            at.minBilled = static_cast<double>(p.minBilled);
            at.costPerMB = c->tariff->costPerMB;
            at.roamingCostPerMB = c->tariff->roamingCostPerMB;
            at.timePrice = p.cost - dataCost(*c->tariff, c->sent + c->received);
            if (r.keys) {
                at.key = connectionKeyOf(f);
            }
        } else if (!r.period.contains(f[LogFields::StartDate])) {
            return;
        }
        if (!mine.first) {
            mine.first = *c->tariff;
        }
        mine.last = *c->tariff;
        const double sent = c->sent * share;
        const double received = c->received * share;
        addPlan();
        out.uploads.push_back(sent);
        out.downloads.push_back(received);
        out.costs.push_back(at.placed ? at.timePrice * share + dataCost(*c->tariff, sent + received)
                                      : p.cost);
        out.times.push_back(static_cast<double>(p.minBilled) * share);
        out.shares.push_back(share);
        out.placements.push_back(std::move(at));
        if (keep) {
            out.fields.push_back(f);
            out.pricings.push_back(c->pricing);
        }
        return;
    }
    if (!mine.first) {
        mine.first = *c->tariff;
    }
    mine.last = *c->tariff;
    ++mine.count;
    mine.time += c->pricing.minBilled;
    addPlan();
    out.uploads.push_back(c->sent);
    out.downloads.push_back(c->received);
    out.costs.push_back(c->pricing.cost);
    if (keep) {
        out.fields.push_back(f);
        out.pricings.push_back(c->pricing);
    }
}

void countLine(std::string_view line, const Pass& r, std::vector<TariffReader>& tariffs, bool keep,
               Stretch& out) {
    if (line.empty()) {
        return;
    }
    const LogFields f = splitRecord(line);
    if (!f.isRecord()) {
        return;
    }
    countRecord(f, r, tariffs, keep, out);
}

// Counts the lines that start within stretch k of a file of the given size.
void countStretch(int fd, std::uint64_t size, std::uint64_t stretchBytes, std::uint64_t k,
                  std::vector<char>& buf, const Pass& r, std::vector<TariffReader>& tariffs,
                  bool keep, Stretch& out) {
    const std::uint64_t begin = k * stretchBytes;
    const std::uint64_t end = std::min<std::uint64_t>(size, begin + stretchBytes);
    const std::size_t guess = (end - begin) / 48;  // records are longer than 48 bytes
    out.costs.reserve(guess);
    out.uploads.reserve(guess);
    out.downloads.reserve(guess);
    if (keep) {
        out.fields.reserve(guess);
        out.pricings.reserve(guess);
    }
    forEachLineInStretch(fd, size, begin, end, buf,
                         [&](std::string_view line) { countLine(line, r, tariffs, keep, out); });
    if (keep) {
        out.bytes = std::move(buf);  // the fields point into it; the move keeps them valid
    }
}

}  // namespace

std::vector<std::string> planChoices(const PlanSet& plans) {
    std::vector<std::string> names{kDefaultPlanName};
    for (const Plan& p : plans.plans) {
        names.push_back(p.name);
    }
    return names;
}

std::string planChoiceProblem(const PlanSet& plans, std::string_view name) {
    if (equalsIgnoreCase(name, kDefaultPlanName) || plans.find(name) != nullptr) {
        return {};
    }
    std::string names;
    for (const std::string& n : planChoices(plans)) {
        names += (names.empty() ? "" : ", ") + n;
    }
    return "there is no plan named \"" + printableText(name) + "\"; the plans are " + names;
}

const char* periodCaption(const SettingsStore& settings, const PlanSet& plans,
                          std::string_view plan) {
    if (plan.empty() && !plans.empty()) {
        return kAllPlansPeriodsCaption;
    }
    return periodFilterCaption(settings, PlanKeys::of(plan.empty() ? nullptr : plans.find(plan)));
}

TotalsEngine::TotalsEngine(const SettingsStore& settings, SummaryFilter filter,
                           const LocalDateTime& today, TotalsOptions options)
    : settings_(settings), today_(today), options_(std::move(options)) {
    options_.stretchBytes = std::max<std::size_t>(options_.stretchBytes, 1);
    plans_ = readPlans(settings);
    counted_.assign(plans_.plans.size() + 1, options_.plan.empty() ? 1 : 0);
    const Plan* chosen = nullptr;
    if (!options_.plan.empty()) {
        if (equalsIgnoreCase(options_.plan, kDefaultPlanName)) {
            counted_[0] = 1;
        } else if ((chosen = plans_.find(options_.plan)) != nullptr) {
            counted_[static_cast<std::size_t>(chosen - plans_.plans.data()) + 1] = 1;
        }
    }
    period_ = summaryPeriod(settings, filter, today, PlanKeys::of(chosen));
}

LogTotals TotalsEngine::run(const std::string& logPath, const Sink& sink,
                            const LogRecord* extraRecord) {
    return extraRecord == nullptr ? run(logPath, sink, std::vector<LogRecord>{})
                                  : run(logPath, sink, std::vector<LogRecord>{*extraRecord});
}

LogTotals TotalsEngine::run(const std::string& logPath, const Sink& sink,
                            const std::vector<LogRecord>& extraRecords) {
    // Every record's local times go through the time zone: its offsets once per date.
    const LocalOffsetCache offsets;
    const std::size_t planCount = plans_.plans.size() + 1;
    std::vector<PlanKeys> keys{PlanKeys()};
    for (const Plan& p : plans_.plans) {
        keys.emplace_back(p);
    }
    Pass pass{{}, plans_, counted_};
    for (std::size_t i = 0; i < planCount; ++i) {
        PassRules rules{i == 0 && plans_.empty()
                            ? period_
                            : summaryPeriod(settings_, period_.filter, today_, keys[i]),
                        BillingRules::read(settings_, keys[i])};
        if (period_.filter != SummaryFilter::All) {
            rules.spread = true;
            rules.firstDay = rules.period.first.daysSinceEpoch();
            rules.lastDay = rules.period.last.daysSinceEpoch();
            rules.from = localDayStart(rules.period.first);
            rules.to = localDayStart(LogDate::fromDaysSinceEpoch(rules.lastDay + 1));
            rules.keys = options_.store != nullptr;
        }
        pass.plans.push_back(std::move(rules));
    }
    const bool keep = static_cast<bool>(sink);
    const bool newestFirst = options_.order == LogOrder::NewestFirst;
    std::vector<Sums> sums(planCount);
    std::vector<std::optional<StoreRows>> rows(planCount);
    for (std::size_t i = 0; i < planCount; ++i) {
        if (counted_[i] != 0) {
            rows[i].emplace(options_.store, pass.plans[i].from, pass.plans[i].to);
        }
    }

    const auto add = [&](Stretch& s) {
        const std::size_t n = s.costs.size();
        const bool spread = !s.placements.empty();
        for (std::size_t j = 0; j < n; ++j) {
            const std::size_t i = newestFirst ? n - 1 - j : j;
            const int plan = s.plans.empty() ? 0 : s.plans[i];
            Sums& sum = sums[static_cast<std::size_t>(plan)];
            if (spread) {
                // The store's rows of a placed record, when it has any, say where its seconds
                // and bytes went.
                const Placement& at = s.placements[i];
                StoreRows& planRows = *rows[static_cast<std::size_t>(plan)];
                if (const RowSums* got = at.placed ? planRows.of(at.key) : nullptr) {
                    if (got->seconds == 0) {
                        continue;
                    }
                    const double share = std::min(
                        1.0, static_cast<double>(got->seconds) / static_cast<double>(at.duration));
                    s.shares[i] = share;
                    s.times[i] = at.minBilled * share;
                    s.uploads[i] = got->uploaded;
                    s.downloads[i] = got->downloaded;
                    Tariff data;
                    data.costPerMB = at.costPerMB;
                    data.roamingCostPerMB = at.roamingCostPerMB;
                    s.costs[i] = at.timePrice * share +
                                 dataCost(data, got->uploaded + got->downloaded, got->roaming);
                }
                sum.addCounts(1, 0);
                sum.addSharedTime(s.times[i]);
            }
            if (keep) {
                sink(CountedRecord{s.fields[i], s.pricings[i], s.uploads[i], s.downloads[i],
                                   spread ? s.shares[i] : 1.0, plan - 1, s.costsPerMB[i],
                                   s.roamingCostsPerMB[i]});
            }
            sum.addAmounts(s.costs[i], s.uploads[i], s.downloads[i]);
        }
        for (std::size_t p = 0; p < s.perPlan.size(); ++p) {
            const Stretch::PerPlan& mine = s.perPlan[p];
            sums[p].addCounts(mine.count, mine.time);
            if (const std::optional<Tariff>& t = newestFirst ? mine.first : mine.last) {
                sums[p].setLastTariff(*t);
            }
        }
    };
    const auto addExtra = [&] {
        for (std::size_t k = 0; k < extraRecords.size(); ++k) {
            const LogRecord& e = extraRecords[newestFirst ? extraRecords.size() - 1 - k : k];
            LogFields f;
            f.field = {e.startDate, e.startTime,  e.endDate,   e.endTime,      e.user,
                       e.device,    e.connection, e.bytesSent, e.bytesReceived};
            std::vector<TariffReader> tariffs = tariffReaders(settings_, plans_);
            Stretch s;
            countRecord(f, pass, tariffs, keep, s);
            add(s);
        }
    };

    if (newestFirst) {
        addExtra();
    }
    UniqueFd file(openRegularFile(logPath, O_RDONLY, 0, true));
    struct stat st {};
    if (file.ok() && ::fstat(file.get(), &st) == 0 && st.st_size > 0) {
        const auto size = static_cast<std::uint64_t>(st.st_size);
        const std::uint64_t stretchBytes = options_.stretchBytes;
        const std::uint64_t stretches = (size + stretchBytes - 1) / stretchBytes;
        // The n-th stretch handed on: from the first, or from the last with the newest first.
        const auto stretchAt = [&](std::uint64_t n) { return newestFirst ? stretches - 1 - n : n; };
        const std::uint64_t cores =
            options_.threads != 0 ? options_.threads
                                  : std::min(8u, std::max(1u, std::thread::hardware_concurrency()));
        const std::uint64_t threads = std::min<std::uint64_t>(stretches, cores);
        const auto onThisThread = [&] {
            std::vector<TariffReader> tariffs = tariffReaders(settings_, plans_);
            std::vector<char> buf;
            for (std::uint64_t n = 0; n < stretches; ++n) {
                Stretch s;
                countStretch(file.get(), size, stretchBytes, stretchAt(n), buf, pass, tariffs, keep,
                             s);
                add(s);
            }
        };
        if (threads <= 1) {
            onThisThread();
        } else {
            // Stretches are priced on every core and added up here in order; a core runs at
            // most a few stretches ahead of the adding, so memory stays small.
            const std::uint64_t window = 2 * threads + 2;
            std::vector<Stretch> done(stretches);
            std::vector<char> ready(stretches, 0);
            std::uint64_t added = 0;
            std::atomic<std::uint64_t> next{0};
            std::mutex m;
            std::condition_variable cv;
            const auto work = [&] {
                const LocalOffsetCache threadOffsets;
                std::vector<TariffReader> tariffs = tariffReaders(settings_, plans_);
                std::vector<char> buf;
                for (;;) {
                    const std::uint64_t n = next++;
                    if (n >= stretches) {
                        return;
                    }
                    {
                        std::unique_lock lock(m);
                        cv.wait(lock, [&] { return n < added + window; });
                    }
                    Stretch s;
                    countStretch(file.get(), size, stretchBytes, stretchAt(n), buf, pass, tariffs,
                                 keep, s);
                    {
                        const std::lock_guard lock(m);
                        done[n] = std::move(s);
                        ready[n] = 1;
                    }
                    cv.notify_all();
                }
            };
            std::vector<std::thread> pool;
            try {
                for (std::uint64_t i = 0; i < threads; ++i) {
                    pool.emplace_back(work);
                }
            } catch (const std::system_error&) {
                // The system gives no more threads: those that started do the work.
            }
            if (pool.empty()) {
                onThisThread();
            }
            for (std::uint64_t n = 0; n < stretches && !pool.empty(); ++n) {
                Stretch s;
                {
                    std::unique_lock lock(m);
                    cv.wait(lock, [&] { return ready[n] != 0; });
                    s = std::move(done[n]);
                }
                add(s);
                {
                    const std::lock_guard lock(m);
                    added = n + 1;
                }
                cv.notify_all();
            }
            for (std::thread& t : pool) {
                t.join();
            }
        }
    }
    if (!newestFirst) {
        addExtra();
    }
    eachPlan_.clear();
    if (plans_.empty()) {
        LogTotals totals = sums[0].finish(settings_, keys[0], period_, today_);
        if (counted_[0] != 0) {
            eachPlan_.push_back(PlanTotals{-1, period_, totals});
        }
        return totals;
    }
    std::vector<LogTotals> each;
    for (std::size_t i = 0; i < planCount; ++i) {
        if (counted_[i] != 0) {
            each.push_back(sums[i].finish(settings_, keys[i], pass.plans[i].period, today_));
            eachPlan_.push_back(
                PlanTotals{static_cast<int>(i) - 1, pass.plans[i].period, each.back()});
        }
    }
    if (each.size() == 1) {
        return each[0];
    }
    LogTotals all = addPlanTotals(each);
    all.periodsOfAllPlans = period_.filter == SummaryFilter::ThisMonth;
    return all;
}

LogTotals computeTotals(const SettingsStore& settings, const std::string& logPath,
                        SummaryFilter filter, const LocalDateTime& today) {
    return TotalsEngine(settings, filter, today).run(logPath);
}

LogTotals computeTotals(const SettingsStore& settings, const std::string& logPath,
                        SummaryFilter filter, const LocalDateTime& today,
                        const LogRecord* extraRecord) {
    return TotalsEngine(settings, filter, today).run(logPath, {}, extraRecord);
}

}  // namespace tavu
