#pragma once

// The free time and data of a billing period, and the projection to its end: the one place
// each is worked out.

#include <optional>
#include <string>

#include "tariff/billing_period.h"
#include "tariff/tariff.h"

namespace tavu {

class SettingsStore;

// The value of the free time of a period (FreeMonthTime): one dial plus its minutes at the
// normal rate; 0 when it is "00:00".
double freeTimeValue(const Tariff& tariff, const std::string& freeText);

// A plan's free allowances, as the settings give them.
struct Allowance {
    double freeValue = 0;  // of the free time, see freeTimeValue
    double freeMB = 0;     // free megabytes (of 1,000,000 bytes)
    double costPerMB = 0;  // the price they are worth
    static Allowance read(const SettingsStore& settings, const Tariff& tariff,
                          const PlanKeys& plan);
};

// The price of the free data within `bytes`: their megabytes at the data price, up to the free
// ones.
double freeDataValue(const Allowance& a, double bytes);

// What a billing period's figures so far come to, and their projection: the period's cost
// (gross, before the free time and data) and bytes, the free allowances taken off once, and
// (when asked) the pace so far carried on to the period's end: cost and data scaled by the
// period's length over the time since its start, priced, the free allowances taken off once
// from the scaled figures. Nothing is projected with no connection counted.
struct PeriodFigures {
    double cost = 0;
    std::optional<double> projectedCost;
    std::optional<double> projectedData;
};
PeriodFigures periodFigures(double grossCost, double bytes, bool anyConnection,
                            const Allowance& allowance, const BillingPeriod& period,
                            const LocalDateTime& now);

}  // namespace tavu
