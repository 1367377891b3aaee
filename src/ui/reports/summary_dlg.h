#pragma once

#include <QComboBox>
#include <QDateTime>
#include <array>
#include <string>

#include "reports/period_chart_data.h"
#include "reports/usage_chart_data.h"
#include "ui/common/dark_dialog.h"
#include "ui/reports/usage_chart.h"

class QChartView;
class QFileSystemWatcher;
class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;
class QTabWidget;
class QTimer;

namespace tavu {

class BackgroundLedger;
class Clock;
class SettingsStore;

// The first entry of the plan choosers: every plan counted, each record by its own plan.
inline constexpr const char* kAllPlansChoice = "All plans";

// Fills a plan chooser: "All plans", then "Default" and each plan by name, each entry's data
// being the name (empty for all plans). Hidden when there are no plans: then only the default
// plan counts, and a choice would change nothing. Selects `chosen` when it names an entry.
void fillPlanChooser(QComboBox* box, const SettingsStore& settings, const std::string& chosen);

// A drop-down list that tells when its list closes, whether or not the choice changed. The
// signal comes after the choice made in the list has been taken.
class CloseUpComboBox : public QComboBox {
    Q_OBJECT

  public:
    using QComboBox::QComboBox;
    void showPopup() override;
    void hidePopup() override;

    // True from the opening of the list until closedUp has been sent.
    bool listOpen() const { return open_; }

  signals:
    void closedUp();

  private:
    bool open_ = false;
    bool closing_ = false;
};

// The "Summary" window: the totals of the log over the period chosen in "Filter", and under
// them two charts in tabs: the cost and the data of each day of the period (each billing
// period for all entries), and the data used in the current billing period with its caps and
// projection. Values and charts follow the log as it grows, and count the connections in
// progress. All of them come from one usage engine; while it counts the whole log (the first
// time, or after the log or the tariff changed) the window shows the count's progress instead
// of the charts, and fills them when it is over.
class CSummaryDlg : public DarkDialog {
    Q_OBJECT

  public:
    // plan: the plan chosen when the window opens (empty: all plans). live: the connections in
    // progress of the program's own monitor (none without it).
    CSummaryDlg(SettingsStore& settings, std::string configDir, const Clock& clock,
                QWidget* parent = nullptr, const std::string& plan = {}, LiveUsageFeed live = {});
    ~CSummaryDlg() override;

    // Shows the window modally until it is closed; returns the dialog's result.
    static int run(SettingsStore& settings, const std::string& configDir, const Clock& clock,
                   QWidget* parent = nullptr, const std::string& plan = {},
                   LiveUsageFeed live = {});

    // Stores the chosen filter and shows the values and the chart of the choices made.
    void refresh();
    // Brings the figures up to date with the log (it has changed) and shows them again.
    void reload();

    // Whether the whole log is being counted: then the progress shows instead of the charts.
    bool counting() const;
    QProgressBar* countingBar() const { return countingBar_; }

    // Lines 0 to 7: the eight values; 8 and 9: the projection, shown only with the period filter.
    QString valueText(int line) const;
    QLabel* valueLabel(int line) const { return values_[static_cast<std::size_t>(line)]; }
    CloseUpComboBox* filterBox() const { return filter_; }
    QComboBox* usersBox() const { return users_; }
    // "All plans", then "Default" and each plan by name; shown only when there are plans.
    QComboBox* planBox() const { return plan_; }
    // The plan counted: empty for all of them.
    std::string chosenPlan() const;
    QPushButton* hideButton() const { return hide_; }
    QChartView* chartView() const { return chart_; }
    // The bars the chart shows now.
    const UsageChartData& chartData() const { return chartData_; }
    QTabWidget* chartTabs() const { return charts_; }
    QChartView* periodChartView() const { return periodChart_; }
    QLabel* periodWordsLabel() const { return periodWords_; }
    const PeriodChartData& periodData() const { return periodData_; }

    // The charts' least height.
    static constexpr int kChartHeight = 200;
    // The tab of the current period's chart, whose data is worked out while it is shown.
    static constexpr int kPeriodTab = 1;

    static constexpr int kLines = 8;
    static constexpr int kProjectionLines = 2;
    // Whether the projection's line (0 or 1) is shown.
    bool projectionShown(int line) const;

    // How often the figures are counted again while a connection is in progress.
    static constexpr int kLiveEveryMs = 60 * 1000;

  signals:
    // A count of the whole log that went on behind the window is over and its figures shown.
    void counted();

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void storeFilter();
    void hideWindow();
    void watchLog();
    void showChart();
    void showPeriodChart();
    void choosePlan();
    // The figures of the ledger, up to date, shown.
    void fill();
    void countDone();
    std::vector<LiveUsage> liveUsage(UsageLedger& ledger) const;

    SettingsStore& settings_;
    std::string configDir_;
    const Clock& clock_;
    LiveUsageFeed live_;
    BackgroundLedger* ledger_;
    std::array<QLabel*, kLines + kProjectionLines> values_{};
    std::array<QLabel*, kProjectionLines> projectionLabels_{};
    CloseUpComboBox* filter_;
    QComboBox* users_;
    QComboBox* plan_;
    QLabel* planLabel_;
    QPushButton* hide_;
    QStackedWidget* chartStack_;  // the charts, or the progress of the count
    QTabWidget* charts_;
    QWidget* countingPage_;
    QProgressBar* countingBar_;
    QChartView* chart_;
    QChartView* periodChart_;
    QLabel* periodWords_;
    UsageChartData chartData_;
    ChartColours chartColours_;  // those the charts were last made with
    PeriodChartData periodData_;
    bool periodStale_ = true;  // the log or the filter changed since periodData_ was made
    QFileSystemWatcher* watcher_;
    QTimer* logChanged_;  // gathers the changes of one append into one reload
    QTimer* liveTick_;    // counts again while a connection is in progress
    std::string logPath_;
    // Size and time of the log when it was last read: other files of its folder that change
    // (the journal of the connection in progress) do not make it read again.
    qint64 logSize_ = -1;
    QDateTime logModified_;
};

}  // namespace tavu
