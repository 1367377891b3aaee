#pragma once

#include <string>

namespace tavu {

enum class LogMoveResult {
    Moved,         // the log is at the new place and gone from the old one
    SameFile,      // both names lead to the same file: nothing to do
    NoLog,         // there is no log at the old place
    TargetExists,  // the new place already holds a file: both stay as they are
    Failed,        // the move did not happen; the old log is untouched
};

// Moves the log file `from` to `to`. Within one file system it is renamed; across file systems
// it is copied to the new place, flushed to the disk, checked, and only then removed from the
// old one. A copy that fails at any point is removed again and the old log stays whole: the log
// is the user's only history of their connections. An existing file at `to` is never replaced.
LogMoveResult moveLogFile(const std::string& from, const std::string& to);

}  // namespace tavu
