#include "platform/linux_remote_access.h"

#include <dirent.h>
#include <fcntl.h>
#include <net/if_arp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>

#include "platform/ras_errors.h"

namespace tavu::platform {

namespace {

constexpr std::size_t kMaxPidFile = 4096;
constexpr std::size_t kMaxCmdline = 64 * 1024;
constexpr std::size_t kMaxOptionsFile = 256 * 1024;

// Reads at most maxBytes of a regular file. Opening does not block, so a FIFO planted in place
// of the file cannot stall the caller.
bool readSmallFile(const std::string& path, std::size_t maxBytes, std::string& out) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    char buf[4096];
    while (out.size() < maxBytes) {
        const ssize_t n = ::read(fd, buf, std::min(sizeof buf, maxBytes - out.size()));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return true;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

bool isPrintable(std::string_view s) {
    return std::none_of(s.begin(), s.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7f;
    });
}

// A word of pppd's options that names a serial port, as the path of that port; empty otherwise.
// pppd takes "ttyS0" as "/dev/ttyS0".
std::string serialDevice(std::string_view word) {
    if (word.size() > PATH_MAX || !isPrintable(word) || word.find("..") != std::string::npos) {
        return {};
    }
    std::string_view rest = word;
    if (startsWith(rest, "/dev/")) {
        rest.remove_prefix(5);
    } else if (word.find('/') != std::string::npos) {
        return {};
    }
    if (rest == "modem") {
        return "/dev/modem";
    }
    for (std::string_view p : {"tty", "rfcomm", "ircomm", "serial/"}) {
        if (startsWith(rest, p) && rest.size() > p.size()) {
            return "/dev/" + std::string(rest);
        }
    }
    return {};
}

std::vector<std::string> splitArgs(const std::string& cmdline) {
    std::vector<std::string> args;
    std::size_t start = 0;
    while (start < cmdline.size()) {
        std::size_t end = cmdline.find('\0', start);
        if (end == std::string::npos) {
            end = cmdline.size();
        }
        args.emplace_back(cmdline, start, end - start);
        start = end + 1;
    }
    return args;
}

// The words of a pppd options file: whitespace separated, '#' starts a comment, quoted strings
// are one word.
std::vector<std::string> optionWords(const std::string& text) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            ++i;
        } else if (c == '#') {
            i = text.find('\n', i);
            if (i == std::string::npos) {
                break;
            }
        } else if (c == '"' || c == '\'') {
            std::string word;
            for (++i; i < text.size() && text[i] != c; ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) {
                    ++i;
                }
                word += text[i];
            }
            ++i;
            words.push_back(std::move(word));
        } else {
            const std::size_t end = text.find_first_of(" \t\r\n", i);
            const std::size_t stop = end == std::string::npos ? text.size() : end;
            words.emplace_back(text, i, stop - i);
            i = stop;
        }
    }
    return words;
}

int accessOr(int err, int otherwise) {
    return err == EPERM || err == EACCES || err == EROFS ? ERROR_ACCESS_DENIED : otherwise;
}

bool isBackupName(std::string_view name) {
    if (startsWith(name, "#") || endsWith(name, "~")) {
        return true;
    }
    for (std::string_view s :
         {".bak", ".old", ".orig", ".swp", ".tmp", ".dpkg-old", ".dpkg-new", ".dpkg-dist",
          ".dpkg-bak", ".rpmnew", ".rpmsave", ".ucf-old", ".ucf-dist", ".ucf-new"}) {
        if (endsWith(name, s)) {
            return true;
        }
    }
    return false;
}

bool fitsHandle(std::uint64_t handle) {
    return handle > 0 && handle <= INT_MAX;
}

}  // namespace

bool isValidPeerName(std::string_view name) {
    return !name.empty() && name.size() <= NAME_MAX && name.front() != '.' &&
           name.find('/') == std::string_view::npos && name.find("..") == std::string_view::npos &&
           isPrintable(name);
}

pid_t readPidFile(const std::string& path) {
    std::string text;
    if (!readSmallFile(path, kMaxPidFile, text)) {
        return 0;
    }
    std::string_view line(text);
    line = line.substr(0, line.find('\n'));
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        line.remove_prefix(1);
    }
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    if (line.empty() || line.size() > 10) {
        return 0;
    }
    long long pid = 0;
    for (char c : line) {
        if (c < '0' || c > '9') {
            return 0;
        }
        pid = pid * 10 + (c - '0');
    }
    // 0 and 1 are never a pppd of ours: kill() would reach the process group or init.
    return pid > 1 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

