#include "ledger/usage_ledger.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "core/file_io.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "log/connection_journal.h"
#include "log/log_date.h"
#include "log/log_stretch.h"
#include "tariff/allowance.h"
#include "tariff/billing_period.h"
#include "usage/usage_store.h"

namespace tavu {

namespace {

constexpr std::int64_t kMonthKeyPlan = 1000000;
constexpr std::uint64_t kSampleEvery = std::uint64_t{1} << 20;
constexpr std::uint64_t kSampleBytes = 64;
constexpr std::uint64_t kEdgeBytes = 4096;

std::uint64_t fnv(const char* data, std::size_t n, std::uint64_t h = 1469598103934665603ULL) {
    for (std::size_t i = 0; i < n; ++i) {
        h ^= static_cast<unsigned char>(data[i]);
        h *= 1099511628211ULL;
    }
    return h;
}

std::uint64_t hashBytes(int fd, std::uint64_t from, std::uint64_t n) {
    std::string buf(n, '\0');
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, buf.data() + got, n - got, static_cast<off_t>(from + got));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0) {
            break;
        }
        got += static_cast<std::size_t>(r);
    }
    return fnv(buf.data(), got) ^ got;
}

std::int64_t monthOfDay(std::int64_t day) {
    const LogDate d = LogDate::fromDaysSinceEpoch(day);
    return d.year * 12 + (d.month - 1);
}

std::int64_t firstDayOfMonth(std::int64_t month) {
    return LogDate{1, month % 12 + 1, month / 12}.daysSinceEpoch();
}

std::int64_t dayOf(const LogDate& d) {
    return d.daysSinceEpoch();
}

std::int64_t dayOf(const LocalDateTime& t) {
    return LogDate{t.day, t.month, t.year}.daysSinceEpoch();
}

// Blobs: little-endian doubles as the machine keeps them, ended by a check sum.
// The fields in their order: time, uploaded, downloaded, roaming, time price, data price,
// first, carried.
static_assert(sizeof(Amounts) == 8 * Amounts::kFields);
void putAmounts(std::string& out, const Amounts& a) {
    out.append(reinterpret_cast<const char*>(&a), sizeof a);
}
// The check sum of a blob: four lanes of FNV-1a over its 8-byte words, so that a month's
// megabyte of hours is summed at the pace of the memory rather than a byte at a time, then its
// last bytes and its length. Any one word changed changes its lane.
std::uint64_t sealOf(const char* data, std::size_t n) {
    constexpr std::uint64_t kPrime = 1099511628211ULL;
    std::uint64_t h[4] = {1469598103934665603ULL, 1469598103934665603ULL ^ 1,
                          1469598103934665603ULL ^ 2, 1469598103934665603ULL ^ 3};
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        for (int k = 0; k < 4; ++k) {
            std::uint64_t w;
            std::memcpy(&w, data + i + 8 * static_cast<std::size_t>(k), 8);
            h[k] = (h[k] ^ w) * kPrime;
        }
    }
    const auto rot = [](std::uint64_t v, int r) { return (v << r) | (v >> (64 - r)); };
    return fnv(data + i, n - i, h[0] ^ rot(h[1], 16) ^ rot(h[2], 32) ^ rot(h[3], 48)) ^ n;
}

void sealBlob(std::string& out) {
    const std::uint64_t h = sealOf(out.data(), out.size());
    out.append(reinterpret_cast<const char*>(&h), 8);
}
bool openBlob(const void* data, int n, std::string_view& body) {
    if (data == nullptr || n < 8) {
        return false;
    }
    const auto* p = static_cast<const char*>(data);
    std::uint64_t h;
    std::memcpy(&h, p + n - 8, 8);
    if (sealOf(p, static_cast<std::size_t>(n - 8)) != h) {
        return false;
    }
    body = std::string_view(p, static_cast<std::size_t>(n - 8));
    return true;
}
bool takeAmounts(std::string_view& in, Amounts& a) {
    if (in.size() < 8 * Amounts::kFields) {
        return false;
    }
    double v[Amounts::kFields];
    std::memcpy(v, in.data(), sizeof v);
    in.remove_prefix(sizeof v);
    a = Amounts{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]};
    return true;
}

// The days of one month of a plan's book, and their hours, as stored.
void encodeMonth(const PlanBook& book, std::int64_t month, std::string& days, std::string& hours) {
    days.clear();
    hours.clear();
    days.reserve(31 * (1 + sizeof(Amounts)) + 8);
    hours.reserve(31 * (5 + kHoursInDay * sizeof(Amounts)) + 8);
    const std::int64_t first = firstDayOfMonth(month);
    const std::int64_t end = firstDayOfMonth(month + 1);
    for (auto it = book.days.lower_bound(first); it != book.days.end() && it->first < end; ++it) {
        const auto index = static_cast<char>(it->first - first);
        days.push_back(index);
        putAmounts(days, it->second.day);
        std::uint32_t mask = 0;
        for (int h = 0; h < kHoursInDay; ++h) {
            if (!it->second.hours[static_cast<std::size_t>(h)].empty()) {
                mask |= 1u << h;
            }
        }
        hours.push_back(index);
        hours.append(reinterpret_cast<const char*>(&mask), 4);
        for (int h = 0; h < kHoursInDay; ++h) {
            if (mask & (1u << h)) {
                putAmounts(hours, it->second.hours[static_cast<std::size_t>(h)]);
            }
        }
    }
    sealBlob(days);
    sealBlob(hours);
}

