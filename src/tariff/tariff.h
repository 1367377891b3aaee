#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "log/log_date.h"
#include "tariff/plan.h"

namespace tavu {

class SettingsStore;

// The rates of the tariff, read afresh for every record priced.
struct Tariff {
    double pricePerDial = 0;
    double costPerMinute = 0;
    double cheapCostPerMinute = 0;
    std::int64_t cheapStart = 0;  // seconds since midnight
    std::int64_t cheapEnd = 0;
    bool cheapSaturday = false;
    bool cheapSunday = false;
    double costPerMB = 0;  // per 1,000,000 bytes sent or received
    // per 1,000,000 bytes used while roaming; CostPerMB when RoamingCostPerMB is not set
    double roamingCostPerMB = 0;

    // The default plan's rates lie in section Price, its weekend flags in Settings.
    static Tariff read(const SettingsStore& settings, const PlanKeys& plan = {});
};

// Minimal length and billing block, read once per pricing run.
struct BillingRules {
    std::int64_t minLength = 0;  // seconds
    bool blocks = false;         // ConnectionBlock is not exactly "00:00"
    std::int64_t block = 0;      // seconds

    static BillingRules read(const SettingsStore& settings, const PlanKeys& plan = {});
};

// The result of pricing one log record.
struct Pricing {
    std::int64_t duration = 0;   // seconds online
    std::int64_t minBilled = 0;  // duration raised to the minimal length
    std::int64_t billed = 0;     // minBilled rounded up to whole blocks
    bool cheap = false;
    double cost = 0;  // the time price plus the data price, not rounded
    // Whether the record lies in time: both dates and times are real and the end does not come
    // before the start. Then start is its first moment (seconds since the epoch, UTC) and
    // duration the seconds it lasted.
    bool placed = false;
    std::int64_t start = 0;
};

// The free time of each billing period as stored (FreeMonthTime, "00:00" when absent) and its
// free megabytes (FreeMonthMB, at least 0).
std::string freeMonthTimeText(const SettingsStore& settings, const PlanKeys& plan = {});
int freeMonthMB(const SettingsStore& settings, const PlanKeys& plan = {});

// The price of the bytes a connection sent and received.
double dataCost(const Tariff& tariff, double bytes);
// The same when roamingBytes of them were used while roaming: those at RoamingCostPerMB.
double dataCost(const Tariff& tariff, double bytes, double roamingBytes);

// A time text of the tariff in seconds: "HH:MM" gives hours from its first two and minutes from
// its last two characters; a text without a colon is a number of minutes ("5" is 300 s).
std::int64_t tariffTimeSeconds(std::string_view text);

// The ten-decimal whole-ratio test of the billing blocks, as text.
bool ratioIsWhole(double ratio);

// bytes: the record's bytes sent and received together.
Pricing priceRecord(std::string_view startDate, std::string_view startTime,
                    std::string_view endDate, std::string_view endTime, const Tariff& tariff,
                    const BillingRules& rules, double bytes = 0);

// The same price from the record's dates and clock times as read (readLogDate, readLogClock).
Pricing priceRead(const DateRead& startDate, ClockRead startTime, const DateRead& endDate,
                  ClockRead endTime, const Tariff& tariff, const BillingRules& rules, double bytes);

}  // namespace tavu
