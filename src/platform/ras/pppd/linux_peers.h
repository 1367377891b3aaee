#pragma once

// The phone book on Linux: pppd's peer files and their chat scripts.

#include <string>
#include <string_view>
#include <vector>

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

// The words of a pppd options text, read as pppd reads them: one stream of words across line
// ends; '#' at the start of a word begins a comment; quotes may open and close inside a word; a
// backslash escapes the next character, inside quotes and out (\s, \t, \n, octal and \x codes
// as in C), and a backslash before a line end joins the lines.
std::vector<std::string> pppdOptionWords(std::string_view text);

// Whether a pppd option takes an argument (the next word), as "user NAME" does.
bool pppdOptionTakesArgument(std::string_view option);

// A word of pppd's options that names a serial port, as the path of that port: any path under
// /dev, or a name that pppd looks up there ("ttyS0" is "/dev/ttyS0"); empty for an option name,
// a path elsewhere, or one with ".." or control characters.
std::string serialDeviceWord(std::string_view word);

// What a dial needs of one peer file.
struct PeerFile {
    std::string device;                                 // the serial device
    int speed = 0;                                      // 0: none given
    std::string user;                                   // the user option, empty when absent
    std::string chatScript;                             // the -f FILE of the connect line
    std::string phoneNumber;                            // its -T argument, when given
    int chatTimeout = 0;                                // its -t argument, 0 when absent
    std::vector<std::string> pppdOptions;               // the other options, word by word
    std::vector<std::vector<std::string>> optionLines;  // the same, each with its argument
};

// Reads a peer file. False with a plain reason in error (the file missing or unreadable, no
// serial device, no chat script in the connect line).
bool readPeerFile(const std::string& path, PeerFile& out, std::string& error);

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

// pppd takes options such as noauth, linkname and plugin only from root or from a file in its
// peers folder named with "call". A dial runs pppd on a line that chat has already connected, so
// it cannot call the entry's own peer file (its connect line would dial the line again). The
// entry's "line options" are that peer file less its speed, connect and user lines, with the
// linkname and the password plug-in added, in the hidden folder PEERS/.tavu, written by root:
// with them a member of group dip dials like root does. They keep the entry's device, and their
// connect line only checks that pppd's line is that device, so that their options never apply
// to another terminal.
inline constexpr const char* kLineOptionsFolder = ".tavu";

// The name pppd's "call" takes for the line options of an entry.
std::string lineOptionsCallName(const std::string& name);

// The text of an entry's line options.
std::string lineOptionsText(const std::string& name, const PeerFile& peer);

enum class LineOptionsState { Missing, Stale, Current };
// Stale: the peer file was changed after its line options were written.
LineOptionsState lineOptionsState(const DialupPaths& paths, const std::string& name);

// Writes the line options of an existing entry (the folder is made when missing), atomically with
// mode 0640 and the group of the peers folder. Returns an empty text or why it failed.
std::string writeLineOptions(const DialupPaths& paths, const std::string& name);

// What a user other than root reads when an entry's line options are missing or stale.
std::string lineOptionsNeededText(const std::string& name, LineOptionsState state);

}  // namespace tavu::platform
