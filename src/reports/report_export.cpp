#include "reports/report_export.h"

#include <cmath>
#include <cstdio>
#include <ostream>

#include "core/settings_store.h"
#include "core/text.h"
#include "ledger/usage_ledger.h"
#include "log/log_record.h"

namespace tavu {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The code point of a well-formed UTF-8 sequence of two or three bytes.
unsigned codePoint(std::string_view seq) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(seq[k]) & 0x3Fu; };
    return seq.size() == 2 ? (static_cast<unsigned char>(seq[0]) & 0x1Fu) << 6 | b(1)
                           : (static_cast<unsigned char>(seq[0]) & 0x0Fu) << 12 | b(1) << 6 | b(2);
}

bool isControl(unsigned char c) {
    return c < 0x20 || c == 0x7F;
}

// Calls plain(text piece) for runs of valid UTF-8 without control characters, control(code
// point) for each control character (C0, DEL, C1 and the direction controls); bad bytes become
// U+FFFD in the plain text.
template <class Plain, class Control>
void walkText(std::string_view text, Plain plain, Control control) {
    std::size_t run = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            ++i;
            continue;
        }
        plain(text.substr(run, i - run));
        if (isControl(c)) {
            control(c);
            ++i;
        } else if (const std::size_t n = utf8Length(text, i)) {
            const std::string_view seq = text.substr(i, n);
            const auto c1 = static_cast<unsigned char>(n == 2 ? seq[1] : 0);
            if (c == 0xC2 && c1 < 0xA0) {
                control(c1);  // U+0080 to U+009F
            } else if (isBidiControl(seq)) {
                control(codePoint(seq));
            } else {
                plain(seq);
            }
            i += n;
        } else {
            plain(kReplacement);
            ++i;
        }
        run = i;
    }
    plain(text.substr(run));
}

// How a spreadsheet must not read a cell: a formula (=, +, - or @ first, or a tab or CR that
// it skips before one). A date or time column keeps a leading "-", the sign of a number.
enum class Cell { Text, Figure };

void appendCsvField(std::string& out, std::string_view text, Cell cell = Cell::Text) {
    if (!text.empty() && (text[0] == '=' || text[0] == '+' || text[0] == '@' || text[0] == '\t' ||
                          text[0] == '\r' || (text[0] == '-' && cell == Cell::Text))) {
        std::string guarded = "'";
        guarded.append(text);
        appendCsvField(out, guarded, cell);
        return;
    }
    const bool quote = text.find_first_of(",\"") != std::string_view::npos;
    if (quote) {
        out.push_back('"');
    }
    walkText(
        text,
        [&](std::string_view piece) {
            if (!quote) {
                out.append(piece);
                return;
            }
            for (const char c : piece) {
                if (c == '"') {
                    out.push_back('"');
                }
                out.push_back(c);
            }
        },
        [&](unsigned) { out.push_back(' '); });
    if (quote) {
        out.push_back('"');
    }
}

// A number's text as JSON takes it (an optional "-", digits without a leading zero, an optional
// fraction); "null" for any other text.
std::string jsonNumber(const std::string& text) {
    const auto digitsFrom = [&](std::size_t i) {
        std::size_t j = i;
        while (j < text.size() && text[j] >= '0' && text[j] <= '9') {
            ++j;
        }
        return j - i;
    };
    std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    const std::size_t whole = digitsFrom(i);
    if (whole == 0 || (whole > 1 && text[i] == '0')) {
        return "null";
    }
    i += whole;
    if (i < text.size() && text[i] == '.') {
        const std::size_t fraction = digitsFrom(i + 1);
        i += fraction == 0 ? text.size() : fraction + 1;
    }
    return i == text.size() ? text : "null";
}

std::string wholeBytes(std::string_view stored) {
    return formatFixed(leadingDouble(stored), 0);
}

std::string price(const ReportRow& row) {
    return std::isfinite(row.pricing.cost) ? row.cells[9] : "null";
}

