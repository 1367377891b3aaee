#include "ui/perf/traffic_graph.h"

#include <gtest/gtest.h>

#include <QWidget>

namespace tavu {
namespace {

const QRgb kGround = qRgb(50, 50, 50);
const QRgb kRed = qRgb(255, 0, 0);

// Red pixels in column x, from the bottom up while they last.
int redRun(const QImage& img, int x) {
    int n = 0;
    for (int y = img.height() - 1; y >= 0 && img.pixel(x, y) == kRed; --y) {
        ++n;
    }
    return n;
}

class GraphDrawing : public testing::Test {
  protected:
    GraphDrawing() {
        graph = new CTrafficGraph;
        graph->create(QRect(10, 10, 40, 20), &parent);
        graph->setRange(0, 100);
    }
    QWidget parent;
    CTrafficGraph* graph;
};

TEST_F(GraphDrawing, NewColumnHasTheBarInItsLeftTwoPixels) {
    const QImage& img = graph->image();
    ASSERT_EQ(img.size(), QSize(40, 20));
    EXPECT_FALSE(graph->isHidden());
    EXPECT_EQ(graph->property("controlId").toInt(), 100);
    for (int x : {0, 39}) {
        EXPECT_EQ(img.pixel(x, 19), kGround);
    }

    graph->addValue(50);
    EXPECT_EQ(redRun(img, 36), 10);
    EXPECT_EQ(redRun(img, 37), 10);
    EXPECT_EQ(img.pixel(36, 9), kGround) << "only half the height";
    EXPECT_EQ(img.pixel(38, 19), kGround) << "the right two pixels stay ground";
    EXPECT_EQ(img.pixel(39, 19), kGround);
    EXPECT_EQ(img.pixel(35, 19), kGround);
}

TEST_F(GraphDrawing, ScrollsByFourPixelsAndClamps) {
    const QImage& img = graph->image();
    graph->addValue(0xFFFFFFFFu);  // a fallen counter: a full bar
    EXPECT_EQ(redRun(img, 36), 20);
    graph->addValue(0);
    EXPECT_EQ(redRun(img, 32), 20) << "the full bar moved 4 pixels to the left";
    EXPECT_EQ(redRun(img, 33), 20);
    EXPECT_EQ(redRun(img, 36), 0) << "a value of 0 draws no bar";
    for (int i = 0; i < 8; ++i) {
        graph->addValue(0);
    }
    EXPECT_EQ(redRun(img, 0), 20) << "nine columns later the bar is at the left edge";
    EXPECT_EQ(redRun(img, 1), 20);
    graph->addValue(0);
    for (int x = 0; x < 40; ++x) {
        EXPECT_EQ(redRun(img, x), 0) << "one more column and it has left the picture";
    }
}

TEST_F(GraphDrawing, SetRangeClearsAndPaintingCopiesThePicture) {
    graph->addValue(100);
    QImage shot(graph->size(), QImage::Format_RGB32);
    graph->render(&shot);
    EXPECT_EQ(shot.pixel(36, 19), kRed);
    EXPECT_EQ(shot.pixel(36, 0), kRed);
    EXPECT_EQ(shot.pixel(20, 19), kGround);

    graph->setRange(0, 100);
    EXPECT_EQ(graph->image().pixel(36, 19), kGround);
}

}  // namespace
}  // namespace tavu
