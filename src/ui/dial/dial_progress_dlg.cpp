#include "ui/dial/dial_progress_dlg.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QLabel>
#include <QMetaObject>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <mutex>
#include <optional>
#include <utility>

#include "core/prompter.h"
#include "platform/desktop/shell.h"

namespace tavu {

namespace {

constexpr int kMailPollTimer = 4;
constexpr int kMailPollMs = 100;
constexpr int kOpeningMs = 1000;
constexpr int kWidth = 320;
constexpr int kHeight = 150;
constexpr int kBannerHeight = 34;
constexpr int kBottomMargin = 10;
constexpr int kTextMargin = 4;
constexpr int kSmallestPixels = 8;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// The banner at the top: the program's name on a darker band of the window's orange.
QPixmap bannerPixmap(int width) {
    QPixmap pixmap(width, kBannerHeight);
    pixmap.fill(QColor(225, 100, 0));
    QPainter p(&pixmap);
    p.setPen(CDialProgressDlg::textColor());
    QFont f(CDialProgressDlg::statusFamily());
    f.setPixelSize(18);
    f.setBold(true);
    p.setFont(f);
    p.drawText(pixmap.rect(), Qt::AlignCenter, QStringLiteral("TAVU Online Timer"));
    return pixmap;
}

// Runs a job on a thread of its own; the thread object goes away by itself when done.
template <typename Job>
void runDetached(Job job) {
    QThread* thread = QThread::create(std::move(job));
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}

}  // namespace

// What the mail worker hands back; the window reads it on timer 4.
struct CDialProgressDlg::MailSlot {
    std::mutex mutex;
    std::optional<MailCheckResult> result;
};

CDialProgressDlg::CDialProgressDlg(AppContext context, int mode, QWidget* parent,
                                   const std::string& entry)
    : DarkDialog(parent), ctx_(std::move(context)), mode_(mode) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setModal(true);
    setObjectName(QStringLiteral("dialProgress"));
    setStyleSheet(buttonStyleSheet() +
                  QStringLiteral("#dialProgress { background-color: rgb(255, 128, 0); }"
                                 "QLabel { color: rgb(0, 0, 100); background: transparent; }"));
    setFixedSize(kWidth, kHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, kBottomMargin);
    auto* banner = new QLabel(this);
    banner->setPixmap(bannerPixmap(kWidth));
    layout->addWidget(banner);
    status_ = new QLabel(this);
    status_->setContentsMargins(kTextMargin, 0, kTextMargin, 0);
    status_->setTextFormat(Qt::PlainText);
    status_->setAlignment(Qt::AlignCenter);
    status_->setWordWrap(true);
    layout->addWidget(status_, 1);
    button_ = new QPushButton(QString::fromLatin1(kCancelCaption), this);
    button_->setDefault(true);  // Return presses it, as Escape cancels
    layout->addWidget(button_, 0, Qt::AlignHCenter);
    connect(button_, &QPushButton::clicked, this, [this] { controller_->cancel(); });

    setFontHeight(20);
    controller_ = std::make_unique<DialController>(
        mode_, ctx_.settings, ctx_.ras, static_cast<DialController::View&>(*this),
        [this](const std::string& url) { ctx_.shell.open(url); });
    startTimer(mode_, kOpeningMs);
    controller_->open(entry);
    if (mode_ == MODE_DIAL) {
        setFontHeight(12);
    } else {
        setStatusText(kConnectingToServerText);
    }
}

CDialProgressDlg::~CDialProgressDlg() = default;

QString CDialProgressDlg::statusFamily() {
    static const QString family = QFontDatabase::families().contains(QStringLiteral("Verdana"))
                                      ? QStringLiteral("Verdana")
                                      : QStringLiteral("DejaVu Sans");
    return family;
}

void CDialProgressDlg::setFontHeight(int pixels) {
    font_ = QFont(statusFamily());
    font_.setPixelSize(pixels);
    font_.setWeight(QFont::Black);  // heavy strokes, dark on the orange
    fitStatusText();
}

void CDialProgressDlg::fitStatusText() {
    // The text is drawn in the mode's font, or smaller where that would not fit between the
    // banner and the button: a long answer is read whole, never cut.
    const int width = kWidth - 2 * kTextMargin;
    const int room = kHeight - kBannerHeight - button_->sizeHint().height() - kBottomMargin -
                     2 * layout()->spacing();
    QFont f = font_;
    while (f.pixelSize() > kSmallestPixels) {
        const QRect needed = QFontMetrics(f).boundingRect(
            QRect(0, 0, width, 100000), Qt::AlignCenter | Qt::TextWordWrap, status_->text());
        if (needed.height() <= room && needed.width() <= width) {
            break;
        }
        f.setPixelSize(f.pixelSize() - 1);
    }
    status_->setFont(f);
}

void CDialProgressDlg::setMailCheckJob(MailCheckJob job) {
    mailJob_ = std::move(job);
}

void CDialProgressDlg::setUpgradeQueryJob(UpgradeQueryJob job) {
    upgradeJob_ = std::move(job);
}

