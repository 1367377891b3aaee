#include "ui/reports/usage_chart.h"

#include <QBarCategoryAxis>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QFont>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGraphicsLayout>
#include <QGraphicsScene>
#include <QLegend>
#include <QLineSeries>
#include <QPainter>
#include <QPalette>
#include <QPen>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

namespace tavu {

// Both between 0.16 and 0.30 in relative luminance: at least 3:1 against white and against
// the near-black and deep purple of dark themes.
const QColor ChartColours::kCostColour(220, 110, 20);
const QColor ChartColours::kDataColour(40, 130, 220);
const QColor ChartColours::kWarnColour(180, 120, 0);
const QColor ChartColours::kHangupColour(215, 45, 90);

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

// A chart on the window's background, without margins, animation or a legend of its own
// place: both charts start from it.
static QChart* blankChart(const ChartColours& colours) {
    auto* chart = new QChart;
    chart->setBackgroundBrush(colours.background);
    chart->setBackgroundRoundness(0);
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->legend()->setLabelColor(colours.text);
    chart->legend()->setAlignment(Qt::AlignBottom);
    return chart;
}

QChart* makeUsageChart(const UsageChartData& data, const ChartColours& colours) {
    QChart* chart = blankChart(colours);

    const int n = static_cast<int>(data.bars.size());
    auto* cost = new QBarSet(QStringLiteral("Cost"));
    auto* mb = new QBarSet(QStringLiteral("Data (MB)"));
    for (auto* set : {cost, mb}) {
        set->setColor(set == cost ? colours.cost : colours.data);
        set->setBorderColor(set == cost ? colours.cost : colours.data);
    }
    // At most 16 labels of a day's number, 10 of a day and month ("16.11"), 8 of a month
    // ("2026-11"), 5 of a period's first day ("2026-11-15"), the last bar's always among them.
    // Categories must differ from each other: labels left out are runs of zero-width spaces of
    // different lengths.
    std::size_t longest = 0;
    for (const UsageBar& bar : data.bars) {
        longest = std::max(longest, bar.label.size());
    }
    const int most = longest <= 2 ? 16 : longest <= 5 ? 10 : longest <= 7 ? 8 : 5;
    const int step = std::max(1, (n + most - 1) / most);
    // A label wider than its bar pair shows only between other bar pairs: with long labels an
    // empty category at each end keeps the first and last bars' labels in view.
    const bool padded = longest > 2 && n > 1;
    QStringList categories;
    double maxCost = 0, maxMb = 0;
    const auto pad = [&](int unique) {
        cost->append(0);
        mb->append(0);
        categories << QString(n + unique, QChar(0x200B));
    };
    if (padded) {
        pad(1);
    }
    for (int i = 0; i < n; ++i) {
        const UsageBar& bar = data.bars[static_cast<std::size_t>(i)];
        cost->append(bar.cost);
        mb->append(bar.megabytes);
        maxCost = std::max(maxCost, bar.cost);
        maxMb = std::max(maxMb, bar.megabytes);
        categories << ((n - 1 - i) % step == 0 ? QString::fromStdString(bar.label)
                                               : QString(i + 1, QChar(0x200B)));
    }
    if (padded) {
        pad(2);
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
    x->setTitleText(!data.monthly         ? QStringLiteral("Day")
                    : data.billingPeriods ? QStringLiteral("Period")
                                          : QStringLiteral("Month"));
    x->setTitleBrush(colours.text);
    if (n > 16) {
        QFont small = x->labelsFont();
        small.setPointSizeF(small.pointSizeF() * 0.8);
        x->setLabelsFont(small);
    }
    chart->addAxis(x, Qt::AlignBottom);
    QValueAxis* money = valueAxis(QStringLiteral("Cost"), colours, maxCost, "%.2f");
    QValueAxis* megabytes = valueAxis(QStringLiteral("MB"), colours, maxMb, "%.1f");
    megabytes->setGridLineVisible(false);
    chart->addAxis(money, Qt::AlignLeft);
    chart->addAxis(megabytes, Qt::AlignRight);
    costSeries->attachAxis(x);
    costSeries->attachAxis(money);
    dataSeries->attachAxis(x);
    dataSeries->attachAxis(megabytes);
    return chart;
}

namespace {

// A chart's fonts grown with the picture, so that a large picture reads as well as a small one.
void scaleFonts(QChart* chart, double factor) {
    if (factor <= 1.0) {
        return;
    }
    const auto grown = [factor](QFont f) {
        f.setPointSizeF(f.pointSizeF() * factor);
        return f;
    };
    chart->legend()->setFont(grown(chart->legend()->font()));
    const QMargins m = chart->margins();
    chart->setMargins(QMargins(qRound(m.left() * factor), qRound(m.top() * factor),
                               qRound(m.right() * factor), qRound(m.bottom() * factor)));
    for (QAbstractSeries* series : chart->series()) {
        if (auto* line = qobject_cast<QLineSeries*>(series)) {
            QPen pen = line->pen();
            pen.setWidthF(pen.widthF() * factor);
            line->setPen(pen);
        }
    }
    for (QAbstractAxis* axis : chart->axes()) {
        axis->setLabelsFont(grown(axis->labelsFont()));
        axis->setTitleFont(grown(axis->titleFont()));
    }
}

// The growth of the fonts for a picture of this size: 1 up to 800x480.
double fontFactor(QSize size) {
    return std::max(1.0, std::min(size.width() / 800.0, size.height() / 480.0));
}

QImage render(QChart* chart, const ChartColours& colours, QSize size, const QString& words) {
    QGraphicsScene scene;
    scene.addItem(chart);  // the scene owns it from here
    const double factor = fontFactor(size);
    scaleFonts(chart, factor);
    QFont font = chart->legend()->font();
    const QFontMetricsF metrics(font);
    // The words take a strip under the chart, a line and a half high.
    const double strip = words.isEmpty() ? 0 : std::ceil(metrics.height() * 1.8);
    chart->setGeometry(QRectF(0, 0, size.width(), size.height() - strip));
    scene.setSceneRect(QRectF(QPointF(0, 0), size));
    QImage image(size, QImage::Format_RGB32);
    image.fill(colours.background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    scene.render(&painter, QRectF(QPointF(0, 0), size), QRectF(QPointF(0, 0), size));
    if (!words.isEmpty()) {
        painter.setFont(font);
        painter.setPen(colours.text);
        const QRectF line(8, size.height() - strip, size.width() - 16, strip);
        painter.drawText(line, Qt::AlignCenter,
                         metrics.elidedText(words, Qt::ElideRight, line.width()));
    }
    painter.end();
    return image;
}

}  // namespace

QChart* makePeriodChart(const PeriodChartData& data, const ChartColours& colours) {
    QChart* chart = blankChart(colours);

    const double days = std::max(1, data.days);
    double top = data.usedMegabytes;
    top = std::max(top, data.projectedMegabytes.value_or(0));
    for (const DataCapLine& cap : data.caps) {
        top = std::max(top, cap.megabytes);
    }

    const auto line = [&](const QString& name, const QColor& colour, Qt::PenStyle style,
                          double width, const std::vector<ChartPoint>& points) {
        auto* series = new QLineSeries;
        series->setName(name);
        QPen pen(colour);
        pen.setWidthF(width);
        pen.setStyle(style);
        pen.setCapStyle(Qt::FlatCap);
        series->setPen(pen);
        for (const ChartPoint& p : points) {
            series->append(p.x, p.y);
        }
        chart->addSeries(series);
        return series;
    };
    std::vector<QLineSeries*> all;
    all.push_back(line(QStringLiteral("Used"), colours.data, Qt::SolidLine, 3, data.used));
    if (!data.projection.empty()) {
        all.push_back(
            line(QStringLiteral("Projected"), colours.data, Qt::DashLine, 2, data.projection));
    }
    for (const DataCapLine& cap : data.caps) {
        const bool warning = cap.name == "Warning";
        all.push_back(line(QString::fromStdString(cap.name) + QStringLiteral(" cap"),
                           warning ? colours.warn : colours.hangup,
                           warning ? Qt::DashDotLine : Qt::SolidLine, 2,
                           {{0, cap.megabytes}, {days, cap.megabytes}}));
    }

    // A label at a midnight every few days, the period's first and its end among them. Labels
    // of a category axis must differ: equal ones (the 1st at both ends) get zero-width spaces.
    auto* x = new QCategoryAxis;
    x->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    x->setStartValue(0);
    x->setRange(0, days);
    const int labels = static_cast<int>(data.dayLabels.size());
    std::size_t longest = 0;
    for (const std::string& l : data.dayLabels) {
        longest = std::max(longest, l.size());
    }
    const int most = longest <= 2 ? 16 : 11;
    const int step = std::max(1, (labels + most - 1) / most);
    std::vector<int> at;
    for (int i = 0; i < labels - 1; i += step) {
        at.push_back(i);
    }
    // The end's label always; one just before it would crowd it.
    if (at.size() > 1 && (labels - 1) - at.back() <= step / 2) {
        at.pop_back();
    }
    if (labels > 0) {
        at.push_back(labels - 1);
    }
    QStringList texts;
    for (const int i : at) {
        QString text = QString::fromStdString(data.dayLabels[static_cast<std::size_t>(i)]);
        while (texts.contains(text)) {
            text += QChar(0x200B);
        }
        texts << text;
        x->append(text, i);
    }
    x->setLabelsColor(colours.text);
    x->setGridLineColor(colours.grid);
    x->setLinePenColor(colours.grid);
    x->setTitleText(QStringLiteral("Day"));
    x->setTitleBrush(colours.text);
    chart->addAxis(x, Qt::AlignBottom);
    // Room on the right for half of the end's label, which stands at the plot's edge.
    if (!texts.isEmpty()) {
        const int half = QFontMetrics(x->labelsFont()).horizontalAdvance(texts.back()) / 2;
        chart->setMargins(QMargins(4, 4, 4 + half, 4));
    }
    chart->legend()->setMarkerShape(QLegend::MarkerShapeFromSeries);
    QValueAxis* megabytes = valueAxis(QStringLiteral("MB"), colours, top, "%.0f");
    chart->addAxis(megabytes, Qt::AlignLeft);
    for (QLineSeries* series : all) {
        series->attachAxis(x);
        series->attachAxis(megabytes);
    }
    return chart;
}

QImage renderUsageChart(const UsageChartData& data, const ChartColours& colours, QSize size) {
    return render(makeUsageChart(data, colours), colours, size, QString());
}

QImage renderPeriodChart(const PeriodChartData& data, const ChartColours& colours, QSize size) {
    return render(makePeriodChart(data, colours), colours, size,
                  QString::fromStdString(data.words));
}

}  // namespace tavu