bool decodeDays(std::string_view in, std::int64_t month, PlanBook& book) {
    const std::int64_t first = firstDayOfMonth(month);
    while (!in.empty()) {
        const auto index = static_cast<unsigned char>(in[0]);
        in.remove_prefix(1);
        Amounts a;
        if (index > 30 || !takeAmounts(in, a)) {
            return false;
        }
        book.days[first + index].day = a;
    }
    return true;
}

bool decodeHours(std::string_view in, std::int64_t month, PlanBook& book) {
    const std::int64_t first = firstDayOfMonth(month);
    while (!in.empty()) {
        if (in.size() < 5) {
            return false;
        }
        const auto index = static_cast<unsigned char>(in[0]);
        std::uint32_t mask;
        std::memcpy(&mask, in.data() + 1, 4);
        in.remove_prefix(5);
        if (index > 30) {
            return false;
        }
        DayBook& b = book.days[first + index];
        for (int h = 0; h < kHoursInDay; ++h) {
            if ((mask & (1u << h)) && !takeAmounts(in, b.hours[static_cast<std::size_t>(h)])) {
                return false;
            }
        }
    }
    return true;
}

// A statement of the ledger's own.
class Sql {
  public:
    Sql(sqlite3* db, const char* text) {
        ok_ = sqlite3_prepare_v2(db, text, -1, &s_, nullptr) == SQLITE_OK;
    }
    ~Sql() { sqlite3_finalize(s_); }
    Sql(const Sql&) = delete;
    Sql& operator=(const Sql&) = delete;
    bool ok() const { return ok_; }
    void bind(int i, std::int64_t v) { sqlite3_bind_int64(s_, i, v); }
    void bindBlob(int i, const std::string& v) {
        sqlite3_bind_blob(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    }
    int step() { return sqlite3_step(s_); }
    void reset() {
        sqlite3_reset(s_);
        sqlite3_clear_bindings(s_);
    }
    std::int64_t integer(int i) { return sqlite3_column_int64(s_, i); }
    const void* blob(int i) { return sqlite3_column_blob(s_, i); }
    int bytes(int i) { return sqlite3_column_bytes(s_, i); }
    bool null(int i) { return sqlite3_column_type(s_, i) == SQLITE_NULL; }

  private:
    sqlite3_stmt* s_ = nullptr;
    bool ok_ = false;
};

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string exact(double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%a", v);
    return buf;
}

bool parseExact(std::string_view t, double& v) {
    const std::string s(t);
    char* end = nullptr;
    v = std::strtod(s.c_str(), &end);
    return end != s.c_str() && *end == '\0';
}

bool parseInt(std::string_view t, std::int64_t& v) {
    const std::string s(t);
    char* end = nullptr;
    errno = 0;
    v = std::strtoll(s.c_str(), &end, 10);
    return end != s.c_str() && *end == '\0' && errno == 0;
}

std::vector<std::string_view> splitOn(std::string_view text, char sep) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    for (;;) {
        const std::size_t next = text.find(sep, pos);
        out.push_back(text.substr(pos, next == std::string_view::npos ? text.npos : next - pos));
        if (next == std::string_view::npos) {
            return out;
        }
        pos = next + 1;
    }
}

// The end of the log's last whole line: the bytes after it are a line still being written.
std::uint64_t completeEnd(int fd, std::uint64_t size) {
    std::uint64_t end = size;
    char buf[4096];
    while (end > 0) {
        const std::uint64_t from = end > sizeof buf ? end - sizeof buf : 0;
        const ssize_t n = ::pread(fd, buf, end - from, static_cast<off_t>(from));
        if (n <= 0) {
            return 0;
        }
        for (std::uint64_t i = static_cast<std::uint64_t>(n); i > 0; --i) {
            if (buf[i - 1] == '\n') {
                return from + i;
            }
        }
        end = from;
    }
    return 0;
}

LogTotals fromWhole(const WholeSums& w) {
    LogTotals t;
    t.count = w.count;
    t.totalTime = w.time;
    t.uploaded = w.uploaded;
    t.downloaded = w.downloaded;
    t.totalCost = w.cost + w.costError;
    t.transmitted = t.uploaded + t.downloaded;
    t.averageCost = t.count != 0 ? t.totalCost / static_cast<double>(t.count) : 0;
    return t;
}

}  // namespace

struct UsageLedger::Cursor {
    std::uint64_t fingerprint = 0;
    std::uint64_t dev = 0;
    std::uint64_t ino = 0;
    std::uint64_t size = 0;    // of the file when it was counted
    std::uint64_t offset = 0;  // the end of the whole lines counted
    std::int64_t mtime = 0;    // nanoseconds
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    std::vector<std::uint64_t> samples;
    std::vector<WholeSums> whole;
    NameBook names;
    std::vector<ConnectionKey> lastKeys;

    void sample(int fd) {
        head = hashBytes(fd, 0, std::min(offset, kEdgeBytes));
        tail = hashBytes(fd, offset - std::min(offset, kEdgeBytes), std::min(offset, kEdgeBytes));
        samples.clear();
        for (std::uint64_t at = kSampleEvery; at + kSampleBytes <= offset; at += kSampleEvery) {
            samples.push_back(hashBytes(fd, at, kSampleBytes));
        }
    }
    bool sameBytes(int fd) const {
        Cursor now = *this;
        now.sample(fd);
        return now.head == head && now.tail == tail && now.samples == samples;
    }

