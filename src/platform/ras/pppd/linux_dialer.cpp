#include "platform/ras/pppd/linux_dialer.h"

#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>

#include "platform/kernel/linux_netlink.h"
#include "platform/ras/ras_codes.h"
#include "platform/ras/remote_access.h"

extern char** environ;

namespace tavu::platform {

namespace {

constexpr int kChatEndMs = 2000;
constexpr int kPppdEndMs = 5000;
constexpr std::size_t kMaxPassword = 1024;

speed_t speedConstant(int speed) {
    switch (speed) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B0;
    }
}

void sleepMs(int ms) {
    timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

void closeFd(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Starts a program in a session of its own with the given descriptors as its 0, 1, 2, ...
// (-1: none); returns its pid, or 0 with errno in err.
pid_t spawn(const std::string& path, const std::vector<std::string>& args,
            const std::vector<int>& fds, int& err) {
    std::vector<char*> argv;
    for (const std::string& a : args) {
        argv.push_back(const_cast<char*>(a.c_str()));
    }
    argv.push_back(nullptr);
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) {
        err = errno;
        return 0;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        err = errno;
        ::close(report[0]);
        ::close(report[1]);
        return 0;
    }
    if (pid == 0) {
        // Only calls that are safe after fork() from here on.
        ::setsid();
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGPIPE, SIG_DFL);
        int moved[8];
        const int n = static_cast<int>(fds.size());
        for (int i = 0; i < n && i < 8; ++i) {
            moved[i] = fds[i] >= 0 ? ::fcntl(fds[i], F_DUPFD_CLOEXEC, 64) : -1;
        }
        for (int i = 0; i < n && i < 8; ++i) {
            if (moved[i] >= 0) {
                ::dup2(moved[i], i);
            } else {
                const int null = ::open("/dev/null", O_RDWR);
                if (null >= 0 && null != i) {
                    ::dup2(null, i);
                    ::close(null);
                }
            }
        }
        // Everything else is closed, the report pipe at exec.
        for (int fd = n; fd < 1024; ++fd) {
            if (fd != report[1]) {
                ::close(fd);
            }
        }
        ::execve(path.c_str(), argv.data(), environ);
        const int e = errno;
        [[maybe_unused]] const ssize_t w = ::write(report[1], &e, sizeof e);
        ::_exit(127);
    }
    ::close(report[1]);
    int e = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &e, sizeof e);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got == static_cast<ssize_t>(sizeof e)) {
        ::waitpid(pid, nullptr, 0);
        err = e;
        return 0;
    }
    return pid;
}

// Reads what is there without blocking; false at the end of the stream.
bool readAvailable(int fd, std::string& out) {
    char buf[1024];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0) {
            out.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// Takes the complete lines off the front of buffer.
std::vector<std::string> takeLines(std::string& buffer, bool all) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = buffer.find('\n', start)) != std::string::npos; start = nl + 1) {
        lines.push_back(buffer.substr(start, nl - start));
    }
    buffer.erase(0, start);
    if (all && !buffer.empty()) {
        lines.push_back(buffer);
        buffer.clear();
    }
    return lines;
}

bool contains(const std::string& s, const char* what) {
    return s.find(what) != std::string::npos;
}

}  // namespace

int chatExitError(int status, const std::vector<std::string>& aborts, bool numberSent,
                  std::string& detail) {
    detail.clear();
    switch (status) {
        case 0:
            return 0;
        case 1:
            detail = "chat ended with status 1: its parameters or the chat script are wrong";
            return ERROR_SCRIPT_SYNTAX;
        case 2:
            detail = "chat ended with status 2: reading or writing the line failed";
            return ERROR_HARDWARE_FAILURE;
        case 3:
            if (numberSent) {
                detail = "the modem gave no CONNECT in time";
                return ERROR_NO_ANSWER;
            }
            detail = "the modem did not answer the commands sent to it";
            return ERROR_DEVICE_NOT_READY;
        default:
            break;
    }
    const std::size_t index = static_cast<std::size_t>(status - 4);
    if (status >= 4 && index < aborts.size()) {
        const int code = abortStringError(aborts[index]);
        if (code == ERROR_FROM_DEVICE) {
            detail = "the modem answered " + aborts[index];
        }
        return code;
    }
    detail = "chat ended with status " + std::to_string(status);
    return ERROR_FROM_DEVICE;
}

