#pragma once

#include <string>

namespace tavu {

class Clock;
class Prompter;
class SettingsStore;
class UsageSink;
namespace platform {
class DialupCounters;
class ModemService;
class RemoteAccess;
class Shell;
class Sound;
class SystemInfo;
}  // namespace platform

// The services the windows work with, chosen once at start (real ones, or fakes in tests).
struct AppContext {
    SettingsStore& settings;
    const Clock& clock;
    Prompter& prompter;
    platform::RemoteAccess& ras;
    platform::DialupCounters* counters;
    platform::Sound& sound;
    platform::SystemInfo& system;
    platform::Shell& shell;
    std::string configDir;       // settings and the default log folder
    std::string exeDir;          // the program's own files (help, skins)
    UsageSink* usage = nullptr;  // where the monitor keeps usage by quarter hour; none in tests
    // The modems: the operator's balance, messages, roaming and signal; none: no modem service.
    platform::ModemService* modem = nullptr;
};

}  // namespace tavu
