#include "reports/report_rows.h"

#include "core/text.h"

namespace tavu {

ReportRow makeReportRow(const LogFields& f, const Tariff& tariff, const BillingRules& rules) {
    const double bytes =
        leadingDouble(f[LogFields::BytesSent]) + leadingDouble(f[LogFields::BytesReceived]);
    return makeReportRow(
        f, priceRecord(f[LogFields::StartDate], f[LogFields::StartTime], f[LogFields::EndDate],
                       f[LogFields::EndTime], tariff, rules, bytes));
}

ReportRow makeReportRow(const LogFields& f, const Pricing& pricing) {
    ReportRow row;
    row.pricing = pricing;
    row.cells = {std::string(f[LogFields::StartDate]),     std::string(f[LogFields::StartTime]),
                 std::string(f[LogFields::EndTime]),       formatHms(row.pricing.duration),
                 std::string(f[LogFields::User]),          std::string(f[LogFields::Device]),
                 std::string(f[LogFields::Connection]),    std::string(f[LogFields::BytesSent]),
                 std::string(f[LogFields::BytesReceived]), formatFixed(row.pricing.cost, 2)};
    return row;
}

std::array<SummaryLine, 8> summaryLines(const LogTotals& t) {
    const bool none = t.count == 0;
    return {{
        {"Connections", std::to_string(t.count)},
        {"Total time online", formatHms(t.totalTime), std::to_string(t.totalTime)},
        {"Total cost", formatFixed(t.totalCost, 2)},
        {"Average cost per connection", none ? "0" : formatFixed(t.averageCost, 2),
         formatFixed(t.averageCost, 2)},
        {"Average connection lenght", none ? "00:00:00" : formatHms(t.totalTime / t.count),
         std::to_string(none ? 0 : t.totalTime / t.count)},
        {"Total data uploaded", formatFixed(t.uploaded, 0)},
        {"Total data downloaded", formatFixed(t.downloaded, 0)},
        {"Total data transmitted", formatFixed(t.transmitted, 0)},
    }};
}

std::vector<SummaryLine> projectionLines(const LogTotals& t) {
    if (!t.projectedCost || !t.projectedData) {
        return {};
    }
    return {{kProjectedCostLabel, formatFixed(*t.projectedCost, 2)},
            {kProjectedDataLabel, formatFixed(*t.projectedData, 0)}};
}

}  // namespace tavu

namespace tavu {

std::vector<SummaryLine> summaryValues(const LogTotals& totals) {
    const auto lines = summaryLines(totals);
    std::vector<SummaryLine> values(lines.begin(), lines.end());
    for (const SummaryLine& line : projectionLines(totals)) {
        values.push_back(line);
    }
    return values;
}

}  // namespace tavu
