#include "tariff/totals.h"

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "monitor/log_file.h"

namespace tavu {

TariffReader::TariffReader(const SettingsStore& settings)
    : settings_(settings), generation_(settings.generation()), tariff_(Tariff::read(settings)) {}

const Tariff& TariffReader::forNextRecord() {
    if (++sinceCheck_ >= kRecheckEvery) {
        sinceCheck_ = 0;
        const std::uint64_t g = settings_.generation();
        if (g != generation_) {
            generation_ = g;
            tariff_ = Tariff::read(settings_);
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

LogTotals computeTotals(const SettingsStore& settings, const std::string& logPath,
                        SummaryFilter filter, const LocalDateTime& today) {
    const std::string todayText = formatDate(today.day, today.month, today.year);
    const std::string_view todayDay = std::string_view(todayText).substr(0, 2);
    const std::string_view todayMonth = std::string_view(todayText).substr(3, 2);
    const std::string_view todayYear = std::string_view(todayText).substr(6);

    const BillingRules rules = BillingRules::read(settings);
    TariffReader tariffs(settings);
    Tariff last{};  // the tariff of the last counted record; zero when none was counted
    LogTotals totals;

    LogReader::forEachLine(logPath, [&](std::string_view line) {
        if (line.empty()) {
            return;
        }
        const LogFields f = splitRecord(line);
        if (!f.isRecord()) {
            return;
        }
        const std::string_view date = f[LogFields::StartDate];
        if (filter != SummaryFilter::All) {
            // Month and year of the start date as written; for "today" the day as well.
            const bool sameMonth = date.size() >= 10 && date.substr(3, 2) == todayMonth &&
                                   date.substr(date.size() - 4) == todayYear;
            if (!sameMonth || (filter == SummaryFilter::Today && date.substr(0, 2) != todayDay)) {
                return;
            }
        }
        const Tariff& t = tariffs.forNextRecord();
        const Pricing p = priceRecord(date, f[LogFields::StartTime], f[LogFields::EndDate],
                                      f[LogFields::EndTime], t, rules);
        last = t;
        ++totals.count;
        totals.totalTime += p.minBilled;
        totals.uploaded += leadingDouble(f[LogFields::BytesSent]);
        totals.downloaded += leadingDouble(f[LogFields::BytesReceived]);
        totals.totalCost += p.cost;
    });

    const std::string freeText = settings.readString(keys::kPrice, keys::kFreeMonthTime, "00:00");
    if (freeText != "00:00" && filter == SummaryFilter::ThisMonth) {
        const std::int64_t f = tariffTimeSeconds(freeText);
        const double freeValue = last.pricePerDial +
                                 last.costPerMinute * static_cast<double>(f / 60) +
                                 last.costPerMinute * (1.0 / 60.0) * static_cast<double>(f % 60);
        totals.totalCost -= freeValue;
    }
    totals.averageCost =
        totals.count != 0 ? totals.totalCost / static_cast<double>(totals.count) : 0;
    totals.transmitted = totals.uploaded + totals.downloaded;
    return totals;
}

}  // namespace tavu