int pppdExitError(int status, std::string& detail) {
    const std::string s = "pppd ended with status " + std::to_string(status);
    switch (status) {
        case 19:
            detail.clear();
            return ERROR_AUTHENTICATION_FAILURE;
        case 4:
            detail.clear();
            return ERROR_RASMAN_CANNOT_INITIALIZE;
        case 16:
            detail = s + ": the modem hung up";
            return ERROR_REMOTE_DISCONNECTION;
        case 5:
            detail = s + ": it was stopped by a signal";
            return ERROR_USER_DISCONNECTION;
        case 3:
            detail = s + ": it must be run by root or be installed setuid root";
            return ERROR_ACCESS_DENIED;
        case 6:
            detail = s + ": the serial port could not be locked";
            return ERROR_PORT_NOT_AVAILABLE;
        case 7:
            detail = s + ": the serial port could not be opened";
            return ERROR_PORT_NOT_AVAILABLE;
        case 10:
            detail = s + ": the PPP negotiation failed";
            return ERROR_PPP_NOT_CONVERGING;
        case 11:
            detail = s + ": the remote computer did not authenticate itself";
            return ERROR_PPP_NOT_CONVERGING;
        case 15:
            detail = s + ": the remote computer stopped answering";
            return ERROR_PPP_TIMEOUT;
        case 17:
            detail = s + ": the line is looped back";
            return ERROR_PPP_LOOPBACK_DETECTED;
        case 1:
            detail = s + ": a fatal error";
            return ERROR_UNKNOWN;
        case 8:
            detail = s + ": the line is not the entry's device, which its line options check";
            return ERROR_UNKNOWN;
        case 2:
            detail = s + ": the entry's options are wrong";
            return ERROR_UNKNOWN;
        default:
            detail = s;
            return ERROR_UNKNOWN;
    }
}

int dialHelperExitError(int status, const std::string& entry, std::string& detail) {
    switch (status) {
        case 64:
        case 65:
            detail = "the dial helper refused the entry name " + entry;
            return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
        case 66:
            detail = "the dial helper is not installed setuid root";
            return ERROR_ACCESS_DENIED;
        case 67:
            detail = lineOptionsNeededText(entry, LineOptionsState::Missing);
            return ERROR_ACCESS_DENIED;
        case 68:
            detail = "the dial helper does not trust the line options of the entry " + entry +
                     ": they must be root's own regular file, writable by root only. As root, "
                     "run \"tavu prepare " +
                     entry + "\"";
            return ERROR_ACCESS_DENIED;
        case 71:
            detail = lineOptionsNeededText(entry, LineOptionsState::Stale);
            return ERROR_ACCESS_DENIED;
        case 70:
        case 127:
            detail = "the dial helper could not start pppd";
            return ERROR_UNKNOWN;
        default:
            return 0;
    }
}

namespace {

// Runs "HELPER WHAT ENTRY" and waits for it a few seconds at most; its exit status, or -1 when it
// could not be started (errno in err) or did not end in time.
int runDialHelper(const std::string& helper, const char* what, const std::string& entry, int& err) {
    err = 0;
    const pid_t pid = spawn(helper, {helper, what, entry}, {-1, -1, -1}, err);
    if (pid == 0) {
        return -1;
    }
    int status = 0;
    for (int waited = 0; waited < kPppdEndMs; waited += 10) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        sleepMs(10);
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    err = ETIMEDOUT;
    return -1;
}

}  // namespace

bool dialHelperHangUp(const std::string& helper, const std::string& entry) {
    int err = 0;
    return runDialHelper(helper, "hangup", entry, err) == 0;
}

