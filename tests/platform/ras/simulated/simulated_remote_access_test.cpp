#include "platform/ras/simulated/simulated_remote_access.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <limits>
#include <utility>

#include "support/temp_dir.h"

namespace tavu::platform {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

struct Event {
    int state;
    int error;
    long long atMs;  // clock time of delivery, from the start of the test
    bool operator==(const Event&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Event& e) {
    return os << "(" << e.state << ", " << e.error << " @" << e.atMs << ")";
}

const TimePoint kStart = fromLocal(2024, 3, 1, 20, 0, 0);

// A service from a script, a clock to move and the events delivered so far.
struct Line {
    explicit Line(std::string_view script) {
        std::string error;
        service = SimulatedRemoteAccess::fromText(script, clock, error);
        EXPECT_TRUE(service) << error;
    }

    long long msNow() const {
        return std::chrono::duration_cast<std::chrono::milliseconds>(clock.now() - kStart).count();
    }

    DialEventFn recorder() {
        return [this](int state, int error) { events.push_back({state, error, msNow()}); };
    }

    std::uint64_t dial(const std::string& entry, const std::string& user = {},
                       const std::string& password = {}) {
        std::uint64_t handle = 0;
        EXPECT_EQ(service->dial({entry, user, password}, recorder(), handle), kRasOk);
        EXPECT_NE(handle, 0u);
        return handle;
    }

    // Moves the clock in steps of 100 ms, delivering what is due after every step.
    void run(std::chrono::milliseconds span) {
        for (auto t = 0ms; t < span; t += 100ms) {
            clock.advance(100ms);
            service->processDue();
        }
    }

    std::vector<RasConnection> listed() {
        std::vector<RasConnection> out;
        EXPECT_TRUE(service->listConnections(out));
        return out;
    }

