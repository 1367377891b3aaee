#include "log/connection_journal.h"

#include "core/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace tavu {

namespace {

constexpr std::string_view kHeader = "TAVU connection journal 1";
constexpr std::string_view kFooter = "end of journal";

// A value that must stay on its line.
std::string oneLine(std::string_view value) {
    std::string out(value);
    std::replace_if(
        out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return out;
}

template <typename Int>
bool parseNumber(std::string_view text, Int& out) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc() && ptr == end && !text.empty();
}

// Takes the next line (without its line end) and checks that it starts with the key.
bool takeLine(std::string_view& text, std::string_view key, std::string_view& value) {
    const auto nl = text.find('\n');
    if (nl == std::string_view::npos) {
        return false;  // every line, the last one too, ends with its line end
    }
    const std::string_view line = text.substr(0, nl);
    text.remove_prefix(nl + 1);
    if (line.substr(0, key.size()) != key) {
        return false;
    }
    value = line.substr(key.size());
    return true;
}

void syncFolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

std::string composeJournal(const JournalEntry& e) {
    std::string record = composeRecord(e.record);
    record.resize(record.size() - 2);  // without its CR LF
    std::string out;
    out.reserve(160 + record.size() + e.mark.size());
    out.append(kHeader).append("\n");
    out.append("start ").append(std::to_string(e.start)).append("\n");
    out.append("end ").append(std::to_string(e.end)).append("\n");
    out.append("handle ").append(std::to_string(e.handle)).append("\n");
    out.append("mark ").append(oneLine(e.mark)).append("\n");
    out.append("record ").append(record).append("\n");
    out.append(kFooter).append("\n");
    return out;
}

bool parseJournal(std::string_view text, JournalEntry& out) {
    JournalEntry e;
    std::string_view v;
    if (!takeLine(text, kHeader, v) || !v.empty()) {
        return false;
    }
    if (!takeLine(text, "start ", v) || !parseNumber(v, e.start) || !takeLine(text, "end ", v) ||
        !parseNumber(v, e.end) || e.end < e.start || !takeLine(text, "handle ", v) ||
        !parseNumber(v, e.handle)) {
        return false;
    }
    if (!takeLine(text, "mark ", v)) {
        return false;
    }
    e.mark = std::string(v);
    if (!takeLine(text, "record ", v) || std::count(v.begin(), v.end(), '|') != 9 ||
        v.back() != '|') {
        return false;
    }
    const LogFields f = splitRecord(v);
    LogRecord& r = e.record;
    r.startDate = f[LogFields::StartDate];
    r.startTime = f[LogFields::StartTime];
    r.endDate = f[LogFields::EndDate];
    r.endTime = f[LogFields::EndTime];
    r.user = f[LogFields::User];
    r.device = f[LogFields::Device];
    r.connection = f[LogFields::Connection];
    r.bytesSent = f[LogFields::BytesSent];
    r.bytesReceived = f[LogFields::BytesReceived];
    if (!takeLine(text, kFooter, v) || !v.empty() || !text.empty()) {
        return false;
    }
    out = std::move(e);
    return true;
}

ConnectionJournal::Found ConnectionJournal::read(const std::string& path, JournalEntry& out) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
        return errno == ENOENT ? Found::None : Found::Damaged;
    }
    std::string text;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && st.st_uid != ::geteuid()) {
        ::close(fd);
        return Found::NotOwn;
    }
    if (ok && st.st_size == 0) {
        ::close(fd);
        return Found::None;  // emptied by retire(): nothing in it to log
    }
    char buf[4096];
    while (ok) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 || text.size() + static_cast<std::size_t>(n) > kMaxSize) {
            ok = false;
        } else if (n == 0) {
            break;
        } else {
            text.append(buf, static_cast<std::size_t>(n));
        }
    }
    ::close(fd);
    return ok && parseJournal(text, out) ? Found::Whole : Found::Damaged;
}

bool ConnectionJournal::setAside(const std::string& path) {
    return std::rename(path.c_str(), damagedPathFor(path).c_str()) == 0;
}

std::string ConnectionJournal::retire(const std::string& path) {
    if (::unlink(path.c_str()) == 0 || errno == ENOENT) {
        return {};
    }
    const std::string why = std::strerror(errno);
    const std::string name = path.substr(path.rfind('/') + 1);
    const std::string aside = damagedPathFor(path);
    if (setAside(path)) {
        return "The journal " + name + " could not be removed (" + why +
               "); it was logged and is kept as " + aside.substr(aside.rfind('/') + 1);
    }
    // The folder cannot be changed, but the file is ours: without its text it is never logged
    // again.
    const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    struct stat st {};
    const bool emptied = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                         st.st_uid == ::geteuid() && ::ftruncate(fd, 0) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return "The journal " + name + " could not be removed (" + why + "); it was logged and " +
           (emptied ? "emptied" : "may be logged again at the next start");
}

bool ConnectionJournal::begin(const std::string& path, const JournalEntry& entry) {
    if (active_ && path != path_) {
        finish();
    }
    path_ = path;
    active_ = true;
    return write(entry, true);
}

bool ConnectionJournal::update(const std::string& path, const JournalEntry& entry) {
    if (!active_ || path != path_) {
        return begin(path, entry);
    }
    return write(entry, entry.end - lastSync_ >= kSyncEvery || entry.end < lastSync_);
}

void ConnectionJournal::finish() {
    if (active_) {
        ::unlink(path_.c_str());
        active_ = false;
    }
}

bool ConnectionJournal::write(const JournalEntry& entry, bool sync) {
    lastWrite_ = entry.end;
    if (sync) {
        lastSync_ = entry.end;
    }
    const std::string text = composeJournal(entry);
    const std::string temp = path_ + ".tmp";
    // A file of our own, new: whatever lies at the temporary name (left by a crash, or a link
    // or FIFO another user put there) is removed first, never opened, so nothing can block.
    constexpr int kFlags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
    int fd = ::open(temp.c_str(), kFlags, 0644);
    if (fd < 0 && errno == EEXIST && ::unlink(temp.c_str()) == 0) {
        fd = ::open(temp.c_str(), kFlags, 0644);
    }
    if (fd < 0) {
        problem_ = "The journal " + temp + " cannot be written: " + std::strerror(errno) +
                   ". The connection is still logged when it ends.";
        return false;
    }
    bool ok = writeAll(fd, text);
    if (ok && sync) {
        ok = ::fsync(fd) == 0;
    }
    ok = ::close(fd) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), path_.c_str()) != 0) {
        problem_ = "The journal " + path_ + " cannot be written: " + std::strerror(errno) +
                   ". The connection is still logged when it ends.";
        ::unlink(temp.c_str());
        return false;
    }
    problem_.clear();
    if (sync) {
        syncFolderOf(path_);  // the rename itself reaches the disk
    }
    return true;
}

}  // namespace tavu
