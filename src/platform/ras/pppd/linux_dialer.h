#pragma once

// Dialling a modem on Linux: the serial line opened here, chat(8) on it for the modem's
// conversation, then pppd on the same line for the link itself.

#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/ras/pppd/linux_peers.h"

namespace tavu::platform {

struct DialEvent {
    int state = 0;
    int error = 0;
    bool operator==(const DialEvent&) const = default;
};

// Everything one dial needs, read from the settings and the entry's files beforehand.
struct ModemDialSetup {
    DialupPaths paths;
    std::string entry;
    std::string user;  // empty: the peer file's
    std::string password;
    PeerFile peer;
    std::vector<std::string> aborts;  // of the chat script, in order
    // Non-empty: pppd takes the entry's options with "call" from its line options (see
    // kLineOptionsFolder); otherwise they go on its command line, which only root may do.
    std::string callName;
    // Non-empty: the setuid helper that runs pppd as root with the entry's line options, for a
    // user who is not root; it takes only the entry's name and the password.
    std::string helper;
};

// What the dial helper's own exit statuses (above pppd's) mean; 0 for any other status.
int dialHelperExitError(int status, const std::string& entry, std::string& detail);

// Runs "HELPER hangup ENTRY" and waits for it (a few seconds at most); true when it ended a pppd.
bool dialHelperHangUp(const std::string& helper, const std::string& entry);

// Runs "HELPER check ENTRY" and waits for it (a few seconds at most): the helper, as root, looks
// at the entry's line options, which only root may read, and compares them with its peer file.
// 0 when they can be dialled, else the error code with the reason in detail.
int dialHelperCheck(const std::string& helper, const std::string& entry, std::string& detail);

// The error code for chat's exit status, and in detail what the status means.
int chatExitError(int status, const std::vector<std::string>& aborts, bool numberSent,
                  std::string& detail);
// The error code for pppd's exit status, and in detail what it means (pppd's own numbers).
int pppdExitError(int status, std::string& detail);

// One dial. step() never blocks: it reads what chat and pppd said, notices their ends and the
// interface coming up, and returns the dial's events in the order they happened. The password
// reaches pppd on a pipe read by its passwordfd plugin, never on a command line, in the
// environment or in a file.
class ModemDial {
  public:
    explicit ModemDial(ModemDialSetup setup);
    ~ModemDial();
    ModemDial(const ModemDial&) = delete;
    ModemDial& operator=(const ModemDial&) = delete;

    std::vector<DialEvent> step();

    bool finished() const { return stage_ == Stage::Done; }
    bool connected() const { return connected_; }
    int error() const { return error_; }
    // What went wrong beyond the code's own text; empty when nothing more is known.
    const std::string& detail() const { return detail_; }
    pid_t chatPid() const { return chatPid_; }
    pid_t pppdPid() const { return pppdPid_; }
    const std::string& interfaceName() const { return ifname_; }
    int lastState() const { return lastState_; }

    // Stops chat or pppd, waiting for them to end (a few seconds at most), and releases the
    // line. A dial that has connected is left alone.
    void cancel();

  private:
    enum class Stage { Start, Chat, Pppd, Done };

    void startLine(std::vector<DialEvent>& events);
    void stepChat(std::vector<DialEvent>& events);
    void stepPppd(std::vector<DialEvent>& events);
    void chatLine(const std::string& line, std::vector<DialEvent>& events);
    void pppdLine(const std::string& line, std::vector<DialEvent>& events);
    void report(std::vector<DialEvent>& events, int state, int error = 0);
    void fail(std::vector<DialEvent>& events, int error, std::string detail);
    void release();

    ModemDialSetup setup_;
    Stage stage_ = Stage::Start;
    int line_ = -1;
    int chatErr_ = -1;  // chat's standard error
    int pppdLog_ = -1;  // pppd's log (a memory file)
    off_t pppdLogRead_ = 0;
    std::string partial_;
    pid_t chatPid_ = 0;
    pid_t pppdPid_ = 0;
    int lastState_ = 0;
    bool numberSent_ = false;
    bool authStarted_ = false;
    bool authenticated_ = false;
    bool authFailed_ = false;
    bool projected_ = false;
    bool connected_ = false;
    int error_ = 0;
    std::string detail_;
    std::string ifname_;
    std::string lastPppdLine_;
};

// True when the point-to-point interface of that name is up with an IPv4 address.
bool interfaceReady(const std::string& ifname);

// Waits for a child process to end, up to timeoutMs, then kills it; true when it was reaped.
bool endChild(pid_t pid, int signal, int timeoutMs);

}  // namespace tavu::platform