    ManualClock clock{kStart};
    std::unique_ptr<SimulatedRemoteAccess> service;
    std::vector<Event> events;
};

constexpr const char* kProvider =
    "[entry Provider]\n"
    "outcomes = busy, busy, connected\n"
    "step-ms = 200\n"
    "dial-ms = 3000\n"
    "auth-ms = 1000\n"
    "duration-s = 120\n"
    "bytes-in-per-s = 4000\n"
    "bytes-out-per-s = 500\n";

std::vector<Event> busyAttempt(long long t0) {
    return {{RASCS_OpenPort, 0, t0 + 200},
            {RASCS_PortOpened, 0, t0 + 400},
            {RASCS_ConnectDevice, 0, t0 + 600},
            {RASCS_ConnectDevice, ERROR_LINE_BUSY, t0 + 3600}};
}

TEST(SimulatedScript, ReadsTheLineAndItsEntries) {
    std::string error;
    const auto script = SimulationScript::parse(
        "\xEF\xBB\xBF; demo\r\n"
        "[Line]\r\n"
        "Device = /dev/ttyUSB0\r\n"
        "list-fails = yes\n"
        "phonebook-fails = false\n"
        "frame-size = 576\n"
        "\n"
        "[entry  My ISP ]\n"
        "# all defaults\n"
        "[ENTRY Work]\n"
        "outcomes = No-Answer ,busy,718, connected\n"
        "step-ms = 0\n"
        "duration-s = 60\n"
        "device = /dev/ttyS3\n"
        "user = alice\n"
        "password =\n",
        error);
    ASSERT_TRUE(script) << error;
    EXPECT_EQ(script->device, "/dev/ttyUSB0");
    EXPECT_TRUE(script->listFails);
    EXPECT_FALSE(script->phonebookFails);
    EXPECT_EQ(script->frameSize, 576);
    ASSERT_EQ(script->entries.size(), 2u);

    const SimulatedEntry& isp = script->entries[0];
    EXPECT_EQ(isp.name, "My ISP");
    EXPECT_EQ(isp.outcomes, std::vector<SimulatedOutcome>{SimulatedOutcome{}});
    EXPECT_EQ(isp.duration, 0s);
    EXPECT_FALSE(isp.password);

    const SimulatedEntry& work = script->entries[1];
    EXPECT_EQ(work.name, "Work");
    const std::vector<SimulatedOutcome> outcomes = {{RASCS_ConnectDevice, ERROR_NO_ANSWER},
                                                    {RASCS_ConnectDevice, ERROR_LINE_BUSY},
                                                    {RASCS_ConnectDevice, 718},
                                                    {RASCS_Connected, 0}};
    EXPECT_EQ(work.outcomes, outcomes);
    EXPECT_EQ(work.stepDelay, 0ms);
    EXPECT_EQ(work.dialDelay, 3000ms);
    EXPECT_EQ(work.duration, 60s);
    EXPECT_EQ(work.device, "/dev/ttyS3");
    EXPECT_EQ(work.user, "alice");
    EXPECT_EQ(work.password, "");
}

TEST(SimulatedScript, RejectsMalformedScriptsNamingTheLine) {
    const std::pair<std::string, std::string> cases[] = {
        {"device = x\n", "line 1: 'device' comes before any section"},
        {"[line]\n\nframe-size = 0\n", "line 3: '0' is not a whole number from 1 to 65535"},
        {"[entry A]\nstep-ms = -5\n", "line 2: '-5' is not a whole number"},
        {"[entry A]\nstep-ms = 99999999999999999999\n", "line 2:"},
        {"[entry A]\nduration-s = 12 ; two minutes\n", "line 2: '12 ; two minutes'"},
        {"[entry A]\nrate = 5\n", "line 2: unknown key 'rate' in [entry A]"},
        {"[line]\nlist-fails = maybe\n", "line 2: 'maybe' is not yes or no"},
        {"[entry A]\noutcomes = busy, bussy\n", "line 2: unknown outcome 'bussy'"},
        {"[entry A]\noutcomes = busy,,connected\n", "line 2: an empty outcome"},
        {"[entry A]\noutcomes =\n", "line 2: an empty outcome"},
        {"[entry A]\noutcomes = 0\n", "line 2: unknown outcome '0'"},
        {"[entry A]\nstep-ms = 1\nSTEP-MS = 2\n", "line 3: 'step-ms' is given twice"},
        {"[entry A]\n[entry a]\n", "line 2: the entry 'a' is given twice"},
        {"[entry]\n", "line 1: [entry] needs a name"},
        {"[entry   ]\n", "line 1: [entry] needs a name"},
        {"[entryA]\n", "line 1: unknown section [entryA]"},
        {"[line\n", "line 1: a section header must end with ']'"},
        {"[line]\n[line]\n", "line 2: [line] is given twice"},
        {"[entry A]\njust words\n", "line 2: expected a section header or 'key = value'"},
        {"[entry A]\n= 5\n", "line 2: a key name is missing"},
        {"[entry A]\ndevice =\n", "line 2: device needs a name"},
        {"[entry A]\nuser = a\0b\n"s, "line 2: the line holds a control character"},
        {"[entry " + std::string(300, 'x') + "]\n", "line 1: the entry name is longer than 256"},
    };
    for (const auto& [text, expected] : cases) {
        std::string error;
        EXPECT_FALSE(SimulationScript::parse(text, error)) << text;
        EXPECT_NE(error.find(expected), std::string::npos) << text << "\n gave: " << error;
    }

    std::string error;
    EXPECT_FALSE(SimulationScript::parse(std::string((1 << 20) + 1, ';'), error));
    EXPECT_EQ(error, "the script is larger than 1 MiB");
}

TEST(SimulatedScript, LoadsFilesAndNamesTheFileInErrors) {
    ManualClock clock(kStart);
    std::string error;
    auto demo = SimulatedRemoteAccess::load(TAVU_SIMULATE_DEMO, clock, error);
    ASSERT_TRUE(demo) << error;
    std::vector<std::string> entries;
    ASSERT_TRUE(demo->listEntries(entries));
    EXPECT_EQ(entries, (std::vector<std::string>{"Provider", "Office"}));

    test::TempDir dir;
    EXPECT_FALSE(SimulatedRemoteAccess::load(dir.file("none.ini"), clock, error));
    EXPECT_NE(error.find("none.ini: the file does not exist"), std::string::npos) << error;
    EXPECT_FALSE(SimulatedRemoteAccess::load(dir.path(), clock, error));
    EXPECT_NE(error.find("it is not a file"), std::string::npos) << error;
    test::writeFile(dir.file("bad.ini"), "[entry A]\nbytes-in-per-s = fast\n");
    EXPECT_FALSE(SimulatedRemoteAccess::load(dir.file("bad.ini"), clock, error));
    EXPECT_EQ(error.rfind(dir.file("bad.ini") + ": line 2: 'fast'", 0), 0u) << error;
}

TEST(SimulatedDial, BusyBusyConnectedAtTheScriptedTimes) {
    Line line(kProvider);
    const std::uint64_t first = line.dial("provider");
    EXPECT_EQ(line.service->connectionState(first), RASCS_OpenPort);
    EXPECT_EQ(line.service->nextDueTime(), kStart + 200ms);
    line.clock.advance(199ms);
    EXPECT_EQ(line.service->processDue(), 0);
    line.clock.set(kStart);

    line.run(4s);
    EXPECT_EQ(line.events, busyAttempt(0));
    EXPECT_EQ(line.service->connectionState(first), RASCS_Disconnected);
    EXPECT_FALSE(line.service->nextDueTime());

    line.events.clear();
    line.dial("Provider");
    line.run(4s);
    EXPECT_EQ(line.events, busyAttempt(4000));

    line.events.clear();
    const std::uint64_t third = line.dial("Provider");
    line.run(3700ms);
    EXPECT_EQ(line.service->connectionState(third), RASCS_DeviceConnected);
    EXPECT_TRUE(line.listed().empty()) << "a dial in progress is not listed";
    line.run(2300ms);
    const std::vector<Event> connected = {{RASCS_OpenPort, 0, 8200},
                                          {RASCS_PortOpened, 0, 8400},
                                          {RASCS_ConnectDevice, 0, 8600},
                                          {RASCS_DeviceConnected, 0, 11600},
                                          {RASCS_AllDevicesConnected, 0, 11800},
                                          {RASCS_Authenticate, 0, 12000},
                                          {RASCS_AuthNotify, 0, 13000},
                                          {RASCS_Authenticated, 0, 13200},
                                          {RASCS_AuthProject, 0, 13400},
                                          {RASCS_Projected, 0, 13600},
                                          {RASCS_Connected, 0, 13800}};
    EXPECT_EQ(line.events, connected);

    const auto listed = line.listed();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].handle, third);
    EXPECT_EQ(listed[0].entryName, "Provider");
    EXPECT_EQ(listed[0].deviceType, "modem");
    EXPECT_EQ(listed[0].deviceName, "/dev/ttyS0");
    EXPECT_EQ(line.service->connectionState(third), RASCS_Connected);

