#include "platform/ras/pppd/linux_remote_access.h"

#include "core/file_io.h"
#include "core/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <net/if_arp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstring>

#include <QSocketNotifier>
#include <QTimer>

#include "platform/ras/pppd/linux_dialer.h"
#include "platform/ras/ras_codes.h"
#include "platform/ras/ras_errors.h"

namespace tavu::platform {

namespace {

constexpr std::size_t kMaxPidFile = 4096;
constexpr std::size_t kMaxCmdline = 64 * 1024;
constexpr std::size_t kMaxOptionsFile = 256 * 1024;

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

// Whether a dial must give pppd its options through the entry's line options.
bool lineOptionsNeeded(LinuxRasPaths::PppdOptions how, const std::string& pppd) {
    if (how != LinuxRasPaths::PppdOptions::Auto) {
        return how == LinuxRasPaths::PppdOptions::LineOptions;
    }
    struct stat st {};
    return ::geteuid() != 0 && ::stat(pppd.c_str(), &st) == 0 && (st.st_mode & S_ISUID) != 0 &&
           st.st_uid == 0;
}

int accessOr(int err, int otherwise) {
    return err == EPERM || err == EACCES || err == EROFS ? ERROR_ACCESS_DENIED : otherwise;
}

bool isBackupName(std::string_view name) {
    if (name.starts_with("#") || name.ends_with("~")) {
        return true;
    }
    for (std::string_view s :
         {".bak", ".old", ".orig", ".swp", ".tmp", ".dpkg-old", ".dpkg-new", ".dpkg-dist",
          ".dpkg-bak", ".rpmnew", ".rpmsave", ".ucf-old", ".ucf-dist", ".ucf-new"}) {
        if (name.ends_with(s)) {
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
           hasNoControlChars(name);
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
    const std::vector<std::string> words = pppdOptionWords(text);
    for (std::size_t i = 0; i < words.size(); ++i) {
        if (pppdOptionTakesArgument(words[i])) {
            ++i;
        } else if (std::string dev = serialDeviceWord(words[i]); !dev.empty()) {
            return dev;
        }
    }
    return {};
}

namespace {

// The pppd behind a pid, as far as its command line tells; pid 0 when it is not a pppd.
PppdProcess describePppd(const LinuxRasPaths& paths, pid_t pid) {
    std::string cmdline;
    const std::string procDir = paths.procDir + "/" + std::to_string(pid);
    if (!readSmallFile(procDir + "/cmdline", kMaxCmdline, cmdline)) {
        return {};
    }
    const std::vector<std::string> args = splitArgs(cmdline);
    // A stale pid file may name an unrelated process by now: only a pppd counts.
    if (args.empty() || args[0].substr(args[0].rfind('/') + 1) != "pppd") {
        return {};
    }
    PppdProcess p;
    p.pid = pid;
    std::string call;
    std::string linkname;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if ((args[i] == "call" || args[i] == "linkname") && i + 1 < args.size()) {
            std::string& name = args[i] == "call" ? call : linkname;
            std::string value = args[i + 1];
            // A dial of this program's calls the entry's line options.
            const std::string lineOptions = lineOptionsCallName({});
            if (args[i] == "call" && value.starts_with(lineOptions)) {
                value.erase(0, lineOptions.size());
            }
            if (name.empty() && isValidPeerName(value)) {
                name = value;
            }
            ++i;
        } else if (pppdOptionTakesArgument(args[i])) {
            ++i;
        } else if (p.device.empty()) {
            p.device = serialDeviceWord(args[i]);
        }
    }
    // The program's own dials name the link after the entry; other dials are named by the peer
    // file they call.
    p.peer = linkname.empty() ? call : linkname;
    if (p.device.empty()) {
        // A pppd started on an open line has that line as its standard input.
        char target[PATH_MAX];
        const ssize_t n = ::readlink((procDir + "/fd/0").c_str(), target, sizeof target - 1);
        if (n > 5) {
            const std::string dev(target, static_cast<std::size_t>(n));
            if (dev.starts_with("/dev/") && dev != "/dev/null" && hasNoControlChars(dev)) {
                p.device = dev;
            }
        }
    }
    if (p.device.empty() && !p.peer.empty()) {
        p.device = deviceFromOptionsFile(paths.peersDir + "/" + p.peer);
    }
    return p;
}

// The second line of a ppp-LINKNAME.pid file: the interface of that link.
std::string linkPidInterface(const std::string& path) {
    std::string text;
    if (!readSmallFile(path, kMaxPidFile, text)) {
        return {};
    }
    const std::size_t nl = text.find('\n');
    if (nl == std::string::npos) {
        return {};
    }
    std::string second = text.substr(nl + 1);
    second = second.substr(0, second.find('\n'));
    while (!second.empty() && (second.back() == '\r' || second.back() == ' ')) {
        second.pop_back();
    }
    return second;
}

}  // namespace

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
        if (PppdProcess p = describePppd(paths, pid); p.pid != 0) {
            return p;
        }
    }
    // pppd writes ppp-LINKNAME.pid with the interface on its second line.
    for (const std::string& dir : paths.runDirs) {
        DIR* d = ::opendir(dir.c_str());
        if (!d) {
            continue;
        }
        PppdProcess found;
        while (const dirent* e = ::readdir(d)) {
            const std::string_view name(e->d_name);
            if (!name.starts_with("ppp-") || !name.ends_with(".pid")) {
                continue;
            }
            const std::string path = dir + "/" + std::string(name);
            if (linkPidInterface(path) != ifname) {
                continue;
            }
            if (const pid_t pid = readPidFile(path); pid != 0) {
                found = describePppd(paths, pid);
                if (found.pid != 0) {
                    if (found.peer.empty()) {
                        const std::string link(name.substr(4, name.size() - 8));
                        found.peer = isValidPeerName(link) ? link : std::string();
                    }
                    break;
                }
            }
        }
        ::closedir(d);
        if (found.pid != 0) {
            return found;
        }
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
    } else if (!link.kind.empty() && hasNoControlChars(link.kind)) {
        c.deviceType = link.kind;
    } else {
        c.deviceType = link.type == ARPHRD_PPP ? "ppp" : "point-to-point";
    }
    return c;
}

namespace {

constexpr int kHangUpWaitMs = 5000;

// True once the process has ended (a child of ours stays reapable by whoever waits for it).
bool hasEnded(pid_t pid) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0) {
        return info.si_pid == pid;
    }
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// The entry of a pppd that the dial helper started ("call .tavu/NAME" on its command line);
// empty for any other.
std::string helperEntry(const std::string& procDir, pid_t pid) {
    std::string cmdline;
    if (!readSmallFile(procDir + "/" + std::to_string(pid) + "/cmdline", 8192, cmdline)) {
        return {};
    }
    const std::string call = std::string("\0call\0", 6) + kLineOptionsFolder + "/";
    const std::size_t at = cmdline.find(call);
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t start = at + call.size();
    const std::string name = cmdline.substr(start, cmdline.find('\0', start) - start);
    return entryNameProblem(name).empty() ? name : std::string();
}

// Signals a pppd and waits for it to end; 0 or an errno value. A pppd that is root's because
// the dial helper started it is ended through the helper.
int stopPppd(pid_t pid, const std::string& helper = {}, const std::string& procDir = "/proc") {
    if (::kill(pid, SIGTERM) != 0) {
        const int err = errno;
        const std::string entry =
            err == EPERM && !helper.empty() ? helperEntry(procDir, pid) : std::string();
        if (entry.empty() || !dialHelperHangUp(helper, entry)) {
            return err == ESRCH ? 0 : err;
        }
    }
    for (int waited = 0; waited < kHangUpWaitMs && !hasEnded(pid); waited += 20) {
        ::usleep(20000);
    }
    return 0;
}

}  // namespace