int dialHelperCheck(const std::string& helper, const std::string& entry, std::string& detail) {
    int err = 0;
    const int status = runDialHelper(helper, "check", entry, err);
    if (status == 0) {
        return 0;
    }
    if (status < 0) {
        detail = "the dial helper " + helper + " could not be run (" + std::strerror(err) + ")";
        return ERROR_ACCESS_DENIED;
    }
    if (const int code = dialHelperExitError(status, entry, detail); code != 0) {
        return code;
    }
    detail = "the dial helper " + helper + " ended with status " + std::to_string(status);
    return ERROR_ACCESS_DENIED;
}

bool interfaceReady(const std::string& ifname) {
    const unsigned index = ::if_nametoindex(ifname.c_str());
    netlink::LinkInfo link;
    // The interface pppd named for this dial is its line, whatever its name: only whether it is
    // up counts here.
    if (index == 0 || !netlink::getLink(static_cast<int>(index), link) ||
        (link.flags & IFF_UP) == 0) {
        return false;
    }
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return false;
    }
    bool found = false;
    for (const ifaddrs* a = list; a; a = a->ifa_next) {
        if (a->ifa_addr && a->ifa_addr->sa_family == AF_INET && ifname == a->ifa_name) {
            found = true;
        }
    }
    ::freeifaddrs(list);
    return found;
}

bool endChild(pid_t pid, int signal, int timeoutMs) {
    if (pid <= 1) {
        return false;
    }
    ::kill(pid, signal);
    for (int waited = 0;; waited += 10) {
        const pid_t r = ::waitpid(pid, nullptr, WNOHANG);
        if (r == pid || (r < 0 && errno == ECHILD)) {
            return true;
        }
        if (waited >= timeoutMs) {
            break;
        }
        sleepMs(10);
    }
    ::kill(pid, SIGKILL);
    return ::waitpid(pid, nullptr, 0) == pid;
}

ModemDial::ModemDial(ModemDialSetup setup) : setup_(std::move(setup)) {}

ModemDial::~ModemDial() {
    if (!connected_) {
        cancel();
    }
}

std::vector<DialEvent> ModemDial::step() {
    std::vector<DialEvent> events;
    switch (stage_) {
        case Stage::Start:
            startLine(events);
            break;
        case Stage::Chat:
            stepChat(events);
            break;
        case Stage::Pppd:
            stepPppd(events);
            break;
        case Stage::Done:
            break;
    }
    return events;
}

void ModemDial::report(std::vector<DialEvent>& events, int state, int error) {
    lastState_ = state;
    events.push_back({state, error});
}

void ModemDial::fail(std::vector<DialEvent>& events, int error, std::string detail) {
    error_ = error;
    detail_ = std::move(detail);
    events.push_back({lastState_, error});
    release();
}

