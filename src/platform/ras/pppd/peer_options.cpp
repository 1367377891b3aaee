#include "platform/ras/pppd/peer_options.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "core/file_io.h"
#include "core/text.h"

namespace tavu::platform {

namespace {

constexpr std::size_t kMaxPeerFile = 256 * 1024;

bool allDigits(std::string_view s) {
    return !s.empty() && s.size() < 10 &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether word is one of the blank-separated words of list.
bool listed(std::string_view list, std::string_view word) {
    if (word.empty() || word.find(' ') != std::string_view::npos) {
        return false;
    }
    for (std::size_t at = list.find(word); at != std::string_view::npos;
         at = list.find(word, at + 1)) {
        const std::size_t end = at + word.size();
        if ((at == 0 || list[at - 1] == ' ') && (end == list.size() || list[end] == ' ')) {
            return true;
        }
    }
    return false;
}

// Splits a command line the way a shell would for plain words and quoted strings.
std::vector<std::string> commandWords(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == ' ' || c == '\t') {
            if (inWord) {
                words.push_back(std::move(word));
                word.clear();
                inWord = false;
            }
        } else if (c == '\'' || c == '"') {
            inWord = true;
            for (++i; i < text.size() && text[i] != c; ++i) {
                word += text[i];
            }
        } else {
            inWord = true;
            word += c;
        }
    }
    if (inWord) {
        words.push_back(std::move(word));
    }
    return words;
}

}  // namespace

bool pppdOptionTakesArgument(std::string_view option) {
    static constexpr std::string_view kWithArgument =
        "active-filter allow-ip allow-number asyncmap bsdcomp ca call callback cert "
        "chap-interval chap-max-challenge chap-restart chap-timeout child-timeout connect "
        "connect-delay crl crl-dir defaultroute-metric deflate disconnect domain eap-interval "
        "eap-max-rreq eap-max-sreq eap-restart eap-timeout endpoint escape file holdoff idle "
        "ifname init ipcp-max-configure ipcp-max-failure ipcp-max-terminate ipcp-restart ipparam "
        "ipv6 ipv6cp-max-configure ipv6cp-max-failure ipv6cp-max-terminate ipv6cp-restart "
        "ipx-network ipx-node ipx-router-name ipx-routing ipxcp-max-configure ipxcp-max-failure "
        "ipxcp-max-terminate kdebug key lcp-echo-failure lcp-echo-interval lcp-max-configure "
        "lcp-max-failure lcp-max-terminate lcp-restart linkname logfd logfile maxconnect maxfail "
        "mrru ms-dns ms-wins mru mtu name netmask pap-max-authreq pap-restart pap-timeout "
        "pass-filter password passwordfd plugin pppoe-ac pppoe-host-uniq pppoe-mac "
        "pppoe-padi-attempts pppoe-padi-timeout pppoe-service pppoe-sess pppoe-verbose privgroup "
        "pty record remotename remotenumber set socket srp-interval srp-pn-secret stop-bits unit "
        "unset user vj-max-slots welcome";
    return listed(kWithArgument, option);
}

