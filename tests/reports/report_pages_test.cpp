#include "reports/report_pages.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/settings_store.h"
#include "log/log_record.h"
#include "support/log_samples.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using test::messyLog;
using test::reportLines;
using test::TempDir;
using test::writeFile;

TEST(ReportPages, RowsAreTheCommandLineRowsInAnyOrderOfReading) {
    TempDir dir;
    SettingsStore settings(dir.file("tavu.ini"));
    settings.writeString("Price", "PricePerDial", "0.5000000000");
    settings.writeString("Price", "CostPerMinute", "0.1000000000");
    settings.writeString("Price", "ConnectionBlock", "00:01");
    const std::string path = dir.file("logfile.log");
    writeFile(path, messyLog(4, 3000));

    std::vector<ReportRow> expected;
    const Tariff tariff = Tariff::read(settings);
    const BillingRules rules = BillingRules::read(settings);
    for (const std::string& line : reportLines(path)) {
        expected.push_back(makeReportRow(splitRecord(line), tariff, rules));
    }
    ReportPages pages(settings, path);
    ASSERT_TRUE(pages.opened());
    ASSERT_EQ(pages.size(), expected.size());
    // More pages than are kept, visited out of order, so pages are dropped and read again.
    std::mt19937 rng(5);
    for (int k = 0; k < 5000; ++k) {
        const std::size_t i = rng() % expected.size();
        ASSERT_EQ(pages.row(i).cells, expected[i].cells) << "row " << i;
        ASSERT_EQ(pages.row(i).pricing.cost, expected[i].pricing.cost);
    }

    // The tariff of the moment the rows were opened prices every row.
    settings.writeString("Price", "PricePerDial", "9.0000000000");
    EXPECT_EQ(pages.row(expected.size() - 1).cells[9], expected.back().cells[9]);
    EXPECT_NE(ReportPages(settings, path).row(0).cells[9], expected.front().cells[9]);

    EXPECT_FALSE(ReportPages(settings, dir.file("missing.log")).opened());
    EXPECT_EQ(ReportPages(settings, dir.file("missing.log")).size(), 0u);
}

// A click on a heading: figures by value, dates in time, names as text; equal rows stay newest
// first, and no column brings back the log's order.
TEST(ReportPages, SortsByAnyColumn) {
    TempDir dir;
    SettingsStore settings(dir.file("tavu.ini"));
    settings.writeString("Price", "CostPerMinute", "1.0000000000");
    const std::string path = dir.file("logfile.log");
    const auto rec = [](const char* date, const char* end, const char* user, const char* sent) {
        return composeRecord({date, "10:00:00", date, end, user, "ttyS0", "ISP", sent, "0"});
    };
    writeFile(path, rec("03-05-2024", "10:30:00", "bob", "900") +
                        rec("01-05-2024", "10:05:00", "amy", "50") +
                        rec("02-05-2024", "11:00:00", "bob", "1000"));
    ReportPages pages(settings, path);
    const auto sent = [&] {
        std::string out;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            out += pages.row(i).cells[7] + " ";
        }
        return out;
    };
    EXPECT_EQ(sent(), "1000 50 900 ");
    pages.sortBy(0, true);
    EXPECT_EQ(sent(), "50 1000 900 ");
    pages.sortBy(4, true);
    EXPECT_EQ(sent(), "50 1000 900 ");
    pages.sortBy(4, false);
    EXPECT_EQ(sent(), "1000 900 50 ");
    pages.sortBy(7, false);
    EXPECT_EQ(sent(), "1000 900 50 ");
    pages.sortBy(9, true);
    EXPECT_EQ(sent(), "50 900 1000 ");
    EXPECT_EQ(pages.row(2).cells[9], "60.00");
    pages.sortBy(-1, true);
    EXPECT_EQ(sent(), "1000 50 900 ");
}

}  // namespace
}  // namespace tavu