std::string deviceFromOptionsFile(const std::string& path) {
    std::string text;
    if (!readSmallFile(path, kMaxOptionsFile, text)) {
        return {};
    }
    for (const std::string& word : optionWords(text)) {
        if (std::string dev = serialDevice(word); !dev.empty()) {
            return dev;
        }
    }
    return {};
}

PppdProcess findPppd(const LinuxRasPaths& paths, const std::string& ifname) {
    if (ifname.empty() || ifname.find('/') != std::string::npos || ifname == "." ||
        ifname == "..") {
        return {};
    }
    for (const std::string& dir : paths.runDirs) {
        const pid_t pid = readPidFile(dir + "/" + ifname + ".pid");
        if (pid == 0) {
            continue;
        }
        std::string cmdline;
        if (!readSmallFile(paths.procDir + "/" + std::to_string(pid) + "/cmdline", kMaxCmdline,
                           cmdline)) {
            continue;
        }
        const std::vector<std::string> args = splitArgs(cmdline);
        // A stale pid file may name an unrelated process by now: only a pppd counts.
        if (args.empty() || args[0].substr(args[0].rfind('/') + 1) != "pppd") {
            continue;
        }
        PppdProcess p;
        p.pid = pid;
        for (std::size_t i = 1; i < args.size(); ++i) {
            if (args[i] == "call" && i + 1 < args.size() && p.peer.empty()) {
                if (isValidPeerName(args[i + 1])) {
                    p.peer = args[i + 1];
                }
                ++i;
            } else if (p.device.empty()) {
                p.device = serialDevice(args[i]);
            }
        }
        if (p.device.empty() && !p.peer.empty()) {
            p.device = deviceFromOptionsFile(paths.peersDir + "/" + p.peer);
        }
        return p;
    }
    return {};
}

long long processStartTicks(const std::string& procDir, pid_t pid) {
    std::string text;
    if (pid <= 0 ||
        !readSmallFile(procDir + "/" + std::to_string(pid) + "/stat", kMaxPidFile, text)) {
        return -1;
    }
    // The command name in parentheses may hold blanks and parentheses itself: count the fields
    // from the last ')', which ends it and is followed by field 3.
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::string_view rest = std::string_view(text).substr(close + 1);
    for (int field = 3; field <= 22; ++field) {
        while (!rest.empty() && rest.front() == ' ') {
            rest.remove_prefix(1);
        }
        const std::string_view word = rest.substr(0, rest.find(' '));
        if (field == 22) {
            long long ticks = 0;
            const auto [p, ec] = std::from_chars(word.data(), word.data() + word.size(), ticks);
            return ec == std::errc() && p == word.data() + word.size() && !word.empty() ? ticks
                                                                                        : -1;
        }
        rest.remove_prefix(word.size());
    }
    return -1;
}

std::int64_t bootTime(const std::string& procDir) {
    std::string text;
    if (!readSmallFile(procDir + "/stat", kMaxCmdline, text)) {
        return 0;
    }
    const auto at = text.find("\nbtime ");
    if (at == std::string::npos) {
        return 0;
    }
    const char* begin = text.data() + at + 7;
    std::int64_t value = 0;
    const auto [p, ec] = std::from_chars(begin, text.data() + text.size(), value);
    return ec == std::errc() && p != begin ? value : 0;
}

ConnectionOrigin pppdOrigin(const LinuxRasPaths& paths, const std::string& ifname) {
    ConnectionOrigin origin;
    const PppdProcess pppd = findPppd(paths, ifname);
    const long long ticks = processStartTicks(paths.procDir, pppd.pid);
    if (pppd.pid == 0 || ticks < 0) {
        return origin;
    }
    origin.mark = "pppd " + std::to_string(pppd.pid) + " " + std::to_string(ticks);
    const long hz = ::sysconf(_SC_CLK_TCK);
    const std::int64_t boot = bootTime(paths.procDir);
    if (boot > 0 && hz > 0) {
        origin.upSince = boot + ticks / hz;
    }
    return origin;
}

RasConnection describeConnection(const LinuxRasPaths& paths, const netlink::LinkInfo& link) {
    RasConnection c;
    c.handle = static_cast<std::uint64_t>(link.index);
    const PppdProcess pppd = findPppd(paths, link.name);
    c.entryName = pppd.peer.empty() ? link.name : pppd.peer;
    c.deviceName = pppd.device.empty() ? link.name : pppd.device;
    if (pppd.pid != 0 && !pppd.device.empty()) {
        c.deviceType = "modem";
    } else if (!link.kind.empty() && isPrintable(link.kind)) {
        c.deviceType = link.kind;
    } else {
        c.deviceType = link.type == ARPHRD_PPP ? "ppp" : "point-to-point";
    }
    return c;
}

