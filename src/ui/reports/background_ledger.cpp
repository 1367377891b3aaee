#include "ui/reports/background_ledger.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "core/settings_store.h"
#include "ledger/usage_ledger.h"

namespace tavu {

struct BackgroundLedger::Job {
    Job(const std::string& settingsPath, std::string log)
        : settings(settingsPath), logPath(std::move(log)) {}

    SettingsStore settings;
    std::string logPath;
    std::unique_ptr<UsageLedger> ledger;
    std::thread thread;
    std::mutex m;
    std::condition_variable cv;
    // Under m: the count went on behind the window; it is over; the window told of it (null
    // once the window has gone).
    bool behind = false;
    bool done = false;
    BackgroundLedger* owner = nullptr;
};

BackgroundLedger::BackgroundLedger(const SettingsStore& settings, std::string logPath,
                                   QObject* parent)
    : QObject(parent), job_(std::make_shared<Job>(settings.path(), std::move(logPath))) {
    job_->owner = this;
}

BackgroundLedger::~BackgroundLedger() {
    {
        const std::lock_guard lock(job_->m);
        job_->owner = nullptr;
    }
    if (counting_) {
        leaveRunning(std::move(job_));
    }
}

void BackgroundLedger::leaveRunning(std::shared_ptr<Job> job) {
    // The counts of closed windows go on to their end, so that their sums are kept; the program
    // waits for them as it ends.
    struct Left {
        std::mutex m;
        std::vector<std::shared_ptr<Job>> jobs;
        ~Left() {
            for (const std::shared_ptr<Job>& j : jobs) {
                j->thread.join();
            }
        }
    };
    static Left left;
    const std::lock_guard lock(left.m);
    std::erase_if(left.jobs, [](const std::shared_ptr<Job>& j) {
        bool done;
        {
            const std::lock_guard jobLock(j->m);
            done = j->done;
        }
        if (done) {
            j->thread.join();
        }
        return done;
    });
    left.jobs.push_back(std::move(job));
}

UsageLedger* BackgroundLedger::ledger() const {
    return counting_ ? nullptr : job_->ledger.get();
}

void BackgroundLedger::run(const std::shared_ptr<Job>& job) {
    Job* j = job.get();
    if (j->ledger == nullptr) {
        LedgerOptions options;
        options.progress = [j](std::uint64_t done, std::uint64_t all) { tell(*j, done, all); };
        j->ledger = std::make_unique<UsageLedger>(j->settings, j->logPath, std::move(options));
    } else {
        j->ledger->refresh();
    }
    const std::lock_guard lock(j->m);
    j->done = true;
    j->cv.notify_all();
    if (BackgroundLedger* owner = j->owner; owner != nullptr && j->behind) {
        QMetaObject::invokeMethod(
            owner, [owner] { owner->finish(); }, Qt::QueuedConnection);
    }
}

// A whole count of more than kAtOnceBytes goes on behind the window from its start, and the
// window is told of each stretch done; a smaller one is waited for.
void BackgroundLedger::tell(Job& job, std::uint64_t done, std::uint64_t all) {
    const std::lock_guard lock(job.m);
    if (!job.behind) {
        if (done >= all || all <= kAtOnceBytes) {
            return;
        }
        job.behind = true;
        job.cv.notify_all();
    }
    if (BackgroundLedger* owner = job.owner) {
        QMetaObject::invokeMethod(
            owner,
            [owner, done, all] {
                if (owner->counting()) {
                    emit owner->progress(static_cast<qint64>(done), static_cast<qint64>(all));
                }
            },
            Qt::QueuedConnection);
    }
}

bool BackgroundLedger::update() {
    if (counting_) {
        return false;
    }
    Job& j = *job_;
    {
        const std::lock_guard lock(j.m);
        j.behind = false;
        j.done = false;
    }
    try {
        j.thread = std::thread([job = job_] { run(job); });
    } catch (const std::system_error&) {
        // No thread to be had: the count is made here, the window waiting for it.
        {
            const std::lock_guard lock(j.m);
            j.owner = nullptr;
        }
        run(job_);
        const std::lock_guard lock(j.m);
        j.owner = this;
        return true;
    }
    bool behind;
    {
        std::unique_lock lock(j.m);
        j.cv.wait(lock, [&] { return j.behind || j.done; });
        behind = j.behind;
    }
    if (!behind) {
        j.thread.join();
        return true;
    }
    counting_ = true;
    return false;
}

void BackgroundLedger::finish() {
    if (!counting_) {
        return;
    }
    job_->thread.join();
    counting_ = false;
    emit counted();
}

}  // namespace tavu
