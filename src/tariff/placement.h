#pragma once

// Where a connection's seconds and bytes fell in time. The record's seconds and bytes are what
// the connection counts; its usage rows, when it has any, say where they fall, each row's share
// scaled so that the rows add up to the record. Without rows the record is spread evenly over
// its span. The totals, the buckets, the charts, the cost check and the metrics all place
// usage through placeConnection.

#include <cstdint>
#include <vector>

#include "tariff/tariff.h"
#include "usage/usage_source.h"

namespace tavu {

// A part of a connection's usage.
struct UsagePiece {
    std::int64_t from = 0;  // UTC seconds
    // from == to: all of it at that moment (a quarter-hour row); else spread evenly over
    // [from, to).
    std::int64_t to = 0;
    double time = 0;  // time online counted: the minimal length shared by seconds
    double uploaded = 0;
    double downloaded = 0;
    double roaming = 0;  // of those bytes, both ways, the ones used while roaming
    double timePrice = 0;
    double dataPrice = 0;
    // Whether the connection has at least one second here: only then it counts as a
    // connection of the stretch of time the piece falls in.
    bool present = false;
};

// A connection placed in time: its pieces in time order, or, for a record that cannot be placed
// (a date or time that is not real, a connection of no length), all of it at the local hour of
// its start date and time.
struct ConnectionPlacement {
    bool onStartDate = false;
    LogDate startDate;  // with onStartDate: the start date, its day brought into its month
    int startHour = 0;  // with onStartDate: the hour of its start, from local midnight
    UsagePiece whole;   // with onStartDate: all of it
    std::vector<UsagePiece> pieces;
};

// One priced record and its bytes: what placeConnection places.
struct PricedConnection {
    const Pricing* pricing = nullptr;
    const Tariff* tariff = nullptr;
    double sent = 0;
    double received = 0;
    std::int64_t startDate = 0;    // the start date as LogDate::daysSinceEpoch, for onStartDate
    LogDate date;                  // the start date as read
    std::int64_t startClock = -1;  // the start time in seconds since midnight; -1 when unreadable
};

// All of a placed connection spread evenly from its start to its end: the one piece of a
// connection without usage rows.
inline UsagePiece evenPiece(const Pricing& p, const Tariff& t, double sent, double received) {
    const double data = dataCost(t, sent + received);
    return UsagePiece{p.start,
                      p.start + p.duration,
                      static_cast<double>(p.minBilled),
                      sent,
                      received,
                      0,
                      p.cost - data,
                      data,
                      true};
}

// Places the connection; rows: its usage rows in time order, or null (none kept). False when
// it cannot be placed at all (no readable start date); out is then left empty.
bool placeConnection(const PricedConnection& c, const std::vector<UsageRow>* rows,
                     ConnectionPlacement& out);

}  // namespace tavu