    // Later dials repeat the last outcome.
    line.events.clear();
    line.dial("Provider");
    line.clock.advance(1h);
    EXPECT_EQ(line.service->processDue(), 11);
    EXPECT_EQ(line.events.back().state, RASCS_Connected);
}

TEST(SimulatedDial, EachOutcomeFailsInItsOwnState) {
    Line line(
        "[entry E]\n"
        "outcomes = port-unavailable, wrong-password, no-dialtone, 718\n"
        "step-ms = 10\ndial-ms = 1000\nauth-ms = 500\n");
    // The state and error of the last event of the next dial.
    const auto lastOf = [&] {
        line.events.clear();
        line.dial("E");
        line.clock.advance(1h);
        line.service->processDue();
        return std::pair(line.events.back().state, line.events.back().error);
    };
    EXPECT_EQ(lastOf(), std::pair(RASCS_OpenPort, ERROR_PORT_NOT_AVAILABLE));
    EXPECT_EQ(line.events.size(), 2u);
    EXPECT_EQ(lastOf(), std::pair(RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE));
    ASSERT_EQ(line.events.size(), 7u);
    EXPECT_EQ(line.events[5], (Event{RASCS_Authenticate, 0, line.events[5].atMs}));
    EXPECT_EQ(lastOf(), std::pair(RASCS_ConnectDevice, ERROR_NO_DIALTONE));
    EXPECT_EQ(lastOf(), std::pair(RASCS_ConnectDevice, 718));
    EXPECT_EQ(lastOf(), std::pair(RASCS_ConnectDevice, 718));
    EXPECT_TRUE(line.listed().empty());
}

