#include "log/log_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "core/file_io.h"
#include "core/paths.h"
#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"

namespace tavu {

namespace {

ssize_t readRetry(int fd, char* buf, std::size_t n) {
    for (;;) {
        const ssize_t r = ::read(fd, buf, n);
        if (r >= 0 || errno != EINTR) {
            return r;
        }
    }
}

ssize_t preadFull(int fd, char* buf, std::size_t n, off_t at) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, buf + got, n - got, at + static_cast<off_t>(got));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0) {
            break;
        }
        got += static_cast<std::size_t>(r);
    }
    return static_cast<ssize_t>(got);
}

std::string_view withoutCr(std::string_view line) {
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

constexpr std::size_t kChunk = 1 << 20;

}  // namespace

std::string logFilePath(const SettingsStore& settings, std::string_view configDir) {
    std::string dir = settings.readString(keys::kSettings, keys::kIniPath);
    if (dir.empty()) {
        dir = std::string(configDir) + "/";
    }
    return joinPath(dir, kLogFileName);
}

bool LogWriter::append(const std::string& path, const LogRecord& record) {
    Refusal why = Refusal::None;
    if (!write(path, record, &why)) {
        prompter_.show(failure(path, why));
        return false;
    }
    return true;
}

Message LogWriter::failure(const std::string& path, Refusal why) {
    // A plain box with no icon, as the program has always shown it.
    if (why == Refusal::NotOwn) {
        return Message{"Can not write to file " + path +
                           ": it belongs to another user. "
                           "You can try to specify other location for logfile.",
                       "Error", Buttons::Ok, Icon::None};
    }
    if (why == Refusal::NotRegular) {
        return Message{"Can not write to file " + path +
                           ": it is a symbolic link, a FIFO or a device, not a regular file. "
                           "You can try to specify other location for logfile.",
                       "Error", Buttons::Ok, Icon::None};
    }
    return Message{
        "Can not write to file" + path + " You can try to specify other location for logfile.",
        "Error", Buttons::Ok, Icon::None};
}

bool LogWriter::write(const std::string& path, const LogRecord& record, Refusal* why) {
    bool notRegularName = false;
    bool* notRegular = &notRegularName;
    std::string text = composeRecord(record);
    // Another user of a shared folder may have put a link or a FIFO at the log's name: the
    // record goes only into a regular file, and opening never waits.
    int fd = openRegularFile(path, O_RDWR | O_APPEND | O_CREAT, 0644, false, notRegular);
    if (fd < 0 && errno == EACCES) {
        fd = openRegularFile(path, O_WRONLY | O_APPEND | O_CREAT, 0644, false, notRegular);
    }
    UniqueFd file(fd);
    bool ok = file.ok();
    // Another user's file at the log's name (in a shared log folder) is no log of ours.
    const bool notOwn = ok && !ownedByUser(file.get());
    ok = ok && !notOwn;
    if (why != nullptr) {
        *why = notOwn ? Refusal::NotOwn : notRegularName ? Refusal::NotRegular : Refusal::None;
    }
    if (ok) {
        // A last line without its line end (a hand edit, an earlier failed write) would swallow
        // this record into it: start on a line of our own.
        struct stat st {};
        char last = '\n';
        if (::fstat(file.get(), &st) == 0 && st.st_size > 0 &&
            ::pread(file.get(), &last, 1, st.st_size - 1) == 1 && last != '\n') {
            text.insert(0, "\r\n");
        }
        ssize_t n;
        do {
            n = ::write(file.get(), text.data(), text.size());
        } while (n < 0 && errno == EINTR);
        if (n != static_cast<ssize_t>(text.size())) {
            // Part of the line may be on disk (disk full): end it, so the next record is whole.
            if (n > 0) {
                [[maybe_unused]] const ssize_t ignored = ::write(file.get(), "\r\n", 2);
            }
            ok = false;
        }
    }
    return ok;
}

bool LogReader::forEachLine(const std::string& path, const LineFn& fn) {
    UniqueFd file(openRegularFile(path, O_RDONLY, 0, true));
    if (!file.ok()) {
        return false;
    }
    std::unique_ptr<char[]> buf(new char[kChunk]);
    std::string carry;      // the start of a line that continues in the next chunk
    bool overlong = false;  // the carried line reached kMaxLine: drop the rest of it
    for (;;) {
        const ssize_t n = readRetry(file.get(), buf.get(), kChunk);
        if (n <= 0) {
            break;
        }
        std::string_view data(buf.get(), static_cast<std::size_t>(n));
        for (;;) {
            const auto nl = data.find('\n');
            if (nl == std::string_view::npos) {
                if (!overlong) {
                    const std::size_t room = kMaxLine - carry.size();
                    carry.append(data.substr(0, room));
                    overlong = data.size() >= room;
                }
                break;
            }
            std::string_view line = data.substr(0, nl);
            if (!carry.empty() || overlong) {
                if (!overlong) {
                    carry.append(line.substr(0, kMaxLine - carry.size()));
                }
                fn(withoutCr(carry));
                carry.clear();
                overlong = false;
            } else {
                fn(withoutCr(line.substr(0, kMaxLine)));
            }
            data.remove_prefix(nl + 1);
        }
    }
    if (!carry.empty()) {
        fn(withoutCr(carry));
    }
    return true;
}

bool LogReader::forEachLineReverse(const std::string& path, const LineFn& fn) {
    UniqueFd file(openRegularFile(path, O_RDONLY, 0, true));
    if (!file.ok()) {
        return false;
    }
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) {
        return false;
    }
    const off_t size = st.st_size;
    if (size <= 0) {
        return true;
    }
    std::vector<char> chunk(kChunk);
    std::vector<char> head(kMaxLine);
    char last = 0;
    preadFull(file.get(), &last, 1, size - 1);
    off_t scanEnd = last == '\n' ? size - 1 : size;  // '\n' bytes before this end lines
    off_t lineEnd = scanEnd;                         // end of the line being collected
    auto emit = [&](off_t begin, off_t end, off_t chunkBegin, off_t chunkEnd) {
        const auto len = static_cast<std::size_t>(end - begin);
        if (begin >= chunkBegin && end <= chunkEnd) {
            const std::string_view line(chunk.data() + (begin - chunkBegin), len);
            fn(withoutCr(line.substr(0, kMaxLine)));
            return;
        }
        const std::size_t want = std::min(len, kMaxLine);
        const ssize_t got = preadFull(file.get(), head.data(), want, begin);
        fn(withoutCr(std::string_view(head.data(), got > 0 ? static_cast<std::size_t>(got) : 0)));
    };
    while (scanEnd > 0) {
        const off_t chunkBegin = std::max<off_t>(0, scanEnd - static_cast<off_t>(kChunk));
        const auto len = static_cast<std::size_t>(scanEnd - chunkBegin);
        if (preadFull(file.get(), chunk.data(), len, chunkBegin) != static_cast<ssize_t>(len)) {
            break;
        }
        for (std::size_t i = len; i-- > 0;) {
            if (chunk[i] == '\n') {
                const off_t nl = chunkBegin + static_cast<off_t>(i);
                emit(nl + 1, lineEnd, chunkBegin, scanEnd);
                lineEnd = nl;
            }
        }
        if (chunkBegin == 0) {
            emit(0, lineEnd, chunkBegin, scanEnd);
        }
        scanEnd = chunkBegin;
    }
    return true;
}

}  // namespace tavu