void CDialProgressDlg::runDial(AppContext context, QWidget* parent, const std::string& entry) {
    CDialProgressDlg dlg(std::move(context), MODE_DIAL, parent, entry);
    dlg.exec();
}

void CDialProgressDlg::runMailCheck(AppContext context, QWidget* parent, MailCheckJob job,
                                    MailResultHandler onResult) {
    CDialProgressDlg dlg(std::move(context), MODE_MAIL_CHECK, parent);
    dlg.setMailCheckJob(std::move(job));
    dlg.setMailResultHandler(std::move(onResult));
    dlg.exec();
}

void CDialProgressDlg::runUpgradeCheck(AppContext context, QWidget* parent, UpgradeQueryJob job) {
    CDialProgressDlg dlg(std::move(context), MODE_UPGRADE_CHECK, parent);
    dlg.setUpgradeQueryJob(std::move(job));
    dlg.exec();
}

QString CDialProgressDlg::statusText() const {
    return status_->text();
}

QString CDialProgressDlg::buttonText() const {
    return button_->text();
}

void CDialProgressDlg::setStatusText(const std::string& text) {
    status_->setText(qs(text));
    fitStatusText();
    emit statusShown(status_->text());
}

void CDialProgressDlg::setButtonText(const std::string& text) {
    button_->setText(qs(text));
}

void CDialProgressDlg::startTimer(int id, int periodMs) {
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        connect(timer.get(), &QTimer::timeout, this, [this, id] { fireTimer(id); });
    }
    timer->start(periodMs);
}

void CDialProgressDlg::stopTimer(int id) {
    if (const auto it = timers_.find(id); it != timers_.end()) {
        it->second->stop();
    }
}

bool CDialProgressDlg::timerActive(int id) const {
    const auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

int CDialProgressDlg::timerInterval(int id) const {
    const auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive() ? it->second->interval() : 0;
}

void CDialProgressDlg::fireTimer(int id) {
    if (finished_) {
        return;
    }
    controller_->timerFired(id);  // claims the dial events; timer 3 dials
    if (mode_ == MODE_MAIL_CHECK && id == MODE_MAIL_CHECK) {
        stopTimer(MODE_MAIL_CHECK);
        startTimer(kMailPollTimer, kMailPollMs);
        setFontHeight(10);
        startMailWorker();
    } else if (mode_ == MODE_MAIL_CHECK && id == kMailPollTimer) {
        pollMailResult();
    } else if (mode_ == MODE_UPGRADE_CHECK && id == MODE_UPGRADE_CHECK) {
        stopTimer(MODE_UPGRADE_CHECK);
        startUpgradeWorker();
    }
}

void CDialProgressDlg::startMailWorker() {
    auto slot = std::make_shared<MailSlot>();
    mailSlot_ = slot;
    MailCheckJob job = mailJob_;
    // The worker owns its inputs and the slot; the window may close before it is done.
    runDetached([slot, job] {
        MailCheckResult result;  // a failure unless the job says otherwise
        if (job) {
            result = job();
        }
        std::lock_guard lock(slot->mutex);
        slot->result = result;
    });
}

void CDialProgressDlg::pollMailResult() {
    if (!mailSlot_) {
        return;
    }
    std::optional<MailCheckResult> result;
    {
        std::lock_guard lock(mailSlot_->mutex);
        result = mailSlot_->result;
    }
    if (!result) {
        return;
    }
    const std::string text = mailResultText(*result);
    if (statusText() != qs(text)) {
        setStatusText(text);
    }
    setButtonText(kOkCaption);
    if (!mailResultShown_) {
        mailResultShown_ = true;
        if (mailResultHandler_) {
            mailResultHandler_(*result);
        }
    }
}

void CDialProgressDlg::startUpgradeWorker() {
    UpgradeQueryJob job = upgradeJob_;
    QPointer<CDialProgressDlg> self(this);
    runDetached([self, job] {
        const std::string answer = job ? job() : std::string(kUpgradeConnectFailureText);
        // Back on the window's thread, if the window is still there.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, answer] {
                if (self) {
                    self->upgradeAnswered(answer);
                }
            },
            Qt::QueuedConnection);
    });
}

void CDialProgressDlg::upgradeAnswered(const std::string& answer) {
    if (finished_) {
        return;
    }
    if (answer == "OK") {
        setFontHeight(10);
        setStatusText(kNoUpdateText);
        setButtonText(kOkCaption);
    } else if (answer == kUpgradeConnectFailureText) {
        setFontHeight(10);  // two lines fit above the button only at the small size
        setStatusText(answer + "\n" + kVisitText);
        setButtonText(kOkCaption);
    } else {
        ctx_.prompter.show(Message{answer, "TAVU", Buttons::Ok, Icon::Information});
        controller_->cancel();
    }
}

void CDialProgressDlg::finish() {
    finished_ = true;
    for (auto& [id, timer] : timers_) {
        timer->stop();
    }
    done(QDialog::Accepted);
}

void CDialProgressDlg::reject() {
    controller_->cancel();
}

}  // namespace tavu
