#include "ui/perf/performance_dlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <string>

#include "core/text.h"
#include "monitor/monitor_core.h"
#include "ui/common/dialog_units.h"
#include "ui/perf/traffic_graph.h"

namespace tavu {

namespace {

// The window's layout in dialog units.
constexpr int kWidth = 258;
constexpr int kHeight = 184;
constexpr int kRowTop = 7;
constexpr int kRowStep = 11;
constexpr int kLabelX = 7;
constexpr int kLabelW = 76;
constexpr int kValueX = 83;
constexpr int kValueW = 62;
constexpr int kGraphX = 151;
constexpr int kGraphW = 100;
constexpr int kGraphH = 48;

QLabel* plainLabel(const QString& text, const QRect& rect, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    if (rect.isValid()) {
        label->setGeometry(rect);
    }
    return label;
}

}  // namespace

const std::array<const char*, CPerformanceDlg::kCounters + 1>& CPerformanceDlg::labelTexts() {
    static const std::array<const char*, kCounters + 1> texts = {
        "Bytes in :",        "Bytes out :",    "Frames in :", "Frames out :",  "Compression in :",
        "Compression out :", "CRC :",          "Timeout :",   "Buffer ovrn :", "Hardware ovrn:",
        "Alignment :",       "Total errors :", "Duration :"};
    return texts;
}

const char* CPerformanceDlg::systemNote() {
    return "Linux keeps the byte, frame and error counts; compression and time-outs stay 0.";
}

CPerformanceDlg::CPerformanceDlg(QWidget* parent) : DarkDialog(parent) {
    setWindowTitle(QStringLiteral("Connection performance"));
    setObjectName(QStringLiteral("performance406"));

    // Laid out in dialog units, each column and row at least as large as its captions need at
    // the font in use: the counters on the left, the graphs on the right.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(0);
    grid->setVerticalSpacing(dluY(kRowStep - 9));
    grid->setColumnMinimumWidth(0, dluX(kLabelW));
    grid->setColumnMinimumWidth(1, dluX(kValueW));
    grid->setColumnMinimumWidth(2, dluX(kGraphX - kValueX - kValueW));
    const auto& labels = labelTexts();
    for (int i = 0; i <= kCounters; ++i) {
        QLabel* caption =
            plainLabel(QString::fromLatin1(labels[static_cast<std::size_t>(i)]), QRect(), this);
        caption->setMinimumHeight(dluY(9));
        grid->addWidget(caption, i, 0);
        QLabel* value =
            plainLabel(QString::fromStdString(i < kCounters ? "0" : formatHms(0)), QRect(), this);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(value, i, 1);
        if (i < kCounters) {
            value->setObjectName(QStringLiteral("value%1").arg(i));
            values_[static_cast<std::size_t>(i)] = value;
        } else {
            value->setObjectName(QStringLiteral("duration"));
            duration_ = value;
        }
    }

    // The two graphs, each with its label above, and OK below them.
    auto* graphs = new QVBoxLayout;
    graphs->setSpacing(dluY(1));
    graphs->addWidget(plainLabel(QStringLiteral("Bytes in"), QRect(), this));
    bytesIn_ = new CTrafficGraph(this);
    bytesIn_->setObjectName(QStringLiteral("graph1176"));
    bytesIn_->create(dluRect(kGraphX, kRowTop + 10, kGraphW, kGraphH), this);
    bytesIn_->setFixedSize(bytesIn_->size());
    graphs->addWidget(bytesIn_);
    graphs->addSpacing(dluY(6));
    graphs->addWidget(plainLabel(QStringLiteral("Bytes out"), QRect(), this));
    bytesOut_ = new CTrafficGraph(this);
    bytesOut_->setObjectName(QStringLiteral("graph1175"));
    bytesOut_->create(dluRect(kGraphX, kRowTop + 74, kGraphW, kGraphH), this);
    bytesOut_->setFixedSize(bytesOut_->size());
    graphs->addWidget(bytesOut_);
    bytesIn_->setRange(0, 100);
    bytesOut_->setRange(0, 100);
    graphs->addStretch();
    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("ok"));
    ok_->setDefault(true);
    ok_->setMinimumSize(std::max(dluX(50), ok_->sizeHint().width()),
                        std::max(dluY(14), ok_->sizeHint().height()));
    graphs->addWidget(ok_, 0, Qt::AlignRight);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    grid->addLayout(graphs, 0, 3, kCounters + 1, 1);

    QLabel* note = plainLabel(QString::fromLatin1(systemNote()), QRect(), this);
    note->setWordWrap(true);
    note->setObjectName(QStringLiteral("systemNote"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(dluX(kLabelX), dluY(kRowTop), dluX(kLabelX), dluY(6));
    layout->addLayout(grid);
    layout->addWidget(note);
    const int width = std::max(dluX(kWidth), layout->sizeHint().width());
    setFixedSize(width, std::max(dluY(kHeight), layout->totalHeightForWidth(width)));

    connect(&timer_, &QTimer::timeout, this, &CPerformanceDlg::timerTick);
    timer_.start(kTimerMs);
}

CPerformanceDlg::~CPerformanceDlg() = default;

int CPerformanceDlg::run(MonitorCore& monitor, QWidget* parent) {
    CPerformanceDlg dlg(parent);
    monitor.setCounterWindow(&dlg);
    const int result = dlg.exec();
    monitor.setCounterWindow(nullptr);
    return result;
}

void CPerformanceDlg::postElapsed(std::int64_t seconds) {
    // Whole hours beyond a day, as every duration of the program.
    duration_->setText(QString::fromStdString(formatHms(seconds)));
}

void CPerformanceDlg::postCounters(const platform::CounterValues& values) {
    for (int i = 0; i < kCounters; ++i) {
        const std::int64_t v = values[static_cast<std::size_t>(i)];
        values_[static_cast<std::size_t>(i)]->setText(QString::number(v));
    }
    bytesIn_->addValue(inSteps_.next(values[platform::BytesReceived]));
    bytesOut_->addValue(outSteps_.next(values[platform::BytesTransmitted]));
}

void CPerformanceDlg::timerTick() {
    bytesIn_->addValue(0);
}

}  // namespace tavu