    std::string text() const {
        const auto i64 = [](std::uint64_t v) {
            return std::to_string(static_cast<std::int64_t>(v));
        };
        std::string t = "tavu kept sums 2\n";
        t += "fingerprint " + i64(fingerprint) + "\n";
        t += "file " + i64(dev) + " " + i64(ino) + " " + std::to_string(size) + " " +
             std::to_string(offset) + " " + std::to_string(mtime) + "\n";
        t += "edges " + i64(head) + " " + i64(tail) + "\n";
        t += "samples";
        for (std::uint64_t s : samples) {
            t += " " + i64(s);
        }
        t += "\n";
        for (const WholeSums& w : whole) {
            t += "whole " + std::to_string(w.count) + " " + std::to_string(w.time) + " " +
                 exact(w.uploaded) + " " + exact(w.downloaded) + " " + exact(w.cost) + " " +
                 exact(w.costError) + "\n";
        }
        // A name's fields hold no '|': the log blanks it.
        for (const auto& [name, n] : names) {
            const WholeSums& w = n.whole;
            t += "name|" + std::to_string(w.count) + "|" + std::to_string(w.time) + "|" +
                 exact(w.uploaded) + "|" + exact(w.downloaded) + "|" + exact(w.cost) + "|" +
                 exact(w.costError) + "|" + n.device + "|" + name + "\n";
        }
        for (const ConnectionKey& k : lastKeys) {
            t += "key|" + k.startDate + "|" + k.startTime + "|" + k.device + "|" + k.connection +
                 "\n";
        }
        return t;
    }

    bool parse(std::string_view body) {
        std::vector<std::string_view> lines = splitOn(body, '\n');
        if (lines.empty() || lines[0] != "tavu kept sums 2") {
            return false;
        }
        bool file = false;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const std::string_view line = lines[i];
            if (line.empty()) {
                continue;
            }
            if (line.substr(0, 4) == "key|") {
                const auto f = splitOn(line, '|');
                if (f.size() != 5) {
                    return false;
                }
                lastKeys.push_back(ConnectionKey{std::string(f[1]), std::string(f[2]),
                                                 std::string(f[3]), std::string(f[4])});
                continue;
            }
            if (line.substr(0, 5) == "name|") {
                const auto f = splitOn(line, '|');
                NameSums n;
                std::int64_t c;
                std::int64_t t;
                if (f.size() != 9 || !parseInt(f[1], c) || !parseInt(f[2], t) ||
                    !parseExact(f[3], n.whole.uploaded) || !parseExact(f[4], n.whole.downloaded) ||
                    !parseExact(f[5], n.whole.cost) || !parseExact(f[6], n.whole.costError)) {
                    return false;
                }
                n.whole.count = c;
                n.whole.time = t;
                n.device = std::string(f[7]);
                names.emplace(std::string(f[8]), std::move(n));
                continue;
            }
            const auto f = splitOn(line, ' ');
            std::int64_t v[6];
            const auto ints = [&](std::size_t n) {
                if (f.size() != n + 1) {
                    return false;
                }
                for (std::size_t k = 0; k < n; ++k) {
                    if (!parseInt(f[k + 1], v[k])) {
                        return false;
                    }
                }
                return true;
            };
            if (f[0] == "fingerprint" && ints(1)) {
                fingerprint = static_cast<std::uint64_t>(v[0]);
            } else if (f[0] == "file" && ints(5)) {
                dev = static_cast<std::uint64_t>(v[0]);
                ino = static_cast<std::uint64_t>(v[1]);
                size = static_cast<std::uint64_t>(v[2]);
                offset = static_cast<std::uint64_t>(v[3]);
                mtime = v[4];
                file = offset <= size;
            } else if (f[0] == "edges" && ints(2)) {
                head = static_cast<std::uint64_t>(v[0]);
                tail = static_cast<std::uint64_t>(v[1]);
            } else if (f[0] == "samples") {
                for (std::size_t k = 1; k < f.size(); ++k) {
                    std::int64_t s;
                    if (!parseInt(f[k], s)) {
                        return false;
                    }
                    samples.push_back(static_cast<std::uint64_t>(s));
                }
            } else if (f[0] == "whole" && f.size() == 7) {
                WholeSums w;
                std::int64_t c;
                std::int64_t t;
                if (!parseInt(f[1], c) || !parseInt(f[2], t) || !parseExact(f[3], w.uploaded) ||
                    !parseExact(f[4], w.downloaded) || !parseExact(f[5], w.cost) ||
                    !parseExact(f[6], w.costError)) {
                    return false;
                }
                w.count = c;
                w.time = t;
                whole.push_back(w);
            } else {
                return false;
            }
        }
        return file;
    }
};

UsageLedger::UsageLedger(const SettingsStore& settings, std::string logPath, LedgerOptions options)
    : settings_(settings), logPath_(std::move(logPath)), options_(std::move(options)) {
    // A store is made only beside a log that holds something to keep.
    struct stat logStat {};
    const bool anyLog = ::stat(logPath_.c_str(), &logStat) == 0 && logStat.st_size > 0;
    store_ = UsageStore::open(UsageStore::pathFor(logPath_), options_.create && anyLog, refusal_);
    struct stat st {};
    if (store_ == nullptr && ::lstat(UsageStore::pathFor(logPath_).c_str(), &st) != 0) {
        // No store beside the log, and none could be made (a folder of another user's, say):
        // not a fault, the sums are counted in memory.
        refusal_.clear();
    }
    refresh();
}

UsageLedger::~UsageLedger() = default;

const UsageSource* UsageLedger::rows() const {
    return store_.get();
}

std::string UsageLedger::problem() const {
    if (!refusal_.empty()) {
        return refusal_;
    }
    if (store_ != nullptr && !store_->problem().empty()) {
        return store_->problem();
    }
    return problem_;
}

