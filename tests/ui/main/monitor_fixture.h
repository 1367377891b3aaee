#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/prompter.h"
#include "core/settings_store.h"
#include "platform/fakes.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "support/temp_dir.h"
#include "ui/main/connection_monitor.h"

namespace tavu::test {

// A main window on a simulated line with one entry "Provider", a clock the test moves, scripted
// message boxes and fake sound, shell and system information.
class MonitorFixture : public testing::Test {
  protected:
    MonitorFixture() {
        std::string error;
        ras = platform::SimulatedRemoteAccess::fromText("[entry Provider]\n", clock, error);
    }

    // A new main window, initialised. Windows of other parts are only recorded in `opened`
    // unless ownWindows; their own opener stays in `defaultOpenWindow`.
    ConnectionMonitor& makeWindow(const std::string& exeDir, bool tray, bool ownWindows = false) {
        window = std::make_unique<ConnectionMonitor>(AppContext{
            settings, clock, prompter, *ras, nullptr, sound, system, shell, dir.path(), exeDir});
        window->trayAvailability = [tray] { return tray; };
        defaultOpenWindow = window->openWindow;
        if (!ownWindows) {
            window->openWindow = [this](Action a, int page) { opened.emplace_back(a, page); };
        }
        window->initialise();
        return *window;
    }

    TempDir dir;
    SettingsStore settings{dir.file("tavu.ini")};
    ManualClock clock{fromLocal(2026, 12, 7, 20, 0, 0)};
    ScriptedPrompter prompter;
    platform::FakeSound sound;
    platform::FakeSystemInfo system;
    platform::FakeShell shell;
    std::unique_ptr<platform::SimulatedRemoteAccess> ras;
    std::unique_ptr<ConnectionMonitor> window;
    std::vector<std::pair<Action, int>> opened;
    std::function<void(Action, int)> defaultOpenWindow;
};

}  // namespace tavu::test
