#include "platform/ras/pppd/linux_peers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "core/file_io.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "platform/ras/ras_codes.h"
#include "platform/ras/remote_access.h"

namespace tavu::platform {

namespace {

constexpr std::size_t kMaxFile = 256 * 1024;
// The first line of every chat script this program writes; only such a script is deleted with
// its entry.
constexpr std::string_view kScriptMarker = "# Written by TAVU";

}  // namespace

namespace {

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return u;
}

// Reads at most kMaxFile bytes of a regular file; errno tells why it failed.
bool readTextFile(const std::string& path, std::string& out) {
    return readSmallFile(path, kMaxFile, out);
}

// begins with '#' is a comment.
std::vector<std::string> chatWords(std::string_view script) {
    std::vector<std::string> words;
    std::size_t i = 0;
    bool lineStart = true;
    while (i < script.size()) {
        const char c = script[i];
        if (c == '\n') {
            lineStart = true;
            ++i;
        } else if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
        } else if (c == '#' && lineStart) {
            i = script.find('\n', i);
            if (i == std::string_view::npos) {
                break;
            }
        } else if (c == '"' || c == '\'') {
            std::string word;
            for (++i; i < script.size() && script[i] != c; ++i) {
                if (script[i] == '\\' && i + 1 < script.size() && script[i + 1] == c) {
                    ++i;
                }
                word += script[i];
            }
            ++i;
            words.push_back(std::move(word));
            lineStart = false;
        } else {
            const std::size_t end = script.find_first_of(" \t\r\n", i);
            const std::size_t stop = end == std::string_view::npos ? script.size() : end;
            words.emplace_back(script.substr(i, stop - i));
            i = stop;
            lineStart = false;
        }
    }
    return words;
}

bool isWritableDir(const std::string& dir) {
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           ::access(dir.c_str(), W_OK | X_OK) == 0;
}

bool isDenied(int err) {
    return err == EACCES || err == EPERM || err == EROFS;
}

// Writes a file in dir atomically with mode 0640 and the group of the folder (on Debian group
// dip, so that its members can read the entry). Returns 0 or errno.
int writeFileAtomic(const std::string& dir, const std::string& name, const std::string& content) {
    struct stat dirStat {};
    const bool setGroup = ::geteuid() == 0 && ::stat(dir.c_str(), &dirStat) == 0;
    return replaceFile(dir + "/" + name, content, 0640,
                       setGroup ? dirStat.st_gid : static_cast<gid_t>(-1));
}

// A value that goes inside quotes in a peer file or chat script.
bool isQuotable(std::string_view s) {
    return hasNoControlChars(s) && s.find_first_of("\"'\\") == std::string_view::npos;
}

std::string writeProblem(const std::string& dir, int err) {
    if (isDenied(err)) {
        return folderUnwritableText(dir);
    }
    return "The folder " + dir + " could not be written: " + std::strerror(err) + ".";
}

std::string lineOptionsPath(const DialupPaths& paths, const std::string& name) {
    return paths.peersDir + "/" + kLineOptionsFolder + "/" + name;
}

