#include "ui/perf/traffic_graph.h"

#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <cstring>

namespace tavu {

CTrafficGraph::CTrafficGraph(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    clearImage();
}

bool CTrafficGraph::create(const QRect& rect, QWidget* parent) {
    setParent(parent);
    setGeometry(rect);
    setProperty("controlId", kControlId);
    show();
    return true;
}

void CTrafficGraph::clearImage() {
    image_ = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
    image_.fill(background());
}

void CTrafficGraph::setRange(std::uint32_t minimum, std::uint32_t maximum) {
    model_.setRange(minimum, maximum);
    clearImage();
    update();
}

std::uint32_t CTrafficGraph::addValue(std::uint32_t value) {
    const std::uint32_t before = model_.addValue(value);
    const int w = image_.width();
    const int h = image_.height();
    const int scroll = std::min(TrafficGraphModel::kScroll, w);
    const QRgb ground = background().rgb();
    const QRgb bar = barColour().rgb();
    const int top = h - model_.barHeight(h);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image_.scanLine(y));
        std::memmove(row, row + scroll, static_cast<std::size_t>(w - scroll) * sizeof(QRgb));
        for (int x = w - scroll; x < w; ++x) {
            const bool inBar = x < w - scroll + TrafficGraphModel::kBarWidth && y >= top;
            row[x] = inBar ? bar : ground;
        }
    }
    update();
    return before;
}

void CTrafficGraph::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, image_);
}

void CTrafficGraph::resizeEvent(QResizeEvent* event) {
    if (event->size() != image_.size()) {
        clearImage();
    }
    QWidget::resizeEvent(event);
}

}  // namespace tavu