void appendTsvRow(std::string& out, const ReportRow& row) {
    for (std::size_t i = 0; i < row.cells.size(); ++i) {
        if (i) {
            out.push_back('\t');
        }
        // The fields come from a file anyone may have written: no control character (C0, DEL
        // or C1) reaches the terminal, and none, tab and line end included, shifts the columns
        // or the rows.
        walkText(
            row.cells[i], [&](std::string_view piece) { out.append(piece); },
            [&](unsigned) { out.push_back(' '); });
    }
    out.push_back('\n');
}

}  // namespace

std::optional<ReportFormat> reportFormatNamed(std::string_view name) {
    if (name == "tsv") {
        return ReportFormat::Tsv;
    }
    if (name == "csv") {
        return ReportFormat::Csv;
    }
    if (name == "json") {
        return ReportFormat::Json;
    }
    return std::nullopt;
}

std::string isoDate(std::string_view stored) {
    const LogDate d = parseLogDate(stored);
    if (stored.size() != 10 || stored[2] != '-' || stored[5] != '-' || !d.valid()) {
        return std::string(stored);
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", static_cast<int>(d.year),
                  static_cast<int>(d.month), static_cast<int>(d.day));
    return buf;
}

void appendJsonString(std::string& out, std::string_view text) {
    out.push_back('"');
    walkText(
        text,
        [&](std::string_view piece) {
            for (const char c : piece) {
                if (c == '"' || c == '\\') {
                    out.push_back('\\');
                }
                out.push_back(c);
            }
        },
        [&](unsigned c) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out.append(buf);
        });
    out.push_back('"');
}

std::string csvHeader() {
    return "Date,Start time,End time,Duration,Duration (s),User,Device,ISP,Uploaded,Downloaded,"
           "Price\r\n";
}

void appendCsvRow(std::string& out, const ReportRow& row) {
    const auto& c = row.cells;
    appendCsvField(out, isoDate(c[0]), Cell::Figure);
    for (const std::size_t i : {1u, 2u, 3u}) {
        out.push_back(',');
        appendCsvField(out, c[i], Cell::Figure);
    }
    out.push_back(',');
    out.append(std::to_string(row.pricing.duration));
    for (const std::size_t i : {4u, 5u, 6u}) {
        out.push_back(',');
        appendCsvField(out, c[i]);
    }
    out.push_back(',');
    out.append(wholeBytes(c[7]));
    out.push_back(',');
    out.append(wholeBytes(c[8]));
    out.push_back(',');
    appendCsvField(out, c[9], Cell::Figure);
    out.append("\r\n");
}

void appendJsonRecord(std::string& out, const ReportRow& row, const std::string* plan) {
    const auto& c = row.cells;
    const auto text = [&](const char* key, std::string_view value) {
        out.append(key);
        appendJsonString(out, value);
    };
    text("{\"date\":", isoDate(c[0]));
    text(",\"start_time\":", c[1]);
    text(",\"end_time\":", c[2]);
    text(",\"duration\":", c[3]);
    out.append(",\"duration_seconds\":").append(std::to_string(row.pricing.duration));
    text(",\"user\":", c[4]);
    text(",\"device\":", c[5]);
    text(",\"isp\":", c[6]);
    out.append(",\"uploaded\":").append(wholeBytes(c[7]));
    out.append(",\"downloaded\":").append(wholeBytes(c[8]));
    out.append(",\"price\":").append(price(row));
    if (plan != nullptr) {
        text(",\"plan\":", *plan);
    }
    out.push_back('}');
}

