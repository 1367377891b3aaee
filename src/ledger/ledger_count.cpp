#include "ledger/ledger_count.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <type_traits>

#include "core/clock.h"
#include "core/text.h"
#include "log/log_date.h"
#include "log/log_stretch.h"

namespace tavu {

namespace {

std::string keyText(std::string_view date, std::string_view time, std::string_view device,
                    std::string_view connection) {
    std::string k;
    k.reserve(date.size() + time.size() + device.size() + connection.size() + 3);
    k.append(date).push_back('\x1f');
    k.append(time).push_back('\x1f');
    k.append(device).push_back('\x1f');
    k.append(connection);
    return k;
}

// Exactly what a double holds, as text.
void appendExact(std::string& out, double v) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%a;", v);
    out += buf;
}

// What names the local time zone: the TZ variable, else the file the system's zone is read
// from, by its target, size and time.
std::string zoneIdentity() {
    std::string id = "TZ=";
    if (const char* tz = std::getenv("TZ")) {
        id += tz;
        id += ';';
    }
    char target[PATH_MAX + 1];
    const ssize_t n = ::readlink("/etc/localtime", target, PATH_MAX);
    if (n > 0) {
        id.append(target, static_cast<std::size_t>(n));
    }
    struct stat st {};
    if (::stat("/etc/localtime", &st) == 0) {
        id += ";" + std::to_string(st.st_size) + ";" + std::to_string(st.st_mtim.tv_sec) + "." +
              std::to_string(st.st_mtim.tv_nsec);
    }
    return id;
}

}  // namespace

const std::vector<UsageRow>* RowsOneByOne::rowsOf(const LogFields& f,
                                                  std::vector<UsageRow>& scratch) const {
    if (source_ == nullptr) {
        return nullptr;
    }
    scratch = source_->rowsOf(connectionKeyOf(f));
    return scratch.empty() ? nullptr : &scratch;
}

RowsAtOnce::RowsAtOnce(const UsageSource* source) {
    if (source == nullptr) {
        return;
    }
    source->forEachConnection([&](const ConnectionKey& k, std::vector<UsageRow>&& rows) {
        if (rows.empty()) {
            return;
        }
        index_.emplace(keyText(k.startDate, k.startTime, k.device, k.connection), rows_.size());
        rows_.push_back(std::move(rows));
    });
}

const std::vector<UsageRow>* RowsAtOnce::rowsOf(const LogFields& f, std::vector<UsageRow>&) const {
    if (index_.empty()) {
        return nullptr;
    }
    const auto it = index_.find(keyText(f[LogFields::StartDate], f[LogFields::StartTime],
                                        f[LogFields::Device], f[LogFields::Connection]));
    return it == index_.end() ? nullptr : &rows_[it->second];
}

LedgerRules::LedgerRules(const SettingsStore& settings) : plans_(readPlans(settings)) {
    std::vector<PlanKeys> keys{PlanKeys()};
    for (const Plan& p : plans_.plans) {
        keys.emplace_back(p);
    }
    for (const PlanKeys& k : keys) {
        tariffs_.push_back(Tariff::read(settings, k));
        billing_.push_back(BillingRules::read(settings, k));
    }
    std::string f = "ledger 1;" + zoneIdentity() + ";";
    for (std::size_t i = 0; i < keys.size(); ++i) {
        if (i > 0) {
            const Plan& p = plans_.plans[i - 1];
            f += "plan " + p.name + ";";
            for (const std::string& m : p.match) {
                f += m + ",";
            }
            f += ";";
        }
        const Tariff& t = tariffs_[i];
        for (double v : {t.pricePerDial, t.costPerMinute, t.cheapCostPerMinute, t.costPerMB,
                         t.roamingCostPerMB}) {
            appendExact(f, v);
        }
        f += std::to_string(t.cheapStart) + ";" + std::to_string(t.cheapEnd) + ";" +
             (t.cheapSaturday ? "1" : "0") + (t.cheapSunday ? "1" : "0") + ";";
        const BillingRules& b = billing_[i];
        f += std::to_string(b.minLength) + ";" + (b.blocks ? "1" : "0") + ";" +
             std::to_string(b.block) + ";";
    }
    fingerprint_ = std::move(f);
}

std::size_t LedgerRules::planOf(std::string_view connection, std::string_view device) const {
    if (plans_.empty()) {
        return 0;
    }
    return static_cast<std::size_t>(planIndexFor(plans_, connection, device) + 1);
}