TEST(SimulatedDial, ScriptedCredentialsDecideTheAuthentication) {
    Line line("[entry E]\noutcomes = busy, connected\nuser = alice\npassword = s3cret\n");
    const auto outcome = [&](const std::string& user, const std::string& password) {
        line.dial("E", user, password);
        line.clock.advance(1h);
        line.service->processDue();
        return std::pair(line.events.back().state, line.events.back().error);
    };
    EXPECT_EQ(outcome("alice", "wrong"), std::pair(RASCS_ConnectDevice, ERROR_LINE_BUSY))
        << "busy comes before the check";
    EXPECT_EQ(outcome("bob", "s3cret"),
              std::pair(RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE));
    EXPECT_EQ(outcome("alice", "s3cret"), std::pair(RASCS_Connected, 0));
}

TEST(SimulatedDial, EventsOfTwoDialsArriveInTimeOrder) {
    Line line("[entry Slow]\nstep-ms = 300\n[entry Fast]\nstep-ms = 200\n");
    std::vector<std::pair<char, int>> order;
    std::uint64_t h = 0;
    line.service->dial(
        {"Slow", "", ""},
        [&](int s, int) {
            order.push_back({'s', s});
        },
        h);
    line.service->dial(
        {"Fast", "", ""},
        [&](int s, int) {
            order.push_back({'f', s});
        },
        h);
    line.clock.advance(650ms);
    line.service->processDue();
    // At 600 ms both are due: the dial started first goes first.
    const std::vector<std::pair<char, int>> expected = {{'f', RASCS_OpenPort},
                                                        {'s', RASCS_OpenPort},
                                                        {'f', RASCS_PortOpened},
                                                        {'s', RASCS_PortOpened},
                                                        {'f', RASCS_ConnectDevice}};
    EXPECT_EQ(order, expected);
}

TEST(SimulatedDial, HangUpStopsADialAndReleasesFailedOnes) {
    Line line(kProvider);
    const std::uint64_t h = line.dial("Provider");
    line.run(500ms);
    ASSERT_EQ(line.events.size(), 2u);
    EXPECT_EQ(line.service->hangUp(h), kRasOk);
    EXPECT_FALSE(line.service->nextDueTime());
    line.run(20s);
    EXPECT_EQ(line.events.size(), 2u);
    EXPECT_EQ(line.service->connectionState(h), RASCS_Disconnected);
    EXPECT_EQ(line.service->hangUp(h), ERROR_INVALID_HANDLE);
    EXPECT_EQ(line.service->hangUp(0), ERROR_INVALID_HANDLE);

    // That was the first attempt: the next is busy, and its handle may still be hung up once.
    const std::uint64_t busy = line.dial("Provider");
    line.run(4s);
    EXPECT_EQ(line.events.back().error, ERROR_LINE_BUSY);
    EXPECT_EQ(line.service->hangUp(busy), kRasOk);
    EXPECT_EQ(line.service->hangUp(busy), ERROR_INVALID_HANDLE);

    std::uint64_t none = 7;
    EXPECT_EQ(line.service->dial({"Nobody", "", ""}, line.recorder(), none),
              ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    EXPECT_EQ(none, 0u);
}

TEST(SimulatedDial, CallbacksMayRedialAndHangUp) {
    Line line(
        "[entry E]\noutcomes = busy, busy, connected\nstep-ms = 0\ndial-ms = 0\nauth-ms = 0\n");
    std::vector<int> errors;
    std::uint64_t handle = 0;
    DialEventFn onEvent = [&](int, int error) {
        errors.push_back(error);
        if (error == ERROR_LINE_BUSY) {
            ASSERT_EQ(line.service->dial({"E", "", ""}, onEvent, handle), kRasOk);
        }
    };
    line.service->dial({"E", "", ""}, onEvent, handle);
    EXPECT_EQ(line.service->processDue(), 4) << "the redial waits for the next call";
    EXPECT_EQ(line.service->processDue(), 4);
    EXPECT_EQ(line.service->processDue(), 11);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), ERROR_LINE_BUSY), 2);
    EXPECT_EQ(line.listed().size(), 1u);

    // Hanging up from inside an event ends the dial there.
    int seen = 0;
    line.service->dial(
        {"E", "", ""},
        [&](int state, int) {
            ++seen;
            if (state == RASCS_PortOpened) {
                EXPECT_EQ(line.service->hangUp(handle), kRasOk);
            }
        },
        handle);
    EXPECT_EQ(line.service->processDue(), 2);
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(line.listed().size(), 1u);
}