// Opens the folder of the line options in the peers folder, making it when asked and missing,
// through descriptors only: a symbolic link planted in its place is never followed, and a folder
// that is not the caller's (root's, when root runs it) is refused, not changed. The folder is
// the owner's alone, mode 0700 and the owner's group: pppd opens a called file as the user who
// runs it, so a member of group dip cannot call the line options directly, where pppd would run
// their connect line as that member. A folder that an older version left open to group dip is
// closed here too. Returns its descriptor, or -1 with the reason in problem.
int openLineOptionsFolder(const DialupPaths& paths, bool create, std::string& problem) {
    const std::string path = paths.peersDir + "/" + kLineOptionsFolder;
    const UniqueFd peers(::open(paths.peersDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat peersStat {};
    if (!peers.ok() || ::fstat(peers.get(), &peersStat) != 0) {
        problem = writeProblem(paths.peersDir, errno);
        return -1;
    }
    if (create && ::mkdirat(peers.get(), kLineOptionsFolder, 0700) != 0 && errno != EEXIST) {
        problem = writeProblem(paths.peersDir, errno);
        return -1;
    }
    const int dir =
        ::openat(peers.get(), kLineOptionsFolder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (dir < 0) {
        const int err = errno;
        if (err == ELOOP ||
            (::fstatat(peers.get(), kLineOptionsFolder, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
             S_ISLNK(st.st_mode))) {
            problem = path +
                      " is a symbolic link, not a folder: it is not followed. Remove it, "
                      "then try again.";
        } else if (err == ENOTDIR) {
            problem = path + " is not a folder: remove it, then try again.";
        } else {
            problem = writeProblem(paths.peersDir, err);
        }
        return -1;
    }
    if (::fstat(dir, &st) != 0 || st.st_uid != ::geteuid()) {
        problem = path + " belongs to another user (uid " + std::to_string(st.st_uid) +
                  "), so the line options in it cannot be trusted: remove it, then try again.";
        ::close(dir);
        return -1;
    }
    if (::fchmod(dir, 0700) != 0 ||
        (st.st_gid != ::getegid() && ::fchown(dir, static_cast<uid_t>(-1), ::getegid()) != 0)) {
        problem = writeProblem(path, errno);
        ::close(dir);
        return -1;
    }
    return dir;
}

// Replaces the file name in the folder dirFd through a hidden temporary file and a rename, with
// mode 0600 and the owner's group. Returns 0 or errno (nothing is left behind then).
int replaceFileAt(int dirFd, const std::string& name, const std::string& content) {
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = "." + name + "." + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        fd = ::openat(dirFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0600);
        if (fd < 0 && errno != EEXIST) {
            return errno;
        }
    }
    if (fd < 0) {
        return EEXIST;
    }
    UniqueFd file(fd);
    int err = ::fchmod(fd, 0600) == 0 && ::fchown(fd, static_cast<uid_t>(-1), ::getegid()) == 0
                  ? 0
                  : errno;
    errno = 0;
    if (err == 0 && (!writeAll(fd, content) || ::fsync(fd) != 0)) {
        err = errno != 0 ? errno : EIO;
    }
    if (!file.close() && err == 0) {
        err = errno;
    }
    if (err == 0 && ::renameat(dirFd, temp.c_str(), dirFd, name.c_str()) != 0) {
        err = errno;
    }
    if (err != 0) {
        ::unlinkat(dirFd, temp.c_str(), 0);
    }
    return err;
}

bool isOurScript(const std::string& path) {
    std::string text;
    return readTextFile(path, text) && text.starts_with(kScriptMarker);
}

}  // namespace

#ifndef TAVU_DIAL_HELPER
#define TAVU_DIAL_HELPER "/usr/libexec/tavu/tavu-dial-helper"
#endif
const char* const kDefaultDialHelper = TAVU_DIAL_HELPER;

DialupPaths DialupPaths::fromSettings(const SettingsStore& settings) {
    DialupPaths p;
    p.dialHelper = settings.readString(keys::kDialup, keys::kDialHelper, p.dialHelper);
    p.peersDir = settings.readString(keys::kDialup, keys::kPeersDir, p.peersDir);
    p.chatDir = settings.readString(keys::kDialup, keys::kChatDir, p.chatDir);
    p.pppd = settings.readString(keys::kDialup, keys::kPppd, p.pppd);
    p.chat = settings.readString(keys::kDialup, keys::kChat, p.chat);
    return p;
}

std::vector<std::string> chatAbortStrings(std::string_view script) {
    const std::vector<std::string> words = chatWords(script);
    std::vector<std::string> aborts;
    for (std::size_t i = 0; i + 1 < words.size(); ++i) {
        if (words[i] == "ABORT") {
            aborts.push_back(words[++i]);
        }
    }
    return aborts;
}

int abortStringError(std::string_view abortString) {
    const std::string s = upper(abortString);
    if (s.find("BUSY") != std::string::npos) {
        return ERROR_LINE_BUSY;
    }
    if (s.find("NO CARRIER") != std::string::npos) {
        return ERROR_NO_CARRIER;
    }
    if (s.find("DIALTONE") != std::string::npos || s.find("DIAL TONE") != std::string::npos) {
        return ERROR_NO_DIALTONE;
    }
    if (s.find("NO ANSWER") != std::string::npos) {
        return ERROR_NO_ANSWER;
    }
    if (s.find("VOICE") != std::string::npos) {
        return ERROR_VOICE_ANSWER;
    }
    return ERROR_FROM_DEVICE;
}

std::string takeoverDeviceProblem(const std::string& device) {
    const auto userMade = [](std::string_view path) {
        return path.starts_with("/dev/shm/") || path.starts_with("/dev/mqueue/") ||
               path.starts_with("/dev/pts/") || path == "/dev/ptmx" || path == "/dev/tty";
    };
    // Pseudo-terminals: the master (5, 2) and the slaves (136 to 143).
    const auto pseudoTerminal = [](const struct stat& st) {
        const unsigned major = ::major(st.st_rdev);
        return S_ISCHR(st.st_mode) &&
               ((major == 5 && ::minor(st.st_rdev) <= 2) || (major >= 136 && major <= 143));
    };
    std::string why;
    char real[PATH_MAX];
    struct stat st {};
    if (userMade(device)) {
        why = "is a place where any user can make a device";
    } else if (::realpath(device.c_str(), real) && userMade(real)) {
        why = "leads to " + std::string(real) + ", where any user can make a device";
    } else if (::stat(device.c_str(), &st) == 0 && pseudoTerminal(st)) {
        why = "is a pseudo-terminal";
    }
    if (why.empty()) {
        return {};
    }
    return "The device " + (hasNoControlChars(device) ? device : std::string("?")) + " " + why +
           ": another user could take it over once it is free, so it cannot be a modem's. "
           "Please give the modem's own device, such as /dev/ttyS0 or /dev/ttyUSB0.";
}

std::string entryNameProblem(std::string_view name) {
    if (name.empty()) {
        return "Please give the entry a name.";
    }
    const bool plain = std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '.' || c == '_' || c == '-';
    });
    if (!plain || name.front() == '.' || name.size() > 64) {
        return "The entry name \"" + std::string(hasNoControlChars(name) ? name : "?") +
               "\" cannot be used: an entry name becomes a file name, so it may hold only "
               "letters, digits, \".\", \"_\" and \"-\" (no blanks, no \"/\"), must not begin "
               "with \".\" and has at most 64 characters.";
    }
    return {};
}

