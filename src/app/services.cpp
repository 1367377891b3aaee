#include "app/services.h"

#include <net/if.h>

#include <chrono>

#include "core/clock.h"
#include "core/settings_store.h"
#include "platform/desktop/pulse_sound.h"
#include "platform/kernel/dialup_interfaces.h"
#include "platform/kernel/linux_counters.h"
#include "platform/kernel/linux_netlink.h"
#include "platform/ras/networkmanager/nm_remote_access.h"
#include "platform/ras/pppd/linux_remote_access.h"

namespace tavu {

namespace {

// pppd's peer files and interface rules of the settings, and NetworkManager on the system bus,
// as Dialup/Backend says at every use; peerFiles is set to the first, which the result owns.
std::unique_ptr<platform::CombinedRemoteAccess> makeDesktop(
    const SettingsStore& settings, platform::LinuxRemoteAccess*& peerFiles) {
    // Which interfaces are dial-up lines is read afresh at every look at the system.
    auto pppd = std::make_unique<platform::LinuxRemoteAccess>(
        settings, platform::LinuxRasPaths{},
        [&settings] { return platform::dialupInterfacePatterns(settings); });
    peerFiles = pppd.get();
    auto upInterface = [](int index) -> std::optional<std::string> {
        platform::netlink::LinkInfo link;
        if (platform::netlink::getLink(index, link) && (link.flags & IFF_UP) != 0) {
            return link.name;
        }
        return std::nullopt;
    };
    return std::make_unique<platform::CombinedRemoteAccess>(
        std::move(pppd), std::make_unique<platform::NetworkManagerRemoteAccess>(),
        [&settings] { return platform::rasBackend(settings); }, upInterface);
}

}  // namespace

std::unique_ptr<platform::CombinedRemoteAccess> makeDialupService(const SettingsStore& settings) {
    platform::LinuxRemoteAccess* peerFiles = nullptr;
    return makeDesktop(settings, peerFiles);
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
    platform::LinuxRemoteAccess* peerFiles = nullptr;
    auto desktop = makeDesktop(settings, peerFiles);
    peerFiles->watchLinkEvents();
    // NetworkManager's metered links are counted under their own interface names.
    platform::CombinedRemoteAccess* combined = desktop.get();
    out.counters = std::make_unique<platform::LinuxDialupCounters>([&settings, combined] {
        return platform::dialupInterfacePatterns(settings) + " " + combined->countedInterfaces();
    });
    out.desktop = combined;
    out.peerFiles = peerFiles;
    out.ras = std::move(desktop);
    return out;
}

}  // namespace tavu