TEST(SimulatedDial, AutoDriveDeliversThroughTheEventLoop) {
    Line line("[entry E]\nstep-ms = 0\ndial-ms = 0\nauth-ms = 0\n");
    line.service->setAutoDrive(5ms);
    line.dial("E");
    QEventLoop loop;
    QTimer::singleShot(2000, &loop, &QEventLoop::quit);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!line.events.empty() && line.events.back().state == RASCS_Connected) {
            loop.quit();
        }
    });
    poll.start(1);
    loop.exec();
    ASSERT_FALSE(line.events.empty());
    EXPECT_EQ(line.events.back().state, RASCS_Connected);
    EXPECT_EQ(line.events.size(), 11u);
}

TEST(SimulatedConnections, TheFarEndDropsAfterTheScriptedDuration) {
    Line line(kProvider);
    const std::uint64_t h = line.service->bringUp("PROVIDER", "/dev/ttyACM0");
    ASSERT_NE(h, 0u);
    auto listed = line.listed();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].entryName, "Provider");
    EXPECT_EQ(listed[0].deviceName, "/dev/ttyACM0");
    line.clock.advance(119'999ms);
    EXPECT_EQ(line.listed().size(), 1u);
    EXPECT_EQ(line.service->connectionState(h), RASCS_Connected);
    line.clock.advance(1ms);
    EXPECT_TRUE(line.listed().empty());
    EXPECT_EQ(line.service->connectionState(h), RASCS_Disconnected);
    EXPECT_EQ(line.service->hangUp(h), ERROR_INVALID_HANDLE);

    // Unscripted entries stay until dropped or hung up.
    const std::uint64_t other = line.service->bringUp("Elsewhere");
    const std::uint64_t third = line.service->bringUp("Third");
    line.clock.advance(24h);
    listed = line.listed();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].deviceName, "/dev/ttyS0");
    EXPECT_TRUE(line.service->drop(other));
    EXPECT_FALSE(line.service->drop(other));
    EXPECT_EQ(line.service->hangUp(third), kRasOk);
    EXPECT_TRUE(line.listed().empty());
}

TEST(SimulatedConnections, ListingCanFail) {
    Line line("[line]\nlist-fails = yes\n[entry A]\n");
    line.service->bringUp("A");
    std::vector<RasConnection> out(1);
    out[0].entryName = "kept";
    EXPECT_FALSE(line.service->listConnections(out));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].entryName, "kept");
    line.service->setListingFails(false);
    EXPECT_TRUE(line.service->listConnections(out));
    EXPECT_EQ(out[0].entryName, "A");
}

TEST(SimulatedConnections, TwentyPortsAtMost) {
    Line line("[entry A]\n");
    for (int i = 0; i < 19; ++i) {
        ASSERT_NE(line.service->bringUp("A"), 0u) << i;
    }
    const std::uint64_t dialling = line.dial("A");
    EXPECT_EQ(line.service->bringUp("A"), 0u) << "a dial in progress holds a port";
    std::uint64_t h = 0;
    EXPECT_EQ(line.service->dial({"A", "", ""}, line.recorder(), h), ERROR_PORT_NOT_AVAILABLE);
    line.clock.advance(1h);
    line.service->processDue();
    EXPECT_EQ(line.listed().size(), RemoteAccess::kMaxConnections);
    EXPECT_EQ(line.service->hangUp(dialling), kRasOk);
    EXPECT_NE(line.service->bringUp("A"), 0u);
}

