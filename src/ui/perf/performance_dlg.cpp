#include "ui/perf/performance_dlg.h"

#include <QLabel>
#include <QPushButton>
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
    label->setGeometry(rect);
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
    setFixedSize(dluX(kWidth), dluY(kHeight));

    const auto& labels = labelTexts();
    for (int i = 0; i <= kCounters; ++i) {
        const int y = kRowTop + i * kRowStep;
        plainLabel(QString::fromLatin1(labels[static_cast<std::size_t>(i)]),
                   dluRect(kLabelX, y, kLabelW, 9), this);
        QLabel* value = plainLabel(QString::fromStdString(i < kCounters ? "0" : formatHms(0)),
                                   dluRect(kValueX, y, kValueW, 9), this);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (i < kCounters) {
            value->setObjectName(QStringLiteral("value%1").arg(i));
            values_[static_cast<std::size_t>(i)] = value;
        } else {
            value->setObjectName(QStringLiteral("duration"));
            duration_ = value;
        }
    }

    // The two graphs over their places, each with its label above.
    plainLabel(QStringLiteral("Bytes in"), dluRect(kGraphX, kRowTop, kGraphW, 9), this);
    bytesIn_ = new CTrafficGraph(this);
    bytesIn_->setObjectName(QStringLiteral("graph1176"));
    bytesIn_->create(dluRect(kGraphX, kRowTop + 10, kGraphW, kGraphH), this);
    plainLabel(QStringLiteral("Bytes out"), dluRect(kGraphX, kRowTop + 64, kGraphW, 9), this);
    bytesOut_ = new CTrafficGraph(this);
    bytesOut_->setObjectName(QStringLiteral("graph1175"));
    bytesOut_->create(dluRect(kGraphX, kRowTop + 74, kGraphW, kGraphH), this);
    bytesIn_->setRange(0, 100);
    bytesOut_->setRange(0, 100);

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    ok_->setObjectName(QStringLiteral("ok"));
    ok_->setDefault(true);
    ok_->setGeometry(dluRect(kGraphX + kGraphW - 50, kRowTop + 13 * kRowStep - 16, 50, 14));
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);

    QLabel* note = plainLabel(QString::fromLatin1(systemNote()),
                              dluRect(kLabelX, kHeight - 24, kWidth - 2 * kLabelX, 18), this);
    note->setWordWrap(true);
    note->setObjectName(QStringLiteral("systemNote"));

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
