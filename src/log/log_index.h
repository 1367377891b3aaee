#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tavu {

// Where each record of the log starts, newest first, so that rows can be read as they are
// needed instead of all at once. The log is indexed once, as it is at that moment; what is
// appended later is not seen. Lines that are no record (empty, only separators and blanks) are
// left out. Lines are cut as LogReader cuts them: at most LogReader::kMaxLine bytes, one CR
// before the line end dropped.
class LogIndex {
  public:
    LogIndex() = default;
    ~LogIndex();
    LogIndex(LogIndex&& other) noexcept;
    LogIndex& operator=(LogIndex&& other) noexcept;
    LogIndex(const LogIndex&) = delete;
    LogIndex& operator=(const LogIndex&) = delete;

    // Indexes the log at path; false (and an empty index) when it cannot be opened. The file
    // stays open for reading rows until the index goes.
    bool open(const std::string& path);

    std::size_t size() const { return offsets_.size(); }
    bool empty() const { return offsets_.empty(); }

    using RowFn = std::function<void(std::size_t row, std::string_view line)>;

    // Calls fn for rows first .. first + count - 1 (row 0 is the newest record), in that order.
    // Rows past the end are not visited; a row that can no longer be read comes as empty text.
    void readRows(std::size_t first, std::size_t count, const RowFn& fn) const;

    // Spans of the file up to this size are read in one piece when a range of rows is read.
    static constexpr std::size_t kMaxSpan = 4 << 20;

  private:
    void close();
    std::string_view lineAt(const char* data, std::size_t available) const;

    int fd_ = -1;
    std::uint64_t end_ = 0;               // bytes of the log that were indexed
    std::vector<std::uint64_t> offsets_;  // line starts, newest record first
    mutable std::vector<char> buffer_;
};

}  // namespace tavu