LinuxRemoteAccess::LinuxRemoteAccess(LinuxRasPaths paths, InterfacePatterns patterns)
    : paths_(std::move(paths)), patterns_(std::move(patterns)) {}

LinuxRemoteAccess::LinuxRemoteAccess(const SettingsStore& settings, LinuxRasPaths paths,
                                     InterfacePatterns patterns)
    : paths_(std::move(paths)), patterns_(std::move(patterns)), settings_(&settings) {
    if (!patterns_) {
        patterns_ = [&settings] { return dialupInterfacePatterns(settings); };
    }
}

LinuxRemoteAccess::~LinuxRemoteAccess() {
    events_.reset();
    if (eventFd_ >= 0) {
        ::close(eventFd_);
    }
}

bool LinuxRemoteAccess::watchLinkEvents() {
    if (eventFd_ >= 0) {
        return true;
    }
    eventFd_ = netlink::openLinkEvents();
    if (eventFd_ < 0) {
        return false;
    }
    // Nothing runs until the kernel has something to say: no timer, no wake-up of our own.
    events_ = std::make_unique<QSocketNotifier>(eventFd_, QSocketNotifier::Read);
    QObject::connect(events_.get(), &QSocketNotifier::activated, [this] {
        if (netlink::drainLinkEvents(eventFd_)) {
            notifyChanged();
        }
    });
    return true;
}