std::vector<std::string> serialDevicesPresent(const std::string& devDir) {
    std::vector<std::string> out;
    DIR* dir = ::opendir(devDir.c_str());
    if (!dir) {
        return out;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name(e->d_name);
        for (std::string_view p : {"ttyS", "ttyUSB", "ttyACM", "rfcomm"}) {
            if (name.starts_with(p) && name.size() > p.size() &&
                name.find_first_not_of("0123456789", p.size()) == std::string_view::npos) {
                out.push_back(devDir + "/" + std::string(name));
            }
        }
    }
    ::closedir(dir);
    // ttyS2 before ttyS10.
    std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
        const std::size_t da = a.find_first_of("0123456789", a.rfind('/'));
        const std::size_t db = b.find_first_of("0123456789", b.rfind('/'));
        const std::string pa = a.substr(0, da), pb = b.substr(0, db);
        if (pa != pb) {
            return pa < pb;
        }
        return std::stoll(a.substr(da)) < std::stoll(b.substr(db));
    });
    // udev's names for a modem come first.
    for (const char* link : {"gsmmodem", "modem"}) {
        const std::string path = devDir + "/" + link;
        if (::access(path.c_str(), F_OK) == 0) {
            out.insert(out.begin(), path);
        }
    }
    return out;
}

std::string peersUnreadableText(const std::string& dir) {
    return "The folder " + dir +
           " of the dial-up entries cannot be read. Dialling needs membership of the group "
           "dip: ask the administrator to add you (adduser YOURNAME dip), then log in again.";
}

std::string folderUnwritableText(const std::string& dir) {
    return "The folder " + dir +
           " cannot be written: adding or changing dial-up entries needs root (the "
           "administrator). Dialling the existing entries needs only membership of the group "
           "dip.";
}

