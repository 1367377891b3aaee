#pragma once

// Stand-ins for the platform services, for the tests of the parts that use them.

#include <string>
#include <vector>

#include "platform/desktop/shell.h"
#include "platform/desktop/sound.h"
#include "platform/desktop/startup_entry.h"
#include "platform/kernel/system_info.h"
#include "platform/modem/fake_modem_service.h"

namespace tavu::platform {

// Records what was played: "beep" for the beep sweeps, else the file path.
class FakeSound : public Sound {
  public:
    bool beepSweeps() override {
        played.push_back("beep");
        return result;
    }
    bool playFile(const std::string& path) override {
        played.push_back(path);
        return result;
    }

    std::vector<std::string> played;
    bool result = true;
};

class FakeShell : public Shell {
  public:
    using Shell::open;
    bool open(const std::string& target) override {
        opened.push_back(target);
        return result;
    }

    std::vector<std::string> opened;
    bool result = true;
};

class FakeStartupEntry : public StartupEntry {
  public:
    bool create() override {
        ++creates;
        if (fail) {
            return false;
        }
        present = true;
        return true;
    }
    bool remove() override {
        ++removes;
        if (fail) {
            return false;
        }
        present = false;
        return true;
    }
    bool exists() override { return present; }

    bool present = false;
    bool fail = false;
    int creates = 0;
    int removes = 0;
};

class FakeSystemInfo : public SystemInfo {
  public:
    std::string userName() override { return user; }
    std::string versionText() override { return version; }

    std::string user = "tester";
    std::string version = "6.1";
};

}  // namespace tavu::platform
