#pragma once

#include <QColor>
#include <QImage>
#include <QSize>

#include "reports/period_chart_data.h"
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
    QColor warn = kWarnColour;  // the data caps
    QColor hangup = kHangupColour;

    bool operator==(const ChartColours&) const = default;

    static ChartColours fromPalette(const QPalette& palette);
    // Dark text on white: the colours of the chart drawn into a file.
    static ChartColours light();

    static const QColor kCostColour;
    static const QColor kDataColour;
    static const QColor kWarnColour;
    static const QColor kHangupColour;
};

// The usage chart: a pair of bars for each day, month or billing period, the cost against the
// cost axis on the left, the data against the MB axis on the right. The caller owns the chart.
QChart* makeUsageChart(const UsageChartData& data, const ChartColours& colours);

// The chart of the current period: the data used as a rising line, the projection to the
// period's end dashed, the caps that are set as flat lines. The caller owns the chart.
QChart* makePeriodChart(const PeriodChartData& data, const ChartColours& colours);

// The charts drawn into an image of the given size, their fonts grown with a picture larger
// than 800x480; the period chart with its figures in words under it. They need a
// QApplication, not a display.
QImage renderUsageChart(const UsageChartData& data, const ChartColours& colours, QSize size);
QImage renderPeriodChart(const PeriodChartData& data, const ChartColours& colours, QSize size);

// WCAG contrast ratio of two colours, 1 to 21.
double contrastRatio(const QColor& a, const QColor& b);

}  // namespace tavu
