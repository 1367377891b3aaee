#include "ui/reports/report_dlg.h"

#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <climits>
#include <ostream>
#include <streambuf>

#include "core/file_io.h"
#include "core/prompter.h"
#include "core/settings_store.h"
#include "log/log_file.h"
#include "reports/report_export.h"
#include "tariff/tariff.h"
#include "ui/common/dialog_units.h"
#include "ui/common/qt_prompter.h"
#include "ui/common/screen_fit.h"
#include "ui/reports/summary_dlg.h"

namespace tavu {

namespace {

QString fromLog(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

Qt::Alignment alignmentOf(int column) {
    return (CListViewEx::isFigureColumn(column) ? Qt::AlignRight : Qt::AlignLeft) |
           Qt::AlignVCenter;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

ReportModel::ReportModel(const SettingsStore& settings, const std::string& logPath, QObject* parent)
    : QAbstractTableModel(parent), pages_(settings, logPath), locale_(QLocale::system()) {}

int ReportModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid()) {
        return 0;
    }
    return static_cast<int>(std::min<std::size_t>(pages_.size(), INT_MAX));
}

int ReportModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

void ReportModel::sort(int column, Qt::SortOrder order) {
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    pages_.sortBy(column, order == Qt::AscendingOrder);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ReportModel::showPlan(const std::string& name) {
    beginResetModel();
    pages_.showPlan(name);
    endResetModel();
}

QString ReportModel::displayDate(std::string_view stored, const QLocale& locale) {
    const LogDate d = parseLogDate(stored);
    if (!d.valid()) {
        return fromLog(stored);
    }
    return locale.toString(
        QDate(static_cast<int>(d.year), static_cast<int>(d.month), static_cast<int>(d.day)),
        QLocale::ShortFormat);
}

QString ReportModel::cellText(int row, int column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= kColumns) {
        return {};
    }
    const std::string& cell = pages_.row(static_cast<std::size_t>(row)).cells[column];
    return column == 0 ? displayDate(cell, locale_) : fromLog(cell);
}

QVariant ReportModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid()) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return cellText(index.row(), index.column());
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(alignmentOf(index.column()));
        default:
            return {};
    }
}

QVariant ReportModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && section >= 0 && section < kColumns) {
        if (role == Qt::DisplayRole) {
            return QString::fromLatin1(kReportHeadings[static_cast<std::size_t>(section)]);
        }
        if (role == Qt::TextAlignmentRole) {
            return QVariant::fromValue(alignmentOf(section));
        }
    }
    return {};
}

// ---------------------------------------------------------------------------------------------

const QColor CListViewEx::kRowColour(150, 150, 150);
const QColor CListViewEx::kTextColour(30, 30, 30);
const QColor CListViewEx::kSelectedColour(159, 255, 0);

CListViewEx::CListViewEx(QWidget* parent) : QTableView(parent) {
    setItemDelegate(new RowPainter(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);

    // Every row is as high as the next: the view never has to measure the rows it does not show.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);

    QHeaderView* columns = horizontalHeader();
    // A click on a heading sorts by that column; a second click turns the order round. The
    // list opens in the log's order, newest first, without an arrow.
    columns->setSectionsClickable(true);
    columns->setSortIndicatorShown(true);
    columns->setSortIndicator(-1, Qt::AscendingOrder);
    connect(columns, &QHeaderView::sortIndicatorChanged, this,
            [this](int column, Qt::SortOrder order) {
                if (model() != nullptr) {
                    model()->sort(column, order);
                }
            });
    columns->setHighlightSections(false);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // A selected row reaches the right edge: User and ISP take up the room (see spread).
    columns->setStretchLastSection(false);

    QPalette pal = palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        pal.setColor(group, QPalette::Base, kRowColour);
        pal.setColor(group, QPalette::AlternateBase, kRowColour);
        pal.setColor(group, QPalette::Text, kTextColour);
        pal.setColor(group, QPalette::Highlight, kSelectedColour);
        pal.setColor(group, QPalette::HighlightedText, kTextColour);
    }
    setPalette(pal);
    viewport()->setAutoFillBackground(true);
}

void CListViewEx::sizeColumnsToSample(int sampleRows) {
    sampleRows_ = sampleRows;
    resample();
}

