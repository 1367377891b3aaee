#include "usage/usage_store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace tavu {

namespace {

// "TAVU" in the file's header: a database of another program is never written to.
constexpr int kApplicationId = 0x54415655;
constexpr int kSchemaVersion = 4;

// One row per connection per quarter hour, keyed (connection, quarter) without a rowid: about
// 30 bytes a row. The connection's first and last quarter let a span's rows be read by range
// for only the connections that overlap it.
constexpr const char* kSchema =
    "CREATE TABLE connections("
    " id INTEGER PRIMARY KEY,"
    " start_date TEXT NOT NULL, start_time TEXT NOT NULL,"
    " device TEXT NOT NULL, connection TEXT NOT NULL,"
    " first_quarter INTEGER NOT NULL, last_quarter INTEGER NOT NULL,"
    " UNIQUE(start_date, start_time, device, connection));"
    "CREATE INDEX connections_span ON connections(last_quarter, first_quarter);"
    "CREATE TABLE usage("
    " connection INTEGER NOT NULL, quarter INTEGER NOT NULL,"
    " seconds INTEGER NOT NULL, uploaded INTEGER NOT NULL, downloaded INTEGER NOT NULL,"
    " PRIMARY KEY(connection, quarter)) WITHOUT ROWID;";

// What the second version added: the operator's replies to the balance code, with their time.
constexpr const char* kOperatorReplies =
    "CREATE TABLE operator_replies("
    " id INTEGER PRIMARY KEY,"
    " time INTEGER NOT NULL, code TEXT NOT NULL, reply TEXT NOT NULL);";

// What the third version added: the bytes of each quarter used while the modem was roaming (of
// both directions, a part of uploaded and downloaded), priced apart. Rows of older stores read 0.
constexpr const char* kRoamingBytes =
    "ALTER TABLE usage ADD COLUMN roaming INTEGER NOT NULL DEFAULT 0;";

// What the fourth version added: the sums kept from the log, so that a figure is answered
// without reading the log again. kept_days holds a plan's month: the sums of each of its days,
// and of each hour of those days (key: plan * 1,000,000 + months since year 0). kept_state
// says what the sums were counted from: the log's identity and the bytes counted, the rules
// they were priced by, and the whole sums of each plan.
constexpr const char* kKeptSums =
    "CREATE TABLE IF NOT EXISTS kept_days(key INTEGER PRIMARY KEY, days BLOB NOT NULL, hours BLOB "
    "NOT NULL);"
    "CREATE TABLE IF NOT EXISTS kept_state(id INTEGER PRIMARY KEY, state BLOB NOT NULL);";

// The replies kept: the newest ones.
constexpr int kKeptReplies = 1000;

// Why a file found at path may not be used; empty when it may.
std::string refusal(const struct stat& st) {
    if (S_ISLNK(st.st_mode)) {
        return "it is a symbolic link";
    }
    if (!S_ISREG(st.st_mode)) {
        return "it is not a regular file";
    }
    if (st.st_uid != ::geteuid()) {
        return "it belongs to another user";
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "other users may write to it";
    }
    return {};
}

std::string checkCompanion(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return {};  // none yet: SQLite makes it with the database's mode
    }
    const std::string why = refusal(st);
    return why.empty() ? why : path.substr(path.rfind('-') + 1) + " file: " + why;
}

constexpr const char* kDamaged = "it is damaged";

// Whether the last call on db met a damaged file.
bool isDamage(sqlite3* db) {
    const int code = sqlite3_errcode(db) & 0xff;
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

std::uint32_t bigEndian(const unsigned char* p, int bytes) {
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        v = (v << 8) | p[i];
    }
    return v;
}

// The file at path as the system knows it (device, inode, time of its last change); empty when
// there is none.
std::string fileIdentity(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return {};
    }
    return std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino) + ':' +
           std::to_string(st.st_ctim.tv_sec) + '.' + std::to_string(st.st_ctim.tv_nsec);
}