bool UsageLedger::readState() {
    cursor_.reset();
    Sql s(store_->database(), "SELECT state FROM kept_state WHERE id = 1");
    if (!s.ok()) {
        return false;
    }
    const int rc = s.step();
    if (rc == SQLITE_DONE) {
        return true;
    }
    if (rc != SQLITE_ROW) {
        return false;
    }
    std::string_view body;
    auto c = std::make_unique<Cursor>();
    if (openBlob(s.blob(0), s.bytes(0), body) && c->parse(body)) {
        cursor_ = std::move(c);
    }
    return true;
}

void UsageLedger::countAll(int fd, std::uint64_t size, std::uint64_t complete) {
    LedgerCount count;
    std::unique_ptr<RowsAtOnce> rows;
    if (store_ != nullptr) {
        rows = std::make_unique<RowsAtOnce>(store_.get());
        if (!store_->problem().empty()) {
            rows.reset();  // a read that failed part way gives no rows at all
        }
    }
    if (fd >= 0) {
        countLogBytes(fd, size, 0, complete, *rules_,
                      rows != nullptr && !rows->empty() ? rows.get() : nullptr, count,
                      options_.progress, options_.threads);
    }
    count.plans.resize(rules_->planCount());
    books_ = std::move(count.plans);
    names_ = std::move(count.names);
    allLoaded_ = true;
    monthsLoaded_.assign(books_.size(), {});
    hoursLoaded_.assign(books_.size(), {});
    if (cursor_ == nullptr) {
        cursor_ = std::make_unique<Cursor>();
    }
    cursor_->lastKeys = std::move(count.lastKeys);
    countedWhole_ = true;
}

bool UsageLedger::writeAll() {
    sqlite3* db = store_->database();
    if (!exec(db, "DELETE FROM kept_days")) {
        return false;
    }
    std::vector<std::pair<std::size_t, std::int64_t>> months;
    for (std::size_t p = 0; p < books_.size(); ++p) {
        std::int64_t last = -1;
        for (const auto& [day, book] : books_[p].days) {
            const std::int64_t m = monthOfDay(day);
            if (m != last) {
                months.emplace_back(p, m);
                last = m;
            }
        }
    }
    return writeMonths(months);
}

bool UsageLedger::writeMonths(const std::vector<std::pair<std::size_t, std::int64_t>>& months) {
    sqlite3* db = store_->database();
    Sql put(db, "INSERT OR REPLACE INTO kept_days(key, days, hours) VALUES(?1, ?2, ?3)");
    if (!put.ok()) {
        return false;
    }
    std::string days;
    std::string hours;
    for (const auto& [plan, month] : months) {
        encodeMonth(books_[plan], month, days, hours);
        put.bind(1, static_cast<std::int64_t>(plan) * kMonthKeyPlan + month);
        put.bindBlob(2, days);
        put.bindBlob(3, hours);
        if (put.step() != SQLITE_DONE) {
            return false;
        }
        put.reset();
    }
    cursor_->whole.clear();
    for (const PlanBook& b : books_) {
        cursor_->whole.push_back(b.whole);
    }
    cursor_->names = names_;
    std::string state = cursor_->text();
    sealBlob(state);
    Sql s(db, "INSERT OR REPLACE INTO kept_state(id, state) VALUES(1, ?1)");
    if (!s.ok()) {
        return false;
    }
    s.bindBlob(1, state);
    return s.step() == SQLITE_DONE;
}

bool UsageLedger::ensureMonths(std::size_t plan, std::int64_t firstDay, std::int64_t lastDay,
                               bool hours) {
    if (allLoaded_ || !kept_ || plan >= books_.size()) {
        return true;
    }
    const std::int64_t a = monthOfDay(firstDay);
    const std::int64_t b = monthOfDay(lastDay);
    std::set<std::int64_t>& loaded = monthsLoaded_[plan];
    std::set<std::int64_t>& loadedHours = hoursLoaded_[plan];
    bool need = false;
    for (std::int64_t m = a; m <= b && !need; ++m) {
        need = !loaded.contains(m) || (hours && !loadedHours.contains(m));
    }
    if (!need) {
        return true;
    }
    Sql s(store_->database(),
          hours ? "SELECT key, days, hours FROM kept_days WHERE key BETWEEN ?1 AND ?2"
                : "SELECT key, days FROM kept_days WHERE key BETWEEN ?1 AND ?2");
    if (!s.ok()) {
        store_->setProblem(usageStoreRefused(store_->path(), "its kept sums cannot be read"));
        return false;
    }
    const auto base = static_cast<std::int64_t>(plan) * kMonthKeyPlan;
    s.bind(1, base + a);
    s.bind(2, base + b);
    int rc;
    while ((rc = s.step()) == SQLITE_ROW) {
        const std::int64_t m = s.integer(0) - base;
        std::string_view body;
        if (!loaded.contains(m)) {
            if (!openBlob(s.blob(1), s.bytes(1), body) || !decodeDays(body, m, books_[plan])) {
                return damaged();
            }
        }
        if (hours && !loadedHours.contains(m)) {
            if (!openBlob(s.blob(2), s.bytes(2), body) || !decodeHours(body, m, books_[plan])) {
                return damaged();
            }
        }
    }
    if (rc != SQLITE_DONE) {
        store_->setProblem(usageStoreRefused(
            store_->path(),
            std::string("it cannot be read: ") + sqlite3_errmsg(store_->database())));
        return damaged();
    }
    for (std::int64_t m = a; m <= b; ++m) {
        loaded.insert(m);
        if (hours) {
            loadedHours.insert(m);
        }
    }
    return true;
}

