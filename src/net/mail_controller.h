#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

#include "net/net_jobs.h"

namespace tavu {

class SettingsStore;

// The main window's background mailbox checks without the window: each check runs its job on a
// thread of its own; a poll every 100 ms on this object's thread takes the results the workers
// left and turns them into what the mail icon and the display show. The results of the checks
// the user starts in the progress window come in through handleResult, so the icon and the
// display follow every check. Checks neither wait for nor
// cancel each other; each result is handled once. A worker still running when this object goes
// finishes its exchange and its result is dropped.
class MailController : public QObject {
    Q_OBJECT

  public:
    // Makes the job of one check; called on this object's thread as each check starts, so the
    // job carries the settings as stored at that moment.
    using JobFactory = std::function<MailCheckJob()>;

    explicit MailController(JobFactory makeJob, QObject* parent = nullptr);
    ~MailController() override;

    void setJobFactory(JobFactory makeJob) { makeJob_ = std::move(makeJob); }

    // Starts a worker and the result poll.
    void startCheck();
    // The result poll: handles every result delivered since the last one; stops itself when no
    // check is running any more.
    void pollResults();
    // One result, from this object's workers or from elsewhere: the signals below.
    void handleResult(const MailCheckResult& result);
    bool pollActive() const { return poll_.isActive(); }
    std::size_t runningChecks() const { return slots_.size(); }

    // Whether the check a minute after a connection runs: CheckMail or CheckMailOnCon is 1.
    static bool checksAfterConnect(const SettingsStore& settings);

    // The texts the main window shows.
    static QString newMailTooltip(std::uint32_t count);
    static constexpr const char* kErrorTooltip = "Error connecting email server!";
    static constexpr const char* kNoServerTooltip =
        "No mail server is set: see Preferences, Email.";

  signals:
    // A count: the new-mail icon with the tooltip, the count in the display's mail field.
    void newMail(const QString& countText, const QString& tooltip);
    // A failure: the mail-error icon with its tooltip; no box.
    void checkFailed(const QString& tooltip);
    // No mail waiting: the mail icon goes, the display's mail field reads 0.
    void noMail();
    // Every handled result, "There are no new emails." included.
    void resultHandled(const tavu::MailCheckResult& result);

  private:
    struct Slot;

    JobFactory makeJob_;
    QTimer poll_;
    std::vector<std::shared_ptr<Slot>> slots_;
};

}  // namespace tavu
