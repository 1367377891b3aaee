#include "tariff/totals.h"

#include <algorithm>
#include <cmath>

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

namespace {

int daysInMonth(std::int64_t year, std::int64_t month) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return kDays[(month - 1) % 12] + (month == 2 && leap ? 1 : 0);
}

std::int64_t dayKey(const LogDate& d) {
    return d.year * 10000 + d.month * 100 + d.day;
}

}  // namespace

SummaryPeriod summaryPeriod(const SettingsStore& settings, SummaryFilter filter,
                            const LocalDateTime& today) {
    SummaryPeriod p;
    p.filter = filter;
    const LogDate t{today.day, today.month, today.year};
    if (filter == SummaryFilter::Today) {
        p.first = p.last = t;
    } else if (filter == SummaryFilter::ThisMonth) {
        p.billing = currentBillingPeriod(settings, today);
        p.first = LogDate{p.billing.day, p.billing.month, p.billing.year};
        // The last day is the one before the next period's first.
        const BillingPeriod& b = p.billing;
        if (b.endDay > 1) {
            p.last = LogDate{b.endDay - 1, b.endMonth, b.endYear};
        } else {
            const int month = b.endMonth == 1 ? 12 : b.endMonth - 1;
            const int year = b.endMonth == 1 ? b.endYear - 1 : b.endYear;
            p.last = LogDate{daysInMonth(year, month), month, year};
        }
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
    return dayKey(parseLogDate(startDate)) == dayKey(first);
}

TotalsPass::TotalsPass(const SettingsStore& settings, SummaryFilter filter,
                       const LocalDateTime& today)
    : settings_(settings),
      today_(today),
      period_(summaryPeriod(settings, filter, today)),
      rules_(BillingRules::read(settings)),
      tariffs_(settings) {}

const Pricing* TotalsPass::add(const LogFields& f) {
    const std::string_view date = f[LogFields::StartDate];
    if (!period_.contains(date)) {
        return nullptr;
    }
    const Tariff& t = tariffs_.forNextRecord();
    const double sent = leadingDouble(f[LogFields::BytesSent]);
    const double received = leadingDouble(f[LogFields::BytesReceived]);
    pricing_ = priceRecord(date, f[LogFields::StartTime], f[LogFields::EndDate],
                           f[LogFields::EndTime], t, rules_, sent + received);
    last_ = t;
    ++totals_.count;
    totals_.totalTime += pricing_.minBilled;
    totals_.uploaded += sent;
    totals_.downloaded += received;
    // Neumaier's compensated sum: the total is the same whichever way the log is read.
    const double sum = totals_.totalCost + pricing_.cost;
    costError_ += std::abs(totals_.totalCost) >= std::abs(pricing_.cost)
                      ? (totals_.totalCost - sum) + pricing_.cost
                      : (pricing_.cost - sum) + totals_.totalCost;
    totals_.totalCost = sum;
    return &pricing_;
}

LogTotals TotalsPass::finish() const {
    LogTotals totals = totals_;
    totals.totalCost += costError_;
    totals.transmitted = totals.uploaded + totals.downloaded;
    if (period_.filter == SummaryFilter::ThisMonth) {
        // Free time of the period, at the normal rate plus one dial.
        const std::string freeText =
            settings_.readString(keys::kPrice, keys::kFreeMonthTime, "00:00");
        if (freeText != "00:00") {
            const std::int64_t f = tariffTimeSeconds(freeText);
            const double freeValue =
                last_.pricePerDial + last_.costPerMinute * static_cast<double>(f / 60) +
                last_.costPerMinute * (1.0 / 60.0) * static_cast<double>(f % 60);
            totals.totalCost -= freeValue;
        }
        // Free data of the period: its megabytes at the data price, up to those counted.
        const double freeMB = static_cast<double>(
            std::max(0, settings_.readInt(keys::kPrice, keys::kFreeMonthMB, 0)));
        if (freeMB > 0 && last_.costPerMB != 0) {
            totals.totalCost -= last_.costPerMB * std::min(freeMB, totals.transmitted / 1e6);
        }
    }
    totals.averageCost =
        totals.count != 0 ? totals.totalCost / static_cast<double>(totals.count) : 0;
    if (period_.filter == SummaryFilter::ThisMonth) {
        // The pace so far carried on to the period's end; nothing to carry with no record yet.
        const double pace = static_cast<double>(period_.billing.lengthSeconds()) /
                            static_cast<double>(period_.billing.elapsedSeconds(today_));
        const bool none = totals.count == 0;
        totals.projectedCost = none ? 0.0 : totals.totalCost * pace;
        totals.projectedData = none ? 0.0 : totals.transmitted * pace;
    }
    return totals;
}

LogTotals computeTotals(const SettingsStore& settings, const std::string& logPath,
                        SummaryFilter filter, const LocalDateTime& today) {
    return computeTotals(settings, logPath, filter, today, nullptr);
}

LogTotals computeTotals(const SettingsStore& settings, const std::string& logPath,
                        SummaryFilter filter, const LocalDateTime& today,
                        const LogRecord* extraRecord) {
    TotalsPass pass(settings, filter, today);
    LogReader::forEachLine(logPath, [&](std::string_view line) {
        if (line.empty()) {
            return;
        }
        const LogFields f = splitRecord(line);
        if (f.isRecord()) {
            pass.add(f);
        }
    });
    if (extraRecord != nullptr) {
        LogFields f;
        f.field = {extraRecord->startDate,  extraRecord->startTime, extraRecord->endDate,
                   extraRecord->endTime,    extraRecord->user,      extraRecord->device,
                   extraRecord->connection, extraRecord->bytesSent, extraRecord->bytesReceived};
        pass.add(f);
    }
    return pass.finish();
}

}  // namespace tavu
