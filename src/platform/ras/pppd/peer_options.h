#pragma once

// What pppd reads in a peer file, and the line options written from it. Plain C++ with no
// toolkit: the setuid dial helper links this too, to compare an entry's line options with what
// its peer file gives today.

#include <string>
#include <string_view>
#include <vector>

namespace tavu::platform {

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

// A word of pppd's options as it is written in an options file, so that pppd reads the same word
// back: bare when it can be, else in double quotes with '"' and '\\' escaped.
std::string pppdWord(const std::string& word);

// The characters a POSIX shell takes literally in a word.
inline constexpr std::string_view kShellPlain =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+:@,";

// A word for the shell: bare when the shell takes it literally, else in single quotes.
std::string shellWord(const std::string& word);

// The shell command that succeeds only when its standard input is the device: pppd runs a
// connect line with the line it is about to use as the command's standard input. test(1)
// compares the two files by device and inode, so a link such as /dev/modem counts as its target.
std::string deviceCheck(const std::string& device);

// pppd takes options such as noauth, linkname and plugin only from root or from a file in its
// peers folder named with "call". A dial runs pppd on a line that chat has already connected, so
// it cannot call the entry's own peer file (its connect line would dial the line again). The
// entry's "line options" are that peer file less its speed, connect and user lines, with the
// linkname and the password plug-in added, in the hidden folder PEERS/.tavu, written by root:
// with them a member of group dip dials like root does. They keep the entry's device, and their
// connect line only checks that pppd's line is that device, so that their options never apply
// to another terminal. Only root may read them: pppd opens a called file as the user who runs
// it, so a member of group dip reaches them only through the setuid dial helper.
inline constexpr const char* kLineOptionsFolder = ".tavu";

// The name pppd's "call" takes for the line options of an entry.
std::string lineOptionsCallName(const std::string& name);

// The text of an entry's line options.
std::string lineOptionsText(const std::string& name, const PeerFile& peer);

}  // namespace tavu::platform
