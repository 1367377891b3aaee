#include "ui/reports/summary_dlg.h"

#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "core/clock.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "log/log_file.h"
#include "reports/report_rows.h"
#include "tariff/billing_period.h"
#include "tariff/totals.h"
#include "ui/common/dialog_units.h"
#include "ui/common/screen_fit.h"
#include "ui/reports/usage_chart.h"
#include "usage/usage_store.h"

namespace tavu {

namespace {

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

void CloseUpComboBox::showPopup() {
    open_ = true;
    QComboBox::showPopup();
}

void CloseUpComboBox::hidePopup() {
    QComboBox::hidePopup();
    if (!open_ || closing_) {
        return;
    }
    // A click in the list closes it before the clicked entry becomes the current one: report
    // the close once that has happened.
    closing_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            open_ = false;
            closing_ = false;
            emit closedUp();
        },
        Qt::QueuedConnection);
}

CSummaryDlg::CSummaryDlg(SettingsStore& settings, std::string configDir, const Clock& clock,
                         QWidget* parent)
    : DarkDialog(parent), settings_(settings), configDir_(std::move(configDir)), clock_(clock) {
    setWindowTitle(QStringLiteral("Summary"));

    auto* grid = new QGridLayout;
    grid->setColumnStretch(1, 1);
    const auto lines = summaryLines(LogTotals{});
    for (int i = 0; i < kLines; ++i) {
        grid->addWidget(
            plainLabel(QString::fromLatin1(lines[static_cast<std::size_t>(i)].label), this), i, 0);
        QLabel* value = plainLabel(QStringLiteral("0"), this);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setObjectName(QStringLiteral("value%1").arg(i));
        grid->addWidget(value, i, 1);
        values_[static_cast<std::size_t>(i)] = value;
    }
    const char* projection[] = {kProjectedCostLabel, kProjectedDataLabel};
    for (int i = 0; i < kProjectionLines; ++i) {
        QLabel* label = plainLabel(QString::fromLatin1(projection[i]), this);
        QLabel* value = plainLabel(QStringLiteral("0"), this);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setObjectName(QStringLiteral("value%1").arg(kLines + i));
        grid->addWidget(label, kLines + i, 0);
        grid->addWidget(value, kLines + i, 1);
        projectionLabels_[static_cast<std::size_t>(i)] = label;
        values_[static_cast<std::size_t>(kLines + i)] = value;
    }

    filter_ = new CloseUpComboBox(this);
    filter_->setObjectName(QStringLiteral("filter"));
    filter_->addItems({QStringLiteral("Show all entries"),
                       QString::fromLatin1(periodCaption(settings_, readPlans(settings_), {})),
                       QStringLiteral("Only today")});
    users_ = new QComboBox(this);
    users_->setObjectName(QStringLiteral("users"));
    users_->addItem(QStringLiteral("Show all users"));
    hide_ = new QPushButton(QStringLiteral("Hide"), this);
    hide_->setObjectName(QStringLiteral("hide"));
    hide_->setDefault(true);

    auto* controls = new QGridLayout;
    controls->addWidget(plainLabel(QStringLiteral("Filter"), this), 0, 0);
    controls->addWidget(filter_, 0, 1);
    controls->addWidget(plainLabel(QStringLiteral("Users"), this), 1, 0);
    controls->addWidget(users_, 1, 1);
    controls->setColumnStretch(2, 1);
    controls->addWidget(hide_, 1, 3, Qt::AlignRight | Qt::AlignBottom);

    // Two charts in tabs: the usage of each day or period, and the data used this period.
    charts_ = new QTabWidget(this);
    charts_->setObjectName(QStringLiteral("charts"));
    charts_->setDocumentMode(true);
    chart_ = new QChartView(charts_);
    chart_->setObjectName(QStringLiteral("chart"));
    chart_->setRenderHint(QPainter::Antialiasing);
    // Wide enough for a label under each second day of a month.
    chart_->setMinimumSize(std::max(dluX(253) - 24, 520), kChartHeight);
    chart_->setFrameShape(QFrame::NoFrame);
    charts_->addTab(chart_, QStringLiteral("Usage"));

    auto* periodPage = new QWidget(charts_);
    periodChart_ = new QChartView(periodPage);
    periodChart_->setObjectName(QStringLiteral("periodChart"));
    periodChart_->setRenderHint(QPainter::Antialiasing);
    periodChart_->setFrameShape(QFrame::NoFrame);
    periodWords_ = plainLabel(QString(), periodPage);
    periodWords_->setObjectName(QStringLiteral("periodWords"));
    periodWords_->setAlignment(Qt::AlignCenter);
    periodWords_->setWordWrap(true);  // a large font wraps the words rather than cut them
    auto* periodLayout = new QVBoxLayout(periodPage);
    periodLayout->setContentsMargins(0, 0, 0, 0);
    periodLayout->setSpacing(2);
    periodLayout->addWidget(periodChart_, 1);
    periodLayout->addWidget(periodWords_);
    // The words take their lines out of the chart's height: both tabs are as tall.
    periodChart_->setMinimumSize(chart_->minimumWidth(), kChartHeight / 2);
    charts_->addTab(periodPage, QStringLiteral("This period"));

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(charts_, 1);
    layout->addLayout(controls);

    filter_->setCurrentIndex(settings_.readInt(keys::kSettings, keys::kSummaryWhen, 0));
    users_->setCurrentIndex(settings_.readInt(keys::kSettings, keys::kSummaryUsers, 0));

    connect(filter_, &CloseUpComboBox::closedUp, this, &CSummaryDlg::refresh);
    // A choice made with the keys or the wheel, the list closed, counts as well.
    connect(filter_, &QComboBox::activated, this, [this] {
        if (!filter_->listOpen()) {
            refresh();
        }
    });
    connect(hide_, &QPushButton::clicked, this, &CSummaryDlg::hideWindow);
    connect(charts_, &QTabWidget::currentChanged, this, &CSummaryDlg::showPeriodChart);

    // The log is watched, and its folder, where it may be created or moved in.
    logPath_ = logFilePath(settings_, configDir_);
    watcher_ = new QFileSystemWatcher(this);
    logChanged_ = new QTimer(this);
    logChanged_->setSingleShot(true);
    logChanged_->setInterval(100);
    connect(logChanged_, &QTimer::timeout, this, [this] {
        watchLog();
        const QFileInfo log(QString::fromStdString(logPath_));
        if ((log.exists() ? log.size() : -1) != logSize_ || log.lastModified() != logModified_) {
            reload();
        }
    });
    connect(watcher_, &QFileSystemWatcher::fileChanged, logChanged_, qOverload<>(&QTimer::start));
    connect(watcher_, &QFileSystemWatcher::directoryChanged, logChanged_,
            qOverload<>(&QTimer::start));
    watchLog();

    // The designed size, taller by the charts.
    resize(std::max(dluX(253), sizeHint().width()),
           dluY(134) + charts_->minimumSizeHint().height());
    keepOnScreen(this);
    refresh();
}

