#include "log/log_index.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/file_io.h"
#include "log/log_file.h"
#include "log/log_record.h"

namespace tavu {

namespace {

constexpr std::size_t kChunk = 1 << 20;

std::size_t preadFull(int fd, char* buf, std::size_t n, std::uint64_t at) {
    std::size_t got = 0;
    while (got < n) {
        const ssize_t r = ::pread(fd, buf + got, n - got, static_cast<off_t>(at + got));
        if (r < 0 && errno == EINTR) {
            continue;
        }
        if (r <= 0) {
            break;
        }
        got += static_cast<std::size_t>(r);
    }
    return got;
}

// The line as the readers see it: its first kMaxLine bytes without a final CR.
std::string_view cut(std::string_view line) {
    line = line.substr(0, LogReader::kMaxLine);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

bool holdsRecord(std::string_view line) {
    line = cut(line);
    if (line.empty()) {
        return false;
    }
    // Nearly every line starts with its date: no need to split it.
    if (line.front() >= '0' && line.front() <= '9') {
        return true;
    }
    return splitRecord(line).isRecord();
}

}  // namespace

LogIndex::~LogIndex() {
    close();
}

LogIndex::LogIndex(LogIndex&& other) noexcept
    : fd_(other.fd_), end_(other.end_), offsets_(std::move(other.offsets_)) {
    other.fd_ = -1;
    other.end_ = 0;
}

LogIndex& LogIndex::operator=(LogIndex&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = other.fd_;
        end_ = other.end_;
        offsets_ = std::move(other.offsets_);
        other.fd_ = -1;
        other.end_ = 0;
    }
    return *this;
}

void LogIndex::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool LogIndex::open(const std::string& path) {
    close();
    offsets_.clear();
    end_ = 0;
    fd_ = openRegularFile(path, O_RDONLY, 0, true);  // a FIFO at its name does not block
    if (fd_ < 0) {
        return false;
    }
    std::vector<char> chunk(kChunk);
    std::string carry;  // the first bytes of a line that goes on in the next chunk
    std::uint64_t pos = 0;
    std::uint64_t lineStart = 0;
    for (;;) {
        const std::size_t n = preadFull(fd_, chunk.data(), kChunk, pos);
        if (n == 0) {
            break;
        }
        const char* data = chunk.data();
        std::size_t at = 0;
        while (at < n) {
            const void* hit = std::memchr(data + at, '\n', n - at);
            if (hit == nullptr) {
                break;
            }
            const auto nl = static_cast<std::size_t>(static_cast<const char*>(hit) - data);
            bool record;
            if (lineStart >= pos) {
                record = holdsRecord(std::string_view(data + at, nl - at));
            } else {
                carry.append(data, std::min(nl, LogReader::kMaxLine - carry.size()));
                record = holdsRecord(carry);
                carry.clear();
            }
            if (record) {
                offsets_.push_back(lineStart);
            }
            at = nl + 1;
            lineStart = pos + at;
        }
        if (at < n && carry.size() < LogReader::kMaxLine) {
            carry.append(data + at, std::min(n - at, LogReader::kMaxLine - carry.size()));
        }
        pos += n;
        if (n < kChunk) {
            break;
        }
    }
    end_ = pos;
    if (lineStart < end_ && holdsRecord(carry)) {
        offsets_.push_back(lineStart);
    }
    std::reverse(offsets_.begin(), offsets_.end());
    return true;
}

std::string_view LogIndex::lineAt(const char* data, std::size_t available) const {
    const std::size_t n = std::min(available, LogReader::kMaxLine + 1);
    const void* nl = std::memchr(data, '\n', n);
    const std::size_t len =
        nl != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nl) - data) : n;
    return cut(std::string_view(data, len));
}

void LogIndex::readRows(std::size_t first, std::size_t count, const RowFn& fn) const {
    if (first >= offsets_.size() || count == 0) {
        return;
    }
    const std::size_t last = std::min(offsets_.size() - 1, first + count - 1);
    const std::uint64_t begin = offsets_[last];
    const std::uint64_t stop = first > 0 ? offsets_[first - 1] : end_;
    if (stop - begin <= kMaxSpan) {
        // The rows lie side by side in the file, the oldest first: one read serves them all.
        buffer_.resize(static_cast<std::size_t>(stop - begin));
        const std::size_t got = preadFull(fd_, buffer_.data(), buffer_.size(), begin);
        for (std::size_t r = first; r <= last; ++r) {
            const auto off = static_cast<std::size_t>(offsets_[r] - begin);
            fn(r, off < got ? lineAt(buffer_.data() + off, got - off) : std::string_view());
        }
        return;
    }
    // Very long lines in between: read each row on its own.
    buffer_.resize(LogReader::kMaxLine + 1);
    for (std::size_t r = first; r <= last; ++r) {
        const std::uint64_t at = offsets_[r];
        const auto want = static_cast<std::size_t>(
            std::min<std::uint64_t>(buffer_.size(), end_ > at ? end_ - at : 0));
        const std::size_t got = preadFull(fd_, buffer_.data(), want, at);
        fn(r, lineAt(buffer_.data(), got));
    }
}

}  // namespace tavu
