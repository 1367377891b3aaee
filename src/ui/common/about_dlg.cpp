#include "ui/common/about_dlg.h"

#include <QPushButton>

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>

#include "core/version.h"
#include "ui/common/icons.h"

namespace tavu {

namespace {

constexpr int kWidth = 360;
constexpr int kHeight = 300;
constexpr int kCreditsTop = 150;
constexpr int kScrollPeriodMs = 40;  // one pixel every 40 ms: 25 pixels a second

const QColor kBackground(32, 32, 36);
const QColor kTitle(235, 235, 235);
const QColor kText(190, 200, 185);
const QColor kCredits(200, 230, 160);

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), credits_(creditLines()) {
    setWindowTitle("About TAVU");
    setWindowIcon(trayIcon(TrayPicture::Idle));
    setFixedSize(kWidth, kHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    close_ = new QPushButton(QStringLiteral("Close"), this);
    close_->setDefault(true);
    const QSize size = close_->sizeHint().expandedTo(QSize(80, 0));
    close_->setGeometry(kWidth - 20 - size.width(), kHeight - 12 - size.height(), size.width(),
                        size.height());
    connect(close_, &QPushButton::clicked, this, &QDialog::accept);
    timer_.setInterval(kScrollPeriodMs);
    connect(&timer_, &QTimer::timeout, this, &CAboutDlg::step);
    timer_.start();
}

QStringList CAboutDlg::creditLines() {
    return {"TAVU Online Timer",
            "",
            "Times every dial-up connection,",
            "keeps a log of them, prices them",
            "with your telephone tariff and warns",
            "you before they cost too much.",
            "",
            "Written by the TAVU team",
            "",
            "Built with",
            "Qt 6 - The Qt Company and contributors",
            "GoogleTest and Google Benchmark",
            "pppd and chat - the ppp project",
            "DejaVu fonts",
            "",
            "Thanks to everyone who still dials in.",
            ""};
}

QRect CAboutDlg::creditsArea() const {
    // Above the Close button.
    return QRect(20, kCreditsTop, width() - 40, close_->y() - 8 - kCreditsTop);
}

void CAboutDlg::step() {
    const int lineHeight = QFontMetrics(font()).height();
    const int total = creditsArea().height() + lineHeight * static_cast<int>(credits_.size());
    offset_ = (offset_ + 1) % std::max(1, total);
    update(creditsArea());
}

void CAboutDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), kBackground);
    p.drawPixmap(20, 20, trayPixmap(TrayPicture::Idle, 48));

    QFont title = font();
    title.setPointSizeF(title.pointSizeF() * 1.4);
    title.setBold(true);
    p.setFont(title);
    p.setPen(kTitle);
    p.drawText(QRect(84, 20, width() - 104, 26), Qt::AlignLeft | Qt::AlignVCenter, "TAVU");
    p.setFont(font());
    p.setPen(kText);
    p.drawText(QRect(84, 46, width() - 104, 22), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Version %1").arg(kVersionText));
    p.drawText(QRect(20, 80, width() - 40, 64), Qt::AlignLeft | Qt::TextWordWrap,
               "Free software under the GNU General Public License, version 3 or (at your "
               "option) any later version. It comes with ABSOLUTELY NO WARRANTY.");

    // The credits rise from the bottom of their area and leave at its top.
    const QRect area = creditsArea();
    p.setClipRect(area);
    p.setPen(kCredits);
    const int lineHeight = p.fontMetrics().height();
    int y = area.bottom() + 1 - offset_;
    for (const QString& line : credits_) {
        if (y + lineHeight >= area.top() && y <= area.bottom()) {
            p.drawText(QRect(area.left(), y, area.width(), lineHeight), Qt::AlignHCenter, line);
        }
        y += lineHeight;
    }
}

void CAboutDlg::mousePressEvent(QMouseEvent* event) {
    event->accept();
    accept();
}

}  // namespace tavu
