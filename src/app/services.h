#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/desktop/sound.h"
#include "platform/kernel/counters.h"
#include "platform/ras/combined_remote_access.h"
#include "platform/ras/simulated/simulated_remote_access.h"
#include "usage/usage_store.h"

namespace tavu::platform {
class LinuxRemoteAccess;
}

namespace tavu {

class Clock;
class SettingsStore;

// No sound where there is nobody to hear it.
class SilentSound final : public platform::Sound {
  public:
    bool beepSweeps() override { return true; }
    bool playFile(const std::string&) override { return true; }
};

// The system services a connection monitor runs on. Made in one place for the window program,
// `tavu monitor` and the command line.
struct Services {
    std::unique_ptr<platform::RemoteAccess> ras;
    std::unique_ptr<platform::DialupCounters> counters;
    std::unique_ptr<platform::Sound> sound;
    // The usage store beside the log, opened at the monitor's first write.
    std::unique_ptr<UsageSink> usage;
    // Which of the two the line is: the desktop's service, or the line of --simulate.
    platform::CombinedRemoteAccess* desktop = nullptr;
    platform::LinuxRemoteAccess* peerFiles = nullptr;  // the desktop's pppd side
    platform::SimulatedRemoteAccess* simulated = nullptr;
};

// The desktop's dial-up service: pppd's peers and NetworkManager's connections, as
// Dialup/Backend says at every use. What the command line dials, lists and hangs up with.
std::unique_ptr<platform::CombinedRemoteAccess> makeDialupService(const SettingsStore& settings);

// The services of a monitor. With a simulated line's script: that line, driving itself and
// telling its changes, and its counters; `error` says why the script could not be read (the
// result has no line then). Without: the desktop's service, following the kernel's link events,
// and counters on the dial-up interfaces of the settings and the links NetworkManager counts.
// A window plays sounds; without one they are silent.
Services makeMonitorServices(const SettingsStore& settings, const Clock& clock,
                             const std::optional<std::string>& simulateFile, bool window,
                             std::string& error);

}  // namespace tavu
