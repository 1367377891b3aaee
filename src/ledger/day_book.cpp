#include "ledger/day_book.h"

#include <algorithm>

#include "core/clock.h"

namespace tavu {

LocalDays::Block& LocalDays::blockOf(std::int64_t block) {
    std::unique_ptr<Block>& b = blocks_[block];
    if (b == nullptr) {
        b = std::make_unique<Block>();
        b->fill(kUnknown);
    }
    return *b;
}

std::int64_t LocalDays::localMidnight(std::int64_t day) {
    return tavu::localMidnight(day);
}

std::int64_t LocalDays::findDay(std::int64_t utc) {
    std::int64_t d = utc >= 0 ? utc / 86400 : -((-utc + 86399) / 86400);
    // Local offsets lie within a day of UTC: a step or two finds the day.
    for (int step = 0; step < 4 && utc < start(d); ++step) {
        --d;
    }
    for (int step = 0; step < 4 && utc >= start(d + 1); ++step) {
        ++d;
    }
    // The moments of the day's span are its moments, found at once from now on: midnights
    // never go back in any zone's rules (a day a zone skipped has none), so no other day holds
    // them.
    const std::int64_t from = start(d);
    const std::int64_t to = start(d + 1);
    if (utc >= from && utc < to) {
        day_ = d;
        dayStart_ = from;
        nextStart_ = to;
    }
    return d;
}

namespace {

[[gnu::always_inline]] inline void addShare(Amounts& a, const UsagePiece& p, double share) {
    a.time += p.time * share;
    a.uploaded += p.uploaded * share;
    a.downloaded += p.downloaded * share;
    a.roaming += p.roaming * share;
    a.timePrice += p.timePrice * share;
    a.dataPrice += p.dataPrice * share;
}

struct Slot {
    std::int64_t day = 0;
    int hour = 0;
    bool operator<(const Slot& o) const { return day != o.day ? day < o.day : hour < o.hour; }
};

// A plan's book as the days counted in.
struct BookDays {
    PlanBook& book;
    DayBook& at(std::int64_t day) { return book.days[day]; }
};

template <typename Days>
class Adder {
  public:
    Adder(Days& book, LocalDays& days) : book_(book), days_(days) {}

    [[gnu::always_inline]] DayBook& at(std::int64_t day) {
        if (last_ == nullptr || lastDay_ != day) {
            last_ = &book_.at(day);
            lastDay_ = day;
        }
        return *last_;
    }
    [[gnu::always_inline]] void add(Slot s, const UsagePiece& p, double share, bool present) {
        DayBook& b = at(s.day);
        addShare(b.day, p, share);
        addShare(b.hours[static_cast<std::size_t>(s.hour)], p, share);
        if (present) {
            if (!any_ || s < first_) {
                first_ = s;
            }
            if (!any_ || last_s_ < s) {
                last_s_ = s;
            }
            any_ = true;
        }
    }
    // The connection counts where it was first seen, and is carried into every later hour
    // and day until its last one.
    [[gnu::always_inline]] void finish() {
        if (!any_) {
            return;
        }
        DayBook& f = at(first_.day);
        f.day.first += 1;
        f.hours[static_cast<std::size_t>(first_.hour)].first += 1;
        if (!(first_ < last_s_)) {
            return;  // one hour: carried nowhere
        }
        Slot s = first_;
        int hours = days_.hoursIn(s.day);
        for (;;) {
            // The next hour.
            ++s.hour;
            if (s.hour >= hours) {
                s.hour = 0;
                ++s.day;
                hours = days_.hoursIn(s.day);
            }
            if (last_s_ < s) {
                break;
            }
            DayBook& b = at(s.day);
            b.hours[static_cast<std::size_t>(s.hour)].carried += 1;
            if (s.hour == 0) {
                b.day.carried += 1;
            }
        }
    }
    Slot slotOf(std::int64_t utc) {
        const std::int64_t d = days_.dayOf(utc);
        const std::int64_t h = (utc - days_.start(d)) / 3600;
        return Slot{d, static_cast<int>(std::clamp<std::int64_t>(h, 0, kHoursInDay - 1))};
    }
    // Evenly over [from, to), hour by hour.
    [[gnu::always_inline]] void spread(const UsagePiece& p) {
        const auto length = static_cast<double>(p.to - p.from);
        std::int64_t t = p.from;
        while (t < p.to) {
            const std::int64_t d = days_.dayOf(t);
            std::int64_t dayStart;
            std::int64_t nextStart;
            if (t >= days_.dayStart() && t < days_.nextStart()) {
                dayStart = days_.dayStart();
                nextStart = days_.nextStart();
            } else {
                dayStart = days_.start(d);
                nextStart = days_.start(d + 1);
            }
            const Slot s{d, static_cast<int>(std::clamp<std::int64_t>((t - dayStart) / 3600, 0,
                                                                      kHoursInDay - 1))};
            const std::int64_t hourEnd =
                std::min(nextStart, dayStart + (s.hour + 1) * std::int64_t{3600});
            const std::int64_t next = std::min(p.to, std::max(hourEnd, t + 1));
            add(s, p, static_cast<double>(next - t) / length, p.present);
            t = next;
        }
    }

  private:
    Days& book_;
    LocalDays& days_;
    DayBook* last_ = nullptr;
    std::int64_t lastDay_ = 0;
    bool any_ = false;
    Slot first_;
    Slot last_s_;
};

template <typename Days>
void place(Days& book, const ConnectionPlacement& placed, LocalDays& days) {
    Adder<Days> adder(book, days);
    if (placed.onStartDate) {
        adder.add(Slot{placed.startDate.daysSinceEpoch(), placed.startHour}, placed.whole, 1.0,
                  true);
        adder.finish();
        return;
    }
    for (const UsagePiece& p : placed.pieces) {
        if (p.to <= p.from) {
            adder.add(adder.slotOf(p.from), p, 1.0, p.present);
            continue;
        }
        adder.spread(p);
    }
    adder.finish();
}

}  // namespace

void addPlacement(PlanBook& book, const ConnectionPlacement& placed, LocalDays& days) {
    BookDays d{book};
    place(d, placed, days);
}

void addPlacement(DayTable& table, const ConnectionPlacement& placed, LocalDays& days) {
    place(table, placed, days);
}

void addEvenPiece(DayTable& table, const UsagePiece& piece, LocalDays& days) {
    Adder<DayTable> adder(table, days);
    adder.spread(piece);
    adder.finish();
}

DayTable::Block& DayTable::blockOf(std::int64_t block) {
    std::unique_ptr<Block>& b = blocks_[block];
    if (b == nullptr) {
        b = std::make_unique<Block>();
    }
    return *b;
}

void DayTable::moveInto(PlanBook& book) {
    std::vector<std::int64_t> order;
    order.reserve(blocks_.size());
    for (const auto& [block, b] : blocks_) {
        order.push_back(block);
    }
    std::sort(order.begin(), order.end());
    auto hint = book.days.end();
    for (const std::int64_t block : order) {
        const Block& b = *blocks_[block];
        for (std::int64_t i = 0; i < kBlockDays; ++i) {
            if ((b.touched & (std::uint32_t{1} << i)) == 0) {
                continue;
            }
            hint = book.days.try_emplace(hint, block * kBlockDays + i);
            hint->second.addAll(b.days[static_cast<std::size_t>(i)]);
            ++hint;
        }
    }
    blocks_.clear();
    last_ = nullptr;
}

}  // namespace tavu
