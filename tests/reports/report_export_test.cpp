#include "reports/report_export.h"

#include <gtest/gtest.h>

namespace tavu {
namespace {

// RFC 4180: a field with a quote is quoted, and its quotes doubled, even without a comma.
TEST(CsvExport, FieldWithAQuoteAndNoCommaIsQuoted) {
    ReportRow row;
    row.cells = {"01-03-2026", "10:00:00", "10:01:00", "00:01:00", "jo\"e",
                 "ttyS0",      "a,b",      "1",        "2",        "0.50"};
    std::string out;
    appendCsvRow(out, row);
    EXPECT_EQ(out,
              "2026-03-01,10:00:00,10:01:00,00:01:00,0,\"jo\"\"e\",ttyS0,\"a,b\",1,2,0.50\r\n");
}

}  // namespace
}  // namespace tavu