bool UsageLedger::damaged() {
    if (problem_.empty() && (store_ == nullptr || store_->problem().empty())) {
        problem_ = usageStoreRefused(store_->path(), "its kept sums are damaged");
    }
    // The sums are counted again from the log, now in memory and at the next look in the
    // store; nothing is shown from the damaged ones.
    exec(store_->database(), "DELETE FROM kept_state");
    kept_ = false;
    cursor_.reset();
    UniqueFd file(openRegularFile(logPath_, O_RDONLY, 0, true));
    struct stat st {};
    const bool readable = file.ok() && ::fstat(file.get(), &st) == 0;
    const std::uint64_t size = readable ? static_cast<std::uint64_t>(st.st_size) : 0;
    countAll(readable ? file.get() : -1, size, size > 0 ? completeEnd(file.get(), size) : 0);
    cursor_->size = ~std::uint64_t{0};  // never taken for the file as it is
    return true;
}

void UsageLedger::refresh() {
    rules_ = std::make_unique<LedgerRules>(settings_);
    const std::uint64_t fingerprint =
        fnv(rules_->fingerprint().data(), rules_->fingerprint().size());
    countedWhole_ = false;
    partialLine_.clear();
    UniqueFd file(openRegularFile(logPath_, O_RDONLY, 0, true));
    struct stat st {};
    const bool readable = file.ok() && ::fstat(file.get(), &st) == 0;
    const std::uint64_t size = readable ? static_cast<std::uint64_t>(st.st_size) : 0;
    const std::uint64_t complete = size > 0 ? completeEnd(file.get(), size) : 0;
    const std::int64_t mtime =
        readable ? static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec
                 : 0;
    const auto fresh = [&] {
        auto c = std::make_unique<Cursor>();
        c->fingerprint = fingerprint;
        c->dev = readable ? static_cast<std::uint64_t>(st.st_dev) : 0;
        c->ino = readable ? static_cast<std::uint64_t>(st.st_ino) : 0;
        c->size = size;
        c->offset = complete;
        c->mtime = mtime;
        if (readable) {
            c->sample(file.get());
        }
        return c;
    };
    if (complete < size) {
        std::vector<char> buf;
        forEachLineInStretch(file.get(), size, complete, size, buf,
                             [&](std::string_view line) { partialLine_.assign(line); });
    }
    const auto inMemory = [&] {
        kept_ = false;
        if (cursor_ != nullptr && allLoaded_ && cursor_->fingerprint == fingerprint &&
            cursor_->dev == static_cast<std::uint64_t>(st.st_dev) &&
            cursor_->ino == static_cast<std::uint64_t>(st.st_ino) && cursor_->size == size &&
            cursor_->mtime == mtime) {
            return;
        }
        cursor_ = fresh();
        countAll(readable ? file.get() : -1, size, complete);
    };
    if (store_ == nullptr) {
        inMemory();
        return;
    }
    sqlite3* db = store_->database();
    enum class Step { Nothing, Tail, Whole };
    const auto decide = [&] {
        const Cursor* c = cursor_.get();
        if (c != nullptr && c->fingerprint == fingerprint && readable &&
            c->dev == static_cast<std::uint64_t>(st.st_dev) &&
            c->ino == static_cast<std::uint64_t>(st.st_ino) &&
            c->whole.size() == rules_->planCount()) {
            if (c->size == size && c->mtime == mtime) {
                return Step::Nothing;
            }
            if (size > c->size && c->sameBytes(file.get())) {
                return Step::Tail;
            }
        } else if (c != nullptr && c->fingerprint == fingerprint && !readable && c->offset == 0 &&
                   c->whole.size() == rules_->planCount()) {
            return Step::Nothing;
        }
        return Step::Whole;
    };
    const auto unreadable = [&] {
        store_->setProblem(usageStoreRefused(
            store_->path(), std::string("it cannot be read: ") + sqlite3_errmsg(db)));
        inMemory();
    };
    // A look that finds nothing new reads the state alone; counting takes the store's write
    // lock and looks again under it, as another program may have counted meanwhile.
    if (!readState()) {
        unreadable();
        return;
    }
    Step step = decide();
    bool locked = false;
    if (step != Step::Nothing) {
        if (!exec(db, "BEGIN IMMEDIATE")) {
            // Another program is counting or writing: this look counts in memory.
            inMemory();
            return;
        }
        locked = true;
        if (!readState()) {
            exec(db, "ROLLBACK");
            unreadable();
            return;
        }
        step = decide();
    }
    const Cursor* c = cursor_.get();
    kept_ = true;
    bool ok = true;
    if (step == Step::Nothing) {
        // Sums loaded before another program counted more are loaded again.
        if (books_.size() != rules_->planCount() || loadedFor_ != cursor_->text()) {
            books_.assign(rules_->planCount(), {});
            monthsLoaded_.assign(books_.size(), {});
            hoursLoaded_.assign(books_.size(), {});
            allLoaded_ = false;
        }
        for (std::size_t p = 0; p < books_.size(); ++p) {
            books_[p].whole = c->whole[p];
        }
        names_ = c->names;
        loadedFor_ = cursor_->text();
        if (locked) {
            exec(db, "COMMIT");
        }
        return;
    }
    if (step == Step::Tail) {
        const std::uint64_t from = c->offset;
        LedgerCount delta;
        delta.plans.resize(rules_->planCount());
        for (std::size_t p = 0; p < delta.plans.size(); ++p) {
            delta.plans[p].whole = c->whole[p];
        }
        delta.names = c->names;
        delta.lastKeys = c->lastKeys;
        const RowsOneByOne rows(store_.get());
        countLogBytes(file.get(), size, from, complete, *rules_, &rows, delta, {}, 1);
        if (books_.size() != rules_->planCount() || !allLoaded_) {
            if (books_.size() != rules_->planCount()) {
                books_.assign(rules_->planCount(), {});
                monthsLoaded_.assign(books_.size(), {});
                hoursLoaded_.assign(books_.size(), {});
            }
        }
        std::vector<std::pair<std::size_t, std::int64_t>> months;
        for (std::size_t p = 0; p < delta.plans.size() && ok; ++p) {
            std::int64_t last = -1;
            for (const auto& [day, book] : delta.plans[p].days) {
                const std::int64_t m = monthOfDay(day);
                if (m != last) {
                    ok =
                        ok && ensureMonths(p, firstDayOfMonth(m), firstDayOfMonth(m + 1) - 1, true);
                    months.emplace_back(p, m);
                    last = m;
                }
                books_[p].days[day].addAll(book);
            }
            books_[p].whole = delta.plans[p].whole;
        }
        names_ = std::move(delta.names);
        auto next = fresh();
        next->lastKeys = std::move(delta.lastKeys);
        cursor_ = std::move(next);
        ok = ok && writeMonths(months);
    } else {
        cursor_ = fresh();
        countAll(readable ? file.get() : -1, size, complete);
        ok = writeAll();
    }
    loadedFor_ = cursor_->text();
    if (!ok || !exec(db, "COMMIT")) {
        exec(db, "ROLLBACK");
        if (problem_.empty()) {
            store_->setProblem(usageStoreRefused(
                store_->path(), std::string("its sums cannot be kept: ") + sqlite3_errmsg(db)));
        }
        // The figures still come from a count of the log.
        allLoaded_ = false;
        inMemory();
    }
}

