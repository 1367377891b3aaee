#pragma once

// Runs a piece of a test as another user, in a child process.

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace tavu::test {

// Runs f in a child process as the user uid whose only group is gid, after asRoot ran there
// still as root (to make a mount namespace, say; false ends the child); returns what f
// returned, or why the child could not run it.
inline std::string inChildAs(uid_t uid, gid_t gid, const std::function<std::string()>& f,
                             const std::function<bool()>& asRoot = {}) {
    int p[2];
    if (::pipe(p) != 0) {
        return "pipe failed";
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(p[0]);
        std::string r;
        if (asRoot && !asRoot()) {
            r = "the set-up as root failed";
        } else if (::getuid() == 0 &&
                   (::setgroups(1, &gid) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) {
            r = "the user could not be changed";
        } else {
            r = f();
        }
        [[maybe_unused]] const ssize_t n = ::write(p[1], r.data(), r.size());
        ::_exit(0);
    }
    ::close(p[1]);
    std::string out;
    char buf[512];
    for (ssize_t n; (n = ::read(p[0], buf, sizeof buf)) > 0;) {
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(p[0]);
    ::waitpid(pid, nullptr, 0);
    return out;
}

// The same as the unprivileged user nobody.
inline std::string asNobody(const std::function<std::string()>& f) {
    return inChildAs(65534, 65534, f);
}

}  // namespace tavu::test