void CListViewEx::resample() {
    auto* m = qobject_cast<ReportModel*>(model());
    if (m == nullptr) {
        return;
    }
    ensurePolished();
    QHeaderView* header = horizontalHeader();
    header->ensurePolished();
    // Measured as the rows are painted: the view's font on the screen it is on.
    QStyleOptionViewItem option;
    initViewItemOption(&option);
    const QFontMetrics fm(option.font, this);
    const int rows = std::min(sampleRows_, m->rowCount());
    for (int c = 0; c < ReportModel::kColumns; ++c) {
        int width = header->sectionSizeHint(c);
        for (int r = 0; r < rows; ++r) {
            width = std::max(width, fm.horizontalAdvance(m->cellText(r, c)) + 2 * kCellPadding);
        }
        sampled_[static_cast<std::size_t>(c)] = width;
    }
    spread();
}

void CListViewEx::spread() {
    int total = 0;
    for (const int w : sampled_) {
        total += w;
    }
    const int extra = std::max(0, viewport()->width() - total);
    QHeaderView* header = horizontalHeader();
    for (int c = 0; c < ReportModel::kColumns; ++c) {
        int width = sampled_[static_cast<std::size_t>(c)];
        if (c == 4) {
            width += extra / 2;
        } else if (c == 6) {
            width += extra - extra / 2;
        }
        header->resizeSection(c, width);
    }
}

void CListViewEx::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    spread();
}

int CListViewEx::columnsWidth() const {
    int width = 0;
    for (int c = 0; c < ReportModel::kColumns; ++c) {
        width += horizontalHeader()->sectionSize(c);
    }
    return width;
}

void CListViewEx::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        resample();
    }
}

void CListViewEx::showEvent(QShowEvent* event) {
    // The screen is known now, and with it the size of the font.
    resample();
    if (QWindow* w = window()->windowHandle()) {
        connect(w, &QWindow::screenChanged, this, &CListViewEx::resample, Qt::UniqueConnection);
    }
    QTableView::showEvent(event);
}

void CListViewEx::RowPainter::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) const {
    painter->save();
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    painter->fillRect(option.rect, selected ? kSelectedColour : kRowColour);
    painter->setPen(kTextColour);
    painter->setFont(option.font);
    const QRect textRect = option.rect.adjusted(kCellPadding, 0, -kCellPadding, 0);
    const QString text = option.fontMetrics.elidedText(index.data(Qt::DisplayRole).toString(),
                                                       Qt::ElideRight, textRect.width());
    const auto align = index.data(Qt::TextAlignmentRole).value<Qt::Alignment>();
    painter->drawText(textRect, align | Qt::TextSingleLine, text);
    painter->restore();
}

// ---------------------------------------------------------------------------------------------

