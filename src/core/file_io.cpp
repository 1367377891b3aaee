#include "core/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace tavu {

UniqueFd::~UniqueFd() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool UniqueFd::close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

int openRegularFile(const std::string& path, int flags, mode_t mode, bool followLink,
                    bool* notRegular) {
    if (notRegular != nullptr) {
        *notRegular = false;
    }
    const int fd =
        ::open(path.c_str(),
               flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (followLink ? 0 : O_NOFOLLOW), mode);
    struct stat st {};
    if (fd < 0) {
        const int err = errno;
        // A FIFO without a reader refuses a writer (ENXIO); a final symbolic link gives ELOOP.
        if (notRegular != nullptr && (err == ENXIO || err == ELOOP || err == EISDIR ||
                                      (::lstat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
                                       !(followLink && S_ISLNK(st.st_mode))))) {
            *notRegular = true;
        }
        errno = err;
        return -1;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (notRegular != nullptr) {
            *notRegular = true;
        }
        errno = EINVAL;
        return -1;
    }
    // Regular files ignore it, but later reads and writes of the caller expect blocking calls.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

bool readSmallFile(const std::string& path, std::size_t maxBytes, std::string& out) {
    out.clear();
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!fd.ok()) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        errno = ENOENT;
        return false;
    }
    char buf[4096];
    while (out.size() < maxBytes) {
        const ssize_t n = ::read(fd.get(), buf, std::min(sizeof buf, maxBytes - out.size()));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    return true;
}

namespace {

int replaceThrough(const std::string& path, mode_t mode, gid_t group,
                   const std::function<bool(int fd)>& fill) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    std::string temp = path.substr(0, nameAt) + "." + path.substr(nameAt) + ".XXXXXX";
    // A new file (O_CREAT | O_EXCL): a link planted at the temporary name is never followed.
    UniqueFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd.ok()) {
        return errno;
    }
    int err = 0;
    if (::fchmod(fd.get(), mode) != 0) {
        err = errno;
    }
    if (err == 0 && group != static_cast<gid_t>(-1)) {
        [[maybe_unused]] const int ignored = ::fchown(fd.get(), static_cast<uid_t>(-1), group);
    }
    errno = 0;
    if (err == 0 && (!fill(fd.get()) || ::fsync(fd.get()) != 0)) {
        err = errno != 0 ? errno : EIO;
    }
    if (!fd.close() && err == 0) {
        err = errno;
    }
    // The rename replaces a name, never the file a link there points to.
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) {
        err = errno;
    }
    if (err != 0) {
        ::unlink(temp.c_str());
    }
    return err;
}

}  // namespace

int replaceFile(const std::string& path, std::string_view data, mode_t mode, gid_t group) {
    return replaceThrough(path, mode, group, [&](int fd) { return writeAll(fd, data); });
}

int replaceUserFile(const std::string& path, mode_t mode, const std::function<bool(int fd)>& fill) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        if (S_ISLNK(st.st_mode)) {
            return ELOOP;
        }
        if (!S_ISREG(st.st_mode)) {
            return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        }
    } else if (errno != ENOENT) {
        return errno;
    }
    return replaceThrough(path, mode, static_cast<gid_t>(-1), fill);
}

std::string replaceErrorText(int err) {
    switch (err) {
        case ELOOP:
            return "it is a symbolic link";
        case EISDIR:
            return "it is a folder";
        case EINVAL:
            return "it is not a regular file";
        default:
            return std::strerror(err);
    }
}

bool ownedByUser(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid();
}

}  // namespace tavu
