#pragma once

// A scripted dial-up line and provider in place of the remote-access service: for the tests and
// for trying the program without a modem (`tavu --simulate FILE`).
//
// The script is a small INI-like text. Blank lines and lines that begin with ';' or '#' are
// ignored; there are no comments at the end of a line. Every other line is a section header or
// "key = value" inside a section. Keys are matched without regard to case; each key may appear
// once per section; unknown sections and keys are errors, so a misspelt key is never silently
// ignored.
//
//   [line]                     the modem and the service; optional, at most once
//   device = /dev/ttyS0        device name of the connections (default /dev/ttyS0)
//   list-fails = no            yes: listing the connections fails (the monitor's error path)
//   phonebook-fails = no       yes: reading the phone book fails
//   frame-size = 1500          bytes per frame for the frame counters (1..65535)
//
//   [entry Provider]           one phone-book entry; the name is the rest of the header,
//                              trimmed; entries are listed in the order of the file
//   outcomes = busy, busy, connected
//                              outcome of each dial of this entry, in order; when the list is
//                              used up its last outcome repeats (default: connected). Outcomes:
//                                connected         the full sequence up to RASCS_Connected
//                                busy              ERROR_LINE_BUSY while dialling
//                                no-answer         ERROR_NO_ANSWER while dialling
//                                no-carrier        ERROR_NO_CARRIER while dialling
//                                no-dialtone       ERROR_NO_DIALTONE while dialling
//                                hardware-failure  ERROR_HARDWARE_FAILURE while dialling
//                                port-unavailable  ERROR_PORT_NOT_AVAILABLE opening the port
//                                wrong-password    ERROR_AUTHENTICATION_FAILURE at the check
//                                a number, e.g. 718: that error code while dialling
//   step-ms = 200              time before each dial state (0..3600000 ms) ...
//   dial-ms = 3000             ... except the dialling itself: from ConnectDevice to
//                              DeviceConnected or to the dialling error
//   auth-ms = 1000             ... and the password check: from Authenticate to AuthNotify or
//                              to the authentication error
//   duration-s = 120           seconds the connection lasts before the far end drops it;
//                              0 (the default) never drops
//   bytes-in-per-s = 4000      traffic received while connected (0..1000000000)
//   bytes-out-per-s = 500      traffic sent while connected
//   device = /dev/ttyS1        device name of this entry's connections (default: the line's)
//   up-at-start = no           yes: a connection of this entry is up from the start, as if
//                              dialled before the program started (several entries may be)
//   user = alice               when given, a dial with another user name or password fails
//   password = secret          authentication (outcomes that fail earlier still fail earlier)
//
// A dial reports these states, each with error 0: OpenPort, PortOpened, ConnectDevice,
// DeviceConnected, AllDevicesConnected, Authenticate, AuthNotify, Authenticated, AuthProject,
// Projected, Connected. A failing outcome stops at its state: that state is reported once with
// error 0 and then again with the error code, after the state's delay. The attempts of an entry
// are counted for the whole run; deleting an entry forgets it.
//
// The line has kMaxConnections ports: connections and dials in progress together never exceed
// that many; a further dial gets ERROR_PORT_NOT_AVAILABLE at once.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "platform/kernel/counters.h"
#include "platform/ras/remote_access.h"

class QTimer;

namespace tavu::platform {

// How one dial attempt ends: error 0 is a connection, else the error reported in failState.
struct SimulatedOutcome {
    int failState = RASCS_Connected;
    int error = 0;
    bool operator==(const SimulatedOutcome&) const = default;
};

struct SimulatedEntry {
    std::string name;
    std::vector<SimulatedOutcome> outcomes;  // never empty
    std::chrono::milliseconds stepDelay{200};
    std::chrono::milliseconds dialDelay{3000};
    std::chrono::milliseconds authDelay{1000};
    std::chrono::seconds duration{0};  // 0: the far end never drops the line
    std::int64_t bytesInPerSecond = 0;
    std::int64_t bytesOutPerSecond = 0;
    std::string device;  // empty: the line's device
    bool upAtStart = false;
    std::optional<std::string> user;
    std::optional<std::string> password;
};

struct SimulationScript {
    std::string device = "/dev/ttyS0";
    bool listFails = false;
    bool phonebookFails = false;
    std::int64_t frameSize = 1500;
    std::vector<SimulatedEntry> entries;

    // The script in the text; nullopt with the reason ("line 4: ...") in error.
    static std::optional<SimulationScript> parse(std::string_view text, std::string& error);
};

class SimulatedRemoteAccess final : public RemoteAccess {
  public:
    explicit SimulatedRemoteAccess(const Clock& clock, SimulationScript script = {});
    ~SimulatedRemoteAccess() override;
    SimulatedRemoteAccess(const SimulatedRemoteAccess&) = delete;
    SimulatedRemoteAccess& operator=(const SimulatedRemoteAccess&) = delete;

    // The service described by a script file or text; null with a message naming the file and
    // line in error.
    static std::unique_ptr<SimulatedRemoteAccess> load(const std::string& path, const Clock& clock,
                                                       std::string& error);
    static std::unique_ptr<SimulatedRemoteAccess> fromText(std::string_view text,
                                                           const Clock& clock, std::string& error);

