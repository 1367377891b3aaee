#include "log/log_move.h"

#include "core/file_io.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tavu {

namespace {

// Copies the open file `in` into a new file `to` (which must not exist) with the given mode.
// Returns false, with nothing left at `to`, when any step fails.
bool copyInto(int in, const struct stat& source, const std::string& to) {
    UniqueFd out(
        ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, source.st_mode & 07777));
    if (!out.ok()) {
        return false;  // not even created: nothing to clean up
    }
    bool ok = true;
    off_t copied = 0;
    char buf[64 * 1024];
    while (ok) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = writeAll(out.get(), std::string_view(buf, static_cast<std::size_t>(n)));
        copied += n;
    }
    // Whole and on the disk before the original may go.
    struct stat now {};
    ok = ok && copied == source.st_size && ::fstat(in, &now) == 0 && now.st_size == copied &&
         ::fsync(out.get()) == 0;
    ok = out.close() && ok;
    if (!ok) {
        ::unlink(to.c_str());
    }
    return ok;
}

}  // namespace

LogMoveResult moveLogFile(const std::string& from, const std::string& to) {
    struct stat source {};
    if (::stat(from.c_str(), &source) != 0 || !S_ISREG(source.st_mode)) {
        return LogMoveResult::NoLog;
    }
    struct stat target {};
    if (::stat(to.c_str(), &target) == 0) {
        const bool same = target.st_dev == source.st_dev && target.st_ino == source.st_ino;
        return same ? LogMoveResult::SameFile : LogMoveResult::TargetExists;
    }
    int rc = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    if (rc != 0 && errno == EINVAL) {
        // A file system without the no-replace rename: a second name, then the first one goes.
        rc = ::link(from.c_str(), to.c_str());
        if (rc == 0) {
            ::unlink(from.c_str());
        } else if (errno == EPERM || errno == ENOTSUP) {
            rc = ::rename(from.c_str(), to.c_str());  // no hard links either (FAT and the like)
        }
    }
    if (rc == 0) {
        return LogMoveResult::Moved;
    }
    if (errno == EEXIST) {
        return LogMoveResult::TargetExists;
    }
    if (errno != EXDEV) {
        return LogMoveResult::Failed;
    }
    // Another file system: copy, then remove the original.
    UniqueFd in(openRegularFile(from, O_RDONLY, 0, true));  // swapped for a FIFO: no wait
    if (!in.ok() || ::fstat(in.get(), &source) != 0 || !copyInto(in.get(), source, to)) {
        return LogMoveResult::Failed;
    }
    ::unlink(from.c_str());
    return LogMoveResult::Moved;
}

}  // namespace tavu
