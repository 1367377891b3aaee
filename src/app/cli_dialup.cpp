#include "app/cli_dialup.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <istream>
#include <optional>
#include <ostream>

#include "app/core_application.h"
#include "app/services.h"
#include "core/clock.h"
#include "core/paths.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "platform/ras/combined_remote_access.h"
#include "platform/ras/pppd/linux_remote_access.h"
#include "platform/ras/ras_codes.h"

namespace tavu {

const char* const kDialUsage =
    "  tavu dial [ENTRY] [--user NAME --password-stdin]\n"
    "                                              dial ENTRY (default: the default entry)\n";
const char* const kHangupUsage =
    "  tavu hangup                                 hang up every dial-up connection\n";
const char* const kEntriesUsage =
    "  tavu entries                                list the phone book, the default marked\n";
const char* const kPrepareUsage =
    "  tavu prepare [ENTRY...]                     as root: let group dip dial the entries\n";

namespace {

constexpr std::chrono::milliseconds kRedialDelay{1500};
constexpr int kPollMs = 20;

// The text of each dial state; nullptr for the states that keep the previous text.
const char* stateText(int state) {
    switch (state) {
        case 0:
            return "Opening the port...";
        case 1:
            return "Port has been opened successfully";
        case 2:
            return "Connecting to the device...";
        case 3:
            return "The device has connected successfully.";
        case 4:
            return "All devices in the device chain have successfully connected.";
        case 5:
            return "Verifying the user name and password...";
        case 6:
            return "Authentication...\nPlease wait...";
        case 7:
            return "Requested another validation attempt with a new user.";
        case 8:
            return "Server has requested a callback number.";
        case 9:
            return "The client has requested to change the password";
        case 10:
            return "Registering your computer on the network...";
        case 11:
            return "The link-speed calculation phase is starting...";
        case 12:
            return "An authentication request is being acknowledged.";
        case 13:
            return "Reauthentication (after callback) is starting. ";
        case 14:
            return "The client has successfully completed authentication.";
        case 15:
            return "The line is about to disconnect for callback.";
        case 16:
            return "Delaying to give the modem time to reset for callback.";
        case 17:
            return "Waiting for an incoming call from server.";
        case 18:
            return "Projection result information is available.";
        case 19:
            return "User authentication is being initiated or retried.";
        case 20:
            return "Client has been called back and is about to resume authentication.";
        case 21:
            return "Logging on to the network...";
        case 22:
            return "Subentry has been connected";
        case 23:
            return "Subentry has been disconnected";
        case 4096:
            return "Terminal state supported by RASPHONE.EXE.";
        case 4097:
            return "Retry authentication state supported by RASPHONE.EXE.";
        case 4098:
            return "Callback state supported by RASPHONE.EXE.";
        case 4099:
            return "Change password state supported by RASPHONE.EXE.";
        case 8192:
            return "Connected to remote server successfully!";
        case 8193:
            return "Disconnected";
        default:
            return nullptr;
    }
}

// Ctrl-C while dialling: the handler only writes to a pipe that the waits watch.
int interruptPipe[2] = {-1, -1};

void onInterrupt(int) {
    const char c = 1;
    [[maybe_unused]] const ssize_t n = ::write(interruptPipe[1], &c, 1);
}

class InterruptWatch {
  public:
    InterruptWatch() {
        if (::pipe2(interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
            return;
        }
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &sa, &old_);
        installed_ = true;
    }
    ~InterruptWatch() {
        if (installed_) {
            ::sigaction(SIGINT, &old_, nullptr);
            ::close(interruptPipe[0]);
            ::close(interruptPipe[1]);
            interruptPipe[0] = interruptPipe[1] = -1;
        }
    }
    InterruptWatch(const InterruptWatch&) = delete;
    InterruptWatch& operator=(const InterruptWatch&) = delete;

    // Waits up to ms; true when Ctrl-C was pressed.
    bool wait(int ms) {
        if (!installed_) {
            ::usleep(static_cast<useconds_t>(ms) * 1000);
            return false;
        }
        pollfd p{interruptPipe[0], POLLIN, 0};
        return ::poll(&p, 1, ms) == 1;
    }

