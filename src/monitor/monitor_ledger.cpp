#include "monitor/monitor_ledger.h"

#include <sys/stat.h>

#include "core/settings_store.h"
#include "ledger/usage_ledger.h"

namespace tavu {

MonitorLedger::MonitorLedger(const SettingsStore& settings) : settings_(settings) {}

MonitorLedger::~MonitorLedger() = default;

MonitorLedger::FileState MonitorLedger::look(const std::string& path) {
    FileState f;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        f.exists = true;
        f.dev = st.st_dev;
        f.ino = st.st_ino;
        f.size = st.st_size;
        f.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
    return f;
}

UsageLedger& MonitorLedger::at(const std::string& path, bool create, bool lookAtLog) {
    const bool other = ledger_ == nullptr || path != path_;
    // A ledger opened without a store makes it once the monitor keeps usage; a store that was
    // refused is not tried again for the same log.
    if (other || (create && !createTried_ && ledger_->rows() == nullptr)) {
        if (other) {
            createTried_ = false;
        }
        createTried_ = createTried_ || create;
        path_ = path;
        // The log and the settings as they were before the count: a change made while it counts
        // is counted at the next look.
        generation_ = settings_.generation();
        log_ = look(path);
        ledger_.reset();
        ledger_ = std::make_unique<UsageLedger>(settings_, path,
                                                LedgerOptions{.progress = {}, .create = create});
        ++counts_;
    } else if (settings_.generation() != generation_ || (lookAtLog && look(path_) != log_)) {
        refresh();
    }
    return *ledger_;
}

void MonitorLedger::wrote(const std::string& path) {
    if (ledger_ != nullptr && path == path_) {
        refresh();
    }
}

bool MonitorLedger::changed(const std::string& path) const {
    return ledger_ == nullptr || path != path_ || settings_.generation() != generation_ ||
           look(path_) != log_;
}

void MonitorLedger::refresh() {
    generation_ = settings_.generation();
    log_ = look(path_);
    ledger_->refresh();
    ++counts_;
}

}  // namespace tavu