std::vector<std::size_t> UsageLedger::chosen(const std::string& plan) const {
    std::vector<std::size_t> out;
    const PlanSet& set = rules_->plans();
    if (plan.empty()) {
        for (std::size_t p = 0; p < rules_->planCount(); ++p) {
            out.push_back(p);
        }
    } else if (equalsIgnoreCase(plan, kDefaultPlanName)) {
        out.push_back(0);
    } else if (const Plan* p = set.find(plan)) {
        out.push_back(static_cast<std::size_t>(p - set.plans.data()) + 1);
    }
    return out;
}

LedgerCount UsageLedger::overlay(const std::vector<LiveUsage>& live, bool names) {
    LedgerCount o;
    o.plans.resize(rules_->planCount());
    for (std::size_t p = 0; p < o.plans.size() && p < books_.size(); ++p) {
        o.plans[p].whole = books_[p].whole;
    }
    if (names) {
        o.names = names_;
    }
    LocalDays days;
    const LocalOffsetCache offsets;
    if (!partialLine_.empty()) {
        countRecord(splitRecord(partialLine_), *rules_, nullptr, days, o);
    }
    for (const LiveUsage& l : live) {
        const LogRecord& e = l.record;
        LogFields f;
        f.field = {e.startDate, e.startTime,  e.endDate,   e.endTime,      e.user,
                   e.device,    e.connection, e.bytesSent, e.bytesReceived};
        struct OwnRows final : RowsLookup {
            const std::vector<UsageRow>* rows;
            const std::vector<UsageRow>* rowsOf(const LogFields&,
                                                std::vector<UsageRow>&) const override {
                return rows->empty() ? nullptr : rows;
            }
        } own;
        own.rows = &l.rows;
        countRecord(f, *rules_, &own, days, o);
    }
    return o;
}

LogTotals UsageLedger::totals(SummaryFilter filter, const LocalDateTime& today,
                              const std::string& plan, const std::vector<LiveUsage>& live) {
    eachPlan_.clear();
    const std::vector<std::size_t> plans = chosen(plan);
    const LedgerCount extra = overlay(live);
    std::vector<PlanKeys> keys{PlanKeys()};
    for (const Plan& p : rules_->plans().plans) {
        keys.emplace_back(p);
    }
    std::vector<LogTotals> each;
    for (const std::size_t p : plans) {
        const SummaryPeriod period = summaryPeriod(settings_, filter, today, keys[p]);
        LogTotals t;
        if (filter == SummaryFilter::All) {
            t = fromWhole(extra.plans[p].whole);
        } else {
            const std::int64_t first = dayOf(period.first);
            const std::int64_t last = dayOf(period.last);
            ensureMonths(p, first, last, false);
            Amounts sum;
            double connections = 0;
            const auto addDay = [&](const std::map<std::int64_t, DayBook>& days) {
                for (auto it = days.lower_bound(first); it != days.end() && it->first <= last;
                     ++it) {
                    sum.addUsage(it->second.day);
                    connections += it->second.day.first;
                    if (it->first == first) {
                        connections += it->second.day.carried;
                    }
                }
            };
            if (p < books_.size()) {
                addDay(books_[p].days);
            }
            addDay(extra.plans[p].days);
            t.count = std::llround(connections);
            t.totalTime = std::llround(sum.time);
            t.uploaded = sum.uploaded;
            t.downloaded = sum.downloaded;
            t.transmitted = t.uploaded + t.downloaded;
            const double gross = sum.timePrice + sum.dataPrice;
            t.totalCost = gross;
            if (filter == SummaryFilter::ThisMonth) {
                const Tariff tariff = Tariff::read(settings_, keys[p]);
                const PeriodFigures f = periodFigures(gross, t.transmitted, t.count > 0,
                                                      Allowance::read(settings_, tariff, keys[p]),
                                                      period.billing, today);
                t.totalCost = f.cost;
                t.projectedCost = f.projectedCost;
                t.projectedData = f.projectedData;
            }
            t.averageCost = t.count != 0 ? t.totalCost / static_cast<double>(t.count) : 0;
        }
        eachPlan_.push_back(PlanTotals{static_cast<int>(p) - 1, period, t});
        each.push_back(t);
    }
    if (each.size() == 1) {
        return each[0];
    }
    if (each.empty()) {
        LogTotals none;
        if (filter == SummaryFilter::ThisMonth) {
            none.projectedCost = 0.0;
            none.projectedData = 0.0;
        }
        return none;
    }
    LogTotals all = addPlanTotals(each);
    all.periodsOfAllPlans = filter == SummaryFilter::ThisMonth && !rules_->plans().empty();
    return all;
}

