#include "net/mail_controller.h"

#include <mutex>
#include <optional>
#include <thread>

#include "core/settings_keys.h"
#include "core/settings_store.h"

namespace tavu {

// Where one worker leaves its result for the poll.
struct MailController::Slot {
    std::mutex mutex;
    std::optional<MailCheckResult> result;
};

MailController::MailController(JobFactory makeJob, QObject* parent)
    : QObject(parent), makeJob_(std::move(makeJob)) {
    poll_.setInterval(100);
    connect(&poll_, &QTimer::timeout, this, &MailController::pollResults);
}

MailController::~MailController() = default;

void MailController::startCheck() {
    auto slot = std::make_shared<Slot>();
    MailCheckJob job = makeJob_ ? makeJob_() : MailCheckJob{};
    std::thread([slot, job = std::move(job)] {
        MailCheckResult result;  // a failure unless the job says otherwise
        if (job) {
            try {
                result = job();
            } catch (...) {
            }
        }
        const std::lock_guard lock(slot->mutex);
        slot->result = result;
    }).detach();
    slots_.push_back(std::move(slot));
    if (!poll_.isActive()) {
        poll_.start();
    }
}

void MailController::pollResults() {
    std::vector<MailCheckResult> done;
    std::erase_if(slots_, [&](const std::shared_ptr<Slot>& slot) {
        const std::lock_guard lock(slot->mutex);
        if (!slot->result) {
            return false;
        }
        done.push_back(*slot->result);
        return true;
    });
    if (slots_.empty()) {
        poll_.stop();
    }
    for (const MailCheckResult& r : done) {
        handleResult(r);
    }
}

void MailController::handleResult(const MailCheckResult& result) {
    switch (result.kind) {
        case MailCheckResult::Kind::Count:
            emit newMail(QString::number(result.count), newMailTooltip(result.count));
            break;
        case MailCheckResult::Kind::Failure:
            emit checkFailed(kErrorTooltip);
            break;
        case MailCheckResult::Kind::NoServer:
            emit checkFailed(kNoServerTooltip);
            break;
        case MailCheckResult::Kind::NoMail:
            emit noMail();
            break;
    }
    emit resultHandled(result);
}

bool MailController::checksAfterConnect(const SettingsStore& settings) {
    return settings.readInt(keys::kSettings, keys::kCheckMail, 0) == 1 ||
           settings.readInt(keys::kSettings, keys::kCheckMailOnCon, 0) == 1;
}

QString MailController::newMailTooltip(std::uint32_t count) {
    return QString::fromStdString(
        mailResultText(MailCheckResult{MailCheckResult::Kind::Count, count}));
}

}  // namespace tavu
