#include "monitor/traffic_graph_model.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace tavu {

std::uint32_t CounterSteps::asGraphValue(std::int64_t step) {
    constexpr auto kMax = std::numeric_limits<std::uint32_t>::max();
    if (step < 0 || step > static_cast<std::int64_t>(kMax)) {
        return kMax;
    }
    return static_cast<std::uint32_t>(step);
}

std::uint32_t CounterSteps::next(std::int64_t counter) {
    const std::int64_t quotient = counter / kBytesPerGraphUnit;
    const std::int64_t previous = previous_.value_or(quotient);
    previous_ = quotient;
    // Both quotients lie within ±2^63 / 55, so their difference cannot overflow.
    return asGraphValue(quotient - previous);
}

void TrafficGraphModel::setRange(std::uint32_t minimum, std::uint32_t maximum) {
    if (maximum < minimum) {
        std::swap(minimum, maximum);
    }
    min_ = minimum;
    max_ = maximum;
    value_ = std::clamp(value_, min_, max_);
}

std::uint32_t TrafficGraphModel::addValue(std::uint32_t value) {
    const std::uint32_t before = value_;
    value_ = std::clamp(value, min_, max_);
    return before;
}

int TrafficGraphModel::barHeight(int height) const {
    if (max_ == min_ || height <= 0) {
        return 0;
    }
    const double share = static_cast<double>(value_ - min_) / static_cast<double>(max_ - min_);
    return std::clamp(static_cast<int>(share * height), 0, height);
}

}  // namespace tavu
