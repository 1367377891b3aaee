#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "log/log_record.h"

namespace tavu {

// The connection in progress as the journal keeps it: its record as it would be written now
// (the end is the moment of the last write) and what tells this connection from a later one.
struct JournalEntry {
    std::int64_t start = 0;  // seconds since the epoch
    std::int64_t end = 0;
    std::uint64_t handle = 0;  // the service's handle of the watched connection
    std::string mark;          // the service's mark of it (see RemoteAccess::connectionOrigin)
    LogRecord record;
};

// The journal's text, and back. A text that is not whole (cut short, altered) gives false.
std::string composeJournal(const JournalEntry& entry);
bool parseJournal(std::string_view text, JournalEntry& out);

// The small file beside the log that holds the connection in progress, so that a program that
// is killed loses at most kWriteEvery seconds of it. Each write replaces the file atomically
// (a temporary file renamed over it); the first write of a connection and one write a minute
// are flushed to the disk. Nothing is written while no connection is up.
class ConnectionJournal {
  public:
    static constexpr std::int64_t kWriteEvery = 10;
    static constexpr std::int64_t kSyncEvery = 60;
    // Larger files are no journal of ours.
    static constexpr std::size_t kMaxSize = 16 * 1024;

    // NotOwn: a file of another user at the journal's name (planted in a shared log folder),
    // never read.
    enum class Found { None, Whole, Damaged, NotOwn };

    // "logfile.log.open" beside "logfile.log"; a damaged one is kept as "logfile.log.open.bad".
    static std::string pathFor(const std::string& logPath) { return logPath + ".open"; }
    static std::string damagedPathFor(const std::string& journalPath) {
        return journalPath + ".bad";
    }

    static Found read(const std::string& path, JournalEntry& out);
    // Moves a damaged journal aside (replacing an older damaged one); false when it could not.
    static bool setAside(const std::string& path);
    // Makes sure that a journal whose record was logged is never logged again: removed, or set
    // aside when it cannot be removed, or emptied (an empty journal holds nothing to log) when
    // it cannot be moved either. Returns what the user is to be told, empty when it went.
    static std::string retire(const std::string& path);

    // Starts the journal of a connection: written and flushed at once.
    bool begin(const std::string& path, const JournalEntry& entry);
    // True when the connection's journal is due to be written again at this moment (also when
    // the clock was set back past the last write).
    bool due(std::int64_t now) const {
        return active_ && (now - lastWrite_ >= kWriteEvery || now < lastWrite_);
    }
    // Writes the journal again (to a new path: the old file goes, the new one is flushed).
    bool update(const std::string& path, const JournalEntry& entry);
    // The connection's record was written: the journal goes.
    void finish();

    bool active() const { return active_; }
    // Why the last write failed, for the user; empty after a write that worked.
    const std::string& problem() const { return problem_; }
    const std::string& path() const { return path_; }

  private:
    bool write(const JournalEntry& entry, bool sync);

    std::string path_;
    std::string problem_;
    bool active_ = false;
    std::int64_t lastWrite_ = 0;
    std::int64_t lastSync_ = 0;
};

}  // namespace tavu
