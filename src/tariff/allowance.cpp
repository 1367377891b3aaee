#include "tariff/allowance.h"

#include <algorithm>

namespace tavu {

double freeTimeValue(const Tariff& t, const std::string& freeText) {
    if (freeText == "00:00") {
        return 0;
    }
    const std::int64_t f = tariffTimeSeconds(freeText);
    return t.pricePerDial + t.costPerMinute * static_cast<double>(f / 60) +
           t.costPerMinute * (1.0 / 60.0) * static_cast<double>(f % 60);
}

Allowance Allowance::read(const SettingsStore& settings, const Tariff& tariff,
                          const PlanKeys& plan) {
    Allowance a;
    a.freeValue = freeTimeValue(tariff, freeMonthTimeText(settings, plan));
    a.freeMB = static_cast<double>(freeMonthMB(settings, plan));
    a.costPerMB = tariff.costPerMB;
    return a;
}

double freeDataValue(const Allowance& a, double bytes) {
    if (a.freeMB <= 0 || a.costPerMB == 0) {
        return 0;
    }
    return a.costPerMB * std::min(a.freeMB, bytes / 1e6);
}

PeriodFigures periodFigures(double grossCost, double bytes, bool anyConnection,
                            const Allowance& allowance, const BillingPeriod& period,
                            const LocalDateTime& now) {
    PeriodFigures f;
    if (!anyConnection) {
        // Nothing counted: nothing to take the free allowances from, nothing to carry on.
        f.cost = grossCost;
        f.projectedCost = 0.0;
        f.projectedData = 0.0;
        return f;
    }
    f.cost = grossCost - allowance.freeValue - freeDataValue(allowance, bytes);
    const double pace = static_cast<double>(period.lengthSeconds()) /
                        static_cast<double>(period.elapsedSeconds(now));
    const double data = bytes * pace;
    f.projectedCost = grossCost * pace - allowance.freeValue - freeDataValue(allowance, data);
    f.projectedData = data;
    return f;
}

}  // namespace tavu
