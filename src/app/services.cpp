#include "app/services.h"

#include <chrono>

#include "core/clock.h"
#include "core/settings_store.h"
#include "platform/desktop/pulse_sound.h"
#include "platform/kernel/dialup_interfaces.h"
#include "platform/kernel/linux_counters.h"
#include "platform/ras/pppd/linux_remote_access.h"

namespace tavu {

std::unique_ptr<platform::CombinedRemoteAccess> makeDialupService(const SettingsStore& settings) {
    // Which interfaces are dial-up lines is read afresh at every look at the system.
    return platform::makeDesktopRemoteAccess(
        settings, [&settings] { return platform::dialupInterfacePatterns(settings); });
}

Services makeMonitorServices(const SettingsStore& settings, const Clock& clock,
                             const std::optional<std::string>& simulateFile, bool window,
                             std::string& error) {
    Services out;
    out.usage = std::make_unique<UsageStoreSink>();
    if (window) {
        out.sound = std::make_unique<platform::PulseSound>();
    } else {
        out.sound = std::make_unique<SilentSound>();
    }
    if (simulateFile) {
        auto sim = platform::SimulatedRemoteAccess::load(*simulateFile, clock, error);
        if (!sim) {
            return out;
        }
        sim->setAutoDrive(std::chrono::milliseconds(100));
        sim->setTellsChanges(true);
        out.counters = std::make_unique<platform::SimulatedCounters>(*sim);
        out.simulated = sim.get();
        out.ras = std::move(sim);
        return out;
    }
    auto desktop = makeDialupService(settings);
    desktop->pppd().watchLinkEvents();
    // NetworkManager's metered links are counted under their own interface names.
    platform::CombinedRemoteAccess* combined = desktop.get();
    out.counters = std::make_unique<platform::LinuxDialupCounters>([&settings, combined] {
        return platform::dialupInterfacePatterns(settings) + " " + combined->countedInterfaces();
    });
    out.desktop = combined;
    out.ras = std::move(desktop);
    return out;
}

}  // namespace tavu