DialupPaths LinuxRemoteAccess::dialupPaths() const {
    DialupPaths d{paths_.peersDir, paths_.chatDir, paths_.pppd, paths_.chat, paths_.dialHelper};
    if (settings_) {
        d = DialupPaths::fromSettings(*settings_);
    }
    return d;
}

LinuxRasPaths LinuxRemoteAccess::effectivePaths() const {
    LinuxRasPaths p = paths_;
    const DialupPaths d = dialupPaths();
    p.peersDir = d.peersDir;
    p.chatDir = d.chatDir;
    p.pppd = d.pppd;
    p.chat = d.chat;
    p.dialHelper = d.dialHelper;
    return p;
}

bool LinuxRemoteAccess::isOurLink(const netlink::LinkInfo& link) const {
    return netlink::isDialupLink(link, currentPatterns(patterns_)) &&
           !(ignored_ && ignored_(link.name));
}

bool LinuxRemoteAccess::listConnections(std::vector<RasConnection>& out) {
    out.clear();
    std::vector<netlink::LinkInfo> links;
    if (!netlink::dumpLinks(links)) {
        return false;
    }
    std::erase_if(links, [&](const netlink::LinkInfo& l) { return !isOurLink(l); });
    std::sort(links.begin(), links.end(),
              [](const auto& a, const auto& b) { return a.index < b.index; });
    const LinuxRasPaths paths = effectivePaths();
    for (const auto& link : links) {
        if (out.size() == kMaxConnections) {
            break;
        }
        out.push_back(describeConnection(paths, link));
    }
    return true;
}

int LinuxRemoteAccess::connectionState(std::uint64_t handle) {
    if (const auto it = dials_.find(handle); it != dials_.end()) {
        return it->second->lastState();
    }
    if (const auto it = ended_.find(handle); it != ended_.end()) {
        return it->second > 0 && !hasEnded(it->second) ? RASCS_Connected : RASCS_Disconnected;
    }
    netlink::LinkInfo link;
    if (fitsHandle(handle) && netlink::getLink(static_cast<int>(handle), link) && isOurLink(link)) {
        return RASCS_Connected;
    }
    return RASCS_Disconnected;
}

int LinuxRemoteAccess::hangUp(std::uint64_t handle) {
    hungUp_.insert(handle);
    // A dial of ours: stop it where it stands, or end the pppd it started.
    if (const auto it = dials_.find(handle); it != dials_.end()) {
        it->second->cancel();
        const pid_t pppd = it->second->connected() ? it->second->pppdPid() : 0;
        dials_.erase(it);
        callbacks_.erase(handle);
        ended_[handle] = 0;
        if (pppd > 0) {
            stopPppd(pppd, dialupPaths().dialHelper, paths_.procDir);
            ::waitpid(pppd, nullptr, WNOHANG);
        }
        updateTimer();
        return kRasOk;
    }
    if (const auto it = ended_.find(handle); it != ended_.end()) {
        const pid_t pppd = it->second;
        it->second = 0;
        if (pppd > 0) {
            const int err = stopPppd(pppd, dialupPaths().dialHelper, paths_.procDir);
            ::waitpid(pppd, nullptr, WNOHANG);
            return err == 0 ? kRasOk : accessOr(err, ERROR_INVALID_HANDLE);
        }
        return kRasOk;
    }
    if (!fitsHandle(handle)) {
        return ERROR_INVALID_HANDLE;
    }
    const int index = static_cast<int>(handle);
    netlink::LinkInfo link;
    int err = 0;
    if (!netlink::getLink(index, link, &err)) {
        return accessOr(err, ERROR_INVALID_HANDLE);
    }
    if (!isOurLink(link)) {
        return ERROR_INVALID_HANDLE;  // never take down an interface that is not a dial-up line
    }
    // pppd takes its interface down itself and tells the peer; signal it when there is one and
    // wait for it to end.
    const PppdProcess pppd = findPppd(effectivePaths(), link.name);
    if (pppd.pid != 0) {
        err = stopPppd(pppd.pid, dialupPaths().dialHelper, paths_.procDir);
        if (err == 0) {
            return kRasOk;
        }
        if (err != ESRCH) {
            return accessOr(err, ERROR_INVALID_HANDLE);
        }
    }
    err = netlink::setLinkUp(index, false);
    return err == 0 ? kRasOk : accessOr(err, ERROR_INVALID_HANDLE);
}

