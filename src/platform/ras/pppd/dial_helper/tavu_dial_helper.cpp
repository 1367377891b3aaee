// tavu-dial-helper: dials and hangs up a prepared dial-up entry for a member of group dip.
//
// Installed setuid root, mode 4750, owner root, group dip. It takes from its caller only
//   tavu-dial-helper dial NAME      (the password on descriptor 3)
//   tavu-dial-helper hangup NAME
//   tavu-dial-helper check NAME     (whether NAME could be dialled, before the modem dials)
// It becomes root through and through (real, effective and saved ids), so that nothing the
// caller runs can trace it or the pppd it starts, clears the environment and closes every other
// descriptor. It dials by running pppd with a fixed command line that calls the entry's line
// options, a file that root wrote in the peers folder; it hangs up only a pppd that it started
// for that entry. Nothing here uses Qt; of the rest of the program it uses only the plain code
// that reads a peer file and writes line options from it, so that it refuses line options that
// are not what the peer file gives today.

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/ras/pppd/peer_options.h"

#ifndef TAVU_HELPER_PPPD
#define TAVU_HELPER_PPPD "/usr/sbin/pppd"
#endif
#ifndef TAVU_HELPER_PEERS
#define TAVU_HELPER_PEERS "/etc/ppp/peers"
#endif
#ifndef TAVU_HELPER_RUNDIR
#define TAVU_HELPER_RUNDIR "/run"
#endif

namespace {

// Exit statuses besides pppd's own (pppd uses 0 to 21).
constexpr int kUsage = 64;
constexpr int kBadName = 65;
constexpr int kNoRoot = 66;
constexpr int kNoLineOptions = 67;
constexpr int kUntrusted = 68;
constexpr int kNotRunning = 69;
constexpr int kFailed = 70;
constexpr int kStale = 71;

constexpr std::size_t kMaxName = 64;
constexpr std::size_t kMaxPassword = 1024;
constexpr std::size_t kMaxLineOptions = 256 * 1024;

// The test copy of the helper takes its folders from its environment; the installed one never
// does.
std::string setting(const char* name, const char* fixed) {
#ifdef TAVU_HELPER_TEST_PATHS
    if (const char* v = std::getenv(name); v && *v) {
        return v;
    }
#else
    (void)name;
#endif
    return fixed;
}

std::string pppdPath() {
    return setting("TAVU_HELPER_PPPD", TAVU_HELPER_PPPD);
}
std::string peersDir() {
    return setting("TAVU_HELPER_PEERS", TAVU_HELPER_PEERS);
}
std::string runDir() {
    return setting("TAVU_HELPER_RUNDIR", TAVU_HELPER_RUNDIR);
}

int fail(int status, const std::string& text) {
    const std::string line = "tavu-dial-helper: " + text + "\n";
    [[maybe_unused]] const ssize_t n = ::write(2, line.data(), line.size());
    return status;
}

// An entry name becomes a file name: letters, digits, ".", "_" and "-", not first ".", at most
// 64 characters. This excludes "/", control characters and anything pppd would read specially.
bool plainName(const char* name) {
    const std::size_t n = std::strlen(name);
    if (n == 0 || n > kMaxName || name[0] == '.') {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const char c = name[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '.' || c == '_' || c == '-')) {
            return false;
        }
    }
    return true;
}

// Why a file or folder that root's pppd will read cannot be trusted; empty when it can.
std::string untrusted(const struct stat& st, bool folder) {
    if (folder ? !S_ISDIR(st.st_mode) : !S_ISREG(st.st_mode)) {
        return folder ? "is not a folder" : "is not a regular file";
    }
    if (st.st_uid != 0) {
        return "does not belong to root";
    }
    if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        return "is writable by others than root";
    }
    return {};
}

