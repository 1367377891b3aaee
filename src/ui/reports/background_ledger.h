#pragma once

// The usage engine of a window, made and brought up to date on a thread of its own: a whole
// count of a big log (the first one, or one after the log or the tariff changed) goes on behind
// the window, which shows its progress and stays responsive.

#include <QObject>
#include <cstdint>
#include <memory>
#include <string>

namespace tavu {

class SettingsStore;
class UsageLedger;

class BackgroundLedger : public QObject {
    Q_OBJECT

  public:
    // The ledger reads a settings store of its own on the file of `settings`: a count left
    // running when the window closes goes on to its end without it.
    BackgroundLedger(const SettingsStore& settings, std::string logPath, QObject* parent = nullptr);
    ~BackgroundLedger() override;

    // Brings the sums up to date with the log and the settings (the ledger is made at the first
    // call). True when they are ready on return: nothing new, a new tail, or a whole count of
    // at most kAtOnceBytes of the log (a few milliseconds), waited for. False when a whole count
    // of more goes on behind: progress() follows as it goes, then counted(). While it goes on
    // nothing is done.
    bool update();
    static constexpr std::uint64_t kAtOnceBytes = std::uint64_t{1} << 20;
    bool counting() const { return counting_; }
    // The ledger, up to date; null while a count goes on (it belongs to the counting thread).
    UsageLedger* ledger() const;

  signals:
    // Bytes of the log counted, of all of them.
    void progress(qint64 done, qint64 all);
    // The count that went on behind is over: ledger() is ready.
    void counted();

  private:
    struct Job;
    // The count, on its own thread.
    static void run(const std::shared_ptr<Job>& job);
    // The count's progress, on the thread that counts.
    static void tell(Job& job, std::uint64_t done, std::uint64_t all);
    static void leaveRunning(std::shared_ptr<Job> job);
    void finish();

    std::shared_ptr<Job> job_;
    bool counting_ = false;
};

}  // namespace tavu