int LinuxRemoteAccess::failWith(int code, std::string detail) {
    details_[code] = std::move(detail);
    return code;
}

int LinuxRemoteAccess::dial(const DialRequest& request, DialEventFn onEvent,
                            std::uint64_t& handle) {
    ModemDialSetup setup;
    setup.paths = dialupPaths();
    setup.entry = request.entry;
    setup.user = request.user;
    setup.password = request.password;
    if (!isValidPeerName(request.entry) || !entryNameProblem(request.entry).empty()) {
        return failWith(ERROR_CANNOT_FIND_PHONEBOOK_ENTRY,
                        request.entry.empty() ? "no entry is chosen" : std::string());
    }
    if (::access(setup.paths.peersDir.c_str(), R_OK | X_OK) != 0 && errno != ENOENT) {
        return failWith(ERROR_CANNOT_OPEN_PHONEBOOK, peersUnreadableText(setup.paths.peersDir));
    }
    const std::string peerPath = setup.paths.peersDir + "/" + request.entry;
    struct stat st {};
    if (::stat(peerPath.c_str(), &st) != 0) {
        return failWith(ERROR_CANNOT_FIND_PHONEBOOK_ENTRY, peerPath);
    }
    std::string why;
    if (!readPeerFile(peerPath, setup.peer, why)) {
        return failWith(ERROR_CORRUPT_PHONEBOOK, why);
    }
    std::string script;
    if (!readSmallFile(setup.peer.chatScript, kMaxOptionsFile, script)) {
        return failWith(ERROR_CORRUPT_PHONEBOOK,
                        "the chat script " + setup.peer.chatScript + " cannot be read");
    }
    setup.aborts = chatAbortStrings(script);
    if (lineOptionsNeeded(paths_.pppdOptions, setup.paths.pppd)) {
        // pppd would refuse the entry's options on the command line of a user other than root.
        setup.callName = lineOptionsCallName(request.entry);
        if (::geteuid() != 0) {
            // A user other than root dials through the setuid helper, so that pppd runs as root
            // and its connect line as root too, where the user cannot reach it. Only root may
            // read the line options: the helper checks them, before the modem dials.
            setup.helper = setup.paths.dialHelper;
            std::string detail;
            if (const int code = dialHelperCheck(setup.helper, request.entry, detail); code != 0) {
                return failWith(code, detail);
            }
        } else if (const LineOptionsState lines = lineOptionsState(setup.paths, request.entry);
                   lines != LineOptionsState::Current) {
            return failWith(ERROR_ACCESS_DENIED, lineOptionsNeededText(request.entry, lines));
        }
    }
    handle = nextDial_++;
    dials_[handle] = std::make_unique<ModemDial>(std::move(setup));
    callbacks_[handle] = std::move(onEvent);
    updateTimer();
    return kRasOk;
}

int LinuxRemoteAccess::pump() {
    int delivered = 0;
    std::vector<std::uint64_t> handles;
    for (const auto& [h, d] : dials_) {
        handles.push_back(h);
    }
    for (const std::uint64_t h : handles) {
        auto it = dials_.find(h);
        if (it == dials_.end()) {
            continue;
        }
        ModemDial& dial = *it->second;
        const std::vector<DialEvent> events = dial.step();
        if (dial.error() != 0) {
            details_[dial.error()] = dial.detail();
        }
        DialEventFn callback = callbacks_[h];
        if (dial.finished()) {
            ended_[h] = dial.connected() ? dial.pppdPid() : 0;
            dials_.erase(it);
            callbacks_.erase(h);
        }
        hungUp_.erase(h);
        for (const DialEvent& e : events) {
            // A hang-up from inside an event silences the rest of that dial.
            if (hungUp_.count(h) != 0) {
                break;
            }
            if (callback) {
                callback(e.state, e.error);
            }
            ++delivered;
        }
    }
    // pppd processes of connections dialled here are reaped when they end.
    for (auto& [h, pid] : ended_) {
        if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = 0;
        }
    }
    updateTimer();
    return delivered;
}