std::string summaryKey(std::string_view label) {
    static constexpr std::pair<std::string_view, std::string_view> kKeys[] = {
        {"Connections", "connections"},
        {"Total time online", "total_time_online"},
        {"Total cost", "total_cost"},
        {"Average cost per connection", "average_cost_per_connection"},
        {"Average connection lenght", "average_connection_length"},
        {"Total data uploaded", "total_data_uploaded"},
        {"Total data downloaded", "total_data_downloaded"},
        {"Total data transmitted", "total_data_transmitted"},
        {"Projected cost this period", "projected_cost"},
        {"Projected data this period", "projected_data"},
    };
    for (const auto& [l, key] : kKeys) {
        if (l == label) {
            return std::string(key);
        }
    }
    // A value without a key of its own: its label in lower case, words joined by "_".
    std::string key;
    for (const char c : label) {
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
            key.push_back(c);
        } else if (c >= 'A' && c <= 'Z') {
            key.push_back(static_cast<char>(c - 'A' + 'a'));
        } else if (!key.empty() && key.back() != '_') {
            key.push_back('_');
        }
    }
    while (!key.empty() && key.back() == '_') {
        key.pop_back();
    }
    return key;
}

std::string summaryJson(std::span<const SummaryLine> lines) {
    std::string out = "{";
    for (const SummaryLine& l : lines) {
        if (out.size() > 1) {
            out.push_back(',');
        }
        appendJsonString(out, summaryKey(l.label));
        out.push_back(':');
        const std::string number = jsonNumber(l.number.empty() ? l.value : l.number);
        if (number == "null" && l.number.empty()) {
            appendJsonString(out, l.value);  // a value that is text, not a figure
        } else {
            out.append(number);
        }
    }
    out.push_back('}');
    return out;
}

bool writeReport(const SettingsStore& settings, const std::string& logPath, ReportFormat format,
                 SummaryFilter filter, const LocalDateTime& today, std::ostream& out,
                 const std::string& plan, std::string* problem) {
    TotalsEngine engine(settings, filter, today,
                        TotalsOptions{.order = LogOrder::NewestFirst, .plan = plan});
    // The plans' names, the default plan's first; none without plans, so that the output stays
    // as it always was.
    const std::vector<std::string> planNames =
        engine.plans().empty() ? std::vector<std::string>{} : planChoices(engine.plans());
    std::string text;
    switch (format) {
        case ReportFormat::Tsv:
            for (std::size_t i = 0; i < kReportHeadings.size(); ++i) {
                text.append(i ? "\t" : "").append(kReportHeadings[i]);
            }
            text.push_back('\n');
            break;
        case ReportFormat::Csv:
            text = csvHeader();
            break;
        case ReportFormat::Json:
            text = "{\"records\":[";
            break;
    }
    bool first = true;
    engine.run(logPath, [&](const CountedRecord& r) {
        const ReportRow row = makeReportRow(r.fields, r.pricing);
        switch (format) {
            case ReportFormat::Tsv:
                appendTsvRow(text, row);
                break;
            case ReportFormat::Csv:
                appendCsvRow(text, row);
                break;
            case ReportFormat::Json:
                text.append(first ? "\n" : ",\n");
                appendJsonRecord(
                    text, row,
                    planNames.empty() ? nullptr : &planNames[static_cast<std::size_t>(r.plan + 1)]);
                break;
        }
        first = false;
        // Written in pieces of a few kilobytes: the log is never held whole.
        if (text.size() >= 64 * 1024) {
            out << text;
            text.clear();
        }
    });
    if (format == ReportFormat::Json) {
        // The totals as the summary gives them: from the kept sums, with the connection in
        // progress. The listing above stays that of the log's records.
        UsageLedger ledger(settings, logPath, LedgerOptions{.progress = {}, .create = true});
        const LogTotals totals = ledger.totals(filter, today, plan, ledger.journaled());
        // All prices every record whole: its figures never depend on the store.
        if (problem != nullptr && filter != SummaryFilter::All) {
            *problem = ledger.problem();
        }
        text.append("],\n\"totals\":").append(summaryJson(summaryValues(totals))).append("}\n");
    }
    out << text;
    out.flush();
    return out.good();
}

}  // namespace tavu