    // RemoteAccess. A dial in progress is not listed; its connectionState is the last state
    // reported. A connection the far end dropped disappears as soon as the clock passes its end.
    bool listConnections(std::vector<RasConnection>& out) override;
    int connectionState(std::uint64_t handle) override;
    int hangUp(std::uint64_t handle) override;
    int dial(const DialRequest& request, DialEventFn onEvent, std::uint64_t& handle) override;
    std::string errorText(int code) override;
    // The moment the connection came up; no mark.
    ConnectionOrigin connectionOrigin(std::uint64_t handle) override;
    bool listEntries(std::vector<std::string>& out) override;
    int createEntry() override;
    int editEntry(const std::string& name) override;
    int deleteEntry(const std::string& name) override;

    // Delivers, in time order, every dial event whose time has come; returns how many. Events of
    // dials started from inside a callback wait for the next call.
    int processDue();
    // When the next dial event is due; nullopt when no dial is in progress.
    std::optional<TimePoint> nextDueTime() const;
    // Non-zero: an internal timer with this period calls processDue while a dial is in
    // progress (needs a Qt event loop on this thread). Zero stops it.
    void setAutoDrive(std::chrono::milliseconds period);
    // On: a connection that comes up (bringUp, a dial that succeeds) or is dropped tells the
    // change listener at once, as a kernel's link event does. Off by default.
    void setTellsChanges(bool on) { tellsChanges_ = on; }

    // Direct control. bringUp lists a connection at once, with the traffic, duration and device
    // of the scripted entry of that name when there is one; returns its handle, or 0 when all
    // ports are taken. drop is the far end hanging up; false for an unknown handle.
    std::uint64_t bringUp(const std::string& entry, const std::string& device = {});
    bool drop(std::uint64_t handle);
    // The phone book, for the simulated line's entry editor. addEntry adds an entry that
    // connects at every dial; false when the name is empty, too long or taken. setOutcomes
    // changes an entry's outcomes, given as in the script ("busy, connected"); false with the
    // reason in error. outcomesText gives them back in that form ("" for an unknown entry).
    bool addEntry(const std::string& name, std::string& error);
    bool setOutcomes(const std::string& name, std::string_view outcomes, std::string& error);
    std::string outcomesText(const std::string& name) const;
    void setListingFails(bool fails) { script_.listFails = fails; }

    // Bytes and frames of the connections up now, each counted from the moment it came up; of
    // one connection alone when a handle is given (nothing for a handle not up).
    struct Traffic {
        std::int64_t bytesIn = 0;
        std::int64_t bytesOut = 0;
        std::int64_t framesIn = 0;
        std::int64_t framesOut = 0;
    };
    Traffic traffic(std::uint64_t handle = 0);

  private:
    struct Step {
        int state = 0;
        int error = 0;
        TimePoint due;
    };
    struct Dial {
        std::uint64_t handle = 0;
        std::string entryName;
        std::string device;
        std::chrono::seconds duration{0};
        std::int64_t bytesInPerSecond = 0;
        std::int64_t bytesOutPerSecond = 0;
        std::vector<Step> steps;  // never empty
        std::size_t next = 0;
        int lastState = RASCS_OpenPort;
        DialEventFn onEvent;
    };
    struct Connection {
        RasConnection info;
        TimePoint since;
        std::optional<TimePoint> endsAt;
        std::int64_t bytesInPerSecond = 0;
        std::int64_t bytesOutPerSecond = 0;
    };

    std::optional<std::size_t> findEntry(std::string_view name) const;
    // The events of the next dial of an entry, starting at the given moment.
    std::vector<Step> planDial(std::size_t entryIndex, const DialRequest& request, TimePoint start);
    void expireDropped();
    void updateTimer();
    // Tells the change listener when asked to (setTellsChanges).
    void changed();

    const Clock& clock_;
    SimulationScript script_;
    std::vector<std::size_t> attempts_;  // dials so far, per entry
    std::vector<Dial> dials_;
    std::vector<Connection> connections_;
    std::vector<std::uint64_t> failedDials_;  // ended with an error, not hung up yet
    std::uint64_t nextHandle_ = 0x5100;
    std::unique_ptr<QTimer> timer_;
    bool autoDrive_ = false;
    bool tellsChanges_ = false;
};

// The counters of the simulated connections: bytes from the scripted rates and the time each
// connection has been up, frames as bytes divided by the frame size, no compression, no errors.
// Like the counters of one dial-up interface they start again from 0 with every connection;
// while several are up, their sums are shown. Each connection's own are read by its handle.
class SimulatedCounters final : public DialupCounters {
  public:
    explicit SimulatedCounters(SimulatedRemoteAccess& service) : service_(service) {}
    bool read(CounterValues& out) override;
    bool readOf(std::uint64_t handle, std::string_view device, CounterValues& out) override;

  private:
    SimulatedRemoteAccess& service_;
};

}  // namespace tavu::platform
