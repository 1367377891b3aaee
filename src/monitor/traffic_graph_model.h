#pragma once

#include <cstdint>
#include <optional>

namespace tavu {

// One graph unit is 55 bytes in a second, so a full bar of 100 units is 5500 bytes or more.
inline constexpr std::int64_t kBytesPerGraphUnit = 55;

// Turns a byte counter into the values a traffic graph is fed: the counter divided by 55 less
// the previous quotient, both divisions truncating toward zero. The first counter after a reset
// only sets the previous quotient and steps 0, so a window opened in the middle of a connection
// does not begin with a false full bar.
class CounterSteps {
  public:
    // The step to the new counter value, as the graph's unsigned value: a counter that fell
    // (a new connection starts again from 0) gives the largest value and so a full bar.
    std::uint32_t next(std::int64_t counter);
    void reset() { previous_.reset(); }

    // A signed step seen as the graph sees it: negative steps and steps beyond 32 bits become
    // the largest unsigned value.
    static std::uint32_t asGraphValue(std::int64_t step);

  private:
    std::optional<std::int64_t> previous_;
};

// The scrolling bar graph without its picture: the value range, the current value and the
// height of the bar drawn for it. Every new value scrolls the picture by kScroll pixels; the
// bar fills the left kBarWidth pixels of the new column.
class TrafficGraphModel {
  public:
    static constexpr int kScroll = 4;
    static constexpr int kBarWidth = 2;

    // A range whose ends are given the wrong way round is turned the right way.
    void setRange(std::uint32_t minimum, std::uint32_t maximum);
    // Clamps the value into the range and keeps it; returns the value kept before.
    std::uint32_t addValue(std::uint32_t value);

    std::uint32_t minimum() const { return min_; }
    std::uint32_t maximum() const { return max_; }
    std::uint32_t value() const { return value_; }

    // The bar of the current value in a picture of the given height:
    // (value - minimum) / (maximum - minimum) x height, truncated; 0 for an empty range.
    int barHeight(int height) const;

  private:
    std::uint32_t min_ = 0;
    std::uint32_t max_ = 100;
    std::uint32_t value_ = 0;
};

}  // namespace tavu