// Checks the peers folder, its line options folder and the entry's line options, never
// following a symbolic link; pppd reads the file by the same path, which only root can change
// once these checks pass.
int checkLineOptions(const std::string& name) {
    const std::string peers = peersDir();
    const int peersFd = ::open(peers.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (peersFd < 0 || ::fstat(peersFd, &st) != 0) {
        return fail(kNoLineOptions, peers + ": " + std::strerror(errno));
    }
    if (const std::string why = untrusted(st, true); !why.empty()) {
        return fail(kUntrusted, peers + " " + why);
    }
    const int dirFd = ::openat(peersFd, ".tavu", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    ::close(peersFd);
    if (dirFd < 0 || ::fstat(dirFd, &st) != 0) {
        const int err = errno;
        return fail(err == ENOENT ? kNoLineOptions : kUntrusted,
                    peers + "/.tavu: " + (err == ELOOP ? "a symbolic link" : std::strerror(err)));
    }
    if (const std::string why = untrusted(st, true); !why.empty()) {
        ::close(dirFd);
        return fail(kUntrusted, peers + "/.tavu " + why);
    }
    const std::string path = peers + "/.tavu/" + name;
    const int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    ::close(dirFd);
    if (fd < 0) {
        const int err = errno;
        return fail(err == ENOENT ? kNoLineOptions : kUntrusted,
                    path + ": " + (err == ELOOP ? "a symbolic link" : std::strerror(err)));
    }
    const int r = ::fstat(fd, &st);
    if (r != 0) {
        const int err = errno;
        ::close(fd);
        return fail(kUntrusted, path + ": " + std::strerror(err));
    }
    if (const std::string why = untrusted(st, false); !why.empty()) {
        ::close(fd);
        return fail(kUntrusted, path + " " + why);
    }
    std::string have;
    char buf[4096];
    for (ssize_t n; have.size() <= kMaxLineOptions && (n = ::read(fd, buf, sizeof buf)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int err = errno;
            ::close(fd);
            return fail(kUntrusted, path + ": " + std::strerror(err));
        }
        have.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    // Root made them from the peer file; a peer file changed since then (by hand, or by anyone
    // who may write it) would leave them saying what its owner no longer means.
    tavu::platform::PeerFile peer;
    std::string why;
    if (!tavu::platform::readPeerFile(peers + "/" + name, peer, why)) {
        return fail(kStale, why);
    }
    if (have != tavu::platform::lineOptionsText(name, peer)) {
        return fail(kStale, path + " is older than the peer file: run \"tavu prepare " + name +
                                "\" as root");
    }
    return 0;
}

// The exact command line the helper gives pppd for an entry.
std::vector<std::string> pppdArguments(const std::string& name) {
    return {pppdPath(), "call", ".tavu/" + name, "nodetach", "logfd", "2", "passwordfd", "3"};
}

// Puts /dev/null on 0 and on 1 and 2 when they are not open, and closes every descriptor above
// keepUpTo.
void tidyDescriptors(int keepUpTo) {
    for (int fd = 0; fd <= 2; ++fd) {
        if (fd == 0 || ::fcntl(fd, F_GETFD) < 0) {
            const int null = ::open("/dev/null", O_RDWR);
            if (null >= 0 && null != fd) {
                ::dup2(null, fd);
                ::close(null);
            }
        }
    }
    if (DIR* d = ::opendir("/proc/self/fd")) {
        std::vector<int> open;
        const int own = ::dirfd(d);
        while (const dirent* e = ::readdir(d)) {
            const int fd = std::atoi(e->d_name);
            if (e->d_name[0] != '.' && fd > keepUpTo && fd != own) {
                open.push_back(fd);
            }
        }
        ::closedir(d);
        for (const int fd : open) {
            ::close(fd);
        }
    } else {
        for (int fd = keepUpTo + 1; fd < 65536; ++fd) {
            ::close(fd);
        }
    }
}

int dial(const std::string& name) {
    // The password: read here, so that pppd gets a pipe of ours whatever descriptor 3 was.
    std::string password;
    char buf[256];
    for (ssize_t n; password.size() < kMaxPassword && (n = ::read(3, buf, sizeof buf)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        password.append(buf, static_cast<std::size_t>(n));
    }
    password.resize(std::min(password.size(), kMaxPassword));
    ::close(3);
    if (const int r = checkLineOptions(name); r != 0) {
        return r;
    }
    int pw[2];
    if (::pipe(pw) != 0) {
        return fail(kFailed, std::string("pipe: ") + std::strerror(errno));
    }
    if (pw[0] != 3) {
        ::dup2(pw[0], 3);
        ::close(pw[0]);
    }
    [[maybe_unused]] const ssize_t w = ::write(pw[1], password.data(), password.size());
    ::close(pw[1]);
    std::fill(password.begin(), password.end(), '\0');
    tidyDescriptors(3);

    std::vector<std::string> args = pppdArguments(name);
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    char* env[] = {const_cast<char*>("PATH=/usr/sbin:/usr/bin:/sbin:/bin"), nullptr};
    ::execve(argv[0], argv.data(), env);
    return fail(kFailed, args[0] + ": " + std::strerror(errno));
}

bool readWhole(const std::string& path, std::string& out, std::size_t max) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buf[1024];
    for (ssize_t n; out.size() < max && (n = ::read(fd, buf, sizeof buf)) > 0;) {
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

// Whether pid is a pppd that this helper started for the entry: its program is pppd and its
// command line is exactly the helper's.
bool isOurPppd(pid_t pid, const std::string& name) {
    const std::string proc = "/proc/" + std::to_string(pid);
    char exe[4096];
    const ssize_t n = ::readlink((proc + "/exe").c_str(), exe, sizeof exe - 1);
    char real[PATH_MAX];
    if (n <= 0 || !::realpath(pppdPath().c_str(), real) ||
        std::string(exe, static_cast<std::size_t>(n)) != real) {
        return false;
    }
    std::string cmdline, want;
    for (const std::string& a : pppdArguments(name)) {
        want += a;
        want += '\0';
    }
    return readWhole(proc + "/cmdline", cmdline, 8192) && cmdline == want;
}

// The pid in the entry's link pid file, which pppd (as root) writes for its linkname; 0 when
// there is none to trust.
pid_t pidFromLinkFile(const std::string& name) {
    const std::string path = runDir() + "/ppp-" + name + ".pid";
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0) {
        return 0;
    }
    std::string text;
    char buf[64];
    const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == 0;
    const ssize_t got = ok ? ::read(fd, buf, sizeof buf - 1) : -1;
    ::close(fd);
    if (got <= 0) {
        return 0;
    }
    buf[got] = '\0';
    char* end = nullptr;
    const long pid = std::strtol(buf, &end, 10);
    return pid > 1 && pid < 1L << 22 && (*end == '\n' || *end == '\0') ? static_cast<pid_t>(pid)
                                                                       : 0;
}

int hangup(const std::string& name) {
    tidyDescriptors(2);
    std::vector<pid_t> found;
    if (const pid_t pid = pidFromLinkFile(name); pid > 0 && isOurPppd(pid, name)) {
        found.push_back(pid);
    } else if (DIR* d = ::opendir("/proc")) {
        // A pppd still dialling has no pid file yet: it is known by its command line.
        while (const dirent* e = ::readdir(d)) {
            char* end = nullptr;
            const long p = std::strtol(e->d_name, &end, 10);
            if (p > 1 && *end == '\0' && isOurPppd(static_cast<pid_t>(p), name)) {
                found.push_back(static_cast<pid_t>(p));
            }
        }
        ::closedir(d);
    }
    if (found.empty()) {
        return fail(kNotRunning, "no pppd of the entry " + name + " is running");
    }
    for (const pid_t pid : found) {
        ::kill(pid, SIGTERM);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Root through and through: the caller can then neither trace nor signal what runs here.
    if (::setgroups(0, nullptr) != 0 || ::setresgid(0, 0, 0) != 0 || ::setresuid(0, 0, 0) != 0) {
        return fail(kNoRoot, "must be installed setuid root");
    }
    ::umask(022);
    if (::chdir("/") != 0) {
        return fail(kFailed, "cannot change to /");
    }
    if (argc != 3) {
        return fail(kUsage, "usage: tavu-dial-helper dial|hangup|check ENTRY");
    }
    const std::string what = argv[1];
    if (!plainName(argv[2])) {
        return fail(kBadName, "not an entry name");
    }
    const std::string name = argv[2];
    if (what == "dial") {
        return dial(name);
    }
    if (what == "hangup") {
        return hangup(name);
    }
    if (what == "check") {
        return checkLineOptions(name);
    }
    return fail(kUsage, "usage: tavu-dial-helper dial|hangup|check ENTRY");
}