std::string writeEntryFiles(const DialupPaths& paths, const EntryForm& form,
                            const std::string& oldName) {
    if (std::string problem = entryNameProblem(form.name); !problem.empty()) {
        return problem;
    }
    if (form.number.empty() || !isQuotable(form.number)) {
        return "Please give the telephone number (digits, and the dialling characters the "
               "modem knows; no quotes).";
    }
    if (serialDeviceWord(form.device) != form.device || !isQuotable(form.device) ||
        form.device.find_first_of(" \t#") != std::string::npos) {
        return "Please give the modem's device, such as /dev/ttyS0.";
    }
    if (form.speed <= 0 || form.speed > 4000000) {
        return "Please give the speed of the line as a number, such as 115200.";
    }
    // pppd runs the connect line through the shell.
    for (const auto& [key, value] :
         {std::pair{"Dialup/Chat", &paths.chat}, std::pair{"Dialup/ChatDir", &paths.chatDir}}) {
        if (const std::size_t at = value->find_first_not_of(kShellPlain); at != std::string::npos) {
            const auto c = static_cast<unsigned char>((*value)[at]);
            const std::string what = c == ' '             ? "a blank"
                                     : c < 32 || c == 127 ? "a control character"
                                     : c > 127            ? "a character outside ASCII"
                                                          : "\"" + std::string(1, char(c)) + "\"";
            return "The setting " + std::string(key) + " holds " + what +
                   ", which the shell that pppd runs the entry's connect line through would read "
                   "specially: use a path of letters, digits and the characters / . _ - + : @ , "
                   "only.";
        }
    }
    if (!isQuotable(form.init) || !isQuotable(form.user)) {
        return "The init string and the user name may not hold quotes, backslashes or control "
               "characters.";
    }
    // Refuse before anything is written.
    for (const std::string& dir : {paths.peersDir, paths.chatDir}) {
        if (!isWritableDir(dir)) {
            const int err = errno;
            struct stat st {};
            if (::stat(dir.c_str(), &st) != 0 && err == ENOENT) {
                return "The folder " + dir + " does not exist.";
            }
            return folderUnwritableText(dir);
        }
    }
    const std::string scriptPath = paths.chatDir + "/" + form.name;
    // A script of the same name that another tool wrote stays.
    struct stat st {};
    if (::stat(scriptPath.c_str(), &st) == 0 && !isOurScript(scriptPath)) {
        return "The chat script " + scriptPath +
               " exists and was not written by TAVU: choose another entry name.";
    }

    std::string script;
    script += std::string(kScriptMarker) + " for the dial-up entry " + form.name + ".\n";
    script += "ABORT BUSY\nABORT 'NO CARRIER'\nABORT 'NO DIALTONE'\nABORT 'NO ANSWER'\n";
    script += "ABORT ERROR\n";
    script += "TIMEOUT 10\n";
    script += "'' '" + (form.init.empty() ? std::string("AT") : form.init) + "'\n";
    script += "OK 'ATDT" + form.number + "'\n";
    script += "TIMEOUT 60\n";
    script += "CONNECT ''\n";

    std::string peer;
    peer += "# Written by TAVU: the dial-up entry " + form.name + ".\n";
    peer += form.device + "\n";
    peer += std::to_string(form.speed) + "\n";
    // Like the line options, the peer file dials only on its own device: pppd takes the
    // device from its caller's command line too, and would run chat on any terminal.
    peer += "connect " +
            pppdWord(deviceCheck(form.device) + " && " + paths.chat + " -v -f " + scriptPath) +
            "\n";
    if (!form.user.empty()) {
        peer += "user \"" + form.user + "\"\n";
    }
    peer +=
        "noauth\ndefaultroute\nusepeerdns\nhide-password\nnoipdefault\nmodem\ncrtscts\n"
        "lcp-echo-interval 30\nlcp-echo-failure 4\n";

    if (const int err = writeFileAtomic(paths.chatDir, form.name, script); err != 0) {
        return writeProblem(paths.chatDir, err);
    }
    if (const int err = writeFileAtomic(paths.peersDir, form.name, peer); err != 0) {
        return writeProblem(paths.peersDir, err);
    }
    if (std::string problem = writeLineOptions(paths, form.name); !problem.empty()) {
        return problem;
    }
    if (!oldName.empty() && oldName != form.name && entryNameProblem(oldName).empty()) {
        return deleteEntryFiles(paths, oldName);
    }
    return {};
}

