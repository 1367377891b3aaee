#include "reports/report_pages.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "core/clock.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "log/log_record.h"

namespace tavu {

ReportPages::ReportPages(const SettingsStore& settings, const std::string& logPath)
    : plans_(readPlans(settings)) {
    tariffs_.push_back(Tariff::read(settings));
    rules_.push_back(BillingRules::read(settings));
    for (const Plan& p : plans_.plans) {
        tariffs_.push_back(Tariff::read(settings, PlanKeys(p)));
        rules_.push_back(BillingRules::read(settings, PlanKeys(p)));
    }
    opened_ = index_.open(logPath);
    pages_.reserve(kPages);
}

std::size_t ReportPages::planOf(const LogFields& f) const {
    return plans_.empty()
               ? 0
               : static_cast<std::size_t>(
                     planIndexFor(plans_, f[LogFields::Connection], f[LogFields::Device]) + 1);
}

ReportRow ReportPages::makeRow(const LogFields& f) const {
    const std::size_t plan = planOf(f);
    return makeReportRow(f, tariffs_[plan], rules_[plan]);
}

const ReportRow& ReportPages::row(std::size_t i) {
    Page& page = pageFor(i - i % kPageRows);
    return page.rows[i - page.first];
}

ReportPages::Page& ReportPages::pageFor(std::size_t first) {
    ++uses_;
    Page* target = nullptr;
    for (Page& p : pages_) {
        if (p.first == first) {
            p.lastUse = uses_;
            return p;
        }
        if (target == nullptr || p.lastUse < target->lastUse) {
            target = &p;
        }
    }
    if (pages_.size() < kPages) {
        target = &pages_.emplace_back();
    }
    target->first = first;
    target->lastUse = uses_;
    target->rows.clear();
    const auto add = [&](std::size_t, std::string_view line) {
        target->rows.push_back(makeRow(splitRecord(line)));
    };
    if (!ordered_) {
        index_.readRows(first, kPageRows, add);
    } else {
        for (std::size_t i = first; i < first + kPageRows && i < order_.size(); ++i) {
            index_.readRows(order_[i], 1, add);
        }
    }
    return *target;
}

void ReportPages::applyOrder() {
    pages_.clear();
    order_.clear();
    ordered_ = !sorted_.empty() || !inPlan_.empty();
    if (!ordered_) {
        return;
    }
    const auto keep = [&](std::uint32_t r) { return inPlan_.empty() || inPlan_[r] != 0; };
    if (sorted_.empty()) {
        for (std::uint32_t r = 0; r < inPlan_.size(); ++r) {
            if (keep(r)) {
                order_.push_back(r);
            }
        }
        return;
    }
    for (const std::uint32_t r : sorted_) {
        if (keep(r)) {
            order_.push_back(r);
        }
    }
}

void ReportPages::showPlan(const std::string& name) {
    inPlan_.clear();
    const std::size_t n = index_.size();
    const Plan* plan = plans_.find(name);
    if (!name.empty() && n <= std::numeric_limits<std::uint32_t>::max() &&
        (plan != nullptr || name == kDefaultPlanName)) {
        const std::size_t want =
            plan == nullptr ? 0 : static_cast<std::size_t>(plan - plans_.plans.data()) + 1;
        inPlan_.assign(n, 0);
        index_.readRows(0, n, [&](std::size_t r, std::string_view line) {
            inPlan_[r] = planOf(splitRecord(line)) == want ? 1 : 0;
        });
    }
    applyOrder();
}

void ReportPages::sortBy(int column, bool ascending) {
    sorted_ = sortedRows(column, ascending);
    applyOrder();
}

std::vector<std::uint32_t> ReportPages::sortedRows(int column, bool ascending) const {
    std::vector<std::uint32_t> order;
    const std::size_t n = index_.size();
    if (column < 0 || column >= static_cast<int>(kReportHeadings.size()) || n == 0 ||
        n > std::numeric_limits<std::uint32_t>::max()) {
        return order;
    }
    // Rows are read in runs that lie side by side in the file, each in one piece.
    constexpr std::size_t kRun = 16384;
    const auto forEachRow = [&](const auto& fn) {
        for (std::size_t first = 0; first < n; first += kRun) {
            index_.readRows(first, kRun, [&](std::size_t r, std::string_view line) {
                fn(r, splitRecord(line));
            });
        }
    };
    order.resize(n);
    const bool text = column == 1 || column == 2 || (column >= 4 && column <= 6);
    if (text) {
        const LogFields::Index field = column == 1   ? LogFields::StartTime
                                       : column == 2 ? LogFields::EndTime
                                       : column == 4 ? LogFields::User
                                       : column == 5 ? LogFields::Device
                                                     : LogFields::Connection;
        // The first eight bytes, highest first, decide most comparisons on their own.
        struct Key {
            std::uint64_t head;
            std::uint64_t at;
            std::uint32_t size;
            std::uint32_t row;
        };
        std::string arena;
        std::vector<Key> keys(n);
        forEachRow([&](std::size_t r, const LogFields& f) {
            const std::string_view v = f[field];
            std::uint64_t head = 0;
            for (std::size_t b = 0; b < 8; ++b) {
                head = (head << 8) | (b < v.size() ? static_cast<unsigned char>(v[b]) : 0u);
            }
            keys[r] = {head, arena.size(), static_cast<std::uint32_t>(v.size()),
                       static_cast<std::uint32_t>(r)};
            arena.append(v);
        });
        const auto less = [&](const Key& a, const Key& b) {
            if (a.head != b.head) {
                return a.head < b.head;
            }
            const std::string_view all(arena);
            return all.substr(a.at, a.size) < all.substr(b.at, b.size);
        };
        std::sort(keys.begin(), keys.end(), [&](const Key& a, const Key& b) {
            if (less(a, b) || less(b, a)) {
                return ascending ? less(a, b) : less(b, a);
            }
            return a.row < b.row;
        });
        for (std::size_t i = 0; i < n; ++i) {
            order[i] = keys[i].row;
        }
        return order;
    }
    LocalOffsetCache offsets;
    std::vector<std::pair<double, std::uint32_t>> keys(n);
    forEachRow([&](std::size_t r, const LogFields& f) {
        double key = 0;
        switch (column) {
            case 0: {
                // The date and the start time together; what is no date comes before all dates.
                const LogDate d = parseLogDate(f[LogFields::StartDate]);
                key = d.valid() ? static_cast<double>(d.daysSinceEpoch() * 86400 +
                                                      clockSeconds(f[LogFields::StartTime]))
                                : -std::numeric_limits<double>::infinity();
                break;
            }
            case 7:
                key = leadingDouble(f[LogFields::BytesSent]);
                break;
            case 8:
                key = leadingDouble(f[LogFields::BytesReceived]);
                break;
            default: {
                // The same price as the cell: the time's price and the data's.
                const double bytes = leadingDouble(f[LogFields::BytesSent]) +
                                     leadingDouble(f[LogFields::BytesReceived]);
                const std::size_t plan = planOf(f);
                const Pricing p = priceRecord(f[LogFields::StartDate], f[LogFields::StartTime],
                                              f[LogFields::EndDate], f[LogFields::EndTime],
                                              tariffs_[plan], rules_[plan], bytes);
                key = column == 3 ? static_cast<double>(p.duration) : p.cost;
                break;
            }
        }
        keys[r] = {key, static_cast<std::uint32_t>(r)};
    });
    std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        if (a.first != b.first) {
            return ascending ? a.first < b.first : b.first < a.first;
        }
        return a.second < b.second;
    });
    for (std::size_t i = 0; i < n; ++i) {
        order[i] = keys[i].second;
    }
    return order;
}

}  // namespace tavu
