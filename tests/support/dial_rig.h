#pragma once

// A dial-up rig for tests: a modem emulator, an entry written by the entry editor's writer, the
// real chat(8) and the pppd stand-in (TAVU_TEST_PPPD), all under one temporary folder.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/ras/pppd/linux_peers.h"
#include "platform/ras/pppd/linux_remote_access.h"
#include "support/modem_emulator.h"
#include "support/temp_dir.h"

namespace tavu::test {

inline constexpr const char* kRealChat = "/usr/sbin/chat";

// Why the dial tests cannot run here; empty when they can.
inline std::string dialUnavailableReason() {
    if (::access(kRealChat, X_OK) != 0) {
        return "chat(8) is not installed (package ppp)";
    }
    return {};
}

struct DialRig {
    TempDir dir;
    ModemEmulator modem;
    platform::DialupPaths paths;
    std::string runDir;

    explicit DialRig(std::vector<std::string> answers, bool silent = false,
                     const std::string& entry = "isp")
        : modem(std::move(answers), silent) {
        for (const char* d : {"peers", "chat", "run"}) {
            std::filesystem::create_directory(dir.file(d));
        }
        ::chmod(dir.path().c_str(), 0755);
        runDir = dir.file("run");
        [[maybe_unused]] const int r = ::symlink(TAVU_TEST_PPPD, dir.file("pppd").c_str());
        paths = {dir.file("peers"), dir.file("chat"), dir.file("pppd"), kRealChat};
        standin({});
        platform::EntryForm form;
        form.name = entry;
        form.number = "5551234";
        form.device = modem.device();
        form.user = "alice";
        entryProblem = platform::writeEntryFiles(paths, form);
    }

    // The stand-in's settings: the password "secret", the run folder of the rig, and more.
    void standin(std::map<std::string, std::string> conf) const {
        conf.emplace("password", "secret");
        conf.emplace("rundir", runDir);
        conf.emplace("peers", paths.peersDir);
        std::string text;
        for (const auto& [k, v] : conf) {
            text += k + "=" + v + "\n";
        }
        writeFile(dir.file("pppd.conf"), text);
    }
    std::vector<std::string> pppdArgs() const {
        std::vector<std::string> args;
        std::istringstream in(readFile(dir.file("pppd.args")));
        for (std::string l; std::getline(in, l);) {
            args.push_back(l);
        }
        return args;
    }

    platform::LinuxRasPaths rasPaths() const {
        platform::LinuxRasPaths p;
        p.runDirs = {runDir};
        p.peersDir = paths.peersDir;
        p.chatDir = paths.chatDir;
        p.pppd = paths.pppd;
        p.chat = paths.chat;
        return p;
    }

    std::string entryProblem;
};

}  // namespace tavu::test