namespace {

// The count of one record, without the whole sums (added in log order by the caller).
struct WholeItem {
    std::size_t plan;
    double cost;
    std::int64_t time;
    double sent;
    double received;
    // The record's connection name and device, valid while its line is.
    std::string_view name;
    std::string_view device;
};

}  // namespace

double byteCount(std::string_view t, const char* lineStart) {
    const std::size_t n = t.size();
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    if (n >= 1 && n <= 15 &&
        static_cast<std::size_t>(t.data() + n - lineStart) >= (n <= 8 ? 8u : 16u)) {
        // The eight bytes that end at `end`, as digits 0 to 9 from the most significant; the
        // `keep` last of them are the digits (the others read as leading zeros). False when one
        // of them is no digit.
        const auto eight = [](const char* end, std::size_t keep, std::uint64_t& v) {
            std::uint64_t x;
            std::memcpy(&x, end - 8, 8);
            const std::uint64_t mask =
                keep == 8 ? ~std::uint64_t{0} : ~(~std::uint64_t{0} >> (8 * keep));
            const std::uint64_t y = (x ^ 0x3030303030303030ull) & mask;
            if ((((y + 0x7676767676767676ull) | y) & 0x8080808080808080ull & mask) != 0) {
                return false;
            }
            // Pairs, then fours, then all eight (the first digit in the lowest byte).
            std::uint64_t z = (y * 2561) >> 8;
            z = ((z & 0x00FF00FF00FF00FFull) * 6553601) >> 16;
            v = ((z & 0x0000FFFF0000FFFFull) * 42949672960001ull) >> 32;
            return true;
        };
        const char* end = t.data() + n;
        std::uint64_t low = 0;
        std::uint64_t high = 0;
        if (n <= 8 ? eight(end, n, low) : eight(end, 8, low) && eight(end - 8, n - 8, high)) {
            return static_cast<double>(high * 100000000ull + low);
        }
    }
#endif
    (void)lineStart;
    return leadingDouble(t);
}

namespace {

// The plans of the names last met: a log names few connections, over and over.
class PlanCache {
  public:
    explicit PlanCache(const LedgerRules& rules) : rules_(rules) {}
    // The plan of a record's connection and device (fields of a line that begins at
    // lineStart).
    std::size_t planOf(std::string_view connection, std::string_view device,
                       const char* lineStart) {
        if (rules_.planCount() == 1) {
            return 0;  // no plans: every record is the default plan's
        }
        Names names;
        if (shortName(connection, lineStart, names.connection) &&
            shortName(device, lineStart, names.device)) {
            names.sizes = connection.size() | (device.size() << 8);
            for (const Entry& e : entries_) {
                if (e.names.sizes == names.sizes && e.names.connection == names.connection &&
                    e.names.device == names.device) {
                    return e.plan;
                }
            }
        } else {
            names = Names{};
            for (const Entry& e : entries_) {
                if (e.names.sizes == kLong && e.connection == connection && e.device == device) {
                    return e.plan;
                }
            }
        }
        const std::size_t plan = rules_.planOf(connection, device);
        if (entries_.size() >= kEntries) {
            entries_.erase(entries_.begin());
        }
        entries_.push_back(Entry{names, std::string(connection), std::string(device), plan});
        return plan;
    }

  private:
    // Names of up to eight bytes as words: equal names, equal words and sizes.
    struct Names {
        std::uint64_t connection = 0;
        std::uint64_t device = 0;
        std::uint64_t sizes = kLong;
    };
    static constexpr std::uint64_t kLong = ~std::uint64_t{0};
    // The eight bytes that end with the name (those before it, within the line, shifted out).
    static bool shortName(std::string_view t, const char* lineStart, std::uint64_t& word) {
        const std::size_t n = t.size();
        if (n > 8 || static_cast<std::size_t>(t.data() + n - lineStart) < 8) {
            return false;
        }
        if (n == 0) {
            word = 0;
            return true;
        }
        std::memcpy(&word, t.data() + n - 8, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        word = n == 8 ? word : word >> (8 * (8 - n));
#else
        word = n == 8 ? word : word << (8 * (8 - n));
#endif
        return true;
    }
    static constexpr std::size_t kEntries = 8;
    struct Entry {
        Names names;
        std::string connection;
        std::string device;
        std::size_t plan;
    };
    const LedgerRules& rules_;
    std::vector<Entry> entries_;
};

// The dates of the records before, by their text: most records start and end on the date of
// the record before.
class DateCache {
  public:
    const DateRead& read(std::string_view text) {
        if (text.size() != 10) {
            other_ = readLogDate(text);
            return other_;
        }
        std::uint64_t head;
        std::uint16_t tail;
        std::memcpy(&head, text.data(), 8);
        std::memcpy(&tail, text.data() + 8, 2);
        for (Entry& e : entries_) {
            if (e.used && e.head == head && e.tail == tail) {
                return e.read;
            }
        }
        Entry& e = entries_[next_];
        next_ ^= 1;
        e = Entry{head, tail, true, readLogDate(text)};
        return e.read;
    }

