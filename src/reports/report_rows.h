#pragma once

#include <array>
#include <string>
#include <vector>

#include "log/log_record.h"
#include "tariff/tariff.h"
#include "tariff/totals.h"

namespace tavu {

inline constexpr std::array<const char*, 10> kReportHeadings = {
    "Date",   "Start time", "End time", "Duration",   "User",
    "Device", "ISP",        "Uploaded", "Downloaded", "Price"};

// One row of the report: the record's fields as stored, its duration and its price now.
struct ReportRow {
    std::array<std::string, 10> cells;
    Pricing pricing;
};

ReportRow makeReportRow(const LogFields& fields, const Tariff& tariff, const BillingRules& rules);
// The same with the record already priced.
ReportRow makeReportRow(const LogFields& fields, const Pricing& pricing);

// The eight values of the summary with their labels, formatted as the summary shows them.
struct SummaryLine {
    const char* label;
    std::string value;
    // The value as a JSON number where the text is not one already (times in seconds); empty
    // when the text serves.
    std::string number = {};
};
std::array<SummaryLine, 8> summaryLines(const LogTotals& totals);

// The two lines of the projection, shown after the eight with the period filter; none without.
inline constexpr const char* kProjectedCostLabel = "Projected cost this period";
inline constexpr const char* kProjectedDataLabel = "Projected data this period";
std::vector<SummaryLine> projectionLines(const LogTotals& totals);

// Every value the summary shows, in order: the eight, then those that only some periods have.
// The window, the text and the JSON of the command line all show these.
std::vector<SummaryLine> summaryValues(const LogTotals& totals);

}  // namespace tavu
