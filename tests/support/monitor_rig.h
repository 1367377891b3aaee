#pragma once

// What a MonitorCore runs on in the tests: a temporary folder for the settings and the log, a
// clock at 7 December 2026, 20:00 that the test moves, a prompter the test scripts, and a
// simulated line with its counters. A fixture derives from it and adds its own view.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "core/prompter.h"
#include "core/settings_store.h"
#include "log/log_file.h"
#include "monitor/monitor_core.h"
#include "platform/fakes.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "support/temp_dir.h"

namespace tavu::test {

template <class PrompterT = ScriptedPrompter>
struct MonitorRig {
    // lineScript: the simulated line; lineError says why it could not be read (ras is null then).
    explicit MonitorRig(std::string_view lineScript) {
        ras = platform::SimulatedRemoteAccess::fromText(lineScript, clock, lineError);
        if (ras) {
            counters = std::make_unique<platform::SimulatedCounters>(*ras);
        }
    }

    MonitorServices services(std::string version = "6.1",
                             std::function<void(std::chrono::milliseconds)> pause = {},
                             std::string user = "joe") {
        return MonitorServices{settings,         clock,
                               prompter,         *ras,
                               counters.get(),   sound,
                               writer,           dir.path(),
                               std::move(user),  std::move(version),
                               std::move(pause), usage};
    }

    // The lines of the log in the folder.
    std::vector<std::string> logLines() const {
        std::vector<std::string> out;
        LogReader::forEachLine(dir.file("logfile.log"),
                               [&](std::string_view l) { out.emplace_back(l); });
        return out;
    }

    TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    ManualClock clock{fromLocal(2026, 12, 7, 20, 0, 0)};
    PrompterT prompter;
    platform::FakeSound sound;
    LogWriter writer{prompter};
    std::string lineError;
    std::unique_ptr<platform::SimulatedRemoteAccess> ras;
    std::unique_ptr<platform::SimulatedCounters> counters;
    UsageSink* usage = nullptr;  // the usage tests set their fake
};

}  // namespace tavu::test
