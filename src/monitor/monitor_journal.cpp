// The monitor's side of the connection journal: what it finds at start, what it writes while a
// connection is up.

#include <algorithm>

#include "log/log_file.h"
#include "monitor/monitor_core.h"

namespace tavu {

void MonitorCore::recoverJournal(bool up) {
    journalChecked_ = true;
    const std::string path = ConnectionJournal::pathFor(logPath());
    JournalEntry found;
    switch (ConnectionJournal::read(path, found)) {
        case ConnectionJournal::Found::None:
            return;
        case ConnectionJournal::Found::Damaged: {
            // Cut short by a crash or altered: never logged half-read, kept for the user to see.
            const std::string aside = ConnectionJournal::damagedPathFor(path);
            if (ConnectionJournal::setAside(path)) {
                view_.insertStatus("Damaged journal kept as " + aside.substr(aside.rfind('/') + 1));
            } else {
                view_.insertStatus("Damaged journal " + path.substr(path.rfind('/') + 1) +
                                   " could not be set aside: not logged");
            }
            return;
        }
        case ConnectionJournal::Found::NotOwn: {
            // Another user's file in a shared log folder: its record is nobody's to log. Moved
            // out of the way when the folder lets us, so that our own journal can be written.
            const std::string name = path.substr(path.rfind('/') + 1);
            const std::string aside = ConnectionJournal::damagedPathFor(path);
            view_.insertStatus("The journal " + name + " belongs to another user: not logged" +
                               (ConnectionJournal::setAside(path)
                                    ? ", kept as " + aside.substr(aside.rfind('/') + 1)
                                    : std::string()));
            return;
        }
        case ConnectionJournal::Found::Whole:
            break;
    }
    // Still the same connection: listed first under the same handle and entry, owned by the same
    // process, and up since before the journal's last write.
    LogRecord listed;
    if (!table_.empty()) {
        listed.connection = table_[0].entryName;
    }
    // The entry as the record stores it, with any separator blanked.
    const bool sameEntry =
        splitRecord(composeRecord(listed))[LogFields::Connection] == found.record.connection;
    if (up && !table_.empty() && table_[0].handle == found.handle && sameEntry) {
        const platform::ConnectionOrigin origin = s_.ras.connectionOrigin(found.handle);
        if (origin.mark == found.mark && (origin.upSince == 0 || origin.upSince <= found.end)) {
            resumeStart_ = found.start;
            return;  // the first connected tick writes the journal anew
        }
    }
    // The connection ended while the program was not running: it ended at the last write, as far
    // as anyone can tell. A record the log refuses stays in the journal for the next start.
    if (s_.logWriter.append(logPath(), found.record)) {
        ledger_.wrote(logPath());
        // A journal left in place would be logged again at every start.
        const std::string problem = ConnectionJournal::retire(path);
        if (!problem.empty()) {
            view_.insertStatus(problem);
        }
    }
}

void MonitorCore::journalTick(std::int64_t now, bool fresh) {
    if ((!fresh && !journal_.due(now)) || table_.empty()) {
        return;
    }
    JournalEntry e;
    e.start = line_.start;
    e.end = std::max(now, line_.start);
    e.handle = line_.line.handle;
    if (fresh || markedHandle_ != e.handle) {
        mark_ = s_.ras.connectionOrigin(e.handle).mark;
        markedHandle_ = e.handle;
    }
    e.mark = mark_;
    e.record = recordUntil(line_, e.end);
    const std::string path = ConnectionJournal::pathFor(logPath());
    const bool written = fresh ? journal_.begin(path, e) : journal_.update(path, e);
    if (written) {
        journalProblemShown_.clear();
    } else if (journal_.problem() != journalProblemShown_) {
        journalProblemShown_ = journal_.problem();
        view_.insertStatus(journalProblemShown_);
    }
}

}  // namespace tavu
