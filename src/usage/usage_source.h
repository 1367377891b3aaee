#pragma once

// The usage of connections quarter hour by quarter hour, as the usage store keeps it. The log
// stays the source of truth: a connection is named by the key of its log record, so the log and
// the store join; a record without rows is spread evenly over its span by the totals engine.

#include <compare>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "log/log_record.h"

namespace tavu {

// A connection as its log record names it.
struct ConnectionKey {
    std::string startDate;  // "dd-mm-yyyy", as stored
    std::string startTime;  // "HH:MM:SS", as stored
    std::string device;
    std::string connection;  // the entry or NetworkManager connection name
    auto operator<=>(const ConnectionKey&) const = default;
};

// The key of a record split from the log.
inline ConnectionKey connectionKeyOf(const LogFields& f) {
    return ConnectionKey{std::string(f[LogFields::StartDate]), std::string(f[LogFields::StartTime]),
                         std::string(f[LogFields::Device]), std::string(f[LogFields::Connection])};
}

// A quarter hour of UTC time is the store's bucket: quarter hours meet local midnight in every
// time zone.
inline constexpr std::int64_t kQuarterSeconds = 900;

inline std::int64_t quarterOf(std::int64_t utcSeconds) {
    const std::int64_t r = utcSeconds % kQuarterSeconds;
    return utcSeconds - (r < 0 ? r + kQuarterSeconds : r);
}

struct UsageRow {
    std::int64_t quarter = 0;     // the quarter hour's start, seconds since the epoch (UTC)
    std::int64_t seconds = 0;     // seconds online in it, 0 to 900
    std::int64_t uploaded = 0;    // bytes sent in it
    std::int64_t downloaded = 0;  // bytes received in it
    std::int64_t roaming = 0;     // of those bytes, both ways, the ones used while roaming
    bool operator==(const UsageRow&) const = default;
};

using UsageRows = std::map<ConnectionKey, std::vector<UsageRow>>;

// Where the rows come from: the SQLite store, or an in-memory one in the tests.
class UsageSource {
  public:
    virtual ~UsageSource() = default;
    // Every row whose quarter lies in [fromUtc, toUtc), by connection, each in time order.
    virtual UsageRows rowsBetween(std::int64_t fromUtc, std::int64_t toUtc) const = 0;
    // All rows of one connection, in time order; empty when the store has none.
    virtual std::vector<UsageRow> rowsOf(const ConnectionKey& key) const = 0;
    // Every connection with its rows in time order, one after the other: one read of the whole
    // source, for a count of the whole log.
    virtual void forEachConnection(
        const std::function<void(const ConnectionKey&, std::vector<UsageRow>&&)>& fn) const {
        for (auto& [key, list] : rowsBetween(std::numeric_limits<std::int64_t>::min(),
                                             std::numeric_limits<std::int64_t>::max())) {
            fn(key, std::move(list));
        }
    }
};

class MemoryUsageSource final : public UsageSource {
  public:
    UsageRows rowsBetween(std::int64_t fromUtc, std::int64_t toUtc) const override {
        UsageRows out;
        for (const auto& [key, list] : rows) {
            for (const UsageRow& r : list) {
                if (r.quarter >= fromUtc && r.quarter < toUtc) {
                    out[key].push_back(r);
                }
            }
        }
        return out;
    }
    std::vector<UsageRow> rowsOf(const ConnectionKey& key) const override {
        const auto it = rows.find(key);
        return it == rows.end() ? std::vector<UsageRow>{} : it->second;
    }

    UsageRows rows;
};

}  // namespace tavu
