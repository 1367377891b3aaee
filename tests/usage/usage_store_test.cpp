#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "support/damaged_store.h"
#include "support/temp_dir.h"
#include "usage/usage_store.h"

namespace tavu {
namespace {

const ConnectionKey kKey{"07-12-2026", "20:00:01", "/dev/ttyUSB0", "Provider"};
const ConnectionKey kOther{"08-12-2026", "09:30:00", "ppp0", "Hotspot"};
constexpr std::int64_t kQ = 1796673600;  // a quarter hour's start

class UsageStoreTest : public testing::Test {
  protected:
    std::unique_ptr<UsageStore> open(bool create = true) {
        return UsageStore::open(path, create, error);
    }
    // A store with rows, closed again.
    void makeStore(int rows) {
        auto store = open();
        ASSERT_TRUE(store) << error;
        std::vector<UsageRow> list;
        for (int i = 0; i < rows; ++i) {
            list.push_back(UsageRow{kQ + i * kQuarterSeconds, 900, i, 2 * i});
        }
        ASSERT_TRUE(store->write(kKey, list)) << store->problem();
    }

    test::TempDir dir;
    const std::string path = dir.file("usage.db");
    std::string error;
};

TEST_F(UsageStoreTest, RowsComeBackByConnectionAndSpanAndAQuarterIsReplacedWhole) {
    auto store = open();
    ASSERT_TRUE(store) << error;
    EXPECT_TRUE(store->rowsOf(kKey).empty());
    ASSERT_TRUE(store->write(kKey, {{kQ, 900, 10, 20}, {kQ + 900, 300, 1, 2}}));
    ASSERT_TRUE(store->write(kOther, {{kQ + 900, 60, 5, 6}}));
    ASSERT_TRUE(store->write(kKey, {{kQ + 900, 400, 3, 4}}));  // the quarter goes on

    EXPECT_EQ(store->rowsOf(kKey),
              (std::vector<UsageRow>{{kQ, 900, 10, 20}, {kQ + 900, 400, 3, 4}}));
    const UsageRows span = store->rowsBetween(kQ + 900, kQ + 1800);
    ASSERT_EQ(span.size(), 2u);
    EXPECT_EQ(span.at(kKey), (std::vector<UsageRow>{{kQ + 900, 400, 3, 4}}));
    EXPECT_EQ(span.at(kOther), (std::vector<UsageRow>{{kQ + 900, 60, 5, 6}}));
    EXPECT_TRUE(store->rowsBetween(kQ + 1800, kQ + 2700).empty());
    EXPECT_EQ(store->rowsBetween(kQ, kQ + 1).size(), 1u);  // the end is not in the span

    // The rows outlive the program.
    store.reset();
    store = open(false);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->rowsOf(kKey).size(), 2u);
}

TEST_F(UsageStoreTest, NewFileIsTheUsersOwnWithNoAccessForOthersInWalMode) {
    ::umask(0);
    auto store = open();
    ::umask(022);
    ASSERT_TRUE(store) << error;
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    // The header's read and write versions are 2 in WAL mode.
    const std::string head = test::readFile(path);
    ASSERT_GE(head.size(), 20u);
    EXPECT_EQ(head[18], 2);
    EXPECT_EQ(head[19], 2);
    ASSERT_TRUE(store->write(kKey, {{kQ, 1, 1, 1}}));
    ASSERT_EQ(::stat((path + "-wal").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(UsageStoreTest, NoFileIsNoStoreAndNoMessageWhenNotAskedToCreateIt) {
    EXPECT_FALSE(open(false));
    EXPECT_TRUE(error.empty());
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(UsageStoreTest, LinksAreRefusedAndTheirTargetsUntouched) {
    const std::string target = dir.file("elsewhere");
    test::writeFile(target, "precious");
    ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
    EXPECT_FALSE(open());
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    EXPECT_EQ(test::readFile(target), "precious");

    // A link planted as the write-ahead log or the shared memory file.
    for (const char* suffix : {"-wal", "-shm"}) {
        std::filesystem::remove(path);
        std::filesystem::remove(path + "-wal");
        std::filesystem::remove(path + "-shm");
        makeStore(1);
        ASSERT_EQ(::symlink(target.c_str(), (path + suffix).c_str()), 0);
        error.clear();
        EXPECT_FALSE(open()) << suffix;
        EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
        EXPECT_EQ(test::readFile(target), "precious");
    }
}

TEST_F(UsageStoreTest, AFileOthersMayWriteOrOfAnotherUserIsRefused) {
    makeStore(1);
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    EXPECT_FALSE(open());
    EXPECT_NE(error.find("other users may write"), std::string::npos) << error;
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    if (::geteuid() != 0) {
        GTEST_SKIP() << "another user's file needs root";
    }
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(open());
    EXPECT_NE(error.find("another user"), std::string::npos) << error;
}

TEST_F(UsageStoreTest, RandomBytesAreRefusedWithAMessageAndLeftAsTheyAre) {
    std::mt19937 random(7);
    std::string bytes(8192, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random());
    }
    test::writeFile(path, bytes);
    ::chmod(path.c_str(), 0600);
    EXPECT_FALSE(open());
    EXPECT_NE(error.find("usage.db is not used"), std::string::npos) << error;
    EXPECT_TRUE(test::readFile(path) == bytes);
}

TEST_F(UsageStoreTest, AStoreCutShortOrShorterThanItsHeaderSaysIsRefusedAsDamaged) {
    makeStore(5000);
    const std::string whole = test::readFile(path);
    const std::uint32_t pages = test::bigEndianAt(whole, 28, 4);
    const std::size_t page = whole.size() / pages;
    ASSERT_EQ(whole.size(), pages * page);
    ASSERT_GT(pages, 8u);
    const auto refusedAsDamaged = [&](const char* how) {
        error.clear();
        EXPECT_FALSE(open(false)) << how;
        EXPECT_NE(error.find("usage.db is not used (it is damaged)"), std::string::npos)
            << how << ": " << error;
    };
    std::filesystem::resize_file(path, whole.size() - page / 2);  // not a whole number of pages
    refusedAsDamaged("half a page cut off");
    std::filesystem::resize_file(path, 3 * page);
    refusedAsDamaged("cut to three pages");
    test::writeFile(path, whole);
    test::setHeaderPageCount(path, pages + 1);
    refusedAsDamaged("one page more in the header");
    // Not a SQLite file at all, and a file shorter than a header.
    test::writeFile(path, std::string(4096, 'x'));
    refusedAsDamaged("no magic");
    test::writeFile(path, whole.substr(0, 60));
    refusedAsDamaged("60 bytes");
    EXPECT_EQ(test::readFile(path), whole.substr(0, 60));  // left as it was
    // The count of the header is not used when the version it is valid for is another.
    test::writeFile(path, whole);
    test::setHeaderPageCount(path, pages + 1);
    std::string stale = test::readFile(path);
    stale[95] = static_cast<char>(stale[95] + 1);
    test::writeFile(path, stale);
    EXPECT_TRUE(open(false)) << error;
}

// A crash while SQLite copies the write-ahead log into the file can leave the file shorter than
// the header it already holds: the log still has the pages, and SQLite finishes the copy.
TEST_F(UsageStoreTest, AStoreShorterThanItsHeaderIsOpenedWhileItsLogHoldsThePages) {
    makeStore(1);
    auto store = open();
    ASSERT_TRUE(store) << error;
    std::vector<UsageRow> rows;
    for (int i = 0; i < 3000; ++i) {
        rows.push_back(UsageRow{kQ + i * kQuarterSeconds, 900, i, i});
    }
    ASSERT_TRUE(store->write(kOther, rows)) << store->problem();
    // The files as the crash left them, the header claiming more pages than the file has.
    const test::TempDir crashed;
    const std::string copy = crashed.file("usage.db");
    std::filesystem::copy_file(path, copy);
    std::filesystem::copy_file(path + "-wal", copy + "-wal");
    store.reset();
    const std::string head = test::readFile(copy);
    test::setHeaderPageCount(copy, test::bigEndianAt(head, 28, 4) + 10);
    auto recovered = UsageStore::open(copy, false, error);
    ASSERT_TRUE(recovered) << error;
    EXPECT_EQ(recovered->rowsOf(kOther).size(), 3000u) << recovered->problem();
    // Without the log the same file is damaged.
    recovered.reset();
    std::filesystem::remove(copy + "-wal");
    test::setHeaderPageCount(copy, test::bigEndianAt(test::readFile(copy), 28, 4) + 10);
    EXPECT_FALSE(UsageStore::open(copy, false, error));
    EXPECT_NE(error.find("it is damaged"), std::string::npos) << error;
}

// The open reads no page of the table: a damaged page is met by the read that needs it, which
// gives nothing, and from then on the store gives nothing and takes nothing.
TEST_F(UsageStoreTest, ADamagedPageFailsTheReadThatMeetsItWholeAndTheStoreFromThenOn) {
    makeStore(5000);
    {
        auto store = open(false);
        ASSERT_TRUE(store) << error;
        ASSERT_TRUE(store->addOperatorReply({kQ, "*100#", "1 GB left"}));
    }
    ASSERT_GT(test::damageUsageLeaf(path), 0u);
    const std::string damaged = test::readFile(path);
    auto store = open(false);
    ASSERT_TRUE(store) << error;
    EXPECT_TRUE(error.empty()) << error;
    ASSERT_TRUE(store->lastOperatorReply());  // its pages are whole
    EXPECT_TRUE(store->rowsBetween(kQ, kQ + 5000 * kQuarterSeconds).empty());
    EXPECT_NE(store->problem().find("usage.db is not used (it is damaged)"), std::string::npos)
        << store->problem();
    EXPECT_TRUE(store->damaged());
    EXPECT_TRUE(store->rowsOf(kKey).empty());
    EXPECT_TRUE(store->rowsBetween(kQ, kQ + kQuarterSeconds).empty());
    EXPECT_FALSE(store->lastOperatorReply());
    EXPECT_FALSE(store->write(kOther, {{kQ, 1, 1, 1}}));
    EXPECT_FALSE(store->addOperatorReply({kQ, "*100#", "2 GB left"}));
    EXPECT_NE(store->problem().find("(it is damaged)"), std::string::npos) << store->problem();
    store.reset();
    EXPECT_TRUE(test::readFile(path) == damaged);

    // Opened again, the first read that meets the page finds it.
    store = open(false);
    ASSERT_TRUE(store) << error;
    EXPECT_TRUE(store->rowsOf(kKey).empty());
    EXPECT_NE(store->problem().find("(it is damaged)"), std::string::npos) << store->problem();
}

TEST_F(UsageStoreTest, AnotherProgramsDatabaseIsNeverWritten) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(
        sqlite3_exec(db, "CREATE TABLE t(x); INSERT INTO t VALUES(1);", nullptr, nullptr, nullptr),
        SQLITE_OK);
    sqlite3_close(db);
    ::chmod(path.c_str(), 0600);
    const std::string before = test::readFile(path);
    EXPECT_FALSE(open());
    EXPECT_NE(error.find("not a usage store"), std::string::npos) << error;
    EXPECT_TRUE(test::readFile(path) == before);
}

TEST_F(UsageStoreTest, ALockedStoreFailsTheWriteSoonAndTakesItWhenFree) {
    makeStore(1);
    auto store = open();
    ASSERT_TRUE(store) << error;
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(store->write(kKey, {{kQ + 900, 5, 5, 5}}));
    EXPECT_NE(store->problem().find("locked"), std::string::npos) << store->problem();
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_TRUE(store->write(kKey, {{kQ + 900, 5, 5, 5}}));
    EXPECT_TRUE(store->problem().empty());
    EXPECT_EQ(store->rowsOf(kKey).size(), 2u);
}

TEST_F(UsageStoreTest, TheSinkSaysWhyAndOpensTheStoreAgainOnceItIsFixed) {
    UsageStoreSink sink;
    const std::string log = dir.file("logfile.log");
    ASSERT_EQ(::symlink(dir.file("nothing").c_str(), path.c_str()), 0);
    EXPECT_FALSE(sink.write(log, kKey, {{kQ, 1, 2, 3}}));
    EXPECT_NE(sink.problem().find("symbolic link"), std::string::npos) << sink.problem();
    EXPECT_FALSE(std::filesystem::exists(dir.file("nothing")));
    std::filesystem::remove(path);
    EXPECT_TRUE(sink.write(log, kKey, {{kQ, 1, 2, 3}}));
    EXPECT_EQ(sink.rowsOf(log, kKey), (std::vector<UsageRow>{{kQ, 1, 2, 3}}));
}

TEST_F(UsageStoreTest, TheSinkWritesNothingToAStoreFoundDamagedUntilAnotherFileIsThere) {
    makeStore(5000);
    ASSERT_GT(test::damageUsageLeaf(path), 0u);
    const std::string damaged = test::readFile(path);
    UsageStoreSink sink;
    const std::string log = dir.file("logfile.log");
    const UsageSource* rows = sink.source(log);
    ASSERT_NE(rows, nullptr) << sink.problem();
    EXPECT_TRUE(rows->rowsBetween(kQ, kQ + 5000 * kQuarterSeconds).empty());
    // Found by the read, said by the next write, which stores nothing.
    EXPECT_FALSE(sink.write(log, kOther, {{kQ, 1, 2, 3}}));
    EXPECT_NE(sink.problem().find("(it is damaged)"), std::string::npos) << sink.problem();
    EXPECT_EQ(sink.source(log), nullptr);
    EXPECT_FALSE(sink.addOperatorReply(log, {kQ, "*100#", "1 GB left"}));
    EXPECT_FALSE(std::filesystem::exists(path + "-wal") &&
                 std::filesystem::file_size(path + "-wal") > 0);
    EXPECT_TRUE(test::readFile(path) == damaged);
    // The user moved it away: a new store is made.
    std::filesystem::rename(path, path + ".bad");
    EXPECT_TRUE(sink.write(log, kOther, {{kQ, 1, 2, 3}})) << sink.problem();
    EXPECT_EQ(sink.rowsOf(log, kOther), (std::vector<UsageRow>{{kQ, 1, 2, 3}}));
}

// Runs SQL on the store's file behind its back; the first column of the first row, or -1.
std::int64_t rawSql(const std::string& path, const char* sql) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_stmt* st = nullptr;
    std::int64_t value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &st, nullptr) == SQLITE_OK &&
        sqlite3_step(st) == SQLITE_ROW)
        value = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return value;
}

