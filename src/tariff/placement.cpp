#include "tariff/placement.h"

#include <algorithm>

namespace tavu {

namespace {

std::int64_t daysInMonth(std::int64_t month, std::int64_t year) {
    const std::int64_t next = month == 12 ? LogDate{1, 1, year + 1}.daysSinceEpoch()
                                          : LogDate{1, month + 1, year}.daysSinceEpoch();
    return next - LogDate{1, month, year}.daysSinceEpoch();
}

}  // namespace

bool placeConnection(const PricedConnection& c, const std::vector<UsageRow>* rows,
                     ConnectionPlacement& out) {
    out.pieces.clear();
    out.onStartDate = false;
    const Pricing& p = *c.pricing;
    const Tariff& t = *c.tariff;
    const double bytes = c.sent + c.received;
    const double timePrice = p.cost - dataCost(t, bytes);
    const auto minBilled = static_cast<double>(p.minBilled);
    if (!p.placed || p.duration <= 0) {
        // Wholly on its start date, in the hour of its start.
        const LogDate d = c.date;
        if (d.month < 1 || d.month > 12 || d.year < 1970) {
            return false;
        }
        out.onStartDate = true;
        out.startDate = LogDate{std::clamp<std::int64_t>(d.day, 1, daysInMonth(d.month, d.year)),
                                d.month, d.year};
        out.startHour =
            c.startClock >= 0 && c.startClock < 86400 ? static_cast<int>(c.startClock / 3600) : 0;
        out.whole =
            UsagePiece{0, 0, minBilled, c.sent, c.received, 0, timePrice, p.cost - timePrice, true};
        return true;
    }
    std::int64_t rowSeconds = 0;
    double rowUp = 0;
    double rowDown = 0;
    if (rows != nullptr) {
        for (const UsageRow& r : *rows) {
            rowSeconds += std::max<std::int64_t>(0, r.seconds);
            rowUp += static_cast<double>(std::max<std::int64_t>(0, r.uploaded));
            rowDown += static_cast<double>(std::max<std::int64_t>(0, r.downloaded));
        }
    }
    if (rows == nullptr || rows->empty() || rowSeconds <= 0) {
        // Evenly from start to end.
        out.pieces.push_back(evenPiece(p, t, c.sent, c.received));
        return true;
    }
    // The rows say where the record's seconds and bytes fell: each row's part of the rows'
    // seconds (or bytes) is its part of the record's.
    for (const UsageRow& r : *rows) {
        const double share = static_cast<double>(std::max<std::int64_t>(0, r.seconds)) /
                             static_cast<double>(rowSeconds);
        const auto up = static_cast<double>(std::max<std::int64_t>(0, r.uploaded));
        const auto down = static_cast<double>(std::max<std::int64_t>(0, r.downloaded));
        UsagePiece piece;
        piece.from = piece.to = r.quarter;
        piece.time = minBilled * share;
        piece.uploaded = rowUp > 0 ? c.sent * (up / rowUp) : c.sent * share;
        piece.downloaded = rowDown > 0 ? c.received * (down / rowDown) : c.received * share;
        const double rowBytes = up + down;
        const double placed = piece.uploaded + piece.downloaded;
        piece.roaming =
            rowBytes > 0
                ? placed * std::min(1.0, static_cast<double>(std::max<std::int64_t>(0, r.roaming)) /
                                             rowBytes)
                : 0;
        piece.timePrice = timePrice * share;
        piece.dataPrice = dataCost(t, placed, piece.roaming);
        piece.present = r.seconds > 0;
        if (piece.time == 0 && placed == 0 && !piece.present) {
            continue;
        }
        out.pieces.push_back(piece);
    }
    return true;
}

}  // namespace tavu
