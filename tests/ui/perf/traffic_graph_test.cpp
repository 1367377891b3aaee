#include "ui/perf/traffic_graph.h"

#include <gtest/gtest.h>

#include <QWidget>

namespace tavu {
namespace {

const QRgb kGround = qRgb(50, 50, 50);
const QRgb kRed = qRgb(255, 0, 0);

// A graph of 40 x 20 pixels, range 0..100, fed from a byte counter as the window feeds it.
class GraphDrawing : public testing::Test {
  protected:
    GraphDrawing() {
        graph = new CTrafficGraph;
        graph->create(QRect(10, 10, 40, 20), &parent);
        graph->setRange(0, 100);
    }
    void feed(std::int64_t counter) { graph->addValue(steps.next(counter)); }
    // The red pixels of column x, from the bottom up.
    int bar(int x) const {
        int n = 0;
        while (n < 20 && graph->image().pixel(x, 19 - n) == kRed) {
            ++n;
        }
        return n;
    }
    QWidget parent;
    CTrafficGraph* graph;
    CounterSteps steps;
};

TEST_F(GraphDrawing, BarsFromTheByteCounter) {
    feed(55000);
    EXPECT_EQ(bar(36), 0) << "the first value after opening draws no false bar";
    feed(60500);
    EXPECT_EQ(bar(36), 20) << "5500 bytes in a second: a full bar";
    EXPECT_EQ(bar(37), 20);
    EXPECT_EQ(bar(38), 0) << "the bar fills only the left two pixels of the new column";
    EXPECT_EQ(graph->image().pixel(39, 19), kGround);
    feed(60554);
    EXPECT_EQ(bar(36), 0) << "54 bytes truncate to no bar";
    EXPECT_EQ(bar(32), 20) << "the previous column moved 4 pixels to the left";
    feed(60500 + 55 * 50);
    EXPECT_EQ(bar(36), 10) << "half the range, half the height";
    feed(300);
    EXPECT_EQ(bar(36), 20) << "a fallen counter (a new connection) draws a full bar";
}

TEST_F(GraphDrawing, ScrollsOutAndPaintsFromThePicture) {
    EXPECT_EQ(graph->addValue(500), 0u) << "returns the value kept before";
    EXPECT_EQ(graph->model().value(), 100u) << "clamped into the range";
    QImage shot(graph->size(), QImage::Format_RGB32);
    graph->render(&shot);
    EXPECT_EQ(shot.pixel(36, 0), kRed);
    EXPECT_EQ(shot.pixel(20, 19), kGround);
    for (int i = 0; i < 9; ++i) {
        graph->addValue(0);
    }
    EXPECT_EQ(bar(0), 20);
    graph->addValue(0);
    for (int x = 0; x < 40; ++x) {
        ASSERT_EQ(bar(x), 0) << "ten columns later the bar has left the picture";
    }
    EXPECT_EQ(graph->property("controlId").toInt(), 100);
    EXPECT_FALSE(graph->isHidden());
}

}  // namespace
}  // namespace tavu