// Whether a write-ahead log beside the file may hold pages not yet copied into it: then the
// file may be shorter than its header says (a copy cut short by a crash is finished by SQLite
// from the log), and only SQLite's checks of the pages it reads apply.
bool logHoldsPages(const std::string& walPath) {
    constexpr off_t kLogHeader = 32;  // a frame comes after the log's header
    struct stat st {};
    return ::lstat(walPath.c_str(), &st) == 0 && st.st_size > kLogHeader;
}

// The first 100 bytes of the file and its size, read before SQLite gets it: SQLite's magic, a
// page size SQLite can have, and, unless the write-ahead log holds pages, a whole number of
// pages and none fewer than the header counts (its count is valid when the change counter equals
// the version it is valid for). Costs one read of 100 bytes. Empty when the file looks whole; a
// new, empty file does.
std::string checkHeader(int fd, off_t size, const std::string& walPath) {
    if (size == 0) {
        return {};  // new: SQLite writes the header
    }
    unsigned char h[100];
    if (size < static_cast<off_t>(sizeof h) || ::pread(fd, h, sizeof h, 0) != sizeof h ||
        std::memcmp(h, "SQLite format 3", 16) != 0) {
        return kDamaged;
    }
    const std::uint32_t raw = bigEndian(h + 16, 2);
    const off_t page = raw == 1 ? 65536 : raw;
    if (page < 512 || (page & (page - 1)) != 0) {  // a power of two up to 65536
        return kDamaged;
    }
    if (logHoldsPages(walPath)) {
        return {};
    }
    const std::uint32_t pages = bigEndian(h + 28, 4);
    const bool counted = pages != 0 && bigEndian(h + 24, 4) == bigEndian(h + 92, 4);
    if (size % page != 0 || (counted && size / page < static_cast<off_t>(pages))) {
        return kDamaged;
    }
    return {};
}

