#include "ui/reports/summary_dlg.h"

#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "core/clock.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "ledger/usage_ledger.h"
#include "log/log_file.h"
#include "reports/report_rows.h"
#include "tariff/billing_period.h"
#include "tariff/plan.h"
#include "tariff/totals.h"
#include "ui/common/dialog_units.h"
#include "ui/common/screen_fit.h"
#include "ui/reports/background_ledger.h"
#include "ui/reports/usage_chart.h"

namespace tavu {

namespace {

QLabel* plainLabel(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

}  // namespace

void fillPlanChooser(QComboBox* box, const SettingsStore& settings, const std::string& chosen) {
    const PlanSet plans = readPlans(settings);
    box->clear();
    box->addItem(QString::fromLatin1(kAllPlansChoice), QString());
    for (const std::string& name : planChoices(plans)) {
        box->addItem(QString::fromStdString(name), QString::fromStdString(name));
        if (!chosen.empty() && equalsIgnoreCase(name, chosen)) {
            box->setCurrentIndex(box->count() - 1);
        }
    }
    box->setVisible(!plans.empty());
}

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
                         QWidget* parent, const std::string& plan, LiveUsageFeed live)
    : DarkDialog(parent),
      settings_(settings),
      configDir_(std::move(configDir)),
      clock_(clock),
      live_(std::move(live)) {
    setWindowTitle(QStringLiteral("Summary"));
    logPath_ = logFilePath(settings_, configDir_);
    ledger_ = new BackgroundLedger(settings_, logPath_, this);

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
    const PlanSet plans = readPlans(settings_);
    filter_->addItems({QStringLiteral("Show all entries"),
                       QString::fromLatin1(periodCaption(settings_, plans, {})),
                       QStringLiteral("Only today")});
    plan_ = new QComboBox(this);
    plan_->setObjectName(QStringLiteral("plan"));
    fillPlanChooser(plan_, settings_, plan);
    planLabel_ = plainLabel(QStringLiteral("Plan"), this);
    planLabel_->setVisible(!plans.empty());
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
    controls->addWidget(planLabel_, 2, 0);
    controls->addWidget(plan_, 2, 1);
    controls->setColumnStretch(2, 1);
    controls->addWidget(hide_, plans.empty() ? 1 : 2, 3, Qt::AlignRight | Qt::AlignBottom);

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

    // While the whole log is counted its progress stands where the charts will be.
    chartStack_ = new QStackedWidget(this);
    chartStack_->addWidget(charts_);
    countingPage_ = new QWidget(chartStack_);
    countingBar_ = new QProgressBar(countingPage_);
    countingBar_->setObjectName(QStringLiteral("counting"));
    countingBar_->setRange(0, 100);
    countingBar_->setFormat(QStringLiteral("Counting the log\u2026 %p%"));
    countingBar_->setAlignment(Qt::AlignCenter);
    auto* countingLayout = new QVBoxLayout(countingPage_);
    countingLayout->addStretch(1);
    countingLayout->addWidget(countingBar_);
    countingLayout->addStretch(1);
    chartStack_->addWidget(countingPage_);
    connect(ledger_, &BackgroundLedger::progress, this, [this](qint64 done, qint64 all) {
        countingBar_->setValue(all > 0 ? static_cast<int>(done * 100 / all) : 0);
    });
    connect(ledger_, &BackgroundLedger::counted, this, &CSummaryDlg::countDone);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(chartStack_, 1);
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
    // The keys go down the controls as they are laid out.
    setTabOrder(filter_, users_);
    setTabOrder(users_, plan_);
    setTabOrder(plan_, hide_);
    connect(plan_, &QComboBox::currentIndexChanged, this, &CSummaryDlg::choosePlan);
    connect(hide_, &QPushButton::clicked, this, &CSummaryDlg::hideWindow);
    connect(charts_, &QTabWidget::currentChanged, this, &CSummaryDlg::showPeriodChart);

    // The log is watched, and its folder, where it may be created or moved in.
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
    liveTick_ = new QTimer(this);
    liveTick_->setInterval(kLiveEveryMs);
    connect(liveTick_, &QTimer::timeout, this, &CSummaryDlg::reload);

    // The designed size, taller by the charts.
    resize(std::max(dluX(253), sizeHint().width()),
           dluY(134) + charts_->minimumSizeHint().height());
    keepOnScreen(this);
    choosePlan();
}

CSummaryDlg::~CSummaryDlg() = default;

bool CSummaryDlg::counting() const {
    return ledger_->counting();
}

std::string CSummaryDlg::chosenPlan() const {
    return plan_->currentData().toString().toStdString();
}

void CSummaryDlg::choosePlan() {
    // The period filter's caption is the chosen plan's.
    filter_->setItemText(
        1, QString::fromLatin1(periodCaption(settings_, readPlans(settings_), chosenPlan())));
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
    // The style sheet's polish when the window is first shown changes no colour of the charts:
    // they are not made again for it.
    if (event->type() == QEvent::PaletteChange &&
        ChartColours::fromPalette(palette()) != chartColours_) {
        showChart();
    }
}

void CSummaryDlg::showChart() {
    QChart* old = chart_->chart();
    const ChartColours colours = ChartColours::fromPalette(palette());
    chartColours_ = colours;
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
    UsageLedger* ledger = ledger_->ledger();
    if (ledger == nullptr) {
        return;  // drawn once the count is over
    }
    periodData_ =
        periodChart(*ledger, settings_, clock_.localNow(), chosenPlan(), liveUsage(*ledger));
    periodStale_ = false;
    showChart();
}

std::vector<LiveUsage> CSummaryDlg::liveUsage(UsageLedger& ledger) const {
    return live_ ? live_(logPath_, ledger.rows()) : std::vector<LiveUsage>{};
}

void CSummaryDlg::storeFilter() {
    settings_.writeInt(keys::kSettings, keys::kSummaryWhen, filter_->currentIndex());
}

void CSummaryDlg::refresh() {
    storeFilter();
    reload();
}

void CSummaryDlg::reload() {
    if (ledger_->counting()) {
        return;  // the figures come when the count is over, of the choices made by then
    }
    const QFileInfo log(QString::fromStdString(logPath_));
    logSize_ = log.exists() ? log.size() : -1;
    logModified_ = log.lastModified();
    if (ledger_->update()) {
        fill();
        return;
    }
    // The whole log is counted behind the window: its progress shows until it is over.
    for (QLabel* value : values_) {
        value->clear();
    }
    countingBar_->setValue(0);
    chartStack_->setCurrentWidget(countingPage_);
    liveTick_->stop();
}

void CSummaryDlg::countDone() {
    chartStack_->setCurrentWidget(charts_);
    fill();
    // A log that changed while it was counted is brought up to date as well.
    const QFileInfo log(QString::fromStdString(logPath_));
    if ((log.exists() ? log.size() : -1) != logSize_ || log.lastModified() != logModified_) {
        reload();
    }
    if (!ledger_->counting()) {
        emit counted();
    }
}

void CSummaryDlg::fill() {
    UsageLedger& ledger = *ledger_->ledger();
    const std::vector<LiveUsage> live = liveUsage(ledger);
    SummaryData data = summarize(ledger, settings_, storedSummaryFilter(settings_),
                                 clock_.localNow(), chosenPlan(), live);
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
    // The connection in progress goes on: its figures grow without a change of the log.
    if (live.empty()) {
        liveTick_->stop();
    } else if (!liveTick_->isActive()) {
        liveTick_->start();
    }
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
                     QWidget* parent, const std::string& plan, LiveUsageFeed live) {
    // The parent may go while the window is open (the program ends): hold it weakly.
    QPointer<CSummaryDlg> dlg =
        new CSummaryDlg(settings, configDir, clock, parent, plan, std::move(live));
    const int result = dlg->exec();
    delete dlg.data();
    return result;
}

}  // namespace tavu
