#pragma once

#include <array>

#include <QAbstractTableModel>
#include <QLocale>
#include <QStyledItemDelegate>
#include <QTableView>
#include <memory>
#include <string>

#include "core/prompter.h"
#include "reports/report_export.h"
#include "reports/report_pages.h"
#include "reports/usage_chart_data.h"
#include "ui/common/dark_dialog.h"

class QComboBox;
class QPushButton;

namespace tavu {

class Clock;
class SettingsStore;

// The log's records as the report's ten columns, newest first. Rows are read from the log and
// priced only when the view asks for them (see ReportPages); nothing is held per row but its
// place in the file.
class ReportModel : public QAbstractTableModel {
    Q_OBJECT

  public:
    ReportModel(const SettingsStore& settings, const std::string& logPath,
                QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    // Orders the rows by a column (see ReportPages::sortBy).
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    // Shows only the rows of one plan; empty: every row (see ReportPages::showPlan).
    void showPlan(const std::string& name);

    // The text of one cell as the list shows it.
    QString cellText(int row, int column) const;
    // Row i as read from the log; the reference holds until the next call.
    const ReportRow& reportRow(int row) const { return pages_.row(static_cast<std::size_t>(row)); }

    // A stored start date in the user's short date format; text that is no date stays as is.
    static QString displayDate(std::string_view stored, const QLocale& locale);

    static constexpr int kColumns = 10;

  private:
    mutable ReportPages pages_;
    QLocale locale_;
};

// The report's list: rows painted grey with dark text, the selected row filled light green
// across the whole width, one row selected at a time and the selection always shown.
class CListViewEx : public QTableView {
    Q_OBJECT

  public:
    explicit CListViewEx(QWidget* parent = nullptr);

    // Widens every column to its heading and to the widest of the first sampleRows rows, as the
    // rows are painted (the view's font on its screen). Done again when the font, the style or
    // the screen changes.
    void sizeColumnsToSample(int sampleRows);
    // The width the ten columns take together.
    int columnsWidth() const;
    // The columns that take the room a wider window gives: User and ISP.
    static bool isWideningColumn(int column) { return column == 4 || column == 6; }

    // Bytes, durations and prices are figures: right-aligned.
    static bool isFigureColumn(int column) {
        return column == 3 || column == 7 || column == 8 || column == 9;
    }

    static const QColor kRowColour;
    static const QColor kTextColour;
    static const QColor kSelectedColour;
    static constexpr int kCellPadding = 6;

  protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void resample();
    // Each column at its sampled width, User and ISP sharing whatever room is left over.
    void spread();

    int sampleRows_ = 0;
    std::array<int, 10> sampled_{};

    class RowPainter : public QStyledItemDelegate {
      public:
        using QStyledItemDelegate::QStyledItemDelegate;
        void paint(QPainter* painter, const QStyleOptionViewItem& option,
                   const QModelIndex& index) const override;
    };
};

// The form an export takes for the file's name: JSON for ".json", CSV for any other.
ReportFormat exportFormatFor(const std::string& path);

// The "Report" window: every logged connection with its price under the current tariff.
class CReportDlg : public DarkDialog {
    Q_OBJECT

  public:
    // live: the connections in progress, for the Summary it opens.
    CReportDlg(SettingsStore& settings, std::string configDir, const Clock& clock,
               QWidget* parent = nullptr, LiveUsageFeed live = {});

    // Shows the window modally until it is closed; returns the dialog's result.
    static int run(SettingsStore& settings, const std::string& configDir, const Clock& clock,
                   QWidget* parent = nullptr, LiveUsageFeed live = {});

    CListViewEx* list() const { return list_; }
    ReportModel* model() const { return model_; }
    QPushButton* hideButton() const { return hide_; }
    QPushButton* summaryButton() const { return summary_; }
    QPushButton* exportButton() const { return export_; }
    // The plan the export and the Summary count ("All plans" first); shown only with plans.
    QComboBox* planBox() const { return plan_; }

    // The file dialog and the message boxes of "Export…"; the desktop's own by default.
    void useDialogs(FileChooser& chooser, Prompter& prompter);

    // Writes the whole log's report to path as tavu report --format writes it, newest first:
    // JSON for a name ending in .json, else CSV. False (and a message) when the file cannot be
    // written; a file that was there stays as it was then.
    bool exportTo(const std::string& path);

    // Rows used to size the columns; the rest of the log is not read for it.
    static constexpr int kSampleRows = 256;

  private:
    void openSummary();
    void exportRows();

    SettingsStore& settings_;
    std::string configDir_;
    const Clock& clock_;
    LiveUsageFeed live_;
    ReportModel* model_;
    CListViewEx* list_;
    QPushButton* hide_;
    QPushButton* summary_;
    QPushButton* export_;
    QComboBox* plan_;
    std::unique_ptr<FileChooser> ownChooser_;
    std::unique_ptr<Prompter> ownPrompter_;
    FileChooser* chooser_;
    Prompter* prompter_;
};

}  // namespace tavu