class Statement {
  public:
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) != SQLITE_OK) {
            stmt_ = nullptr;
        }
    }
    ~Statement() { sqlite3_finalize(stmt_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool ok() const { return stmt_ != nullptr; }
    sqlite3_stmt* get() const { return stmt_; }
    void bind(int i, std::int64_t v) { sqlite3_bind_int64(stmt_, i, v); }
    void bind(int i, const std::string& v) {
        sqlite3_bind_text(stmt_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return sqlite3_step(stmt_); }
    void reset() {
        sqlite3_reset(stmt_);
        sqlite3_clear_bindings(stmt_);
    }
    std::int64_t integer(int col) const { return sqlite3_column_int64(stmt_, col); }
    std::string text(int col) const {
        const auto* p = sqlite3_column_text(stmt_, col);
        return p == nullptr ? std::string{} : std::string(reinterpret_cast<const char*>(p));
    }

  private:
    sqlite3_stmt* stmt_ = nullptr;
};

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::int64_t pragmaInt(sqlite3* db, const char* sql, bool& ok) {
    Statement s(db, sql);
    if (!s.ok() || s.step() != SQLITE_ROW) {
        ok = false;
        return 0;
    }
    return s.integer(0);
}

// Whether the file is a new, empty database (made ours by makeSchema) or already ours; an
// error text when it is neither. Reads only: another program's file is left as it is.
std::string checkSchema(sqlite3* db, bool& fresh, std::int64_t& older) {
    bool ok = true;
    const std::int64_t app = pragmaInt(db, "PRAGMA application_id", ok);
    const std::int64_t version = pragmaInt(db, "PRAGMA user_version", ok);
    const std::int64_t tables = pragmaInt(db, "SELECT count(*) FROM sqlite_schema", ok);
    if (!ok) {
        return isDamage(db) ? kDamaged : sqlite3_errmsg(db);
    }
    fresh = app == 0 && tables == 0;
    if (fresh) {
        return {};
    }
    if (app != kApplicationId) {
        return "it is not a usage store of this program";
    }
    older = version >= 1 && version < kSchemaVersion ? version : 0;
    if (version != kSchemaVersion && older == 0) {
        return "it was written by another version of this program";
    }
    return {};
}

// The tables of a new store, or what a store of an older version (1 or 2) lacks.
std::string makeSchema(sqlite3* db, std::int64_t older) {
    const std::string sql = std::string("BEGIN IMMEDIATE;") + (older >= 1 ? "" : kSchema) +
                            (older >= 2 ? "" : kOperatorReplies) +
                            (older >= 3 ? "" : kRoamingBytes) + kKeptSums +
                            "PRAGMA application_id=" + std::to_string(kApplicationId) +
                            ";PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";COMMIT;";
    if (!exec(db, sql.c_str())) {
        const std::string why = sqlite3_errmsg(db);
        exec(db, "ROLLBACK");
        return why;
    }
    return {};
}

}  // namespace

std::string UsageStore::pathFor(const std::string& logPath) {
    const auto slash = logPath.rfind('/');
    return (slash == std::string::npos ? std::string(".") : logPath.substr(0, slash)) + "/usage.db";
}

std::string usageStoreRefused(const std::string& path, const std::string& reason) {
    return "The usage store " + path + " is not used (" + reason +
           "); each connection's usage is spread evenly over its time";
}

ReadingStore::ReadingStore(const std::string& logPath)
    : store_(UsageStore::open(UsageStore::pathFor(logPath), false, refusal_)) {}

std::string ReadingStore::problem() const {
    return !refusal_.empty() || store_ == nullptr ? refusal_ : store_->problem();
}

std::vector<UsageRow> PendingUsageSource::merged(std::vector<UsageRow> rows, std::int64_t fromUtc,
                                                 std::int64_t toUtc) const {
    for (const UsageRow& p : pending_) {
        if (p.quarter < fromUtc || p.quarter >= toUtc) {
            continue;
        }
        const auto at =
            std::lower_bound(rows.begin(), rows.end(), p.quarter,
                             [](const UsageRow& r, std::int64_t q) { return r.quarter < q; });
        if (at != rows.end() && at->quarter == p.quarter) {
            *at = p;
        } else {
            rows.insert(at, p);
        }
    }
    return rows;
}

UsageRows PendingUsageSource::rowsBetween(std::int64_t fromUtc, std::int64_t toUtc) const {
    UsageRows out = stored_ != nullptr ? stored_->rowsBetween(fromUtc, toUtc) : UsageRows{};
    if (fromUtc >= toUtc) {
        return out;
    }
    std::vector<UsageRow> rows = merged(out[key_], fromUtc, toUtc);
    if (rows.empty()) {
        out.erase(key_);
    } else {
        out[key_] = std::move(rows);
    }
    return out;
}

std::vector<UsageRow> PendingUsageSource::rowsOf(const ConnectionKey& key) const {
    std::vector<UsageRow> rows =
        stored_ != nullptr ? stored_->rowsOf(key) : std::vector<UsageRow>{};
    if (key != key_) {
        return rows;
    }
    return merged(std::move(rows), std::numeric_limits<std::int64_t>::min(),
                  std::numeric_limits<std::int64_t>::max());
}

std::unique_ptr<UsageStore> UsageStore::open(const std::string& path, bool create,
                                             std::string& error) {
    error.clear();
    auto refuse = [&](const std::string& reason) {
        error = usageStoreRefused(path, reason);
        return nullptr;
    };
    for (const char* suffix : {"-wal", "-shm"}) {
        const std::string why = checkCompanion(path + suffix);
        if (!why.empty()) {
            return refuse(why);
        }
    }
    // The file itself is opened without following a link and looked at before SQLite gets it.
    const int flags =
        O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (create ? O_CREAT : 0);
    const int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) {
        if (errno == ENOENT && !create) {
            return nullptr;  // no store: not a problem
        }
        return refuse(errno == ELOOP ? "it is a symbolic link" : std::strerror(errno));
    }
    struct stat st {};
    const bool statted = ::fstat(fd, &st) == 0;
    const int statError = errno;
    std::string why = statted ? refusal(st) : std::strerror(statError);
    // Only a file that may be used is read; its header says whether it is whole.
    if (why.empty()) {
        why = checkHeader(fd, st.st_size, path + "-wal");
    }
    ::close(fd);
    if (!why.empty()) {
        return refuse(why);
    }
    sqlite3* db = nullptr;
    const int rc =
        sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
    std::unique_ptr<UsageStore> store(new UsageStore(db, path));
    if (rc != SQLITE_OK) {
        return refuse(db != nullptr ? sqlite3_errmsg(db) : "out of memory");
    }
    // Still the file that was looked at: nothing was swapped in between.
    struct stat now {};
    if (::lstat(path.c_str(), &now) != 0 || now.st_dev != st.st_dev || now.st_ino != st.st_ino) {
        return refuse("it was replaced while being opened");
    }
    sqlite3_busy_timeout(db, kBusyMilliseconds);
    sqlite3_extended_result_codes(db, 1);
    exec(db, "PRAGMA trusted_schema=OFF");
    // Each b-tree page is checked as it is read: a damaged one fails the read that meets it.
    exec(db, "PRAGMA cell_size_check=ON");
    bool fresh = false;
    std::int64_t older = 0;
    if (std::string why = checkSchema(db, fresh, older); !why.empty()) {
        return refuse(why);
    }
    {
        Statement wal(db, "PRAGMA journal_mode=WAL");
        if (!wal.ok() || wal.step() != SQLITE_ROW) {
            return refuse(sqlite3_errmsg(db));
        }
        if (wal.text(0) != "wal") {
            return refuse("it cannot be put in WAL mode");
        }
    }
    // A power cut may lose the last write, never the file.
    exec(db, "PRAGMA synchronous=NORMAL");
    // A store of an older version gets the tables and columns it lacks.
    if (fresh || older != 0) {
        if (std::string why = makeSchema(db, older); !why.empty()) {
            return refuse(why);
        }
    }
    return store;
}