void CSummaryDlg::watchLog() {
    const QString log = QString::fromStdString(logPath_);
    const QString folder = QFileInfo(log).absolutePath();
    if (!watcher_->directories().contains(folder) && QFileInfo(folder).isDir()) {
        watcher_->addPath(folder);
    }
    if (!watcher_->files().contains(log) && QFileInfo::exists(log)) {
        watcher_->addPath(log);
    }
}

void CSummaryDlg::changeEvent(QEvent* event) {
    DarkDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        showChart();
    }
}

void CSummaryDlg::showChart() {
    QChart* old = chart_->chart();
    const ChartColours colours = ChartColours::fromPalette(palette());
    chart_->setBackgroundBrush(colours.background);  // around the chart, where it is smaller
    chart_->setChart(makeUsageChart(chartData_, colours));
    delete old;
    if (!periodStale_) {
        old = periodChart_->chart();
        periodChart_->setBackgroundBrush(colours.background);
        periodChart_->setChart(makePeriodChart(periodData_, colours));
        delete old;
        periodWords_->setText(QString::fromStdString(periodData_.words));
    }
}

void CSummaryDlg::showPeriodChart() {
    // Worked out only while its tab is shown: the window opens no slower for it.
    if (charts_->currentIndex() != kPeriodTab || !periodStale_) {
        return;
    }
    const ReadingStore store(logPath_);  // a refused one: the counts spread usage evenly
    periodData_ = periodChart(settings_, logPath_, clock_.localNow(), store.get());
    periodStale_ = false;
    showChart();
}

void CSummaryDlg::storeFilter() {
    settings_.writeInt(keys::kSettings, keys::kSummaryWhen, filter_->currentIndex());
}

void CSummaryDlg::refresh() {
    storeFilter();
    reload();
}

void CSummaryDlg::reload() {
    const QFileInfo log(QString::fromStdString(logPath_));
    logSize_ = log.exists() ? log.size() : -1;
    logModified_ = log.lastModified();
    const ReadingStore store(logPath_);  // a refused one: the counts spread usage evenly
    SummaryData data = summarize(settings_, logPath_, storedSummaryFilter(settings_),
                                 clock_.localNow(), store.get());
    const auto lines = summaryLines(data.totals);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        values_[i]->setText(QString::fromStdString(lines[i].value));
    }
    const auto projection = projectionLines(data.totals);
    for (std::size_t i = 0; i < kProjectionLines; ++i) {
        const bool shown = i < projection.size();
        values_[kLines + i]->setText(shown ? QString::fromStdString(projection[i].value)
                                           : QStringLiteral("0"));
        values_[kLines + i]->setVisible(shown);
        projectionLabels_[i]->setVisible(shown);
    }
    chartData_ = std::move(data.chart);
    periodStale_ = true;
    showChart();
    showPeriodChart();
    update();
}

void CSummaryDlg::hideWindow() {
    storeFilter();
    accept();
}

bool CSummaryDlg::projectionShown(int line) const {
    return !projectionLabels_[static_cast<std::size_t>(line)]->isHidden();
}

QString CSummaryDlg::valueText(int line) const {
    return values_[static_cast<std::size_t>(line)]->text();
}

int CSummaryDlg::run(SettingsStore& settings, const std::string& configDir, const Clock& clock,
                     QWidget* parent) {
    // The parent may go while the window is open (the program ends): hold it weakly.
    QPointer<CSummaryDlg> dlg = new CSummaryDlg(settings, configDir, clock, parent);
    const int result = dlg->exec();
    delete dlg.data();
    return result;
}

}  // namespace tavu
