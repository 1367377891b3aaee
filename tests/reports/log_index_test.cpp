#include "reports/log_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/settings_store.h"
#include "monitor/log_file.h"
#include "monitor/log_record.h"
#include "reports/report_pages.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using test::TempDir;
using test::writeFile;

// The records of a log, newest first, as the command-line report reads them.
std::vector<std::string> reportLines(const std::string& path) {
    std::vector<std::string> out;
    LogReader::forEachLineReverse(path, [&](std::string_view line) {
        if (!line.empty() && splitRecord(line).isRecord()) {
            out.emplace_back(line);
        }
    });
    return out;
}

// All rows of the index, read in pages of the given size.
std::vector<std::string> indexedLines(const LogIndex& index, std::size_t page) {
    std::vector<std::string> out;
    for (std::size_t first = 0; first < index.size(); first += page) {
        index.readRows(first, page, [&](std::size_t row, std::string_view line) {
            EXPECT_EQ(row, out.size());
            out.emplace_back(line);
        });
    }
    return out;
}

// A log with every kind of line: records, empty lines, separators only, blanks, CR LF and LF,
// binary bytes, lines longer than the readers keep, and lines that cross the reading chunks.
std::string messyLog(unsigned seed, std::size_t lines) {
    std::mt19937 rng(seed);
    std::string log;
    for (std::size_t i = 0; i < lines; ++i) {
        switch (rng() % 12) {
            case 0:
                break;  // empty line
            case 1:
                log += "|||||||||";
                break;
            case 2:
                log += " \t | |";
                break;
            case 3:
                log += std::string(LogReader::kMaxLine + rng() % 40000, 'x') + "|y|";
                break;
            case 4:
                for (int k = 0; k < 30; ++k) {
                    log.push_back(static_cast<char>(rng() % 256 == '\n' ? 1 : rng() % 256));
                }
                break;
            case 5:
                log += "|||||||||| after the ninth separator";
                break;
            case 6:
                log += "  x";
                break;
            default:
                log += "0" + std::to_string(rng() % 9 + 1) + "-05-2024|10:00:00|" +
                       "01-05-2024|10:0" + std::to_string(rng() % 10) + ":00|joe||ISP|" +
                       std::to_string(i) + "|" + std::to_string(rng()) + "|";
        }
        log += (rng() % 2) ? "\r\n" : "\n";
    }
    return log;
}

TEST(LogIndex, RowsAreTheReportsRecordsNewestFirst) {
    TempDir dir;
    const std::string path = dir.file("logfile.log");
    for (const unsigned seed : {1u, 2u, 3u}) {
        std::string log = messyLog(seed, 900);
        if (seed == 2) {
            log.pop_back();  // a last line without its line end
            log += "05-05-2024|10:00:00|05-05-2024|10:30:00|last|";
        }
        if (seed == 3) {
            log += "\r\r\n\n";
        }
        writeFile(path, log);
        ASSERT_GT(log.size(), 2u << 20) << "the log must cross several reading chunks";
        const std::vector<std::string> expected = reportLines(path);
        LogIndex index;
        ASSERT_TRUE(index.open(path));
        ASSERT_EQ(index.size(), expected.size()) << "seed " << seed;
        for (const std::size_t page : {std::size_t{1}, std::size_t{7}, std::size_t{64}}) {
            EXPECT_EQ(indexedLines(index, page), expected) << "seed " << seed << " page " << page;
        }
    }
}

TEST(LogIndex, RowsBeyondAVeryLongLineAreReadOneByOne) {
    TempDir dir;
    const std::string path = dir.file("logfile.log");
    const std::string huge(LogIndex::kMaxSpan + 100, 'h');
    writeFile(path, "01-05-2024|a|\r\n" + huge + "|\r\n" + "02-05-2024|b|\n" + huge + "\n" +
                        "03-05-2024|c|");
    LogIndex index;
    ASSERT_TRUE(index.open(path));
    const std::vector<std::string> expected = reportLines(path);
    ASSERT_EQ(expected.size(), 5u);
    EXPECT_EQ(expected[1].size(), LogReader::kMaxLine);
    EXPECT_EQ(expected[3].size(), LogReader::kMaxLine);
    EXPECT_EQ(indexedLines(index, 5), expected);
    EXPECT_EQ(indexedLines(index, 2), expected);
}

TEST(LogIndex, SeesTheLogAsItWasWhenOpened) {
    TempDir dir;
    const std::string path = dir.file("logfile.log");
    LogIndex index;
    EXPECT_FALSE(index.open(path));
    EXPECT_EQ(index.size(), 0u);
    index.readRows(0, 10, [](std::size_t, std::string_view) { ADD_FAILURE(); });

    writeFile(path, "");
    EXPECT_TRUE(index.open(path));
    EXPECT_TRUE(index.empty());

    writeFile(path, "01-05-2024|a|\r\n02-05-2024|b|\r\n");
    ASSERT_TRUE(index.open(path));
    writeFile(path, "01-05-2024|a|\r\n02-05-2024|b|\r\n03-05-2024|c|\r\n");
    std::vector<std::string> rows;
    index.readRows(0, 10, [&](std::size_t, std::string_view l) { rows.emplace_back(l); });
    EXPECT_EQ(rows, (std::vector<std::string>{"02-05-2024|b|", "01-05-2024|a|"}));

    LogIndex moved = std::move(index);
    rows.clear();
    moved.readRows(1, 1, [&](std::size_t r, std::string_view l) {
        EXPECT_EQ(r, 1u);
        rows.emplace_back(l);
    });
    EXPECT_EQ(rows, std::vector<std::string>{"01-05-2024|a|"});
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

}  // namespace
}  // namespace tavu