UsageStore::~UsageStore() {
    sqlite3_close_v2(db_);
}

void UsageStore::fail(const char* what) const {
    if (damaged_ || isDamage(db_)) {
        if (!damaged_) {
            damaged_ = true;
            damagedFile_ = fileIdentity(path_);
        }
        problem_ = usageStoreRefused(path_, kDamaged);
        return;
    }
    problem_ = usageStoreRefused(path_, std::string(what) + ": " + sqlite3_errmsg(db_));
}

bool UsageStore::refusedAsDamaged() const {
    if (damaged_) {
        fail(kDamaged);
    }
    return damaged_;
}

bool UsageStore::replaced() const {
    return fileIdentity(path_) != damagedFile_;
}

bool UsageStore::addOperatorReply(const OperatorReply& reply) {
    if (refusedAsDamaged()) {
        return false;
    }
    problem_.clear();
    if (!exec(db_, "BEGIN IMMEDIATE")) {
        fail("cannot store the operator's reply");
        return false;
    }
    Statement add(db_, "INSERT INTO operator_replies(time, code, reply) VALUES(?1, ?2, ?3)");
    Statement trim(db_,
                   "DELETE FROM operator_replies WHERE id <= "
                   "(SELECT id FROM operator_replies ORDER BY id DESC LIMIT 1 OFFSET ?1)");
    bool ok = add.ok() && trim.ok();
    if (ok) {
        add.bind(1, reply.time);
        add.bind(2, reply.code);
        add.bind(3, reply.reply);
        trim.bind(1, std::int64_t{kKeptReplies});
        ok = add.step() == SQLITE_DONE && trim.step() == SQLITE_DONE;
    }
    if (!ok || !exec(db_, "COMMIT")) {
        fail("cannot store the operator's reply");
        exec(db_, "ROLLBACK");
        return false;
    }
    return true;
}

std::optional<OperatorReply> UsageStore::lastOperatorReply() const {
    if (refusedAsDamaged()) {
        return std::nullopt;
    }
    problem_.clear();
    Statement s(db_, "SELECT time, code, reply FROM operator_replies ORDER BY id DESC LIMIT 1");
    if (!s.ok()) {
        fail("cannot read the operator's replies");
        return std::nullopt;
    }
    const int rc = s.step();
    if (rc == SQLITE_DONE) {
        return std::nullopt;
    }
    if (rc != SQLITE_ROW) {
        fail("cannot read the operator's replies");
        return std::nullopt;
    }
    return OperatorReply{s.integer(0), s.text(1), s.text(2)};
}