void LinuxRemoteAccess::setAutoDrive(int periodMs) {
    autoDriveMs_ = periodMs;
    updateTimer();
}

void LinuxRemoteAccess::updateTimer() {
    const bool waiting =
        std::any_of(ended_.begin(), ended_.end(), [](const auto& e) { return e.second > 0; });
    if (autoDriveMs_ <= 0 || (dials_.empty() && !waiting)) {
        if (timer_) {
            timer_->stop();
        }
        return;
    }
    if (!timer_) {
        timer_ = std::make_unique<QTimer>();
        QObject::connect(timer_.get(), &QTimer::timeout, [this] { pump(); });
    }
    // Quick while dialling; once a second while only pppd processes wait to be reaped.
    const int period = dials_.empty() ? 1000 : autoDriveMs_;
    if (!timer_->isActive() || timer_->interval() != period) {
        timer_->start(period);
    }
}

std::string LinuxRemoteAccess::errorText(int code) {
    const auto it = details_.find(code);
    if (it == details_.end()) {
        return rasErrorText(code, RasBackend::Pppd);
    }
    // The phone book's and the permission's details say all there is to say.
    return rasTextWithDetail(rasErrorText(code, RasBackend::Pppd), it->second,
                             code == ERROR_CANNOT_OPEN_PHONEBOOK || code == ERROR_ACCESS_DENIED);
}

ConnectionOrigin LinuxRemoteAccess::connectionOrigin(std::uint64_t handle) {
    netlink::LinkInfo link;
    if (!fitsHandle(handle) || !netlink::getLink(static_cast<int>(handle), link) ||
        !isOurLink(link)) {
        return {};
    }
    // An interface without a pppd has no age the kernel tells: its index alone marks it (the
    // kernel gives every new interface a new index).
    return pppdOrigin(effectivePaths(), link.name);
}

bool LinuxRemoteAccess::listEntries(std::vector<std::string>& out) {
    out.clear();
    const std::string peersDir = dialupPaths().peersDir;
    DIR* dir = ::opendir(peersDir.c_str());
    if (!dir) {
        details_[ERROR_CANNOT_OPEN_PHONEBOOK] = peersUnreadableText(peersDir);
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
    return entryEditor_ ? entryEditor_(std::string()) : ERROR_NOT_SUPPORTED;
}

int LinuxRemoteAccess::editEntry(const std::string& name) {
    return entryEditor_ ? entryEditor_(name) : ERROR_NOT_SUPPORTED;
}

int LinuxRemoteAccess::deleteEntry(const std::string& name) {
    if (!isValidPeerName(name)) {
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    }
    const DialupPaths paths = dialupPaths();
    const std::string path = paths.peersDir + "/" + name;
    // Every failure says why (and no earlier failure's reason is shown with it).
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        const int err = errno;
        return failWith(
            accessOr(err, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY),
            accessOr(err, 0) != 0 ? peersUnreadableText(paths.peersDir) : std::string());
    }
    if (S_ISDIR(st.st_mode)) {
        return failWith(ERROR_CANNOT_FIND_PHONEBOOK_ENTRY, std::string());
    }
    if (entryNameProblem(name).empty()) {
        // Our own chat script goes with the entry.
        if (std::string why = deleteEntryFiles(paths, name); !why.empty()) {
            return failWith(accessOr(EACCES, 0), why);
        }
        return kRasOk;
    }
    if (::unlink(path.c_str()) != 0) {
        const int err = errno;
        return failWith(accessOr(err, ERROR_CANNOT_FIND_PHONEBOOK_ENTRY),
                        accessOr(err, 0) != 0 ? folderUnwritableText(paths.peersDir)
                                              : "the entry file " + path +
                                                    " could not be removed: " + std::strerror(err));
    }
    return kRasOk;
}

}  // namespace tavu::platform