TEST_F(UsageStoreTest, OperatorRepliesAreKeptNewestLastAndOnlyTheNewestThousand) {
    auto store = open();
    ASSERT_TRUE(store) << error;
    EXPECT_FALSE(store->lastOperatorReply());
    EXPECT_TRUE(store->problem().empty());
    for (int i = 0; i < 1005; ++i) {
        ASSERT_TRUE(store->addOperatorReply({kQ + i, "*100#", "left " + std::to_string(i)}));
    }
    // A reply with an older time stamp (the clock went back) is still the last one asked.
    ASSERT_TRUE(store->addOperatorReply({kQ - 5000, "*101#", "Saldo 2,50 \xe2\x82\xac"}));
    store.reset();
    store = open(false);
    ASSERT_TRUE(store) << error;
    const auto last = store->lastOperatorReply();
    ASSERT_TRUE(last);
    EXPECT_EQ(last->time, kQ - 5000);
    EXPECT_EQ(last->code, "*101#");
    EXPECT_EQ(last->reply, "Saldo 2,50 \xe2\x82\xac");
    store.reset();
    EXPECT_EQ(rawSql(path, "SELECT count(*) FROM operator_replies"), 1000);
}

TEST_F(UsageStoreTest, AStoreOfTheFirstVersionGainsTheRepliesAndKeepsItsRows) {
    makeStore(3);
    // As the first version left it: no table of replies, no roaming bytes, version 1.
    ASSERT_EQ(rawSql(path, "DROP TABLE operator_replies"), -1);
    ASSERT_EQ(rawSql(path, "DROP TABLE kept_days"), -1);
    ASSERT_EQ(rawSql(path, "ALTER TABLE usage DROP COLUMN roaming"), -1);
    ASSERT_EQ(rawSql(path, "PRAGMA user_version=1"), -1);
    auto store = open(false);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->rowsOf(kKey).size(), 3u);
    EXPECT_TRUE(store->addOperatorReply({kQ, "*100#", "1.5 GB left"})) << store->problem();
    store.reset();
    EXPECT_EQ(rawSql(path, "PRAGMA user_version"), 4);
    EXPECT_EQ(rawSql(path, "SELECT count(*) FROM kept_days"), 0);
    // A newer version's store is left alone.
    ASSERT_EQ(rawSql(path, "PRAGMA user_version=5"), -1);
    EXPECT_FALSE(open(false));
    EXPECT_NE(error.find("another version"), std::string::npos) << error;
}

