#include "monitor/traffic_graph_model.h"

#include <gtest/gtest.h>

#include <limits>

namespace tavu {
namespace {

constexpr auto kU32Max = std::numeric_limits<std::uint32_t>::max();

// The graph as the performance window feeds it: range 0..100, 40 pixels high.
int barFor(CounterSteps& steps, std::int64_t counter) {
    TrafficGraphModel graph;
    graph.setRange(0, 100);
    graph.addValue(steps.next(counter));
    return graph.barHeight(40);
}

TEST(TrafficGraphArithmetic, StepsFromTheByteCounter) {
    CounterSteps steps;
    EXPECT_EQ(steps.next(55000), 0u) << "the first value after opening only sets the quotient";
    EXPECT_EQ(steps.next(60500), 100u);
    EXPECT_EQ(steps.next(60554), 0u) << "54 / 55 truncates to 0";
    EXPECT_EQ(steps.next(60555), 1u);
    EXPECT_EQ(steps.next(60554), kU32Max) << "a fallen counter is a huge unsigned step";

    // Counters beyond 32 bits step by their true difference.
    CounterSteps big;
    big.next(5'000'000'000);
    EXPECT_EQ(big.next(5'000'000'000 + 55 * 7), 7u);
    EXPECT_EQ(CounterSteps::asGraphValue(std::int64_t{1} << 40), kU32Max);

    steps.reset();
    EXPECT_EQ(steps.next(10), 0u) << "after a reset the next value is a first value again";
}

TEST(TrafficGraphArithmetic, BarHeights) {
    {
        CounterSteps s;
        barFor(s, 55000);
        EXPECT_EQ(barFor(s, 60500), 40) << "5500 bytes in a second: a full bar";
    }
    {
        CounterSteps s;
        EXPECT_EQ(barFor(s, 55000), 0) << "no false bar for the first value";
        EXPECT_EQ(barFor(s, 55054), 0);
    }
    {
        CounterSteps s;
        barFor(s, 1'000'000);
        EXPECT_EQ(barFor(s, 300), 40) << "a new connection's counter fell: a full bar";
    }
    TrafficGraphModel g;
    g.setRange(0, 100);
    EXPECT_EQ(g.addValue(33), 0u);
    EXPECT_EQ(g.barHeight(40), 13) << "33% of 40 pixels, truncated";
    EXPECT_EQ(g.addValue(500), 33u) << "addValue returns the value kept before";
    EXPECT_EQ(g.value(), 100u);

    g.setRange(20, 10);  // given the wrong way round
    EXPECT_EQ(g.minimum(), 10u);
    EXPECT_EQ(g.maximum(), 20u);
    g.addValue(0);
    EXPECT_EQ(g.value(), 10u) << "below the minimum becomes the minimum";
    g.setRange(5, 5);
    g.addValue(7);
    EXPECT_EQ(g.barHeight(40), 0) << "an empty range draws nothing";
}

}  // namespace
}  // namespace tavu