  private:
    struct sigaction old_ {};
    bool installed_ = false;
};

std::string errorTextOf(platform::RemoteAccess& ras, int code) {
    const std::string text = ras.errorText(code);
    return text.empty() ? "Undefined RAS Dial Error (" + std::to_string(code) + ")." : text;
}

SettingsStore openSettings(const CliContext& context) {
    return SettingsStore(joinPath(context.configDir, kSettingsFileName));
}

}  // namespace

int runDialCommand(CliContext& context, const std::vector<std::string>& args) {
    std::string entry;
    std::optional<std::string> user;
    bool passwordFromStdin = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--user" && i + 1 < args.size()) {
            user = args[++i];
        } else if (args[i] == "--password-stdin") {
            passwordFromStdin = true;
        } else if (!args[i].empty() && args[i][0] != '-' && entry.empty()) {
            entry = args[i];
        } else {
            context.err << "tavu: unexpected argument '" << args[i] << "' (see tavu --help)\n";
            return 2;
        }
    }
    SettingsStore settings = openSettings(context);
    if (entry.empty()) {
        entry = settings.readString(keys::kSettings, keys::kDefaultCon);
    }
    if (entry.empty()) {
        context.err << "tavu: no entry given and no default entry chosen\n";
        return 2;
    }
    const std::string userKey = entry + keys::kEntryUserSuffix;
    const std::string passwordKey = entry + keys::kEntryPasswordSuffix;
    platform::DialRequest request;
    request.entry = entry;
    request.user = user ? *user : settings.readString(keys::kConnections, userKey);
    request.password = settings.readString(keys::kConnections, passwordKey);
    if (passwordFromStdin) {
        std::getline(context.in, request.password);
        if (!request.password.empty() && request.password.back() == '\r') {
            request.password.pop_back();
        }
    }

    // NetworkManager's signals need the application object's event loop.
    const auto app = ensureCoreApplication();
    const auto service = makeDialupService(settings);
    platform::CombinedRemoteAccess& ras = *service;
    InterruptWatch interrupt;
    int busyCount = 0;
    context.out << "Connecting to " << printableText(entry) << "..." << std::endl;
    for (;;) {
        std::vector<std::pair<int, int>> events;
        std::uint64_t handle = 0;
        int code = ras.dial(
            request, [&events](int state, int error) { events.emplace_back(state, error); },
            handle);
        if (settings.readInt(keys::kConnections, keys::kRememberPassword, 1) == 0) {
            settings.writeString(keys::kConnections, userKey, "");
            settings.writeString(keys::kConnections, passwordKey, "");
        }
        bool connected = false;
        // Events may have come with the dial itself; the rest come while pumping.
        for (bool first = true; code == 0 && !connected && (first || ras.dialling());
             first = false) {
            if (!first) {
                if (interrupt.wait(kPollMs)) {
                    ras.hangUp(handle);
                    context.out << errorTextOf(ras, platform::ERROR_USER_DISCONNECTION)
                                << std::endl;
                    return 1;
                }
                ras.pump();
            }
            for (const auto& [state, error] : events) {
                if (const char* text = stateText(state); text && error == 0) {
                    context.out << text << std::endl;
                }
                if (error != 0) {
                    code = error;
                    break;
                }
                connected = connected || state == platform::RASCS_Connected;
            }
            events.clear();
        }
        if (connected) {
            return 0;
        }
        if (code == 0) {
            code = platform::ERROR_UNKNOWN;
        }
        ras.hangUp(handle);
        // The busy rule: 1 redials up to RedialTimes, 2 until connected.
        if (code == platform::ERROR_LINE_BUSY) {
            ++busyCount;
            const int rule = settings.readInt(keys::kSettings, keys::kRedialWhenBusy, 0);
            const int times = settings.readInt(keys::kSettings, keys::kRedialTimes, 0);
            if (rule == 2 || (rule == 1 && busyCount < times)) {
                context.out << printableText(errorTextOf(ras, code)) << '\n'
                            << "Line is busy.\nRedialing, please wait..." << std::endl;
                const TimePoint until = context.clock.now() + kRedialDelay;
                while (context.clock.now() < until) {
                    if (interrupt.wait(kPollMs)) {
                        context.out << errorTextOf(ras, platform::ERROR_USER_DISCONNECTION)
                                    << std::endl;
                        return 1;
                    }
                }
                continue;
            }
        }
        context.out << printableText(errorTextOf(ras, code)) << std::endl;
        return 1;
    }
}