std::vector<NamedTotals> UsageLedger::byConnection(const std::vector<LiveUsage>& live) {
    const LedgerCount all = overlay(live, true);
    std::vector<NamedTotals> out;
    out.reserve(all.names.size());
    for (const auto& [name, n] : all.names) {
        out.push_back(NamedTotals{name, n.device, fromWhole(n.whole)});
    }
    return out;
}

std::vector<UsageBucket> UsageLedger::buckets(UsageBy by, const LogDate& from, const LogDate& to,
                                              const LocalDateTime& today, const std::string& plan,
                                              const std::vector<LiveUsage>& live) {
    (void)today;
    if (!from.valid() || !to.valid() || to.daysSinceEpoch() < from.daysSinceEpoch()) {
        return {};
    }
    const std::int64_t askedFirst = from.daysSinceEpoch();
    const std::int64_t askedLast = to.daysSinceEpoch();
    const std::vector<std::size_t> plans = chosen(plan);
    const LedgerCount extra = overlay(live);
    std::vector<PlanKeys> keys{PlanKeys()};
    for (const Plan& p : rules_->plans().plans) {
        keys.emplace_back(p);
    }
    const PlanSet& set = rules_->plans();
    const Plan* chosenPlan = plan.empty() ? nullptr : set.find(plan);
    const int bucketBilling = billingDay(settings_, PlanKeys::of(chosenPlan));
    const bool hours = by == UsageBy::Hour;
    LocalDays localDays;

    // Each bucket by its key, which orders them in time.
    std::map<std::int64_t, UsageBucket> out;
    for (const std::size_t p : plans) {
        // The time online of each bucket of this plan, rounded once; the buckets begun.
        std::map<std::int64_t, double> timeOf;
        const int billing = billingDay(settings_, keys[p]);
        const auto toLocalDate = [](std::int64_t d) {
            const LogDate x = LogDate::fromDaysSinceEpoch(d);
            return LocalDateTime{static_cast<int>(x.year), static_cast<int>(x.month),
                                 static_cast<int>(x.day)};
        };
        // Whole billing periods around the days asked: the free allowances come off each from
        // its start, the earliest usage first.
        BillingPeriod period = billingPeriodAt(billing, toLocalDate(askedFirst));
        const BillingPeriod lastPeriod = billingPeriodAt(billing, toLocalDate(askedLast));
        const Tariff tariff = Tariff::read(settings_, keys[p]);
        const Allowance allowance = Allowance::read(settings_, tariff, keys[p]);
        ensureMonths(p, dayOf(period.start()), askedLast, hours);
        for (;;) {
            const std::int64_t pFirst = dayOf(period.start());
            const std::int64_t pEnd = dayOf(period.end());
            // The period's units (days, or hours) in time order, kept and overlaid.
            struct Unit {
                std::int64_t day;
                int hour;
                Amounts a;
            };
            std::vector<Unit> units;
            const auto unitsOf = [&](const std::map<std::int64_t, DayBook>* kept,
                                     const std::map<std::int64_t, DayBook>& more) {
                for (std::int64_t d = pFirst; d < pEnd && d <= askedLast; ++d) {
                    const DayBook* k = nullptr;
                    if (kept != nullptr) {
                        const auto it = kept->find(d);
                        k = it == kept->end() ? nullptr : &it->second;
                    }
                    const auto mit = more.find(d);
                    const DayBook* m = mit == more.end() ? nullptr : &mit->second;
                    if (k == nullptr && m == nullptr) {
                        continue;
                    }
                    if (!hours) {
                        Unit u{d, 0, {}};
                        if (k != nullptr) {
                            u.a.addAll(k->day);
                        }
                        if (m != nullptr) {
                            u.a.addAll(m->day);
                        }
                        units.push_back(u);
                        continue;
                    }
                    for (int h = 0; h < kHoursInDay; ++h) {
                        Unit u{d, h, {}};
                        if (k != nullptr) {
                            u.a.addAll(k->hours[static_cast<std::size_t>(h)]);
                        }
                        if (m != nullptr) {
                            u.a.addAll(m->hours[static_cast<std::size_t>(h)]);
                        }
                        if (!u.a.empty()) {
                            units.push_back(u);
                        }
                    }
                }
            };
            unitsOf(p < books_.size() ? &books_[p].days : nullptr, extra.plans[p].days);
            // The free time and data, the earliest usage first; free time beyond the period's
            // use still comes off its first usage, as the totals take it off.
            double freeTime = allowance.freeValue;
            double freeMB = allowance.freeMB;
            bool counted = false;
            for (Unit& u : units) {
                const bool used = u.a.time > 0 || u.a.uploaded + u.a.downloaded > 0 ||
                                  u.a.first > 0 || u.a.carried > 0;
                counted = counted || used;
                const double t = std::min(freeTime, std::max(0.0, u.a.timePrice));
                u.a.timePrice -= t;
                freeTime -= t;
                if (allowance.costPerMB != 0) {
                    const double mb = std::min(freeMB, (u.a.uploaded + u.a.downloaded) / 1e6);
                    u.a.dataPrice -= allowance.costPerMB * mb;
                    freeMB -= mb;
                }
            }
            if (counted && !units.empty()) {
                units.front().a.timePrice -= freeTime;
            }
            // Into the buckets asked for.
            for (const Unit& u : units) {
                if (u.day < askedFirst || u.day > askedLast) {
                    continue;
                }
                const LogDate date = LogDate::fromDaysSinceEpoch(u.day);
                LocalDateTime start{static_cast<int>(date.year), static_cast<int>(date.month),
                                    static_cast<int>(date.day)};
                std::int64_t key = u.day;
                switch (by) {
                    case UsageBy::Hour: {
                        const std::int64_t t = localDays.start(u.day) + u.hour * std::int64_t{3600};
                        start = toLocal(TimePoint{std::chrono::seconds(t)});
                        key = t;
                        break;
                    }
                    case UsageBy::Day:
                        break;
                    case UsageBy::Month:
                        start.day = 1;
                        key = date.year * 12 + date.month;
                        break;
                    case UsageBy::Period: {
                        const BillingPeriod b = bucketBilling == billing
                                                    ? period
                                                    : billingPeriodAt(bucketBilling, start);
                        start = b.start();
                        key = dayOf(b.start());
                        break;
                    }
                }
                // A bucket that begins here counts the connections carried into it.
                const auto [begun, first] = timeOf.try_emplace(key, 0.0);
                begun->second += u.a.time;
                auto [it, added] = out.try_emplace(key);
                UsageBucket& b = it->second;
                if (added) {
                    b.start = start;
                }
                b.uploaded += u.a.uploaded;
                b.downloaded += u.a.downloaded;
                b.cost += u.a.timePrice + u.a.dataPrice;
                b.connections += std::llround(u.a.first + (first ? u.a.carried : 0));
            }
            if (period.year == lastPeriod.year && period.month == lastPeriod.month) {
                break;
            }
            period = billingPeriodAt(billing, period.end());
        }
        for (const auto& [key, time] : timeOf) {
            out[key].seconds += std::llround(time);
        }
    }
    std::vector<UsageBucket> list;
    for (auto& [key, b] : out) {
        if (b.connections > 0) {
            list.push_back(b);
        }
    }
    return list;
}