bool readEntryForm(const DialupPaths& paths, const std::string& name, EntryForm& out,
                   std::string& error) {
    out = {};
    out.name = name;
    if (error = entryNameProblem(name); !error.empty()) {
        return false;
    }
    PeerFile peer;
    if (!readPeerFile(paths.peersDir + "/" + name, peer, error)) {
        return false;
    }
    out.device = peer.device;
    if (peer.speed > 0) {
        out.speed = peer.speed;
    }
    out.user = peer.user;
    out.number = peer.phoneNumber;
    std::string script;
    if (readTextFile(peer.chatScript, script)) {
        const std::vector<std::string> words = chatWords(script);
        bool initTaken = false;
        for (std::size_t i = 0; i + 1 < words.size(); i += 2) {
            const std::string& send = words[i + 1];
            if (words[i] == "ABORT" || words[i] == "TIMEOUT" || words[i] == "REPORT" ||
                words[i] == "SAY" || words[i] == "ECHO" || words[i] == "HANGUP") {
                continue;
            }
            const std::string up = upper(send);
            if (up.starts_with("ATD")) {
                std::string number = send.substr(3);
                if (!number.empty() && (number[0] == 'T' || number[0] == 't' || number[0] == 'P' ||
                                        number[0] == 'p')) {
                    number.erase(0, 1);
                }
                if (number != "\\T") {
                    out.number = number;
                }
            } else if (!initTaken && up.starts_with("AT")) {
                out.init = send;
                initTaken = true;
            }
        }
    }
    return true;
}

std::string deleteEntryFiles(const DialupPaths& paths, const std::string& name) {
    if (std::string problem = entryNameProblem(name); !problem.empty()) {
        return problem;
    }
    const std::string peerPath = paths.peersDir + "/" + name;
    PeerFile peer;
    std::string ignored;
    const bool parsed = readPeerFile(peerPath, peer, ignored);
    if (::unlink(peerPath.c_str()) != 0) {
        const int err = errno;
        if (err == ENOENT) {
            return "The entry " + name + " does not exist.";
        }
        return isDenied(err) ? folderUnwritableText(paths.peersDir)
                             : "The entry file " + peerPath +
                                   " could not be removed: " + std::strerror(err) + ".";
    }
    if (parsed && isOurScript(peer.chatScript)) {
        ::unlink(peer.chatScript.c_str());
    }
    std::string ignoredProblem;
    if (const UniqueFd dir(openLineOptionsFolder(paths, false, ignoredProblem)); dir.ok()) {
        ::unlinkat(dir.get(), name.c_str(), 0);
    }
    return {};
}

LineOptionsState lineOptionsState(const DialupPaths& paths, const std::string& name) {
    std::string have;
    if (!entryNameProblem(name).empty() || !readTextFile(lineOptionsPath(paths, name), have)) {
        return LineOptionsState::Missing;
    }
    PeerFile peer;
    std::string ignored;
    if (!readPeerFile(paths.peersDir + "/" + name, peer, ignored) ||
        have != lineOptionsText(name, peer)) {
        return LineOptionsState::Stale;
    }
    return LineOptionsState::Current;
}

std::string writeLineOptions(const DialupPaths& paths, const std::string& name) {
    if (std::string problem = entryNameProblem(name); !problem.empty()) {
        return problem;
    }
    PeerFile peer;
    std::string error;
    if (!readPeerFile(paths.peersDir + "/" + name, peer, error)) {
        return error;
    }
    for (const std::vector<std::string>& line : peer.optionLines) {
        for (const std::string& word : line) {
            if (!hasNoControlChars(word)) {
                return "The entry file " + paths.peersDir + "/" + name +
                       " holds control characters in its options.";
            }
        }
    }
    std::string problem;
    const UniqueFd dir(openLineOptionsFolder(paths, true, problem));
    if (!dir.ok()) {
        return problem;
    }
    if (const int err = replaceFileAt(dir.get(), name, lineOptionsText(name, peer)); err != 0) {
        return writeProblem(paths.peersDir + "/" + kLineOptionsFolder, err);
    }
    return {};
}

std::string lineOptionsNeededText(const std::string& name, LineOptionsState state) {
    const std::string why =
        state == LineOptionsState::Stale
            ? "The entry " + name + " was changed after root last made its line options"
            : "The entry " + name + " has no line options yet";
    return why +
           ", and pppd takes the options of a dial from a user other than root only from "
           "them. As root, run \"tavu prepare " +
           name + "\" once (saving the entry in the entry editor does the same).";
}

}  // namespace tavu::platform