int runHangupCommand(CliContext& context, const std::vector<std::string>& args) {
    if (!args.empty()) {
        context.err << "tavu: unexpected argument '" << args[0] << "' (see tavu --help)\n";
        return 2;
    }
    SettingsStore settings = openSettings(context);
    const auto app = ensureCoreApplication();
    const auto service = makeDialupService(settings);
    platform::RemoteAccess& ras = *service;
    std::vector<platform::RasConnection> connections;
    if (!ras.listConnections(connections)) {
        context.out << "Unknown Error - RAS INI Failure" << std::endl;
        return 1;
    }
    if (connections.empty()) {
        context.out << "Not connected..." << std::endl;
        return 1;
    }
    int status = 0;
    for (const platform::RasConnection& c : connections) {
        if (const int code = ras.hangUp(c.handle); code != 0) {
            context.out << printableText(c.entryName) << ": "
                        << printableText(errorTextOf(ras, code)) << std::endl;
            status = 1;
        } else {
            context.out << "Hung up " << printableText(c.entryName) << "." << std::endl;
        }
    }
    return status;
}

int runEntriesCommand(CliContext& context, const std::vector<std::string>& args) {
    if (!args.empty()) {
        context.err << "tavu: unexpected argument '" << args[0] << "' (see tavu --help)\n";
        return 2;
    }
    SettingsStore settings = openSettings(context);
    const auto app = ensureCoreApplication();
    const auto service = makeDialupService(settings);
    platform::RemoteAccess& ras = *service;
    std::vector<std::string> entries;
    if (!ras.listEntries(entries)) {
        context.out << ras.errorText(platform::ERROR_CANNOT_OPEN_PHONEBOOK) << std::endl;
        return 1;
    }
    const std::string def = settings.readString(keys::kSettings, keys::kDefaultCon);
    for (const std::string& e : entries) {
        const std::string source = ras.entrySource(e);
        context.out << printableText(e) << (source.empty() ? "" : " (" + source + ")")
                    << (e == def ? " (default)" : "") << '\n';
    }
    return context.out.good() ? 0 : 1;
}

// Writes the line options of the entries (all of them when none is named): pppd takes a dial's
// options from a user other than root only from there.
int runPrepareCommand(CliContext& context, const std::vector<std::string>& args) {
    SettingsStore settings = openSettings(context);
    platform::LinuxRemoteAccess ras(settings);
    std::vector<std::string> entries = args;
    if (entries.empty() && !ras.listEntries(entries)) {
        context.out << ras.errorText(platform::ERROR_CANNOT_OPEN_PHONEBOOK) << std::endl;
        return 1;
    }
    if (entries.empty()) {
        context.out << "The phone book has no entries." << std::endl;
        return 1;
    }
    int status = 0;
    for (const std::string& e : entries) {
        // Root's pppd runs the line options on the entry's device: never one that another user
        // could take over.
        platform::PeerFile peer;
        std::string problem;
        if (platform::entryNameProblem(e).empty() &&
            platform::readPeerFile(ras.dialupPaths().peersDir + "/" + e, peer, problem)) {
            problem = platform::takeoverDeviceProblem(peer.device);
        }
        if (problem.empty()) {
            problem = platform::writeLineOptions(ras.dialupPaths(), e);
        }
        if (!problem.empty()) {
            context.out << printableText(e) << ": " << printableText(problem) << std::endl;
            status = 1;
        } else {
            context.out << printableText(e) << ": members of the group dip can dial it."
                        << std::endl;
        }
    }
    return status;
}

}  // namespace tavu