void ModemDial::startLine(std::vector<DialEvent>& events) {
    report(events, RASCS_OpenPort);
    const std::string& dev = setup_.peer.device;
    line_ = ::open(dev.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (line_ < 0 || ::tcgetattr(line_, &tio) != 0) {
        const int err = errno;
        std::string why = dev + ": " + std::strerror(err);
        if (err == EACCES || err == EPERM) {
            why += "; using the modem needs membership of the group dialout";
        }
        fail(events, ERROR_PORT_NOT_AVAILABLE, why);
        return;
    }
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD | HUPCL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (const speed_t s = speedConstant(setup_.peer.speed); s != B0) {
        ::cfsetispeed(&tio, s);
        ::cfsetospeed(&tio, s);
    }
    ::tcsetattr(line_, TCSANOW, &tio);
    ::fcntl(line_, F_SETFL, ::fcntl(line_, F_GETFL) & ~O_NONBLOCK);
    report(events, RASCS_PortOpened);

    int errPipe[2];
    if (::pipe2(errPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        fail(events, ERROR_UNKNOWN, std::strerror(errno));
        return;
    }
    std::vector<std::string> args = {setup_.paths.chat, "-v", "-s"};
    if (setup_.peer.chatTimeout > 0) {
        args.insert(args.end(), {"-t", std::to_string(setup_.peer.chatTimeout)});
    }
    if (!setup_.peer.phoneNumber.empty()) {
        args.insert(args.end(), {"-T", setup_.peer.phoneNumber});
    }
    args.insert(args.end(), {"-f", setup_.peer.chatScript});
    int err = 0;
    chatPid_ = spawn(setup_.paths.chat, args, {line_, line_, errPipe[1]}, err);
    ::close(errPipe[1]);
    chatErr_ = errPipe[0];
    if (chatPid_ == 0) {
        fail(events, ERROR_UNKNOWN,
             "chat could not be started (" + setup_.paths.chat + ": " + std::strerror(err) + ")");
        return;
    }
    stage_ = Stage::Chat;
}

void ModemDial::chatLine(const std::string& line, std::vector<DialEvent>& events) {
    // chat -v reports "send (ATDT5551234^M)" when it sends the number.
    const std::size_t send = line.find("send (");
    if (!numberSent_ && send != std::string::npos) {
        std::string what = line.substr(send + 6, 3);
        for (char& c : what) {
            c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        }
        if (what == "ATD") {
            numberSent_ = true;
            report(events, RASCS_ConnectDevice);
        }
    }
}

void ModemDial::stepChat(std::vector<DialEvent>& events) {
    const bool open = readAvailable(chatErr_, partial_);
    int status = 0;
    const pid_t r = ::waitpid(chatPid_, &status, WNOHANG);
    const bool ended = r == chatPid_;
    if (ended) {
        readAvailable(chatErr_, partial_);
    }
    for (const std::string& l : takeLines(partial_, ended || !open)) {
        chatLine(l, events);
    }
    if (!ended) {
        return;
    }
    chatPid_ = 0;
    closeFd(chatErr_);
    partial_.clear();
    const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 2;
    std::string detail;
    if (const int code = chatExitError(exitStatus, setup_.aborts, numberSent_, detail); code) {
        fail(events, code, detail);
        return;
    }
    if (!numberSent_) {
        report(events, RASCS_ConnectDevice);
    }
    report(events, RASCS_DeviceConnected);

    // pppd: the line is its standard input, its log goes to a memory file read here, the
    // password comes from a pipe.
    pppdLog_ = ::memfd_create("tavu-pppd-log", MFD_CLOEXEC);
    int pw[2];
    if (pppdLog_ < 0 || ::pipe2(pw, O_CLOEXEC) != 0) {
        fail(events, ERROR_UNKNOWN, std::strerror(errno));
        return;
    }
    const std::string password = setup_.password.substr(0, kMaxPassword);
    [[maybe_unused]] const ssize_t written = ::write(pw[1], password.data(), password.size());
    ::close(pw[1]);
    std::vector<std::string> args = {setup_.paths.pppd};
    const std::string& program = setup_.helper.empty() ? setup_.paths.pppd : setup_.helper;
    if (!setup_.helper.empty()) {
        // The helper gives root's pppd the entry's line options and nothing else; the line
        // stays the one that pppd opens itself from them.
        args = {setup_.helper, "dial", setup_.entry};
    } else if (setup_.callName.empty()) {
        args.insert(args.end(), setup_.peer.pppdOptions.begin(), setup_.peer.pppdOptions.end());
        args.insert(args.end(), {"linkname", setup_.entry, "plugin", "passwordfd.so"});
    } else {
        // The linkname and the plug-in are in the called file.
        args.insert(args.end(), {"call", setup_.callName});
    }
    if (setup_.helper.empty()) {
        args.insert(args.end(), {"nodetach", "logfd", "2"});
        const std::string user = setup_.user.empty() ? setup_.peer.user : setup_.user;
        if (!user.empty()) {
            args.insert(args.end(), {"user", user});
        }
        args.insert(args.end(), {"passwordfd", "3"});
    }
    int err = 0;
    pppdPid_ = spawn(program, args, {line_, pppdLog_, pppdLog_, pw[0]}, err);
    ::close(pw[0]);
    if (pppdPid_ == 0) {
        fail(events, ERROR_UNKNOWN,
             "pppd could not be started (" + program + ": " + std::strerror(err) + ")");
        return;
    }
    report(events, RASCS_AllDevicesConnected);
    stage_ = Stage::Pppd;
}

void ModemDial::pppdLine(const std::string& line, std::vector<DialEvent>& events) {
    if (line.find_first_not_of(" \t\r") != std::string::npos) {
        lastPppdLine_ = line.substr(0, 300);
    }
    if (const std::size_t at = line.find("Using interface "); at != std::string::npos) {
        ifname_ = line.substr(at + 16);
        while (!ifname_.empty() && (ifname_.back() == ' ' || ifname_.back() == '\r')) {
            ifname_.pop_back();
        }
    } else if (contains(line, "Connect: ") && !authStarted_) {
        authStarted_ = true;
        report(events, RASCS_Authenticate);
    } else if (contains(line, "authentication succeeded") && !authenticated_) {
        if (!authStarted_) {
            authStarted_ = true;
            report(events, RASCS_Authenticate);
        }
        authenticated_ = true;
        report(events, RASCS_Authenticated);
    } else if (contains(line, "authentication failed")) {
        authFailed_ = true;
    } else if (contains(line, "local  IP address") && !projected_) {
        projected_ = true;
        report(events, RASCS_Projected);
    }
}

void ModemDial::stepPppd(std::vector<DialEvent>& events) {
    char buf[2048];
    for (;;) {
        const ssize_t n = ::pread(pppdLog_, buf, sizeof buf, pppdLogRead_);
        if (n <= 0) {
            break;
        }
        pppdLogRead_ += n;
        partial_.append(buf, static_cast<std::size_t>(n));
    }
    int status = 0;
    const pid_t r = ::waitpid(pppdPid_, &status, WNOHANG);
    const bool ended = r == pppdPid_;
    for (const std::string& l : takeLines(partial_, ended)) {
        pppdLine(l, events);
    }
    if (ended) {
        pppdPid_ = 0;
        const int exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 1;
        std::string detail;
        int code = 0;
        if (!setup_.helper.empty()) {
            code = dialHelperExitError(exitStatus, setup_.entry, detail);
        }
        if (code == 0) {
            code = pppdExitError(exitStatus, detail);
        }
        if (exitStatus == 2 && !lastPppdLine_.empty()) {
            // What pppd said of its options, such as one that needs root.
            std::string_view said = lastPppdLine_;
            while (!said.empty() && said.back() == '.') {
                said.remove_suffix(1);
            }
            detail += " (" + std::string(said) + ")";
        }
        if (authFailed_) {
            code = ERROR_AUTHENTICATION_FAILURE;
            detail.clear();
        }
        fail(events, code, detail);
        return;
    }
    if (!ifname_.empty() && interfaceReady(ifname_)) {
        if (!projected_) {
            report(events, RASCS_Projected);
        }
        report(events, RASCS_Connected);
        connected_ = true;
        // pppd has the line and its log now; this side lets go of both.
        closeFd(line_);
        closeFd(pppdLog_);
        stage_ = Stage::Done;
    }
}

void ModemDial::release() {
    closeFd(chatErr_);
    closeFd(pppdLog_);
    closeFd(line_);
    stage_ = Stage::Done;
}

void ModemDial::cancel() {
    if (connected_ || stage_ == Stage::Done) {
        release();
        return;
    }
    if (chatPid_ > 0) {
        endChild(chatPid_, SIGTERM, kChatEndMs);
        chatPid_ = 0;
    }
    if (pppdPid_ > 0) {
        // A pppd that the helper runs is root's: only the helper can end it.
        if (!setup_.helper.empty() && ::kill(pppdPid_, 0) != 0 && errno == EPERM) {
            dialHelperHangUp(setup_.helper, setup_.entry);
        }
        endChild(pppdPid_, SIGTERM, kPppdEndMs);
        pppdPid_ = 0;
    }
    if (error_ == 0) {
        error_ = ERROR_USER_DISCONNECTION;
    }
    release();
}

}  // namespace tavu::platform
