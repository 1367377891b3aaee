#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

namespace tavu {

class SettingsStore;
class UsageLedger;

// The monitor's one usage ledger of its log: opened at its first need, its sums brought up to
// date when the monitor has written a record, when the settings changed, and, when asked to look,
// when another program changed the log; opened again for another log.
class MonitorLedger {
  public:
    explicit MonitorLedger(const SettingsStore& settings);
    ~MonitorLedger();
    MonitorLedger(const MonitorLedger&) = delete;
    MonitorLedger& operator=(const MonitorLedger&) = delete;

    // The ledger of the log at `path`, its sums up to date with the settings. create: make the
    // store beside the log when there is none (tried once per log). lookAtLog: also count what
    // another program changed in the log since the last count.
    UsageLedger& at(const std::string& path, bool create, bool lookAtLog);
    bool opened() const { return ledger_ != nullptr; }
    // The monitor wrote to the log at `path`: its sums count it at once, and other programs find
    // nothing new to count. Nothing while the ledger of that log is not open: it counts the log
    // when it opens.
    void wrote(const std::string& path);
    // Whether a count could give other sums now: the ledger is not open, or the log's path, the
    // log or the settings changed since the last count. Looks at two files; reads neither.
    bool changed(const std::string& path) const;
    // How many times the sums were brought up to date (opened or refreshed).
    std::uint64_t counts() const { return counts_; }

  private:
    struct FileState {
        bool exists = false;
        dev_t dev = 0;
        ino_t ino = 0;
        off_t size = 0;
        std::int64_t mtimeNs = 0;
        bool operator==(const FileState&) const = default;
    };
    static FileState look(const std::string& path);
    void refresh();

    const SettingsStore& settings_;
    std::unique_ptr<UsageLedger> ledger_;
    std::string path_;
    bool createTried_ = false;
    std::uint64_t generation_ = 0;  // of the settings the sums were counted by
    FileState log_;                 // the log as it was before the last count
    std::uint64_t counts_ = 0;
};

}  // namespace tavu
