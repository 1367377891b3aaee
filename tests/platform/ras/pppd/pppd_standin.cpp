// Plays pppd's part after the modem has connected, for a kernel without PPP. Built as an
// executable named pppd; its settings are in the file named like the path it was started by,
// with ".conf" added (key=value lines):
//   password=...        the password that authenticates (anything else fails with status 19)
//   ifname=ppp0         the interface brought up
//   local=, remote=     its addresses
//   rundir=/run         where the pid files go, as pppd writes them
//   hold-before-auth=1  wait for a signal before reading the password
//   peers=DIR           where "call NAME" finds its file (whose connect line it runs on the line)
// It writes its arguments, one a line, to the same path with ".args" added, reads the password
// from the descriptor of the passwordfd option, logs pppd's messages on the descriptor of logfd,
// brings up a point-to-point tun interface and holds it until SIGTERM.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/linux_netns.h"

namespace {

int logFd = 1;

void say(const std::string& line) {
    const std::string s = line + "\n";
    [[maybe_unused]] const ssize_t n = ::write(logFd, s.data(), s.size());
}

int waitForSignal() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    int sig = 0;
    sigwait(&set, &sig);
    say("Terminating on signal " + std::to_string(sig) + ".");
    return sig;
}

}  // namespace

int main(int argc, char** argv) {
    ::alarm(120);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    sigprocmask(SIG_BLOCK, &set, nullptr);

    const std::string self = argv[0];
    std::map<std::string, std::string> conf = {
        {"ifname", "ppp0"}, {"local", "10.64.0.1"}, {"remote", "10.64.0.2"}, {"rundir", "/run"}};
    std::ifstream in(self + ".conf");
    for (std::string line; std::getline(in, line);) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos) {
            conf[line.substr(0, eq)] = line.substr(eq + 1);
        }
    }
    std::ofstream argsOut(self + ".args");
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        argsOut << argv[i] << '\n';
        args.emplace_back(argv[i]);
    }
    argsOut.close();
    // The options of a called file take its place, as pppd reads them.
    std::string connect;
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "call") {
            std::ifstream called(conf["peers"] + "/" + args[i + 1]);
            if (!called) {
                say("In file " + args[i + 1] + ": cannot open");
                return 2;
            }
            std::vector<std::string> words;
            for (std::string line; std::getline(called, line);) {
                // A connect line, as the program writes it: connect "COMMAND".
                if (line.starts_with("connect \"") && line.ends_with("\"")) {
                    connect.clear();
                    for (std::size_t k = 9; k + 1 < line.size(); ++k) {
                        k += line[k] == '\\' ? 1 : 0;
                        connect += line[k];
                    }
                    continue;
                }
                std::istringstream in(line.substr(0, line.find('#')));
                for (std::string w; in >> w;) {
                    words.push_back(w);
                }
            }
            args.erase(args.begin() + static_cast<long>(i),
                       args.begin() + static_cast<long>(i) + 2);
            args.insert(args.begin() + static_cast<long>(i), words.begin(), words.end());
            i += words.size() - 1;
        }
    }
    int passwordFd = -1;
    bool plugin = false;
    std::string linkname;
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == "passwordfd") {
            if (!plugin) {
                say("unrecognized option 'passwordfd'");
                return 2;
            }
            passwordFd = std::atoi(args[i + 1].c_str());
        } else if (args[i] == "plugin" && args[i + 1] == "passwordfd.so") {
            plugin = true;
        } else if (args[i] == "logfd") {
            logFd = std::atoi(args[i + 1].c_str());
        } else if (args[i] == "linkname") {
            linkname = args[i + 1];
        }
    }

    const std::string ifname = conf["ifname"];
    const char* tty = ::ttyname(0);
    say("pppd 2.4.9 started by root, uid 0");
    if (!tty) {
        say("no device specified and stdin is not a tty");
        return 2;
    }
    // pppd runs the connect command through the shell on the line.
    if (!connect.empty()) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(0, 1);
            ::execl("/bin/sh", "sh", "-c", connect.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 1;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            say("Connect script failed");
            return 8;
        }
        say("Serial connection established.");
    }
    say("Using interface " + ifname);
    say(std::string("Connect: ") + ifname + " <--> " + tty);
    if (conf["hold-before-auth"] == "1") {
        waitForSignal();
        return 5;
    }
    std::string password;
    char buf[256];
    for (ssize_t n; passwordFd >= 0 && (n = ::read(passwordFd, buf, sizeof buf)) > 0;) {
        password.append(buf, static_cast<std::size_t>(n));
    }
    if (password != conf["password"]) {
        say("PAP authentication failed");
        say("Connection terminated.");
        return 19;
    }
    say("PAP authentication succeeded");

    tavu::test::TunDevice tun(ifname, false);
    if (!tun.ok() || !tun.setAddresses(conf["local"].c_str(), conf["remote"].c_str()) ||
        !tun.setUp(true)) {
        say("Couldn't make the interface");
        return 1;
    }
    const std::string pidFile = conf["rundir"] + "/" + ifname + ".pid";
    const std::string linkFile = conf["rundir"] + "/ppp-" + linkname + ".pid";
    std::ofstream(pidFile) << ::getpid() << '\n';
    if (!linkname.empty()) {
        std::ofstream(linkFile) << ::getpid() << '\n' << ifname << '\n';
    }
    say("local  IP address " + conf["local"]);
    say("remote IP address " + conf["remote"]);
    waitForSignal();
    std::remove(pidFile.c_str());
    std::remove(linkFile.c_str());
    say("Connection terminated.");
    return 5;
}
