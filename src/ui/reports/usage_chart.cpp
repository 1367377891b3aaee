#include "ui/reports/usage_chart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QGraphicsScene>
#include <QPainter>
#include <QPalette>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace tavu {

// Both between 0.16 and 0.30 in relative luminance: at least 3:1 against white and against
// the near-black and deep purple of dark themes.
const QColor ChartColours::kCostColour(220, 110, 20);
const QColor ChartColours::kDataColour(40, 130, 220);

namespace {

double luminance(const QColor& c) {
    const auto channel = [](double v) {
        return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

QColor blend(const QColor& a, const QColor& b, double share) {
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - share) + b.redF() * share),
                            static_cast<float>(a.greenF() * (1 - share) + b.greenF() * share),
                            static_cast<float>(a.blueF() * (1 - share) + b.blueF() * share));
}

QValueAxis* valueAxis(const QString& title, const ChartColours& colours, double max,
                      const char* format) {
    auto* axis = new QValueAxis;
    axis->setTitleText(title);
    axis->setTitleBrush(colours.text);
    axis->setLabelsColor(colours.text);
    axis->setGridLineColor(colours.grid);
    axis->setLinePenColor(colours.grid);
    axis->setRange(0, max > 0 ? max * 1.1 : 1);
    axis->setLabelFormat(QString::fromLatin1(format));
    axis->applyNiceNumbers();
    return axis;
}

// A series of one set. The bars of the chart's two series stand side by side in each category,
// each series against its own axis.
QBarSeries* seriesOf(QBarSet* set) {
    auto* series = new QBarSeries;
    series->append(set);
    series->setBarWidth(0.9);
    return series;
}

}  // namespace

double contrastRatio(const QColor& a, const QColor& b) {
    const double la = luminance(a) + 0.05;
    const double lb = luminance(b) + 0.05;
    return std::max(la, lb) / std::min(la, lb);
}

ChartColours ChartColours::fromPalette(const QPalette& palette) {
    ChartColours c;
    c.background = palette.color(QPalette::Window);
    c.text = palette.color(QPalette::WindowText);
    if (contrastRatio(c.text, c.background) < 4.5) {
        // A palette whose text barely differs from its face: take the extreme that reads.
        c.text = luminance(c.background) > 0.18 ? QColor(Qt::black) : QColor(Qt::white);
    }
    c.grid = blend(c.background, c.text, 0.25);
    return c;
}

ChartColours ChartColours::light() {
    QPalette p;
    p.setColor(QPalette::Window, Qt::white);
    p.setColor(QPalette::WindowText, QColor(30, 30, 30));
    return fromPalette(p);
}

QChart* makeUsageChart(const UsageChartData& data, const ChartColours& colours) {
    auto* chart = new QChart;
    chart->setBackgroundBrush(colours.background);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setLabelColor(colours.text);
    chart->legend()->setAlignment(Qt::AlignBottom);

    const int n = static_cast<int>(data.bars.size());
    auto* cost = new QBarSet(QStringLiteral("Cost"));
    auto* mb = new QBarSet(QStringLiteral("Data (MB)"));
    for (auto* set : {cost, mb}) {
        set->setColor(set == cost ? colours.cost : colours.data);
        set->setBorderColor(set == cost ? colours.cost : colours.data);
    }
    // At most 16 labels of a day's number, 10 of longer ones ("16.11", "2026-11"), the last
    // bar's always among them. Categories must differ from each other: labels left out are
    // runs of zero-width spaces of different lengths.
    std::size_t longest = 0;
    for (const UsageBar& bar : data.bars) {
        longest = std::max(longest, bar.label.size());
    }
    const int most = longest <= 2 ? 16 : 10;
    const int step = std::max(1, (n + most - 1) / most);
    QStringList categories;
    double maxCost = 0, maxMb = 0;
    for (int i = 0; i < n; ++i) {
        const UsageBar& bar = data.bars[static_cast<std::size_t>(i)];
        cost->append(bar.cost);
        mb->append(bar.megabytes);
        maxCost = std::max(maxCost, bar.cost);
        maxMb = std::max(maxMb, bar.megabytes);
        categories << ((n - 1 - i) % step == 0 ? QString::fromStdString(bar.label)
                                               : QString(i + 1, QChar(0x200B)));
    }
    QBarSeries* costSeries = seriesOf(cost);
    QBarSeries* dataSeries = seriesOf(mb);
    chart->addSeries(costSeries);
    chart->addSeries(dataSeries);

    auto* x = new QBarCategoryAxis;
    x->append(categories.isEmpty() ? QStringList{QString()} : categories);
    x->setLabelsColor(colours.text);
    x->setGridLineVisible(false);
    // The labels left out give the others room: a label may be wider than its own bar pair.
    x->setTruncateLabels(false);
    x->setLinePenColor(colours.grid);
    x->setTitleText(data.monthly ? QStringLiteral("Month") : QStringLiteral("Day"));
    x->setTitleBrush(colours.text);
    if (n > 16) {
        QFont small = x->labelsFont();
        small.setPointSizeF(small.pointSizeF() * 0.8);
        x->setLabelsFont(small);
    }
    chart->addAxis(x, Qt::AlignBottom);
    QValueAxis* price = valueAxis(QStringLiteral("Price"), colours, maxCost, "%.2f");
    QValueAxis* megabytes = valueAxis(QStringLiteral("MB"), colours, maxMb, "%.1f");
    megabytes->setGridLineVisible(false);
    chart->addAxis(price, Qt::AlignLeft);
    chart->addAxis(megabytes, Qt::AlignRight);
    costSeries->attachAxis(x);
    costSeries->attachAxis(price);
    dataSeries->attachAxis(x);
    dataSeries->attachAxis(megabytes);
    return chart;
}

QImage renderUsageChart(const UsageChartData& data, const ChartColours& colours, QSize size) {
    QGraphicsScene scene;
    QChart* chart = makeUsageChart(data, colours);
    scene.addItem(chart);  // the scene owns it from here
    chart->setGeometry(QRectF(QPointF(0, 0), size));
    scene.setSceneRect(QRectF(QPointF(0, 0), size));
    QImage image(size, QImage::Format_RGB32);
    image.fill(colours.background);
    QPainter painter(&image);
    scene.render(&painter, QRectF(QPointF(0, 0), size), QRectF(QPointF(0, 0), size));
    painter.end();
    return image;
}

}  // namespace tavu