TEST_F(UsageStoreTest, RoamingBytesAreKeptAndAStoreOfTheSecondVersionReadsThemAsNone) {
    makeStore(2);
    ASSERT_EQ(rawSql(path, "ALTER TABLE usage DROP COLUMN roaming"), -1);
    ASSERT_EQ(rawSql(path, "PRAGMA user_version=2"), -1);
    auto store = open(false);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->rowsOf(kKey),
              (std::vector<UsageRow>{{kQ, 900, 0, 0, 0}, {kQ + 900, 900, 1, 2, 0}}));
    ASSERT_TRUE(store->write(kKey, {{kQ + 900, 900, 100, 200, 250}})) << store->problem();
    store.reset();
    EXPECT_EQ(rawSql(path, "PRAGMA user_version"), 4);
    store = open(false);
    ASSERT_TRUE(store) << error;
    EXPECT_EQ(store->rowsBetween(kQ + 900, kQ + 1800).at(kKey),
              (std::vector<UsageRow>{{kQ + 900, 900, 100, 200, 250}}));
}

TEST(PendingUsage, RowsInMemoryReplaceTheStoredQuarterAndJoinOnlyTheirConnection) {
    const ConnectionKey now{"08-12-2026", "00:00:00", "ppp0", "Modem"};
    const ConnectionKey other{"01-12-2026", "10:00:00", "ppp0", "Modem"};
    MemoryUsageSource stored;
    stored.rows[now] = {{0, 900, 1, 1}, {900, 300, 2, 2}};
    stored.rows[other] = {{900, 900, 5, 5}};
    // The quarter being counted has grown since it was stored; a new one has begun.
    const PendingUsageSource rows(&stored, now, {{900, 900, 3, 3}, {1800, 60, 4, 4}});

    const std::vector<UsageRow> expected{{0, 900, 1, 1}, {900, 900, 3, 3}, {1800, 60, 4, 4}};
    EXPECT_EQ(rows.rowsOf(now), expected);
    EXPECT_EQ(rows.rowsOf(other), stored.rows[other]);
    UsageRows window = rows.rowsBetween(900, 1800);
    EXPECT_EQ(window[now], std::vector<UsageRow>({{900, 900, 3, 3}}));
    EXPECT_EQ(window[other], stored.rows[other]);
    EXPECT_TRUE(rows.rowsBetween(2700, 3600).empty());
    // Without a store, the rows in memory alone.
    const PendingUsageSource alone(nullptr, now, {{1800, 60, 4, 4}});
    EXPECT_EQ(alone.rowsBetween(0, 3600).at(now), std::vector<UsageRow>({{1800, 60, 4, 4}}));
    EXPECT_TRUE(alone.rowsOf(other).empty());
}

}  // namespace
}  // namespace tavu