UsageRows UsageStore::rowsBetween(std::int64_t fromUtc, std::int64_t toUtc) const {
    // The connections of the span are found by their last quarter (the index), not by a scan of
    // them all; only the rows found are sorted.
    UsageRows out;
    if (refusedAsDamaged() || fromUtc >= toUtc) {
        return out;
    }
    Statement s(db_,
                "SELECT c.start_date, c.start_time, c.device, c.connection,"
                " u.quarter, u.seconds, u.uploaded, u.downloaded, u.roaming"
                " FROM connections c INDEXED BY connections_span JOIN usage u"
                "  ON u.connection = c.id AND u.quarter >= ?1 AND u.quarter < ?2"
                " WHERE c.last_quarter >= ?1 AND c.first_quarter < ?2"
                " ORDER BY c.id, u.quarter");
    if (!s.ok()) {
        fail("it cannot be read");
        return out;
    }
    s.bind(1, fromUtc);
    s.bind(2, toUtc);
    int rc;
    std::vector<UsageRow>* list = nullptr;
    ConnectionKey last;
    while ((rc = s.step()) == SQLITE_ROW) {
        ConnectionKey key{s.text(0), s.text(1), s.text(2), s.text(3)};
        if (list == nullptr || key != last) {
            list = &out[key];
            last = std::move(key);
        }
        list->push_back(
            UsageRow{s.integer(4), s.integer(5), s.integer(6), s.integer(7), s.integer(8)});
    }
    if (rc != SQLITE_DONE) {
        fail("it cannot be read");
        return {};
    }
    problem_.clear();
    return out;
}

void UsageStore::forEachConnection(
    const std::function<void(const ConnectionKey&, std::vector<UsageRow>&&)>& fn) const {
    Statement s(db_,
                "SELECT c.start_date, c.start_time, c.device, c.connection,"
                " u.quarter, u.seconds, u.uploaded, u.downloaded, u.roaming"
                " FROM connections c JOIN usage u ON u.connection = c.id"
                " ORDER BY c.id, u.quarter");
    if (!s.ok()) {
        fail("it cannot be read");
        return;
    }
    int rc;
    std::vector<UsageRow> list;
    ConnectionKey last;
    bool any = false;
    while ((rc = s.step()) == SQLITE_ROW) {
        ConnectionKey key{s.text(0), s.text(1), s.text(2), s.text(3)};
        if (any && key != last) {
            fn(last, std::move(list));
            list.clear();
        }
        if (!any || key != last) {
            last = std::move(key);
            any = true;
        }
        list.push_back(
            UsageRow{s.integer(4), s.integer(5), s.integer(6), s.integer(7), s.integer(8)});
    }
    if (rc != SQLITE_DONE) {
        fail("it cannot be read");
        return;
    }
    if (any) {
        fn(last, std::move(list));
    }
    problem_.clear();
}

std::vector<UsageRow> UsageStore::rowsOf(const ConnectionKey& key) const {
    std::vector<UsageRow> out;
    if (refusedAsDamaged()) {
        return out;
    }
    Statement s(db_,
                "SELECT u.quarter, u.seconds, u.uploaded, u.downloaded, u.roaming"
                " FROM connections c JOIN usage u ON u.connection = c.id"
                " WHERE c.start_date = ?1 AND c.start_time = ?2 AND c.device = ?3"
                "  AND c.connection = ?4 ORDER BY u.quarter");
    if (!s.ok()) {
        fail("it cannot be read");
        return out;
    }
    s.bind(1, key.startDate);
    s.bind(2, key.startTime);
    s.bind(3, key.device);
    s.bind(4, key.connection);
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
        out.push_back(
            UsageRow{s.integer(0), s.integer(1), s.integer(2), s.integer(3), s.integer(4)});
    }
    if (rc != SQLITE_DONE) {
        fail("it cannot be read");
        return {};
    }
    problem_.clear();
    return out;
}

