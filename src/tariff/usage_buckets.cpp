#include "tariff/usage_buckets.h"

#include <map>

#include "log/log_record.h"
#include "tariff/billing_period.h"
#include "tariff/totals.h"

namespace tavu {

// A first version: each record wholly in the bucket of its start, at its full price.
std::vector<UsageBucket> usageBuckets(const SettingsStore& settings, const std::string& logPath,
                                      const UsageSource* /*store*/, UsageBy by, const LogDate& from,
                                      const LogDate& to, const LocalDateTime& today) {
    const std::int64_t first = from.daysSinceEpoch();
    const std::int64_t last = to.daysSinceEpoch();
    const int billing = billingDay(settings);
    std::map<std::int64_t, UsageBucket> buckets;
    TotalsEngine engine(settings, SummaryFilter::All, today);
    engine.run(logPath, [&](const CountedRecord& r) {
        const LogDate d = parseLogDate(r.fields[LogFields::StartDate]);
        if (!d.valid() || d.daysSinceEpoch() < first || d.daysSinceEpoch() > last) {
            return;
        }
        LocalDateTime start{static_cast<int>(d.year), static_cast<int>(d.month),
                            static_cast<int>(d.day)};
        std::int64_t key = d.daysSinceEpoch() * 24;
        switch (by) {
            case UsageBy::Hour:
                start.hour = static_cast<int>(clockSeconds(r.fields[LogFields::StartTime]) / 3600);
                key += start.hour;
                break;
            case UsageBy::Day:
                break;
            case UsageBy::Month:
                start.day = 1;
                key = LogDate{1, d.month, d.year}.daysSinceEpoch() * 24;
                break;
            case UsageBy::Period: {
                const BillingPeriod p = billingPeriodAt(billing, start);
                start = p.start();
                key = LogDate{p.day, p.month, p.year}.daysSinceEpoch() * 24;
                break;
            }
        }
        UsageBucket& b = buckets[key];
        b.start = start;
        b.seconds += r.pricing.duration;
        b.uploaded += r.sent;
        b.downloaded += r.received;
        b.cost += r.pricing.cost;
        b.connections += 1;
    });
    std::vector<UsageBucket> out;
    out.reserve(buckets.size());
    for (auto& [key, b] : buckets) {
        out.push_back(b);
    }
    return out;
}

}  // namespace tavu