  private:
    struct Entry {
        std::uint64_t head = 0;
        std::uint16_t tail = 0;
        bool used = false;
        DateRead read;
    };
    Entry entries_[2];
    std::size_t next_ = 0;
    DateRead other_;
};

// What a thread keeps while it counts.
struct CountState {
    CountState(const LedgerRules& rules, LocalDays& localDays) : plans(rules), days(localDays) {}
    PlanCache plans;
    DateCache dates;
    LocalDays& days;
    ConnectionPlacement placement;
    std::vector<UsageRow> scratch;
};

// The fields a count reads of a record.
struct RecordText {
    std::string_view startDate;
    std::string_view startTime;
    std::string_view endDate;
    std::string_view endTime;
    std::string_view device;
    std::string_view connection;
    std::string_view sent;
    std::string_view received;
    const char* line;  // where the line begins
};

RecordText textOf(const LogFields& f) {
    return RecordText{
        f[LogFields::StartDate], f[LogFields::StartTime],     f[LogFields::EndDate],
        f[LogFields::EndTime],   f[LogFields::Device],        f[LogFields::Connection],
        f[LogFields::BytesSent], f[LogFields::BytesReceived], f[LogFields::StartDate].data()};
}

// Counts a record into its plan's books; fields: the record's fields when its usage rows are
// to be looked up.
template <typename Books>
void countText(const RecordText& r, const LogFields* fields, const LedgerRules& rules,
               const RowsLookup* rows, CountState& state, Books& books, WholeItem& whole) {
    const std::size_t plan = state.plans.planOf(r.connection, r.device, r.line);
    const Tariff& t = rules.tariff(plan);
    const double sent = byteCount(r.sent, r.line);
    const double received = byteCount(r.received, r.line);
    // As priceRecord reads and prices the record.
    const DateRead startDate = state.dates.read(r.startDate);
    const ClockRead startTime = readLogClock(r.startTime);
    const Pricing p = priceRead(startDate, startTime, state.dates.read(r.endDate),
                                readLogClock(r.endTime), t, rules.billing(plan), sent + received);
    whole = WholeItem{plan, p.cost, p.minBilled, sent, received, r.connection, r.device};
    const bool even = p.placed && p.duration > 0;
    if constexpr (std::is_same_v<Books, std::vector<DayTable>>) {
        if (rows == nullptr && even) {
            // No usage rows: the one even piece placeConnection would give.
            addEvenPiece(books[plan], evenPiece(p, t, sent, received), state.days);
            return;
        }
    }
    PricedConnection c;
    c.pricing = &p;
    c.tariff = &t;
    c.sent = sent;
    c.received = received;
    c.date = startDate.date;
    c.startClock = startTime.seconds;
    const std::vector<UsageRow>* own = rows != nullptr && even && fields != nullptr
                                           ? rows->rowsOf(*fields, state.scratch)
                                           : nullptr;
    if (placeConnection(c, own, state.placement)) {
        addPlacement(books[plan], state.placement, state.days);
    }
}

template <typename Books>
bool countOne(const LogFields& f, const LedgerRules& rules, const RowsLookup* rows,
              CountState& state, Books& books, WholeItem& whole) {
    if (!f.isRecord()) {
        return false;
    }
    countText(textOf(f), &f, rules, rows, state, books, whole);
    return true;
}

// Counts a line of the log (its CR dropped, as splitRecord drops it): false when it is no
// record. Without usage rows the fields are taken at its separators, never made whole.
bool countLine(std::string_view line, const LedgerRules& rules, const RowsLookup* rows,
               CountState& state, std::vector<DayTable>& books, WholeItem& whole) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    Separators bars;
    const std::size_t n = findSeparators(line, bars);
    // A record that begins with anything but a blank.
    const char first = line.empty() ? ' ' : line.front();
    const bool blank = first == ' ' || first == '\t' || first == '\n' || first == '\r' ||
                       first == '\v' || first == '\f' || first == '|';
    if (rows != nullptr || n != LogFields::Count || blank) {
        return countOne(fieldsAt(line, bars, n), rules, rows, state, books, whole);
    }
    const auto field = [&](std::size_t k) {
        const char* from = k == 0 ? line.data() : bars[k - 1] + 1;
        return std::string_view(from, static_cast<std::size_t>(bars[k] - from));
    };
    countText(RecordText{field(LogFields::StartDate), field(LogFields::StartTime),
                         field(LogFields::EndDate), field(LogFields::EndTime),
                         field(LogFields::Device), field(LogFields::Connection),
                         field(LogFields::BytesSent), field(LogFields::BytesReceived), line.data()},
              nullptr, rules, rows, state, books, whole);
    return true;
}

void keepKey(std::vector<ConnectionKey>& keys, ConnectionKey key) {
    if (keys.size() >= kKeptLastKeys) {
        keys.erase(keys.begin());
    }
    keys.push_back(std::move(key));
}

// The last lines of a stretch that held records, newest last: their keys are made once the
// stretch is counted, not for every record.
class LastLines {
  public:
    void add(std::string_view line) {
        lines_[next_ % kKeptLastKeys] = line;
        ++next_;
    }
    // Their keys, oldest first.
    std::vector<ConnectionKey> keys() const {
        std::vector<ConnectionKey> out;
        const std::size_t n = std::min(next_, kKeptLastKeys);
        for (std::size_t i = next_ - n; i < next_; ++i) {
            out.push_back(connectionKeyOf(splitRecord(lines_[i % kKeptLastKeys])));
        }
        return out;
    }

