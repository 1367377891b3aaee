#pragma once

// The phone book on Linux: pppd's peer files and their chat scripts.

#include <string>
#include <string_view>
#include <vector>

#include "platform/ras/pppd/peer_options.h"

namespace tavu {
class SettingsStore;
}

namespace tavu::platform {

// Where the installed dial helper is.
extern const char* const kDefaultDialHelper;

// Where the dial-up pieces live (section Dialup of the settings).
struct DialupPaths {
    std::string peersDir = "/etc/ppp/peers";
    std::string chatDir = "/etc/chatscripts";
    std::string pppd = "/usr/sbin/pppd";
    std::string chat = "/usr/sbin/chat";
    // The setuid helper that runs pppd as root for a user who is not root.
    std::string dialHelper = kDefaultDialHelper;

    static DialupPaths fromSettings(const SettingsStore& settings);
};

// The ABORT strings of a chat script, in the order chat counts them.
std::vector<std::string> chatAbortStrings(std::string_view script);

// The error code for an ABORT string the modem answered with.
int abortStringError(std::string_view abortString);

// Why a device cannot be an entry's because another user could take it over once it is free
// (a file in /dev/shm or /dev/mqueue, a pseudo-terminal, or a link to one); empty when it can.
std::string takeoverDeviceProblem(const std::string& device);

// What the entry editor edits.
struct EntryForm {
    std::string name;
    std::string number;
    std::string device = "/dev/ttyS0";
    int speed = 115200;
    std::string init = "ATZ";
    std::string user;
};

// Why a name cannot be an entry's (its files' name); empty when it can.
std::string entryNameProblem(std::string_view name);

// The serial devices present in devDir: udev's modem and gsmmodem, then ttyS*, ttyUSB*, ttyACM*,
// rfcomm*, sorted.
std::vector<std::string> serialDevicesPresent(const std::string& devDir = "/dev");

// The plain messages for folders the user cannot use.
std::string peersUnreadableText(const std::string& dir);
std::string folderUnwritableText(const std::string& dir);

// Writes the peer file and the chat script of an entry, each atomically with mode 0640. When
// oldName names another entry, that one's files go afterwards (a rename). Returns an empty text,
// or why nothing (or not everything) was written.
std::string writeEntryFiles(const DialupPaths& paths, const EntryForm& form,
                            const std::string& oldName = {});

// The editor's values of an existing entry; false with the reason in error.
bool readEntryForm(const DialupPaths& paths, const std::string& name, EntryForm& out,
                   std::string& error);

// Removes an entry's peer file, its line options and its chat script when this program wrote
// it. Returns an empty text or why it failed.
std::string deleteEntryFiles(const DialupPaths& paths, const std::string& name);

enum class LineOptionsState { Missing, Stale, Current };
// Stale: the peer file was changed after its line options were written. Only root can tell: the
// dial helper tells a member of group dip.
LineOptionsState lineOptionsState(const DialupPaths& paths, const std::string& name);

// Writes the line options of an existing entry (the folder is made when missing), atomically,
// readable by their owner (root) only: the folder mode 0700, the file 0600. Returns an empty text
// or why it failed.
std::string writeLineOptions(const DialupPaths& paths, const std::string& name);

// What a user other than root reads when an entry's line options are missing or stale.
std::string lineOptionsNeededText(const std::string& name, LineOptionsState state);

}  // namespace tavu::platform