TEST(SimulatedCounters, GrowWithTheClockAndRestartWithEachConnection) {
    Line line(std::string("[line]\nframe-size = 1000\n") + kProvider +
              "[entry Fast]\nbytes-in-per-s = 1000000000\nbytes-out-per-s = 3\n");
    SimulatedCounters counters(*line.service);
    CounterValues v;
    v.fill(-1);
    ASSERT_TRUE(counters.read(v));
    EXPECT_EQ(v, CounterValues{});

    const std::uint64_t provider = line.service->bringUp("Provider");
    line.clock.advance(10'500ms);
    ASSERT_TRUE(counters.read(v));
    EXPECT_EQ(v[BytesReceived], 42000);
    EXPECT_EQ(v[BytesTransmitted], 5250);
    EXPECT_EQ(v[FramesReceived], 42);
    EXPECT_EQ(v[FramesTransmitted], 5);
    for (int i = PercentCompressionIn; i <= TotalErrors; ++i) {
        EXPECT_EQ(v[i], 0) << kCounterNames[i];
    }

    const std::uint64_t fast = line.service->bringUp("Fast");
    line.clock.advance(1s);
    ASSERT_TRUE(counters.read(v));
    EXPECT_EQ(v[BytesReceived], 46000 + 1'000'000'000);
    EXPECT_EQ(v[BytesTransmitted], 5750 + 3);

    line.service->drop(fast);
    line.service->drop(provider);
    line.service->bringUp("Provider");
    line.clock.advance(2s);
    ASSERT_TRUE(counters.read(v));
    EXPECT_EQ(v[BytesReceived], 8000);

    // Two fast lines for two centuries: the sums saturate instead of overflowing.
    line.service->bringUp("Fast");
    line.service->bringUp("Fast");
    line.clock.advance(24h * 365 * 200);
    ASSERT_TRUE(counters.read(v));
    EXPECT_EQ(v[BytesReceived], std::numeric_limits<std::int64_t>::max());
    // 200 years of 1 GB/s in frames of 1000 bytes, twice.
    EXPECT_EQ(v[FramesReceived], 2 * 6'307'200'000'000'000);
}

// Entries up from the start list one connection each, and each one's counters are its own.
TEST(SimulatedCounters, EachConnectionUpFromTheStartCountsItsOwn) {
    Line line(
        "[entry Modem]\nup-at-start = yes\nbytes-in-per-s = 100\n"
        "[entry Home]\nbytes-in-per-s = 7\n"
        "[entry Travel]\nup-at-start = yes\nbytes-in-per-s = 1\n");
    ASSERT_TRUE(line.service);
    std::vector<RasConnection> listed;
    ASSERT_TRUE(line.service->listConnections(listed));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].entryName, "Modem");
    EXPECT_EQ(listed[1].entryName, "Travel");
    line.clock.advance(10s);
    SimulatedCounters counters(*line.service);
    CounterValues v;
    ASSERT_TRUE(counters.read(v));
    EXPECT_EQ(v[BytesReceived], 1010);
    ASSERT_TRUE(counters.readOf(listed[1].handle, listed[1].deviceName, v));
    EXPECT_EQ(v[BytesReceived], 10);
    ASSERT_TRUE(counters.readOf(listed[1].handle + 100, {}, v));
    EXPECT_EQ(v[BytesReceived], 0) << "a connection not up counts nothing";
}

TEST(SimulatedPhoneBook, ListsDeletesAndRefusesEditing) {
    Line line("[entry Provider]\n[entry Office]\n[entry Spare]\n");
    std::vector<std::string> entries;
    ASSERT_TRUE(line.service->listEntries(entries));
    EXPECT_EQ(entries, (std::vector<std::string>{"Provider", "Office", "Spare"}));

    EXPECT_EQ(line.service->deleteEntry("office"), kRasOk);
    EXPECT_EQ(line.service->deleteEntry("Office"), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    ASSERT_TRUE(line.service->listEntries(entries));
    EXPECT_EQ(entries, (std::vector<std::string>{"Provider", "Spare"}));
    std::uint64_t h = 0;
    EXPECT_EQ(line.service->dial({"Office", "", ""}, line.recorder(), h),
              ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    line.dial("Spare");

    EXPECT_EQ(line.service->createEntry(), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(line.service->editEntry("Spare"), ERROR_NOT_SUPPORTED);
    EXPECT_EQ(line.service->editEntry("Office"), ERROR_CANNOT_FIND_PHONEBOOK_ENTRY);
    EXPECT_EQ(line.service->errorText(ERROR_LINE_BUSY), "The line is busy.");

    Line broken("[line]\nphonebook-fails = yes\n[entry A]\n");
    EXPECT_FALSE(broken.service->listEntries(entries));
}

}  // namespace
}  // namespace tavu::platform
