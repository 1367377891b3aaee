#pragma once

// The kept sums: each plan's usage by local day and by hour of the day, and its whole
// connections added up in log order. A day is counted in local time (days since 1970-01-01),
// its hours as hours of elapsed time from local midnight (a day of a change of summer time has
// 23 or 25 of them).

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

#include "tariff/placement.h"

namespace tavu {

// Usage that fell in one stretch of time (an hour or a day).
struct Amounts {
    double time = 0;  // time online counted, shared by seconds
    double uploaded = 0;
    double downloaded = 0;
    double roaming = 0;
    double timePrice = 0;
    double dataPrice = 0;
    // Connections: those whose first second counted lies here, and those that were there before
    // it and are still there in it. A stretch of several hours or days counts first + carried
    // of its first hour or day, plus first of the others.
    double first = 0;
    double carried = 0;

    static constexpr int kFields = 8;
    // Adds the usage of another stretch (not its connections).
    void addUsage(const Amounts& o) {
        time += o.time;
        uploaded += o.uploaded;
        downloaded += o.downloaded;
        roaming += o.roaming;
        timePrice += o.timePrice;
        dataPrice += o.dataPrice;
    }
    void addAll(const Amounts& o) {
        addUsage(o);
        first += o.first;
        carried += o.carried;
    }
    bool empty() const {
        return time == 0 && uploaded == 0 && downloaded == 0 && timePrice == 0 && dataPrice == 0 &&
               first == 0 && carried == 0 && roaming == 0;
    }
};

inline constexpr int kHoursInDay = 25;

struct DayBook {
    Amounts day;
    std::array<Amounts, kHoursInDay> hours{};
    void addAll(const DayBook& o) {
        day.addAll(o.day);
        for (int h = 0; h < kHoursInDay; ++h) {
            hours[static_cast<std::size_t>(h)].addAll(o.hours[static_cast<std::size_t>(h)]);
        }
    }
};

// A plan's whole connections, each priced whole, added up in log order: the figures without a
// filter.
struct WholeSums {
    std::int64_t count = 0;
    std::int64_t time = 0;  // seconds, after the minimal length
    double uploaded = 0;
    double downloaded = 0;
    double cost = 0;
    double costError = 0;  // the compensation of the cost sum (Neumaier)

    void add(double c, std::int64_t seconds, double sent, double received) {
        ++count;
        time += seconds;
        uploaded += sent;
        downloaded += received;
        addCost(c);
    }
    void addCost(double c) {
        const double sum = cost + c;
        costError += std::abs(cost) >= std::abs(c) ? (cost - sum) + c : (c - sum) + cost;
        cost = sum;
    }
    // Another stretch of the log added after this one.
    void append(const WholeSums& later) {
        count += later.count;
        time += later.time;
        uploaded += later.uploaded;
        downloaded += later.downloaded;
        addCost(later.cost);
        addCost(later.costError);
    }
};

struct PlanBook {
    std::map<std::int64_t, DayBook> days;
    WholeSums whole;
    void addDays(const PlanBook& o) {
        for (const auto& [d, b] : o.days) {
            days[d].addAll(b);
        }
    }
};

// Local midnights, looked up once per day: the UTC moment a local day starts, and the local
// day of a moment. Any day of a 64-bit time; the days are kept in blocks of 512, so that the
// days of one stretch of a log are found at once.
class LocalDays {
  public:
    std::int64_t start(std::int64_t day) {
        const std::int64_t block = day >> kBlockBits;
        if (block != lastBlock_ || last_ == nullptr) {
            last_ = &blockOf(block);
            lastBlock_ = block;
        }
        std::int64_t& s = (*last_)[static_cast<std::size_t>(day & (kBlockDays - 1))];
        if (s == kUnknown) {
            s = localMidnight(day);
        }
        return s;
    }
    // The local day of a moment, and that day's start and the next day's.
    std::int64_t dayOf(std::int64_t utc) {
        if (utc >= dayStart_ && utc < nextStart_) {
            return day_;
        }
        return findDay(utc);
    }
    std::int64_t dayStart() const { return dayStart_; }  // of the day dayOf gave last
    std::int64_t nextStart() const { return nextStart_; }
    // The hours of a day: its length in hours begun, 1 to kHoursInDay.
    int hoursIn(std::int64_t day) {
        const std::int64_t len = day == day_ && nextStart_ > dayStart_
                                     ? nextStart_ - dayStart_
                                     : start(day + 1) - start(day);
        return static_cast<int>(std::clamp<std::int64_t>((len + 3599) / 3600, 1, kHoursInDay));
    }

  private:
    static constexpr int kBlockBits = 9;
    static constexpr std::int64_t kBlockDays = std::int64_t{1} << kBlockBits;
    static constexpr std::int64_t kUnknown = INT64_MIN;
    using Block = std::array<std::int64_t, kBlockDays>;
    Block& blockOf(std::int64_t block);
    static std::int64_t localMidnight(std::int64_t day);
    std::int64_t findDay(std::int64_t utc);

    std::unordered_map<std::int64_t, std::unique_ptr<Block>> blocks_;
    std::int64_t lastBlock_ = 0;
    Block* last_ = nullptr;
    // The day dayOf found last: [dayStart_, nextStart_) holds its moments.
    std::int64_t day_ = 0;
    std::int64_t dayStart_ = 0;
    std::int64_t nextStart_ = 0;
};

// A plan's days while a stretch of the log is counted: blocks of 32 days, each found once for
// the records of its days, instead of one look in a map per hour.
class DayTable {
  public:
    DayTable() = default;
    DayTable(DayTable&&) = default;
    DayTable& operator=(DayTable&&) = default;
    // The day's sums; a day asked for counts as a day of the book, as a day of a PlanBook does.
    DayBook& at(std::int64_t day) {
        const std::int64_t block = day >> kBlockBits;
        if (block != lastBlock_ || last_ == nullptr) {
            last_ = &blockOf(block);
            lastBlock_ = block;
        }
        const auto i = static_cast<std::size_t>(day & (kBlockDays - 1));
        last_->touched |= std::uint32_t{1} << i;
        return last_->days[i];
    }
    bool empty() const { return blocks_.empty(); }
    // Adds its days to the book's (each day's sums added to the book's, the days in order),
    // and empties itself.
    void moveInto(PlanBook& book);

  private:
    static constexpr int kBlockBits = 5;
    static constexpr std::int64_t kBlockDays = std::int64_t{1} << kBlockBits;
    struct Block {
        std::array<DayBook, kBlockDays> days{};
        std::uint32_t touched = 0;
    };
    Block& blockOf(std::int64_t block);

    std::unordered_map<std::int64_t, std::unique_ptr<Block>> blocks_;
    std::int64_t lastBlock_ = 0;
    Block* last_ = nullptr;
};

// Adds a placed connection to a plan's days and hours.
void addPlacement(PlanBook& book, const ConnectionPlacement& placed, LocalDays& days);
void addPlacement(DayTable& table, const ConnectionPlacement& placed, LocalDays& days);
// Adds a connection placed as one piece spread evenly (piece.to > piece.from), as
// addPlacement adds it.
void addEvenPiece(DayTable& table, const UsagePiece& piece, LocalDays& days);

}  // namespace tavu
