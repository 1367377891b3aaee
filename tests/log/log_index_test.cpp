#include "log/log_index.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "core/settings_store.h"
#include "log/log_file.h"
#include "log/log_record.h"
#include "support/log_samples.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

using test::messyLog;
using test::reportLines;
using test::TempDir;
using test::writeFile;

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

}  // namespace
}  // namespace tavu
