#pragma once

// The log read in stretches of bytes, each on its own: a line belongs to the stretch in which it
// starts, and is cut as LogReader cuts it (its CR dropped, at most kMaxLine bytes kept).

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string_view>
#include <vector>

#include "log/log_file.h"

namespace tavu {

// Reads the lines that start within [begin, end) of a file of the given size and calls
// fn(line) for each, in order. buf is the stretch's bytes afterwards (the lines point into it).
template <typename Fn>
void forEachLineInStretch(int fd, std::uint64_t size, std::uint64_t begin, std::uint64_t end,
                          std::vector<char>& buf, Fn&& fn) {
    end = std::min(end, size);
    if (begin >= end) {
        buf.clear();
        return;
    }
    // One byte before, to see whether a line starts at the beginning; enough after to finish
    // the last line that starts within (lines are cut at kMaxLine bytes).
    const std::uint64_t from = begin == 0 ? 0 : begin - 1;
    const std::uint64_t want = std::min<std::uint64_t>(size, end + LogReader::kMaxLine) - from;
    buf.resize(want);
    std::size_t got = 0;
    while (got < want) {
        const ssize_t n = ::pread(fd, buf.data() + got, want - got, static_cast<off_t>(from + got));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    const std::string_view data(buf.data(), got);  // data[i] is byte from + i of the file
    const bool toTheEnd = got < want || from + got == size;
    std::size_t pos = begin - from;
    if (begin != 0 && (data.empty() || data[0] != '\n')) {
        // The stretch begins inside a line of the stretch before.
        const std::size_t nl = data.find('\n', pos);
        if (nl == std::string_view::npos) {
            return;
        }
        pos = nl + 1;
    }
    const std::size_t stop = std::min<std::size_t>(end - from, data.size());
    while (pos < stop) {
        const std::size_t nl = data.find('\n', pos);
        if (nl == std::string_view::npos && !toTheEnd && data.size() - pos < LogReader::kMaxLine) {
            break;  // only when the file changed under the pass
        }
        const std::size_t lineEnd = nl == std::string_view::npos ? data.size() : nl;
        std::string_view line = data.substr(pos, std::min(lineEnd - pos, LogReader::kMaxLine));
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        fn(line);
        if (nl == std::string_view::npos) {
            break;
        }
        pos = nl + 1;
    }
}

}  // namespace tavu