std::string pppdWord(const std::string& word) {
    if (!word.empty() && word.find_first_of(" \t\r\n\f\v\"'\\#") == std::string::npos) {
        return word;
    }
    std::string out = "\"";
    for (const char c : word) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

std::string shellWord(const std::string& word) {
    if (!word.empty() && word.find_first_not_of(kShellPlain) == std::string::npos) {
        return word;
    }
    std::string out = "'";
    for (const char c : word) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

std::string deviceCheck(const std::string& device) {
    return "/usr/bin/test " + shellWord(device) + " -ef /proc/self/fd/0";
}

std::vector<std::string> pppdOptionWords(std::string_view text) {
    std::vector<std::string> words;
    const std::size_t n = text.size();
    std::size_t i = 0;
    const auto isSpace = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
    };
    const auto isOctal = [](char c) { return c >= '0' && c <= '7'; };
    const auto hexValue = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                      : -1;
    };
    for (;;) {
        // Blanks, line ends, comments and escaped line ends before the word.
        while (i < n) {
            if (isSpace(text[i])) {
                ++i;
            } else if (text[i] == '#') {
                while (i < n && text[i] != '\n') {
                    ++i;
                }
            } else if (text[i] == '\\' && i + 1 < n && text[i + 1] == '\n') {
                i += 2;
            } else {
                break;
            }
        }
        if (i >= n) {
            return words;
        }
        // A word runs to the next unquoted blank; quotes may open and close inside it, and a
        // backslash escapes the next character inside quotes and out.
        std::string word;
        char quote = 0;
        while (i < n) {
            const char c = text[i];
            if (c == '\\') {
                if (++i >= n) {
                    break;
                }
                const char e = text[i++];
                switch (e) {
                    case '\n':
                        break;
                    case 'a':
                        word += '\a';
                        break;
                    case 'b':
                        word += '\b';
                        break;
                    case 'f':
                        word += '\f';
                        break;
                    case 'n':
                        word += '\n';
                        break;
                    case 'r':
                        word += '\r';
                        break;
                    case 's':
                        word += ' ';
                        break;
                    case 't':
                        word += '\t';
                        break;
                    case 'x': {
                        int value = 0;
                        for (int k = 0; k < 2 && i < n && hexValue(text[i]) >= 0; ++k) {
                            value = value * 16 + hexValue(text[i++]);
                        }
                        word += static_cast<char>(value);
                        break;
                    }
                    default:
                        if (isOctal(e)) {
                            int value = e - '0';
                            for (int k = 1; k < 3 && i < n && isOctal(text[i]); ++k) {
                                value = value * 8 + (text[i++] - '0');
                            }
                            word += static_cast<char>(value);
                        } else {
                            word += e;
                        }
                }
            } else if (quote != 0) {
                ++i;
                if (c == quote) {
                    quote = 0;
                } else {
                    word += c;
                }
            } else if (c == '"' || c == '\'') {
                quote = c;
                ++i;
            } else if (isSpace(c)) {
                break;
            } else {
                word += c;
                ++i;
            }
        }
        words.push_back(std::move(word));
    }
}

std::string serialDeviceWord(std::string_view word) {
    if (word.empty() || word.size() > PATH_MAX || !hasNoControlChars(word) ||
        word.find("..") != std::string::npos) {
        return {};
    }
    // Any path under /dev, as pppd takes any character device: udev's names such as /dev/modem
    // and /dev/serial/by-id/... included.
    if (word.starts_with("/dev/")) {
        return word.size() > 5 && word.back() != '/' ? std::string(word) : std::string();
    }
    // pppd looks an option up first ("modem" is one), then a relative name under /dev.
    static constexpr std::string_view kFlags =
        "+ipv6 auth cdtrcts chapms-strip-domain crtscts debug default-asyncmap default-mru "
        "defaultroute defaultroute6 demand dryrun dump enable-session hide-password "
        "ipcp-accept-local ipcp-accept-remote ipv6cp-accept-local ipv6cp-accept-remote ipx "
        "ipxcp-accept-local ipxcp-accept-network ipxcp-accept-remote ktune lcp-echo-adaptive "
        "local lock login master_detach modem mp mppe-stateful mpshortseq multilink "
        "need-peer-eap noaccomp noauth nobsdcomp noccp nocdtrcts nocrtscts nodefaultroute "
        "nodefaultroute6 nodeflate nodetach noendpoint noip noipdefault noipv6 noipx noktune "
        "nolock nolog nomagic nomp nomppe nomppe-128 nomppe-40 nomppe-stateful nompshortseq "
        "nomultilink nopcomp nopersist nopredictor1 noproxyarp noremoteip noreplacedefaultroute "
        "notty novj novjccomp papcrypt passive persist predictor1 proxyarp receive-all "
        "refuse-chap refuse-eap refuse-mschap refuse-mschap-v2 refuse-pap replacedefaultroute "
        "require-chap require-eap require-mppe require-mppe-128 require-mppe-40 require-mschap "
        "require-mschap-v2 require-pap show-password silent srp-use-pseudonym sync up_sdnotify "
        "updetach usehostname usepeerdns xonxoff";
    if (word.front() == '/' || pppdOptionTakesArgument(word) || listed(kFlags, word)) {
        return {};
    }
    const std::string path = "/dev/" + std::string(word);
    // The usual serial names count even while the device is absent (a modem not plugged in).
    for (std::string_view p : {"tty", "rfcomm", "ircomm", "serial/", "pts/"}) {
        if (word.starts_with(p) && word.size() > p.size()) {
            return path;
        }
    }
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) ? path : std::string();
}