  private:
    std::array<std::string_view, kKeptLastKeys> lines_{};
    std::size_t next_ = 0;
};

// One stretch's count: its books, and its records' whole figures in log order.
struct StretchCount {
    std::vector<WholeItem> whole;
    NameBook names;
    std::vector<ConnectionKey> lastKeys;
};

}  // namespace

void addToName(NameBook& names, std::string_view name, std::string_view device, double cost,
               std::int64_t seconds, double sent, double received) {
    auto it = names.find(name);
    if (it == names.end()) {
        it = names.emplace(std::string(name), NameSums{}).first;
    }
    it->second.whole.add(cost, seconds, sent, received);
    if (it->second.device != device) {
        it->second.device.assign(device);
    }
}

bool countRecord(const LogFields& f, const LedgerRules& rules, const RowsLookup* rows,
                 LocalDays& days, LedgerCount& out) {
    out.plans.resize(std::max(out.plans.size(), rules.planCount()));
    WholeItem w{};
    CountState state(rules, days);
    if (!countOne(f, rules, rows, state, out.plans, w)) {
        return false;
    }
    out.plans[w.plan].whole.add(w.cost, w.time, w.sent, w.received);
    addToName(out.names, f[LogFields::Connection], f[LogFields::Device], w.cost, w.time, w.sent,
              w.received);
    keepKey(out.lastKeys, connectionKeyOf(f));
    ++out.records;
    return true;
}

