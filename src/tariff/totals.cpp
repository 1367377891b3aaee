#include "tariff/totals.h"

#include <algorithm>

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "monitor/log_file.h"
#include "monitor/log_record.h"
#include "tariff/billing_period.h"

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
    return computeTotals(settings, logPath, filter, today, nullptr);
}

LogTotals computeTotals(const SettingsStore& settings, const std::string& logPath,
                        SummaryFilter filter, const LocalDateTime& today,
                        const LogRecord* extraRecord) {
    const BillingPeriod period = currentBillingPeriod(settings, today);
    const std::string todayText = formatDate(today.day, today.month, today.year);
    const std::string_view todayDay = std::string_view(todayText).substr(0, 2);
    const std::string_view todayMonth = std::string_view(todayText).substr(3, 2);
    const std::string_view todayYear = std::string_view(todayText).substr(6);

    const BillingRules rules = BillingRules::read(settings);
    TariffReader tariffs(settings);
    Tariff last{};  // the tariff of the last counted record; zero when none was counted
    LogTotals totals;

    const auto count = [&](const LogFields& f) {
        const std::string_view date = f[LogFields::StartDate];
        if (filter == SummaryFilter::ThisMonth && !period.containsLogDate(date)) {
            return;
        }
        if (filter == SummaryFilter::Today) {
            // Day, month and year of the start date as written.
            if (date.size() < 10 || date.substr(3, 2) != todayMonth ||
                date.substr(date.size() - 4) != todayYear || date.substr(0, 2) != todayDay) {
                return;
            }
        }
        const Tariff& t = tariffs.forNextRecord();
        const double sent = leadingDouble(f[LogFields::BytesSent]);
        const double received = leadingDouble(f[LogFields::BytesReceived]);
        const Pricing p = priceRecord(date, f[LogFields::StartTime], f[LogFields::EndDate],
                                      f[LogFields::EndTime], t, rules, sent + received);
        last = t;
        ++totals.count;
        totals.totalTime += p.minBilled;
        totals.uploaded += sent;
        totals.downloaded += received;
        totals.totalCost += p.cost;
    };
    LogReader::forEachLine(logPath, [&](std::string_view line) {
        if (line.empty()) {
            return;
        }
        const LogFields f = splitRecord(line);
        if (f.isRecord()) {
            count(f);
        }
    });
    if (extraRecord != nullptr) {
        LogFields f;
        f.field = {extraRecord->startDate,  extraRecord->startTime, extraRecord->endDate,
                   extraRecord->endTime,    extraRecord->user,      extraRecord->device,
                   extraRecord->connection, extraRecord->bytesSent, extraRecord->bytesReceived};
        count(f);
    }
    totals.transmitted = totals.uploaded + totals.downloaded;

    if (filter == SummaryFilter::ThisMonth) {
        // Free time of the period, at the normal rate plus one dial.
        const std::string freeText =
            settings.readString(keys::kPrice, keys::kFreeMonthTime, "00:00");
        if (freeText != "00:00") {
            const std::int64_t f = tariffTimeSeconds(freeText);
            const double freeValue =
                last.pricePerDial + last.costPerMinute * static_cast<double>(f / 60) +
                last.costPerMinute * (1.0 / 60.0) * static_cast<double>(f % 60);
            totals.totalCost -= freeValue;
        }
        // Free data of the period: its megabytes at the data price, up to those counted.
        const double freeMB =
            static_cast<double>(std::max(0, settings.readInt(keys::kPrice, keys::kFreeMonthMB, 0)));
        if (freeMB > 0 && last.costPerMB != 0) {
            totals.totalCost -= last.costPerMB * std::min(freeMB, totals.transmitted / 1e6);
        }
    }
    totals.averageCost =
        totals.count != 0 ? totals.totalCost / static_cast<double>(totals.count) : 0;

    if (filter == SummaryFilter::ThisMonth) {
        // The pace so far carried on to the period's end; nothing to carry with no record yet.
        const double pace = static_cast<double>(period.lengthSeconds()) /
                            static_cast<double>(period.elapsedSeconds(today));
        const bool none = totals.count == 0;
        totals.projectedCost = none ? 0.0 : totals.totalCost * pace;
        totals.projectedData = none ? 0.0 : totals.transmitted * pace;
    }
    return totals;
}

}  // namespace tavu