CReportDlg::CReportDlg(SettingsStore& settings, std::string configDir, const Clock& clock,
                       QWidget* parent, LiveUsageFeed live)
    : DarkDialog(parent),
      settings_(settings),
      configDir_(std::move(configDir)),
      clock_(clock),
      live_(std::move(live)),
      ownChooser_(std::make_unique<QtFileChooser>(this)),
      ownPrompter_(std::make_unique<QtPrompter>(this)),
      chooser_(ownChooser_.get()),
      prompter_(ownPrompter_.get()) {
    setWindowTitle(QStringLiteral("Report"));

    model_ = new ReportModel(settings_, logFilePath(settings_, configDir_), this);
    list_ = new CListViewEx(this);
    list_->setObjectName(QStringLiteral("list"));
    list_->setModel(model_);
    list_->sizeColumnsToSample(kSampleRows);

    hide_ = new QPushButton(QStringLiteral("&Hide"), this);
    hide_->setObjectName(QStringLiteral("hide"));
    hide_->setDefault(true);
    summary_ = new QPushButton(QStringLiteral("Summary"), this);
    summary_->setObjectName(QStringLiteral("summary"));
    summary_->setAutoDefault(false);
    connect(hide_, &QPushButton::clicked, this, &QDialog::accept);
    connect(summary_, &QPushButton::clicked, this, &CReportDlg::openSummary);
    export_ = new QPushButton(QStringLiteral("Export\u2026"), this);
    export_->setObjectName(QStringLiteral("export"));
    export_->setAutoDefault(false);
    connect(export_, &QPushButton::clicked, this, &CReportDlg::exportRows);

    plan_ = new QComboBox(this);
    plan_->setObjectName(QStringLiteral("plan"));
    plan_->setAccessibleName(QStringLiteral("Plan"));
    fillPlanChooser(plan_, settings_, {});
    connect(plan_, &QComboBox::currentIndexChanged, this,
            [this] { model_->showPlan(plan_->currentData().toString().toStdString()); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(export_);
    buttons->addWidget(plan_);
    buttons->addStretch(1);
    buttons->addWidget(hide_);
    buttons->addWidget(summary_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);

    // Wide enough for all ten columns, as far as the screen allows.
    const int frame = 2 * list_->frameWidth() + list_->verticalScrollBar()->sizeHint().width();
    const QMargins margins = layout->contentsMargins();
    int width =
        std::max(dluX(420), list_->columnsWidth() + frame + margins.left() + margins.right() + 2);
    if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
        width = std::min(width, screen->availableGeometry().width());
    }
    resize(width, dluY(165));
    keepOnScreen(this);
}

void CReportDlg::useDialogs(FileChooser& chooser, Prompter& prompter) {
    chooser_ = &chooser;
    prompter_ = &prompter;
}

void CReportDlg::exportRows() {
    const std::string suggested =
        QDir::home().filePath(QStringLiteral("tavu-report.csv")).toStdString();
    const std::string path = chooser_->saveFileName(
        "Export the report", suggested, "CSV files (*.csv);;JSON files (*.json);;All files (*)");
    if (!path.empty()) {
        exportTo(path);
    }
}

namespace {

// An output stream into a file descriptor, written in blocks; a failed write fails the stream.
class FdBuffer : public std::streambuf {
  public:
    explicit FdBuffer(int fd) : fd_(fd) { setp(block_, block_ + sizeof block_); }
    ~FdBuffer() override { sync(); }

  protected:
    int_type overflow(int_type c) override {
        if (sync() != 0) {
            return traits_type::eof();
        }
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(c);
            pbump(1);
        }
        return traits_type::not_eof(c);
    }
    int sync() override {
        const std::size_t n = static_cast<std::size_t>(pptr() - pbase());
        if (n > 0 && !writeAll(fd_, std::string_view(pbase(), n))) {
            return -1;
        }
        setp(block_, block_ + sizeof block_);
        return 0;
    }

  private:
    int fd_;
    char block_[64 * 1024];
};

}  // namespace

ReportFormat exportFormatFor(const std::string& path) {
    return QFileInfo(QString::fromStdString(path))
                       .suffix()
                       .compare(QStringLiteral("json"), Qt::CaseInsensitive) == 0
               ? ReportFormat::Json
               : ReportFormat::Csv;
}

bool CReportDlg::exportTo(const std::string& path) {
    // The same engine and bytes as tavu report --format, for all the log, newest first. The
    // user's own data: only the user may read the file. A link at the name is refused, never
    // written through; a file that was there stays as it was on failure.
    const int err = replaceUserFile(path, 0600, [&](int fd) {
        FdBuffer buffer(fd);
        std::ostream out(&buffer);
        return writeReport(settings_, logFilePath(settings_, configDir_), exportFormatFor(path),
                           SummaryFilter::All, clock_.localNow(), out,
                           plan_->currentData().toString().toStdString()) &&
               out.flush().good();
    });
    if (err == 0) {
        return true;
    }
    prompter_->show(Message{"Cannot write the file " + path + ": " + replaceErrorText(err) + ".",
                            "Export", Buttons::Ok, Icon::Error});
    return false;
}

void CReportDlg::openSummary() {
    CSummaryDlg::run(settings_, configDir_, clock_, this,
                     plan_->currentData().toString().toStdString(), live_);
}

int CReportDlg::run(SettingsStore& settings, const std::string& configDir, const Clock& clock,
                    QWidget* parent, LiveUsageFeed live) {
    // The parent may go while the window is open (the program ends): hold it weakly.
    QPointer<CReportDlg> dlg = new CReportDlg(settings, configDir, clock, parent, std::move(live));
    const int result = dlg->exec();
    delete dlg.data();
    return result;
}

}  // namespace tavu
