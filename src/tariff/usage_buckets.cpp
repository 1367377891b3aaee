#include "tariff/usage_buckets.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <optional>

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "log/log_record.h"
#include "tariff/billing_period.h"
#include "tariff/totals.h"
#include "usage/usage_source.h"

namespace tavu {

namespace {

std::int64_t secondsOf(TimePoint t) {
    return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

std::int64_t dayStart(std::int64_t days) {
    const LogDate d = LogDate::fromDaysSinceEpoch(days);
    return secondsOf(
        fromLocal(static_cast<int>(d.year), static_cast<int>(d.month), static_cast<int>(d.day)));
}

std::int64_t daysOf(const LocalDateTime& t) {
    return LogDate{t.day, t.month, t.year}.daysSinceEpoch();
}

std::int64_t daysInMonth(std::int64_t month, std::int64_t year) {
    const std::int64_t next = month == 12 ? LogDate{1, 1, year + 1}.daysSinceEpoch()
                                          : LogDate{1, month + 1, year}.daysSinceEpoch();
    return next - LogDate{1, month, year}.daysSinceEpoch();
}

// One hour of elapsed time from a local midnight, the finest grain the usage is counted in: a
// day of a change of summer time has 23 or 25 of them.
struct Hour {
    std::int64_t start = 0;  // UTC
    std::int64_t day = 0;    // its local date, days since 1970-01-01
    std::size_t period = 0;  // index of its billing period
    std::size_t bucket = 0;  // index of the bucket asked for
    double time = 0;         // time online counted, shared by the seconds
    double uploaded = 0;
    double downloaded = 0;
    double timePrice = 0;
    double dataPrice = 0;
};

// The connections' usage hour by hour over whole billing periods.
class HourGrid {
  public:
    // billing: the first day of the periods whose free time and data are taken off;
    // bucketBilling: that of the periods the buckets by period follow.
    HourGrid(int billing, int bucketBilling, std::int64_t firstDay, std::int64_t lastDay,
             UsageBy by) {
        const LogDate a = LogDate::fromDaysSinceEpoch(firstDay);
        const LogDate b = LogDate::fromDaysSinceEpoch(lastDay);
        BillingPeriod p = billingPeriodAt(
            billing,
            {static_cast<int>(a.year), static_cast<int>(a.month), static_cast<int>(a.day)});
        const BillingPeriod last = billingPeriodAt(
            billing,
            {static_cast<int>(b.year), static_cast<int>(b.month), static_cast<int>(b.day)});
        std::map<std::int64_t, std::size_t> keys;
        for (;;) {
            const std::int64_t end = daysOf(p.end());
            for (std::int64_t d = daysOf(p.start()); d < end; ++d) {
                const std::int64_t from = dayStart(d);
                const std::int64_t to = dayStart(d + 1);
                dayFirstHour_[d] = hours_.size();
                for (std::int64_t t = from; t < to; t += 3600) {
                    Hour h;
                    h.start = t;
                    h.day = d;
                    h.period = periods_.size();
                    const LogDate date = LogDate::fromDaysSinceEpoch(d);
                    LocalDateTime start{static_cast<int>(date.year), static_cast<int>(date.month),
                                        static_cast<int>(date.day)};
                    std::int64_t key = d;
                    switch (by) {
                        case UsageBy::Hour:
                            start = toLocal(TimePoint{std::chrono::seconds(t)});
                            key = t;
                            break;
                        case UsageBy::Day:
                            break;
                        case UsageBy::Month:
                            start.day = 1;
                            key = date.year * 12 + date.month;
                            break;
                        case UsageBy::Period: {
                            const BillingPeriod b = bucketBilling == billing
                                                        ? p
                                                        : billingPeriodAt(bucketBilling, start);
                            start = b.start();
                            key = daysOf(b.start());
                            break;
                        }
                    }
                    const auto [it, added] = keys.emplace(key, buckets_.size());
                    if (added) {
                        UsageBucket bucket;
                        bucket.start = start;
                        buckets_.push_back(bucket);
                        bucketKeys_.push_back(key);
                    }
                    h.bucket = it->second;
                    hours_.push_back(h);
                }
            }
            periods_.push_back(Period{});
            if (p.year == last.year && p.month == last.month) {
                break;
            }
            p = billingPeriodAt(billing, p.end());
        }
        from_ = hours_.empty() ? 0 : hours_.front().start;
        to_ = hours_.empty() ? 0 : dayStart(hours_.back().day + 1);
        touched_.assign(buckets_.size(), 0);
    }

    std::int64_t from() const { return from_; }
    std::int64_t to() const { return to_; }

    // The hour that holds a moment of the grid.
    std::size_t hourAt(std::int64_t t) const {
        const auto it = std::upper_bound(hours_.begin(), hours_.end(), t,
                                         [](std::int64_t v, const Hour& h) { return v < h.start; });
        return static_cast<std::size_t>(it - hours_.begin()) - 1;
    }
    std::int64_t hourEnd(std::size_t i) const {
        return i + 1 < hours_.size() ? hours_[i + 1].start : to_;
    }
    // The hour of a local date and hour, or nothing when the date lies outside the grid.
    std::optional<std::size_t> hourOf(std::int64_t day, std::int64_t hour) const {
        const auto it = dayFirstHour_.find(day);
        if (it == dayFirstHour_.end()) {
            return std::nullopt;
        }
        std::size_t i = it->second;
        while (hour-- > 0 && i + 1 < hours_.size() && hours_[i + 1].day == day) {
            ++i;
        }
        return i;
    }

    // Adds part of a connection to an hour; `id` tells the connections apart.
    void add(std::size_t hour, std::uint64_t id, double time, double up, double down,
             double timePrice, double dataPrice) {
        Hour& h = hours_[hour];
        h.time += time;
        h.uploaded += up;
        h.downloaded += down;
        h.timePrice += timePrice;
        h.dataPrice += dataPrice;
        periods_[h.period].counted = true;
        if (touched_[h.bucket] != id) {
            touched_[h.bucket] = id;
            buckets_[h.bucket].connections += 1;
        }
    }

    // Takes each period's free time and data off, the earliest hours first.
    void takeFreeOff(double freeValue, double freeMB, double costPerMB) {
        std::vector<double> time(periods_.size(), freeValue);
        std::vector<double> data(periods_.size(), freeMB);
        std::vector<std::size_t> first(periods_.size(), hours_.size());
        for (std::size_t i = 0; i < hours_.size(); ++i) {
            Hour& h = hours_[i];
            if (!periods_[h.period].counted) {
                continue;
            }
            first[h.period] = std::min(first[h.period], i);
            const double t = std::min(time[h.period], std::max(0.0, h.timePrice));
            h.timePrice -= t;
            time[h.period] -= t;
            if (costPerMB != 0) {
                const double mb = std::min(data[h.period], (h.uploaded + h.downloaded) / 1e6);
                h.dataPrice -= costPerMB * mb;
                data[h.period] -= mb;
            }
        }
        // Free time beyond the period's use is still taken off: the period's total may fall
        // below zero, as the Summary's does.
        for (std::size_t p = 0; p < periods_.size(); ++p) {
            if (first[p] < hours_.size()) {
                hours_[first[p]].timePrice -= time[p];
            }
        }
    }

    // The buckets of the days firstDay..lastDay that hold usage, each with its key (which
    // orders them in time). A bucket outside those days that a connection touched is listed
    // too, with nothing in it, unless onlyAsked.
    std::vector<std::pair<std::int64_t, UsageBucket>> buckets(std::int64_t firstDay,
                                                              std::int64_t lastDay,
                                                              bool onlyAsked) {
        std::vector<double> time(buckets_.size(), 0);
        std::vector<char> asked(buckets_.size(), 0);  // whether it holds a day asked for
        for (const Hour& h : hours_) {
            if (h.day < firstDay || h.day > lastDay) {
                continue;
            }
            asked[h.bucket] = 1;
            UsageBucket& b = buckets_[h.bucket];
            time[h.bucket] += h.time;
            b.uploaded += h.uploaded;
            b.downloaded += h.downloaded;
            b.cost += h.timePrice + h.dataPrice;
        }
        std::vector<std::pair<std::int64_t, UsageBucket>> out;
        for (std::size_t i = 0; i < buckets_.size(); ++i) {
            if (buckets_[i].connections > 0 && (asked[i] != 0 || !onlyAsked)) {
                buckets_[i].seconds = std::llround(time[i]);
                out.emplace_back(bucketKeys_[i], buckets_[i]);
            }
        }
        return out;
    }

  private:
    struct Period {
        bool counted = false;  // whether any connection has usage in it
    };
    std::vector<Hour> hours_;
    std::vector<Period> periods_;
    std::vector<UsageBucket> buckets_;
    std::vector<std::int64_t> bucketKeys_;
    std::vector<std::uint64_t> touched_;  // the last connection counted in each bucket
    std::map<std::int64_t, std::size_t> dayFirstHour_;
    std::int64_t from_ = 0;
    std::int64_t to_ = 0;
};

}  // namespace

std::vector<UsageBucket> usageBuckets(const SettingsStore& settings, const std::string& logPath,
                                      const UsageSource* store, UsageBy by, const LogDate& from,
                                      const LogDate& to, const LocalDateTime& today,
                                      const std::string& plan) {
    if (!from.valid() || !to.valid() || to.daysSinceEpoch() < from.daysSinceEpoch()) {
        return {};
    }
    const std::int64_t first = from.daysSinceEpoch();
    const std::int64_t last = to.daysSinceEpoch();
    TotalsEngine engine(settings, SummaryFilter::All, today, TotalsOptions{.plan = plan});
    // One grid for each plan counted, over its own billing periods; the buckets by period follow
    // the periods of the plan chosen, or of the default plan.
    const PlanSet& plans = engine.plans();
    const Plan* chosen = plan.empty() ? nullptr : plans.find(plan);
    const int bucketBilling = billingDay(settings, PlanKeys::of(chosen));
    std::vector<std::optional<HourGrid>> grids(plans.plans.size() + 1);
    std::optional<std::int64_t> gridFrom;
    std::int64_t gridTo = 0;
    for (std::size_t i = 0; i < grids.size(); ++i) {
        const Plan* own = i == 0 ? nullptr : &plans.plans[i - 1];
        const bool counted =
            plan.empty() ||
            (own != nullptr ? own == chosen : equalsIgnoreCase(plan, kDefaultPlanName));
        if (!counted) {
            continue;
        }
        HourGrid& g = grids[i].emplace(billingDay(settings, PlanKeys::of(own)), bucketBilling,
                                       first, last, by);
        gridFrom = std::min(gridFrom.value_or(g.from()), g.from());
        gridTo = std::max(gridTo, g.to());
    }

    // The store's rows of the whole grid, asked once.
    UsageRows rows;
    if (store != nullptr && gridFrom) {
        rows = store->rowsBetween(*gridFrom, gridTo);
    }
    std::uint64_t id = 0;
    engine.run(logPath, [&](const CountedRecord& r) {
        ++id;
        HourGrid& grid = *grids[static_cast<std::size_t>(r.plan + 1)];
        Tariff tariff;
        tariff.costPerMB = r.costPerMB;
        tariff.roamingCostPerMB = r.roamingCostPerMB;
        const Pricing& p = r.pricing;
        const double timePrice = p.cost - dataCost(tariff, r.sent + r.received);
        const auto minBilled = static_cast<double>(p.minBilled);
        if (!p.placed || p.duration <= 0) {
            // Wholly on its start date, in the hour of its start.
            const LogDate d = parseLogDate(r.fields[LogFields::StartDate]);
            if (d.month < 1 || d.month > 12 || d.year < 1970) {
                return;
            }
            const LogDate day{std::clamp<std::int64_t>(d.day, 1, daysInMonth(d.month, d.year)),
                              d.month, d.year};
            const std::int64_t secs = clockSeconds(r.fields[LogFields::StartTime]);
            const std::int64_t hour = secs >= 0 && secs < 86400 ? secs / 3600 : 0;
            if (const auto h = grid.hourOf(day.daysSinceEpoch(), hour)) {
                grid.add(*h, id, minBilled, r.sent, r.received, timePrice, p.cost - timePrice);
            }
            return;
        }
        const std::int64_t start = p.start;
        const std::int64_t end = p.start + p.duration;
        if (end <= grid.from() || start >= grid.to()) {
            return;
        }
        const auto duration = static_cast<double>(p.duration);
        const std::vector<UsageRow>* own = nullptr;
        std::vector<UsageRow> elsewhere;
        if (store != nullptr) {
            const ConnectionKey key = connectionKeyOf(r.fields);
            if (const auto it = rows.find(key); it != rows.end()) {
                own = &it->second;
            } else if (!store->rowsOf(key).empty()) {
                own = &elsewhere;  // rows, none of them in the grid
            }
        }
        if (own != nullptr) {
            for (const UsageRow& row : *own) {
                const double share = static_cast<double>(row.seconds) / duration;
                const auto up = static_cast<double>(row.uploaded);
                const auto down = static_cast<double>(row.downloaded);
                // The rows were asked for the grids of all plans together.
                if (row.seconds > 0 && row.quarter >= grid.from() && row.quarter < grid.to()) {
                    grid.add(grid.hourAt(row.quarter), id, minBilled * share, up, down,
                             timePrice * share,
                             dataCost(tariff, up + down, static_cast<double>(row.roaming)));
                }
            }
            return;
        }
        // Evenly from start to end.
        std::int64_t t = std::max(start, grid.from());
        std::size_t h = grid.hourAt(t);
        const std::int64_t stop = std::min(end, grid.to());
        while (t < stop) {
            const std::int64_t next = std::min(stop, grid.hourEnd(h));
            const double share = static_cast<double>(next - t) / duration;
            const double up = r.sent * share;
            const double down = r.received * share;
            grid.add(h, id, minBilled * share, up, down, timePrice * share,
                     dataCost(tariff, up + down));
            t = next;
            ++h;
        }
    });
    std::vector<std::pair<std::int64_t, UsageBucket>> all;
    for (std::size_t i = 0; i < grids.size(); ++i) {
        if (!grids[i]) {
            continue;
        }
        // Each plan's free time and data come off its own periods.
        const PlanKeys keys = PlanKeys::of(i == 0 ? nullptr : &plans.plans[i - 1]);
        const Tariff tariff = Tariff::read(settings, keys);
        const double freeMB = static_cast<double>(freeMonthMB(settings, keys));
        double freeValue = 0;
        const std::string freeText = freeMonthTimeText(settings, keys);
        if (freeText != "00:00") {
            const std::int64_t f = tariffTimeSeconds(freeText);
            freeValue = tariff.pricePerDial + tariff.costPerMinute * static_cast<double>(f / 60) +
                        tariff.costPerMinute * (1.0 / 60.0) * static_cast<double>(f % 60);
        }
        grids[i]->takeFreeOff(freeValue, freeMB, tariff.costPerMB);
        // The empty buckets outside the days asked for stay as they always were without plans.
        auto own = grids[i]->buckets(first, last, !plans.empty());
        all.insert(all.end(), own.begin(), own.end());
    }
    // The plans' buckets of the same time added up, in time order.
    std::stable_sort(all.begin(), all.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<UsageBucket> out;
    for (std::size_t i = 0; i < all.size(); ++i) {
        if (i > 0 && all[i].first == all[i - 1].first) {
            UsageBucket& b = out.back();
            const UsageBucket& more = all[i].second;
            b.seconds += more.seconds;
            b.uploaded += more.uploaded;
            b.downloaded += more.downloaded;
            b.cost += more.cost;
            b.connections += more.connections;
        } else {
            out.push_back(all[i].second);
        }
    }
    return out;
}

}  // namespace tavu