bool readPeerFile(const std::string& path, PeerFile& out, std::string& error) {
    out = {};
    std::string text;
    if (!readSmallFile(path, kMaxPeerFile, text)) {
        error = "The entry file " + path + " cannot be read: " + std::strerror(errno) + ".";
        return false;
    }
    // pppd reads a file as one stream of words: an option's argument may be on the next line.
    const std::vector<std::string> words = pppdOptionWords(text);
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::vector<std::string> option = {words[i]};
        if (pppdOptionTakesArgument(words[i]) && i + 1 < words.size()) {
            option.push_back(words[++i]);
        }
        const std::string& w = option[0];
        if (option.size() == 1 && allDigits(w)) {
            out.speed = std::stoi(w);
        } else if (option.size() == 1 && !serialDeviceWord(w).empty()) {
            // As for pppd, the last device named counts.
            out.device = serialDeviceWord(w);
        } else if (w == "connect" && option.size() > 1) {
            const std::vector<std::string> cmd = commandWords(option[1]);
            for (std::size_t k = 1; k + 1 < cmd.size(); ++k) {
                if (cmd[k] == "-f") {
                    out.chatScript = cmd[++k];
                } else if (cmd[k] == "-T") {
                    out.phoneNumber = cmd[++k];
                } else if (cmd[k] == "-t" && allDigits(cmd[k + 1])) {
                    out.chatTimeout = std::stoi(cmd[++k]);
                }
            }
        } else if (w == "user" && option.size() > 1) {
            out.user = option[1];
        } else if (w == "connect" || w == "user" || w == "password" || w == "linkname" ||
                   w == "logfd" || w == "logfile" || w == "init" || w == "nodetach" ||
                   w == "updetach" || w == "-detach" || w == "file" || w == "call" || w == "pty" ||
                   w == "socket" || w == "notty" || w == "record" || w == "welcome" ||
                   w == "disconnect" || w == "demand") {
            // Set by the dial itself, not wanted on a line that is already connected, or able to
            // bring in options, a line or a program other than the entry's own.
        } else {
            out.pppdOptions.insert(out.pppdOptions.end(), option.begin(), option.end());
            out.optionLines.push_back(std::move(option));
        }
    }
    if (out.device.empty()) {
        error = "The entry file " + path + " names no serial device (a line such as /dev/ttyS0).";
        return false;
    }
    if (out.chatScript.empty()) {
        error = "The entry file " + path +
                " has no connect line that runs chat with a script (chat -f FILE).";
        return false;
    }
    return true;
}

std::string lineOptionsCallName(const std::string& name) {
    return std::string(kLineOptionsFolder) + "/" + name;
}

std::string lineOptionsText(const std::string& name, const PeerFile& peer) {
    std::string text = "# Written by TAVU from the peer file " + name +
                       ", for pppd on a line that chat has\n"
                       "# connected. Made again by \"tavu prepare " +
                       name + "\" when that file changes.\n";
    for (const std::vector<std::string>& line : peer.optionLines) {
        std::string out;
        for (const std::string& word : line) {
            out += out.empty() ? "" : " ";
            out += pppdWord(word);
        }
        text += out + "\n";
    }
    if (!peer.user.empty()) {
        text += "user " + pppdWord(peer.user) + "\n";
    }
    text += "linkname " + pppdWord(name) + "\nplugin passwordfd.so\n";
    // The scripts pppd would run on the line as root: set here, from the peers folder, so that
    // no caller can set them ("cannot be overridden"). The line is already dialled.
    text += "init \"\"\nwelcome \"\"\ndisconnect \"\"\n";
    // Last, so that nothing above replaces them: pppd runs the link on the device named here, or
    // on one that its caller names after "call"; the connect check lets it go on only on the
    // entry's own device (pppd opens the line it runs the link on as the check's standard
    // input). The check only looks, so the line that chat has dialled is not dialled again.
    text += pppdWord(peer.device) + "\n";
    text += "connect " + pppdWord(deviceCheck(peer.device)) + "\n";
    return text;
}

}  // namespace tavu::platform
