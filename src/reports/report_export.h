#pragma once

#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/clock.h"
#include "reports/report_rows.h"
#include "tariff/totals.h"

namespace tavu {

class SettingsStore;

// The forms `tavu report` writes: the tab-separated table, CSV (RFC 4180) and JSON.
enum class ReportFormat { Tsv, Csv, Json };

std::optional<ReportFormat> reportFormatNamed(std::string_view name);

// Writes the log's records that the filter passes, newest first, in the given form; CSV and
// JSON are written a record at a time, never the whole log at once. JSON is one object: the
// records, then the totals as summaryJson() writes them. False when the output failed.
// plan: as TotalsOptions::plan. Each record is priced by its own plan; when the settings have
// plans, each JSON record names its plan ("plan", kDefaultPlanName for the default plan).
// The JSON totals come from the usage engine (its store made beside the log when missing) and
// count the connection in progress that a monitor journals; problem, when given, is set to
// what the user is to be told once about that store (empty when all went well, and with the
// filter All, whose figures never depend on it).
bool writeReport(const SettingsStore& settings, const std::string& logPath, ReportFormat format,
                 SummaryFilter filter, const LocalDateTime& today, std::ostream& out,
                 const std::string& plan = {}, std::string* problem = nullptr);

// CSV: the heading line, then one line per row, each ending in CR LF. Dates are written
// yyyy-mm-dd, the duration as HH:MM:SS and in seconds, bytes as whole numbers, the price with
// two decimals. Text that is not UTF-8 gets U+FFFD for each bad byte, control characters
// become blanks, and a field with a comma or a quote is quoted.
std::string csvHeader();
void appendCsvRow(std::string& out, const ReportRow& row);

// One record as a JSON object; every record has the same names. plan, when given, is added as
// "plan".
void appendJsonRecord(std::string& out, const ReportRow& row, const std::string* plan = nullptr);

// The summary's values as one JSON object. Each label has a stable key ("connections",
// "total_time_online", ...); times are given in seconds, money with two decimals, bytes as
// whole numbers.
std::string summaryJson(std::span<const SummaryLine> lines);
std::string summaryKey(std::string_view label);

// A stored "dd-mm-yyyy" as "yyyy-mm-dd"; a text that is no date stays as it is.
std::string isoDate(std::string_view stored);

// The text as a JSON string, quotes included.
void appendJsonString(std::string& out, std::string_view text);

}  // namespace tavu