std::optional<std::pair<LogDate, LogDate>> UsageLedger::usedDays(
    const std::string& plan, const std::vector<LiveUsage>& live) {
    std::optional<std::int64_t> first;
    std::optional<std::int64_t> last;
    const auto take = [&](const std::map<std::int64_t, DayBook>& days, std::int64_t from,
                          std::int64_t to) {
        const auto a = days.lower_bound(from);
        const auto b = days.upper_bound(to);
        if (a == b) {
            return;
        }
        first = std::min(first.value_or(a->first), a->first);
        last = std::max(last.value_or(std::prev(b)->first), std::prev(b)->first);
    };
    constexpr std::int64_t kAll = std::numeric_limits<std::int64_t>::max();
    const LedgerCount extra = overlay(live);
    for (const std::size_t p : chosen(plan)) {
        take(extra.plans[p].days, -kAll, kAll);
        if (p >= books_.size()) {
            continue;
        }
        if (allLoaded_ || !kept_) {
            take(books_[p].days, -kAll, kAll);
            continue;
        }
        // The first and the last month kept, and only their days read.
        const auto base = static_cast<std::int64_t>(p) * kMonthKeyPlan;
        std::int64_t months[2];
        {
            Sql s(store_->database(),
                  "SELECT MIN(key), MAX(key) FROM kept_days WHERE key BETWEEN ?1 AND ?2");
            if (!s.ok()) {
                store_->setProblem(
                    usageStoreRefused(store_->path(), "its kept sums cannot be read"));
                continue;
            }
            s.bind(1, base);
            s.bind(2, base + kMonthKeyPlan - 1);
            if (s.step() != SQLITE_ROW || s.null(0)) {
                continue;
            }
            months[0] = s.integer(0) - base;
            months[1] = s.integer(1) - base;
        }
        for (const std::int64_t m : months) {
            ensureMonths(p, firstDayOfMonth(m), firstDayOfMonth(m + 1) - 1, false);
        }
        // Damaged sums were counted again in memory, whole.
        for (const std::int64_t m : months) {
            if (p < books_.size()) {
                take(books_[p].days, allLoaded_ ? -kAll : firstDayOfMonth(m),
                     allLoaded_ ? kAll : firstDayOfMonth(m + 1) - 1);
            }
        }
    }
    if (!first) {
        return std::nullopt;
    }
    return std::pair{LogDate::fromDaysSinceEpoch(*first), LogDate::fromDaysSinceEpoch(*last)};
}

std::vector<LiveUsage> UsageLedger::journaled() {
    JournalEntry entry;
    if (ConnectionJournal::read(ConnectionJournal::pathFor(logPath_), entry) !=
        ConnectionJournal::Found::Whole) {
        return {};
    }
    LogFields f;
    const LogRecord& e = entry.record;
    f.field = {e.startDate, e.startTime,  e.endDate,   e.endTime,      e.user,
               e.device,    e.connection, e.bytesSent, e.bytesReceived};
    const ConnectionKey key = connectionKeyOf(f);
    // Logged already (the monitor writes the record, then removes the journal).
    if (cursor_ != nullptr) {
        for (const ConnectionKey& k : cursor_->lastKeys) {
            if (k == key) {
                return {};
            }
        }
    }
    if (!partialLine_.empty() && connectionKeyOf(splitRecord(partialLine_)) == key) {
        return {};
    }
    LiveUsage live{entry.record, {}};
    if (store_ != nullptr) {
        live.rows = store_->rowsOf(key);
    }
    return {live};
}

}  // namespace tavu
