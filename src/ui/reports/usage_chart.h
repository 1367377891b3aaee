#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

#include "reports/usage_chart_data.h"

class QChart;
class QPalette;

namespace tavu {

// The chart's colours. The background and the text follow the window's palette, so the chart
// reads on a dark and on a light theme; the bars have fixed colours that stand out from both.
struct ChartColours {
    QColor background;
    QColor text;
    QColor grid;
    QColor cost = kCostColour;
    QColor data = kDataColour;

    static ChartColours fromPalette(const QPalette& palette);
    // Dark text on white: the colours of the chart drawn into a file.
    static ChartColours light();

    static const QColor kCostColour;
    static const QColor kDataColour;
};

// The usage chart: a pair of bars for each day or month, the cost against the price axis on
// the left, the data against the MB axis on the right. The caller owns the chart.
QChart* makeUsageChart(const UsageChartData& data, const ChartColours& colours);

// The chart drawn into an image of the given size; needs a QApplication, not a display.
QImage renderUsageChart(const UsageChartData& data, const ChartColours& colours, QSize size);

// WCAG contrast ratio of two colours, 1 to 21.
double contrastRatio(const QColor& a, const QColor& b);

}  // namespace tavu