LinuxRemoteAccess::LinuxRemoteAccess(LinuxRasPaths paths, InterfacePatterns patterns)
    : paths_(std::move(paths)), patterns_(std::move(patterns)) {}

bool LinuxRemoteAccess::listConnections(std::vector<RasConnection>& out) {
    out.clear();
    std::vector<netlink::LinkInfo> links;
    if (!netlink::dumpLinks(links)) {
        return false;
    }
    const std::string patterns = currentPatterns(patterns_);
    std::erase_if(links,
                  [&](const netlink::LinkInfo& l) { return !netlink::isDialupLink(l, patterns); });
    std::sort(links.begin(), links.end(),
              [](const auto& a, const auto& b) { return a.index < b.index; });
    for (const auto& link : links) {
        if (out.size() == kMaxConnections) {
            break;
        }
        out.push_back(describeConnection(paths_, link));
    }
    return true;
}

int LinuxRemoteAccess::connectionState(std::uint64_t handle) {
    netlink::LinkInfo link;
    if (fitsHandle(handle) && netlink::getLink(static_cast<int>(handle), link) &&
        netlink::isDialupLink(link, currentPatterns(patterns_))) {
        return RASCS_Connected;
    }
    return RASCS_Disconnected;
}

int LinuxRemoteAccess::hangUp(std::uint64_t handle) {
    if (!fitsHandle(handle)) {
        return ERROR_INVALID_HANDLE;
    }
    const int index = static_cast<int>(handle);
    netlink::LinkInfo link;
    int err = 0;
    if (!netlink::getLink(index, link, &err)) {
        return accessOr(err, ERROR_INVALID_HANDLE);
    }
    if (!netlink::isDialupLink(link, currentPatterns(patterns_))) {
        return ERROR_INVALID_HANDLE;  // never take down an interface that is not a dial-up line
    }
    // pppd takes its interface down itself and tells the peer; signal it when there is one.
    const PppdProcess pppd = findPppd(paths_, link.name);
    if (pppd.pid != 0) {
        if (::kill(pppd.pid, SIGTERM) == 0) {
            return kRasOk;
        }
        if (errno != ESRCH) {
            return accessOr(errno, ERROR_INVALID_HANDLE);
        }
    }
    err = netlink::setLinkUp(index, false);
    return err == 0 ? kRasOk : accessOr(err, ERROR_INVALID_HANDLE);
}

int LinuxRemoteAccess::dial(const DialRequest&, DialEventFn, std::uint64_t&) {
    return ERROR_NOT_SUPPORTED;
}

std::string LinuxRemoteAccess::errorText(int code) {
    return rasErrorText(code);
}

ConnectionOrigin LinuxRemoteAccess::connectionOrigin(std::uint64_t handle) {
    netlink::LinkInfo link;
    if (!fitsHandle(handle) || !netlink::getLink(static_cast<int>(handle), link) ||
        !netlink::isDialupLink(link)) {
        return {};
    }
    // An interface without a pppd has no age the kernel tells: its index alone marks it (the
    // kernel gives every new interface a new index).
    return pppdOrigin(paths_, link.name);
}

bool LinuxRemoteAccess::listEntries(std::vector<std::string>& out) {
    out.clear();
    DIR* dir = ::opendir(paths_.peersDir.c_str());
    if (!dir) {
        return false;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        if (!isValidPeerName(name) || isBackupName(name)) {
            continue;
        }
        struct stat st {};
        if (::fstatat(::dirfd(dir), e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode)) {
            out.emplace_back(name);
        }
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end());
    return true;
}

int LinuxRemoteAccess::createEntry() {
    return ERROR_NOT_SUPPORTED;
}

int LinuxRemoteAccess::editEntry(const std::string&) {
    return ERROR_NOT_SUPPORTED;
}

int LinuxRemoteAccess::deleteEntry(const std::string& name) {
    if (!isValidPeerName(name)) {
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    }
    const std::string path = paths_.peersDir + "/" + name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return accessOr(errno, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    }
    if (S_ISDIR(st.st_mode)) {
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    }
    if (::unlink(path.c_str()) != 0) {
        return accessOr(errno, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    }
    return kRasOk;
}

}  // namespace tavu::platform
