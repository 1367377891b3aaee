#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
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

// Opens a file that must be a regular file, in a folder others may write to: opening does not
// block (a FIFO or device planted in its place cannot stall the caller) and, unless followLink,
// a symbolic link is not followed. Returns the descriptor, or -1 with errno set; *notRegular
// tells whether the failure was a name that is no regular file (a symbolic link, a FIFO, a
// device, a folder).
int openRegularFile(const std::string& path, int flags, mode_t mode, bool followLink,
                    bool* notRegular = nullptr);

// Replaces the file at path with data through a hidden temporary file in the same folder and a
// rename, so that a reader finds the old text or the new one, never a mixture. The new file has
// the given mode, and the given group unless it is -1 (a failure to change the group is not an
// error); it is on the disk before the rename. Returns 0, or the errno of what failed (nothing
// is left behind then).
int replaceFile(const std::string& path, std::string_view data, mode_t mode,
                gid_t group = static_cast<gid_t>(-1));

// The same for a file the user names, in a folder others may write to: a name that is a
// symbolic link is refused (ELOOP), and so is one that is no regular file (EISDIR for a folder,
// EINVAL for a FIFO, a device or a socket), whoever owns it; fill writes the text to the new
// file's descriptor and returns false (with errno set) when it failed. The link, or the file a
// link points to, is never written: the new file is created without following any link and put
// in place by a rename.
int replaceUserFile(const std::string& path, mode_t mode, const std::function<bool(int fd)>& fill);

// Why replaceUserFile failed, for the user ("it is a symbolic link", "Permission denied").
std::string replaceErrorText(int err);

// True when the open file belongs to the user the program runs as (its effective user).
bool ownedByUser(int fd);

}  // namespace tavu