bool UsageStore::write(const ConnectionKey& key, const std::vector<UsageRow>& rows) {
    if (refusedAsDamaged()) {
        return false;
    }
    if (rows.empty()) {
        return true;
    }
    const auto [lo, hi] = std::minmax_element(
        rows.begin(), rows.end(),
        [](const UsageRow& a, const UsageRow& b) { return a.quarter < b.quarter; });
    if (!exec(db_, "BEGIN IMMEDIATE")) {
        fail("it cannot be written");
        return false;
    }
    auto abort = [&] {
        fail("it cannot be written");
        exec(db_, "ROLLBACK");
        return false;
    };
    Statement add(db_,
                  "INSERT INTO connections(start_date, start_time, device, connection,"
                  " first_quarter, last_quarter) VALUES(?1, ?2, ?3, ?4, ?5, ?6)"
                  " ON CONFLICT(start_date, start_time, device, connection) DO UPDATE SET"
                  " first_quarter = min(first_quarter, excluded.first_quarter),"
                  " last_quarter = max(last_quarter, excluded.last_quarter)"
                  " RETURNING id");
    if (!add.ok()) {
        return abort();
    }
    add.bind(1, key.startDate);
    add.bind(2, key.startTime);
    add.bind(3, key.device);
    add.bind(4, key.connection);
    add.bind(5, lo->quarter);
    add.bind(6, hi->quarter);
    if (add.step() != SQLITE_ROW) {
        return abort();
    }
    const std::int64_t id = add.integer(0);
    add.reset();
    Statement put(db_,
                  "INSERT OR REPLACE INTO usage(connection, quarter, seconds, uploaded,"
                  " downloaded, roaming) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
    if (!put.ok()) {
        return abort();
    }
    for (const UsageRow& r : rows) {
        put.bind(1, id);
        put.bind(2, r.quarter);
        put.bind(3, r.seconds);
        put.bind(4, r.uploaded);
        put.bind(5, r.downloaded);
        put.bind(6, r.roaming);
        if (put.step() != SQLITE_DONE) {
            return abort();
        }
        put.reset();
    }
    if (!exec(db_, "COMMIT")) {
        return abort();
    }
    problem_.clear();
    return true;
}

void UsageStoreSink::forget() {
    if (!store_->damaged()) {
        store_.reset();
    }
}

UsageStore* UsageStoreSink::storeFor(const std::string& logPath) {
    const std::string path = UsageStore::pathFor(logPath);
    if (store_ && store_->path() == path) {
        if (!store_->damaged()) {
            return store_.get();
        }
        // A damaged file is not used again, nor written to, until another takes its place.
        if (!store_->replaced()) {
            problem_ = store_->problem();
            return nullptr;
        }
    }
    store_ = UsageStore::open(path, true, problem_);
    return store_.get();
}

bool UsageStoreSink::write(const std::string& logPath, const ConnectionKey& key,
                           const std::vector<UsageRow>& rows) {
    UsageStore* store = storeFor(logPath);
    if (store == nullptr) {
        return false;
    }
    if (!store->write(key, rows)) {
        problem_ = store->problem();
        forget();  // opened and checked again at the next write
        return false;
    }
    problem_.clear();
    return true;
}

std::vector<UsageRow> UsageStoreSink::rowsOf(const std::string& logPath, const ConnectionKey& key) {
    UsageStore* store = storeFor(logPath);
    if (store == nullptr) {
        return {};
    }
    auto rows = store->rowsOf(key);
    if (!store->problem().empty()) {
        problem_ = store->problem();
        forget();
    }
    return rows;
}

bool UsageStoreSink::addOperatorReply(const std::string& logPath, const OperatorReply& reply) {
    UsageStore* store = storeFor(logPath);
    if (store == nullptr) {
        return false;
    }
    if (!store->addOperatorReply(reply)) {
        problem_ = store->problem();
        forget();
        return false;
    }
    return true;
}

std::optional<OperatorReply> UsageStoreSink::lastOperatorReply(const std::string& logPath) {
    UsageStore* store = storeFor(logPath);
    if (store == nullptr) {
        return std::nullopt;
    }
    auto reply = store->lastOperatorReply();
    if (!store->problem().empty()) {
        problem_ = store->problem();
        forget();
    }
    return reply;
}

}  // namespace tavu
