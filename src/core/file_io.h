#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tavu {

// An open file descriptor, closed when it goes out of scope.
class UniqueFd {
  public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd();
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    bool ok() const { return fd_ >= 0; }
    // Closes now; false when the close reported an error (a write that did not reach the disk).
    bool close();

  private:
    int fd_;
};

// Writes all of `data`, going on after interrupted and short writes; false on an error.
bool writeAll(int fd, std::string_view data);

// Reads at most maxBytes of a regular file into `out`. Opening does not block, so a FIFO planted
// in place of the file cannot stall the caller; anything but a regular file fails with errno
// ENOENT.
bool readSmallFile(const std::string& path, std::size_t maxBytes, std::string& out);

}  // namespace tavu
