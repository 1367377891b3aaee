#include "reports/report_pages.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/settings_store.h"
#include "log/log_record.h"
#include "reports/report_export.h"
#include "support/log_samples.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using test::messyLog;
using test::reportLines;
using test::TempDir;
using test::writeFile;

// A stored dd-mm-yyyy as yyyy-mm-dd, so that text order is time order.
std::string isoLike(const std::string& d) {
    return d.substr(6, 4) + d.substr(3, 2) + d.substr(0, 2);
}

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

// Every column sorts by the value its cell shows; with a price per MB the price is the time's
// price and the data's together, so a short call that moved much data costs more.
TEST(ReportPages, EveryColumnSortsByWhatItShows) {
    TempDir dir;
    SettingsStore settings(dir.file("tavu.ini"));
    settings.writeString("Price", "CostPerMinute", "0.0100000000");
    settings.writeString("Price", "CostPerMB", "0.0500000000");
    const std::string path = dir.file("logfile.log");
    const auto rec = [](const char* date, const char* start, const char* end, const char* user,
                        const char* dev, const char* isp, const char* sent, const char* recv) {
        return composeRecord({date, start, date, end, user, dev, isp, sent, recv});
    };
    // Time prices 0.06, 0.56, 0.15, 0.05; data prices 0, 0, 0.5, 0.1.
    writeFile(
        path,
        rec("03-05-2024", "10:00:00", "10:06:00", "cy", "ttyS1", "B", "0", "0") +
            rec("01-05-2024", "09:00:00", "09:56:00", "amy", "ttyS0", "C", "10", "5") +
            rec("02-05-2024", "08:00:00", "08:15:00", "bob", "ttyS2", "A", "4000000", "6000000") +
            rec("04-05-2024", "07:00:00", "07:05:00", "dan", "ppp0", "D", "1000000", "1000000"));
    ReportPages pages(settings, path);
    ASSERT_EQ(pages.size(), 4u);
    EXPECT_EQ(pages.row(0).cells[9], "0.15");  // 0.05 for the time and 0.10 for the data
    const auto number = [](const std::string& cell) {
        if (cell.size() == 8 && cell[2] == ':' && cell[5] == ':') {
            return std::stod(cell.substr(0, 2)) * 3600 + std::stod(cell.substr(3, 2)) * 60 +
                   std::stod(cell.substr(6, 2));
        }
        return std::stod(cell);
    };
    for (int column = 0; column < 10; ++column) {
        for (const bool ascending : {true, false}) {
            pages.sortBy(column, ascending);
            for (std::size_t i = 0; i + 1 < pages.size(); ++i) {
                std::string a = pages.row(i).cells[column];
                std::string b = pages.row(i + 1).cells[column];
                if (column == 0) {
                    a = isoLike(a), b = isoLike(b);
                }
                const bool textual =
                    column == 0 || column == 1 || column == 2 || (column >= 4 && column <= 6);
                const bool inOrder =
                    textual ? (ascending ? a < b : b < a)
                            : (ascending ? number(a) < number(b) : number(b) < number(a));
                EXPECT_TRUE(inOrder) << "column " << column << (ascending ? " up" : " down") << ": "
                                     << a << " then " << b;
            }
        }
    }
    pages.sortBy(9, true);
    std::string prices;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        prices += pages.row(i).cells[9] + " ";
    }
    EXPECT_EQ(prices, "0.06 0.15 0.56 0.65 ");
}

}  // namespace
}  // namespace tavu

namespace tavu {
namespace {

// The window's rows are priced as `tavu report` prices them: each by its own plan.
TEST(ReportPages, EachRowIsPricedByItsPlanAsTheCommandLineDoes) {
    test::TempDir dir;
    SettingsStore settings(dir.file("tavu.ini"));
    settings.writeString("Price", "CostPerMinute", "1");
    settings.writeString("Plan Modem", "Match", "ppp*");
    settings.writeString("Plan Modem", "CostPerMB", "0.25");
    settings.writeString("Plan SIM", "Match", "SIM");
    settings.writeString("Plan SIM", "PricePerDial", "7");
    const std::string path = dir.file("logfile.log");
    const auto rec = [](const char* device, const char* connection) {
        return composeRecord({"02-03-2026", "10:00:00", "02-03-2026", "10:02:00", "joe", device,
                              connection, "3000000", "1000000"});
    };
    test::writeFile(
        path, rec("ttyS0", "ISP") + rec("ppp0", "ISP") + rec("wwan0", "SIM") + rec("ppp0", "SIM"));
    std::ostringstream out;
    ASSERT_TRUE(writeReport(settings, path, ReportFormat::Tsv, SummaryFilter::All,
                            {2026, 3, 15, 12, 0, 0, 0}, out));
    std::vector<std::string> prices;
    std::istringstream lines(out.str());
    std::string line;
    std::getline(lines, line);  // the headings
    while (std::getline(lines, line)) {
        prices.push_back(line.substr(line.rfind('\t') + 1));
    }
    // Newest first: the Modem's 4 MB (its section comes before the SIM's), the SIM's dial, the
    // Modem's 4 MB, the default plan's two minutes.
    EXPECT_EQ(prices, (std::vector<std::string>{"1.00", "7.00", "1.00", "2.00"}));
    ReportPages pages(settings, path);
    for (std::size_t i = 0; i < prices.size(); ++i) {
        EXPECT_EQ(pages.row(i).cells[9], prices[i]) << i;
    }
    pages.sortBy(9, false);
    EXPECT_EQ(pages.row(0).cells[9], "7.00");
    EXPECT_EQ(pages.row(1).cells[9], "2.00");

    // The plan chosen shows only its records, in the order chosen, until another is chosen.
    pages.showPlan("Modem");
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages.row(0).cells[5], "ppp0");
    EXPECT_EQ(pages.row(1).cells[5], "ppp0");
    pages.showPlan("SIM");
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages.row(0).cells[9], "7.00");
    pages.showPlan("Default");
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages.row(0).cells[5], "ttyS0");
    pages.sortBy(-1, true);  // the log's order, the plan still chosen
    ASSERT_EQ(pages.size(), 1u);
    pages.showPlan("Nobody");
    EXPECT_EQ(pages.size(), 4u);
    pages.showPlan("Modem");
    pages.showPlan("");
    ASSERT_EQ(pages.size(), 4u);
    EXPECT_EQ(pages.row(1).cells[9], "7.00");
}

}  // namespace
}  // namespace tavu