void countLogBytes(int fd, std::uint64_t size, std::uint64_t begin, std::uint64_t end,
                   const LedgerRules& rules, const RowsLookup* rows, LedgerCount& out,
                   const std::function<void(std::uint64_t, std::uint64_t)>& progress,
                   unsigned threadCount) {
    out.plans.resize(std::max(out.plans.size(), rules.planCount()));
    end = std::min(end, size);
    if (begin >= end) {
        return;
    }
    if (progress) {
        progress(0, end - begin);  // before the first stretch: a caller may show it at once
    }
    constexpr std::uint64_t kStretch = std::uint64_t{1} << 20;
    const std::uint64_t stretches = (end - begin + kStretch - 1) / kStretch;
    const std::uint64_t cores =
        threadCount != 0 ? threadCount
                         : std::min(8u, std::max(1u, std::thread::hardware_concurrency()));
    const std::uint64_t threads = std::min<std::uint64_t>(stretches, cores);

    // Each thread counts its stretches into tables of days of its own; the whole sums and the
    // last keys are added here, stretch after stretch in log order.
    const auto countStretch = [&](std::uint64_t n, std::vector<char>& buf, CountState& state,
                                  std::vector<DayTable>& books, StretchCount& s) {
        const std::uint64_t a = begin + n * kStretch;
        LastLines last;
        s.whole.reserve(static_cast<std::size_t>(kStretch / 64));
        forEachLineInStretch(
            fd, end, a, std::min(end, a + kStretch), buf, [&](std::string_view line) {
                if (line.empty()) {
                    return;
                }
                WholeItem w{};
                if (countLine(line, rules, rows, state, books, w)) {
                    s.whole.push_back(w);
                    addToName(s.names, w.name, w.device, w.cost, w.time, w.sent, w.received);
                    last.add(line);
                }
            });
        s.lastKeys = last.keys();
    };
    const auto addStretch = [&](StretchCount& s, std::uint64_t n) {
        for (const WholeItem& w : s.whole) {
            out.plans[w.plan].whole.add(w.cost, w.time, w.sent, w.received);
        }
        out.records += static_cast<std::int64_t>(s.whole.size());
        for (const auto& [name, sums] : s.names) {
            auto it = out.names.find(name);
            if (it == out.names.end()) {
                out.names.emplace(name, sums);
            } else {
                it->second.append(sums);
            }
        }
        for (ConnectionKey& k : s.lastKeys) {
            keepKey(out.lastKeys, std::move(k));
        }
        if (progress) {
            progress(std::min(end - begin, (n + 1) * kStretch), end - begin);
        }
    };
    const auto countAlone = [&] {
        std::vector<char> buf;
        LocalDays days;
        CountState state(rules, days);
        std::vector<DayTable> books(rules.planCount());
        for (std::uint64_t n = 0; n < stretches; ++n) {
            StretchCount s;
            countStretch(n, buf, state, books, s);
            addStretch(s, n);
        }
        for (std::size_t p = 0; p < books.size(); ++p) {
            books[p].moveInto(out.plans[p]);
        }
    };

    const LocalOffsetCache offsets;
    if (threads <= 1) {
        countAlone();
        return;
    }
    const std::uint64_t window = 2 * threads + 2;
    std::vector<StretchCount> done(stretches);
    std::vector<char> ready(stretches, 0);
    std::vector<std::vector<DayTable>> threadBooks(threads);
    std::uint64_t added = 0;
    std::atomic<std::uint64_t> next{0};
    std::mutex m;
    std::condition_variable cv;
    const auto work = [&](std::size_t me) {
        const LocalOffsetCache threadOffsets;
        std::vector<DayTable>& books = threadBooks[me];
        books.resize(rules.planCount());
        std::vector<char> buf;
        LocalDays days;
        CountState state(rules, days);
        for (;;) {
            const std::uint64_t n = next++;
            if (n >= stretches) {
                return;
            }
            {
                std::unique_lock lock(m);
                cv.wait(lock, [&] { return n < added + window; });
            }
            StretchCount s;
            countStretch(n, buf, state, books, s);
            {
                const std::lock_guard lock(m);
                done[n] = std::move(s);
                ready[n] = 1;
            }
            cv.notify_all();
        }
    };
    std::vector<std::thread> pool;
    try {
        for (std::uint64_t i = 0; i < threads; ++i) {
            pool.emplace_back(work, static_cast<std::size_t>(i));
        }
    } catch (const std::system_error&) {
        // The system gives no more threads: those that started do the work.
    }
    if (pool.empty()) {
        countAlone();
        return;
    }
    for (std::uint64_t n = 0; n < stretches; ++n) {
        StretchCount s;
        {
            std::unique_lock lock(m);
            cv.wait(lock, [&] { return ready[n] != 0; });
            s = std::move(done[n]);
        }
        addStretch(s, n);
        {
            const std::lock_guard lock(m);
            added = n + 1;
        }
        cv.notify_all();
    }
    for (std::thread& t : pool) {
        t.join();
    }
    for (std::vector<DayTable>& books : threadBooks) {
        for (std::size_t p = 0; p < books.size(); ++p) {
            books[p].moveInto(out.plans[p]);
        }
    }
}

}  // namespace tavu
