#pragma once

#include <QImage>
#include <QWidget>
#include <cstdint>

#include "monitor/traffic_graph_model.h"

namespace tavu {

// The scrolling bar graph: every new value moves the picture 4 pixels to the left and draws
// its bar in red in the left two pixels of the new column, on a dark grey ground. The picture
// is kept off the screen and painting only copies it.
class CTrafficGraph : public QWidget {
    Q_OBJECT

  public:
    static constexpr int kControlId = 100;
    static QColor background() { return QColor(50, 50, 50); }
    static QColor barColour() { return QColor(255, 0, 0); }

    explicit CTrafficGraph(QWidget* parent = nullptr);

    // Places the graph as a visible child of parent over rect.
    bool create(const QRect& rect, QWidget* parent);
    // Sets the value range and clears the picture to its ground.
    void setRange(std::uint32_t minimum, std::uint32_t maximum);
    // Adds a column for the value (clamped into the range); returns the value kept before.
    std::uint32_t addValue(std::uint32_t value);

    const QImage& image() const { return image_; }
    const TrafficGraphModel& model() const { return model_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void clearImage();

    TrafficGraphModel model_;
    QImage image_;
};

}  // namespace tavu
