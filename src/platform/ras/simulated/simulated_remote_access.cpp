#include "platform/ras/simulated/simulated_remote_access.h"

#include <QObject>
#include <QTimer>
#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>

#include "core/text.h"
#include "platform/ras/ras_errors.h"

namespace tavu::platform {

namespace {

constexpr std::size_t kMaxScriptBytes = 1 << 20;
constexpr std::size_t kMaxEntryName = 256;
constexpr std::size_t kMaxDeviceName = 128;
constexpr std::int64_t kMaxDelayMs = 3'600'000;
constexpr std::int64_t kMaxDurationS = 10LL * 365 * 24 * 3600;
constexpr std::int64_t kMaxRate = 1'000'000'000;
constexpr std::int64_t kMaxErrorCode = 99'999;
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

// The text as it may appear inside a message: quoted and shortened.
std::string shownText(std::string_view s) {
    constexpr std::size_t kShown = 40;
    std::string out = "'";
    out += s.substr(0, kShown);
    if (s.size() > kShown) {
        out += "...";
    }
    out += "'";
    return out;
}

bool parseBool(std::string_view value, bool& out) {
    const std::string v = lowerAscii(value);
    if (v == "yes" || v == "true" || v == "1") {
        out = true;
        return true;
    }
    if (v == "no" || v == "false" || v == "0") {
        out = false;
        return true;
    }
    return false;
}

// A whole decimal number in [min, max], digits only.
bool parseNumber(std::string_view value, std::int64_t min, std::int64_t max, std::int64_t& out) {
    if (value.empty() || value.size() > 18) {
        return false;
    }
    std::int64_t v = 0;
    for (char c : value) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + (c - '0');
    }
    if (v < min || v > max) {
        return false;
    }
    out = v;
    return true;
}

std::string numberError(std::string_view value, std::string_view key, std::int64_t min,
                        std::int64_t max) {
    return shownText(value) + " is not a whole number from " + std::to_string(min) + " to " +
           std::to_string(max) + " for " + std::string(key);
}

struct NamedOutcome {
    const char* name;
    SimulatedOutcome outcome;
};

constexpr std::array<NamedOutcome, 8> kOutcomes = {{
    {"connected", {RASCS_Connected, 0}},
    {"busy", {RASCS_ConnectDevice, ERROR_LINE_BUSY}},
    {"no-answer", {RASCS_ConnectDevice, ERROR_NO_ANSWER}},
    {"no-carrier", {RASCS_ConnectDevice, ERROR_NO_CARRIER}},
    {"no-dialtone", {RASCS_ConnectDevice, ERROR_NO_DIALTONE}},
    {"hardware-failure", {RASCS_ConnectDevice, ERROR_HARDWARE_FAILURE}},
    {"port-unavailable", {RASCS_OpenPort, ERROR_PORT_NOT_AVAILABLE}},
    {"wrong-password", {RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE}},
}};

bool parseOutcomes(std::string_view value, std::vector<SimulatedOutcome>& out, std::string& error) {
    out.clear();
    std::size_t pos = 0;
    while (true) {
        const std::size_t comma = value.find(',', pos);
        const std::string_view item =
            trim(value.substr(pos, comma == std::string_view::npos ? value.npos : comma - pos));
        if (item.empty()) {
            error = "an empty outcome in the outcomes list";
            return false;
        }
        const std::string name = lowerAscii(item);
        const auto named = std::find_if(kOutcomes.begin(), kOutcomes.end(),
                                        [&](const NamedOutcome& n) { return name == n.name; });
        std::int64_t code = 0;
        if (named != kOutcomes.end()) {
            out.push_back(named->outcome);
        } else if (parseNumber(item, 1, kMaxErrorCode, code)) {
            out.push_back({RASCS_ConnectDevice, static_cast<int>(code)});
        } else {
            error = "unknown outcome " + shownText(item) +
                    " (expected connected, busy, no-answer, no-carrier, no-dialtone, "
                    "hardware-failure, port-unavailable, wrong-password or an error number "
                    "from 1 to " +
                    std::to_string(kMaxErrorCode) + ")";
            return false;
        }
        if (comma == std::string_view::npos) {
            return true;
        }
        pos = comma + 1;
    }
}

bool applyLineKey(SimulationScript& script, const std::string& key, std::string_view value,
                  std::string& error) {
    std::int64_t n = 0;
    if (key == "device") {
        if (value.empty() || value.size() > kMaxDeviceName) {
            error = "device needs a name of 1 to " + std::to_string(kMaxDeviceName) + " characters";
            return false;
        }
        script.device = value;
    } else if (key == "list-fails" || key == "phonebook-fails") {
        bool b = false;
        if (!parseBool(value, b)) {
            error = shownText(value) + " is not yes or no for " + key;
            return false;
        }
        (key == "list-fails" ? script.listFails : script.phonebookFails) = b;
    } else if (key == "frame-size") {
        if (!parseNumber(value, 1, 65535, n)) {
            error = numberError(value, key, 1, 65535);
            return false;
        }
        script.frameSize = n;
    } else {
        error = "unknown key " + shownText(key) +
                " in [line] (expected device, list-fails, phonebook-fails or frame-size)";
        return false;
    }
    return true;
}

bool applyEntryKey(SimulatedEntry& entry, const std::string& key, std::string_view value,
                   std::string& error) {
    std::int64_t n = 0;
    const auto number = [&](std::int64_t max) {
        if (!parseNumber(value, 0, max, n)) {
            error = numberError(value, key, 0, max);
            return false;
        }
        return true;
    };
    if (key == "outcomes") {
        return parseOutcomes(value, entry.outcomes, error);
    } else if (key == "step-ms" || key == "dial-ms" || key == "auth-ms") {
        if (!number(kMaxDelayMs)) {
            return false;
        }
        auto& field = key == "step-ms"   ? entry.stepDelay
                      : key == "dial-ms" ? entry.dialDelay
                                         : entry.authDelay;
        field = std::chrono::milliseconds(n);
    } else if (key == "duration-s") {
        if (!number(kMaxDurationS)) {
            return false;
        }
        entry.duration = std::chrono::seconds(n);
    } else if (key == "bytes-in-per-s" || key == "bytes-out-per-s") {
        if (!number(kMaxRate)) {
            return false;
        }
        (key == "bytes-in-per-s" ? entry.bytesInPerSecond : entry.bytesOutPerSecond) = n;
    } else if (key == "device") {
        if (value.empty() || value.size() > kMaxDeviceName) {
            error = "device needs a name of 1 to " + std::to_string(kMaxDeviceName) + " characters";
            return false;
        }
        entry.device = value;
    } else if (key == "up-at-start") {
        if (!parseBool(value, entry.upAtStart)) {
            error = shownText(value) + " is not yes or no for " + key;
            return false;
        }
    } else if (key == "user") {
        entry.user = std::string(value);
    } else if (key == "password") {
        entry.password = std::string(value);
    } else {
        error = "unknown key " + shownText(key) + " in [entry " + entry.name +
                "] (expected outcomes, step-ms, dial-ms, auth-ms, duration-s, bytes-in-per-s, "
                "bytes-out-per-s, device, up-at-start, user or password)";
        return false;
    }
    return true;
}

bool hasControlCharacter(std::string_view line) {
    return std::any_of(line.begin(), line.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u < 0x20 && c != '\t') || u == 0x7f;
    });
}

// rate × elapsed milliseconds / 1000, saturating.
std::int64_t bytesAfter(std::int64_t perSecond, std::int64_t elapsedMs) {
    if (perSecond <= 0 || elapsedMs <= 0) {
        return 0;
    }
    const std::int64_t whole = elapsedMs / 1000;
    if (whole > kInt64Max / perSecond) {
        return kInt64Max;
    }
    const std::int64_t part = perSecond * (elapsedMs % 1000) / 1000;
    const std::int64_t bytes = whole * perSecond;
    return bytes > kInt64Max - part ? kInt64Max : bytes + part;
}

std::int64_t addSaturating(std::int64_t a, std::int64_t b) {
    return a > kInt64Max - b ? kInt64Max : a + b;
}

// The states of a successful dial, in the order they are reported.
constexpr std::array<int, 11> kDialStates = {RASCS_OpenPort,
                                             RASCS_PortOpened,
                                             RASCS_ConnectDevice,
                                             RASCS_DeviceConnected,
                                             RASCS_AllDevicesConnected,
                                             RASCS_Authenticate,
                                             RASCS_AuthNotify,
                                             RASCS_Authenticated,
                                             RASCS_AuthProject,
                                             RASCS_Projected,
                                             RASCS_Connected};

}  // namespace

std::optional<SimulationScript> SimulationScript::parse(std::string_view text, std::string& error) {
    if (text.size() > kMaxScriptBytes) {
        error = "the script is larger than 1 MiB";
        return std::nullopt;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    enum class Section { None, Line, Entry };
    Section section = Section::None;
    bool lineSectionSeen = false;
    std::vector<std::string> keysSeen;
    SimulationScript script;
    int lineNo = 0;
    std::size_t pos = 0;
    const auto fail = [&](const std::string& what) {
        error = "line " + std::to_string(lineNo) + ": " + what;
        return std::nullopt;
    };
    while (pos < text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        std::string_view raw = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        if (!raw.empty() && raw.back() == '\r') {
            raw.remove_suffix(1);
        }
        if (hasControlCharacter(raw)) {
            return fail("the line holds a control character");
        }
        const std::string_view line = trim(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#') {
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']') {
                return fail("a section header must end with ']'");
            }
            const std::string_view inner = trim(line.substr(1, line.size() - 2));
            keysSeen.clear();
            if (equalsIgnoreCase(inner, "line")) {
                if (lineSectionSeen) {
                    return fail("[line] is given twice");
                }
                lineSectionSeen = true;
                section = Section::Line;
            } else if (inner.size() > 5 && equalsIgnoreCase(inner.substr(0, 5), "entry") &&
                       (inner[5] == ' ' || inner[5] == '\t')) {
                const std::string_view name = trim(inner.substr(5));
                if (name.size() > kMaxEntryName) {
                    return fail("the entry name is longer than " + std::to_string(kMaxEntryName) +
                                " characters");
                }
                const bool twice = std::any_of(
                    script.entries.begin(), script.entries.end(),
                    [&](const SimulatedEntry& e) { return equalsIgnoreCase(e.name, name); });
                if (twice) {
                    return fail("the entry " + shownText(name) + " is given twice");
                }
                SimulatedEntry entry;
                entry.name = name;
                entry.outcomes = {SimulatedOutcome{}};
                script.entries.push_back(std::move(entry));
                section = Section::Entry;
            } else if (equalsIgnoreCase(inner, "entry")) {
                return fail("[entry] needs a name: [entry NAME]");
            } else {
                return fail("unknown section [" + std::string(inner.substr(0, 40)) +
                            "] (expected [line] or [entry NAME])");
            }
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            return fail("expected a section header or 'key = value', found " + shownText(line));
        }
        const std::string key = lowerAscii(trim(line.substr(0, eq)));
        const std::string_view value = trim(line.substr(eq + 1));
        if (key.empty()) {
            return fail("a key name is missing before '='");
        }
        if (section == Section::None) {
            return fail(shownText(key) + " comes before any section");
        }
        if (std::find(keysSeen.begin(), keysSeen.end(), key) != keysSeen.end()) {
            return fail(shownText(key) + " is given twice in this section");
        }
        keysSeen.push_back(key);
        std::string what;
        const bool ok = section == Section::Line
                            ? applyLineKey(script, key, value, what)
                            : applyEntryKey(script.entries.back(), key, value, what);
        if (!ok) {
            return fail(what);
        }
    }
    return script;
}

SimulatedRemoteAccess::SimulatedRemoteAccess(const Clock& clock, SimulationScript script)
    : clock_(clock), script_(std::move(script)), attempts_(script_.entries.size(), 0) {
    for (const SimulatedEntry& e : script_.entries) {
        if (e.upAtStart) {
            bringUp(e.name);
        }
    }
}

SimulatedRemoteAccess::~SimulatedRemoteAccess() = default;

std::unique_ptr<SimulatedRemoteAccess> SimulatedRemoteAccess::load(const std::string& path,
                                                                   const Clock& clock,
                                                                   std::string& error) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        error = "cannot read the simulation script " + path + ": the file does not exist";
        return nullptr;
    }
    if (!std::filesystem::is_regular_file(status)) {
        error = "cannot read the simulation script " + path + ": it is not a file";
        return nullptr;
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxScriptBytes) {
        error = "cannot read the simulation script " + path + ": it is larger than 1 MiB";
        return nullptr;
    }
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    if (!in) {
        error = "cannot read the simulation script " + path;
        return nullptr;
    }
    auto service = fromText(content.str(), clock, error);
    if (!service) {
        error = path + ": " + error;
    }
    return service;
}

std::unique_ptr<SimulatedRemoteAccess> SimulatedRemoteAccess::fromText(std::string_view text,
                                                                       const Clock& clock,
                                                                       std::string& error) {
    auto script = SimulationScript::parse(text, error);
    if (!script) {
        return nullptr;
    }
    return std::make_unique<SimulatedRemoteAccess>(clock, std::move(*script));
}

std::optional<std::size_t> SimulatedRemoteAccess::findEntry(std::string_view name) const {
    for (std::size_t i = 0; i < script_.entries.size(); ++i) {
        if (equalsIgnoreCase(script_.entries[i].name, name)) {
            return i;
        }
    }
    return std::nullopt;
}

void SimulatedRemoteAccess::expireDropped() {
    const TimePoint now = clock_.now();
    std::erase_if(connections_, [&](const Connection& c) { return c.endsAt && *c.endsAt <= now; });
}

bool SimulatedRemoteAccess::listConnections(std::vector<RasConnection>& out) {
    if (script_.listFails) {
        return false;
    }
    expireDropped();
    out.clear();
    for (const Connection& c : connections_) {
        if (out.size() == kMaxConnections) {
            break;
        }
        out.push_back(c.info);
    }
    return true;
}

int SimulatedRemoteAccess::connectionState(std::uint64_t handle) {
    expireDropped();
    for (const Connection& c : connections_) {
        if (c.info.handle == handle) {
            return RASCS_Connected;
        }
    }
    for (const Dial& d : dials_) {
        if (d.handle == handle) {
            return d.lastState;
        }
    }
    return RASCS_Disconnected;
}

int SimulatedRemoteAccess::hangUp(std::uint64_t handle) {
    expireDropped();
    const auto dial = std::find_if(dials_.begin(), dials_.end(),
                                   [&](const Dial& d) { return d.handle == handle; });
    if (dial != dials_.end()) {
        dials_.erase(dial);
        updateTimer();
        return kRasOk;
    }
    if (drop(handle)) {
        return kRasOk;
    }
    const auto failed = std::find(failedDials_.begin(), failedDials_.end(), handle);
    if (failed != failedDials_.end()) {
        failedDials_.erase(failed);
        return kRasOk;
    }
    return ERROR_INVALID_HANDLE;
}

std::vector<SimulatedRemoteAccess::Step> SimulatedRemoteAccess::planDial(std::size_t entryIndex,
                                                                         const DialRequest& request,
                                                                         TimePoint start) {
    const SimulatedEntry& entry = script_.entries[entryIndex];
    SimulatedOutcome outcome = entry.outcomes.back();
    const std::size_t attempt = attempts_[entryIndex]++;
    if (attempt < entry.outcomes.size()) {
        outcome = entry.outcomes[attempt];
    }
    const bool wrongCredentials = (entry.user && *entry.user != request.user) ||
                                  (entry.password && *entry.password != request.password);
    if (outcome.error == 0 && wrongCredentials) {
        outcome = {RASCS_Authenticate, ERROR_AUTHENTICATION_FAILURE};
    }
    // The delay before a state, and before the error of a failing state.
    const auto delayBefore = [&](int state) {
        return state == RASCS_DeviceConnected ? entry.dialDelay
               : state == RASCS_AuthNotify    ? entry.authDelay
                                              : entry.stepDelay;
    };
    const auto errorDelay = [&](int state) {
        return state == RASCS_ConnectDevice  ? entry.dialDelay
               : state == RASCS_Authenticate ? entry.authDelay
                                             : entry.stepDelay;
    };
    std::vector<Step> steps;
    TimePoint t = start;
    for (int state : kDialStates) {
        t += delayBefore(state);
        steps.push_back({state, 0, t});
        if (outcome.error != 0 && state == outcome.failState) {
            t += errorDelay(state);
            steps.push_back({state, outcome.error, t});
            break;
        }
    }
    return steps;
}

int SimulatedRemoteAccess::dial(const DialRequest& request, DialEventFn onEvent,
                                std::uint64_t& handle) {
    handle = 0;
    const auto index = findEntry(request.entry);
    if (!index || request.entry.empty()) {
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    }
    expireDropped();
    if (connections_.size() + dials_.size() >= kMaxConnections) {
        return ERROR_PORT_NOT_AVAILABLE;
    }
    const SimulatedEntry& entry = script_.entries[*index];
    Dial d;
    d.handle = nextHandle_++;
    d.entryName = entry.name;
    d.device = entry.device.empty() ? script_.device : entry.device;
    d.duration = entry.duration;
    d.bytesInPerSecond = entry.bytesInPerSecond;
    d.bytesOutPerSecond = entry.bytesOutPerSecond;
    d.steps = planDial(*index, request, clock_.now());
    d.onEvent = std::move(onEvent);
    handle = d.handle;
    dials_.push_back(std::move(d));
    updateTimer();
    return kRasOk;
}

void SimulatedRemoteAccess::changed() {
    if (tellsChanges_) {
        notifyChanged();
    }
}

int SimulatedRemoteAccess::processDue() {
    const TimePoint now = clock_.now();
    const std::uint64_t startedBefore = nextHandle_;
    int delivered = 0;
    bool cameUp = false;
    while (true) {
        auto earliest = dials_.end();
        for (auto it = dials_.begin(); it != dials_.end(); ++it) {
            if (it->handle >= startedBefore || it->steps[it->next].due > now) {
                continue;
            }
            if (earliest == dials_.end() ||
                it->steps[it->next].due < earliest->steps[earliest->next].due) {
                earliest = it;
            }
        }
        if (earliest == dials_.end()) {
            break;
        }
        const Step step = earliest->steps[earliest->next++];
        earliest->lastState = step.state;
        DialEventFn onEvent = earliest->onEvent;
        if (earliest->next == earliest->steps.size()) {
            // The dial is over: the callback may dial again, so the record goes first.
            Dial done = std::move(*earliest);
            dials_.erase(earliest);
            if (step.error == 0) {
                Connection c;
                c.info = {done.handle, done.entryName, "modem", done.device};
                c.since = step.due;
                if (done.duration.count() > 0) {
                    c.endsAt = step.due + done.duration;
                }
                c.bytesInPerSecond = done.bytesInPerSecond;
                c.bytesOutPerSecond = done.bytesOutPerSecond;
                connections_.push_back(std::move(c));
                cameUp = true;
            } else {
                failedDials_.push_back(done.handle);
                if (failedDials_.size() > kMaxConnections) {
                    failedDials_.erase(failedDials_.begin());
                }
            }
        }
        ++delivered;
        if (onEvent) {
            onEvent(step.state, step.error);
        }
    }
    if (cameUp) {
        changed();
    }
    updateTimer();
    return delivered;
}

std::optional<TimePoint> SimulatedRemoteAccess::nextDueTime() const {
    std::optional<TimePoint> next;
    for (const Dial& d : dials_) {
        const TimePoint due = d.steps[d.next].due;
        if (!next || due < *next) {
            next = due;
        }
    }
    return next;
}

void SimulatedRemoteAccess::setAutoDrive(std::chrono::milliseconds period) {
    if (period.count() <= 0) {
        autoDrive_ = false;
        if (timer_) {
            timer_->stop();
        }
        return;
    }
    if (!timer_) {
        timer_ = std::make_unique<QTimer>();
        QObject::connect(timer_.get(), &QTimer::timeout, [this] { processDue(); });
    }
    autoDrive_ = true;
    timer_->setInterval(period);
    updateTimer();
}

void SimulatedRemoteAccess::updateTimer() {
    if (!timer_) {
        return;
    }
    if (autoDrive_ && !dials_.empty()) {
        if (!timer_->isActive()) {
            timer_->start();
        }
    } else {
        timer_->stop();
    }
}

std::uint64_t SimulatedRemoteAccess::bringUp(const std::string& entry, const std::string& device) {
    expireDropped();
    if (connections_.size() + dials_.size() >= kMaxConnections) {
        return 0;
    }
    Connection c;
    c.info.handle = nextHandle_++;
    c.info.entryName = entry;
    c.info.deviceType = "modem";
    c.info.deviceName = script_.device;
    c.since = clock_.now();
    if (const auto index = findEntry(entry)) {
        const SimulatedEntry& e = script_.entries[*index];
        c.info.entryName = e.name;
        if (!e.device.empty()) {
            c.info.deviceName = e.device;
        }
        if (e.duration.count() > 0) {
            c.endsAt = c.since + e.duration;
        }
        c.bytesInPerSecond = e.bytesInPerSecond;
        c.bytesOutPerSecond = e.bytesOutPerSecond;
    }
    if (!device.empty()) {
        c.info.deviceName = device;
    }
    connections_.push_back(c);
    changed();
    return c.info.handle;
}

bool SimulatedRemoteAccess::drop(std::uint64_t handle) {
    const bool dropped = std::erase_if(connections_, [&](const Connection& c) {
                             return c.info.handle == handle;
                         }) > 0;
    if (dropped) {
        changed();
    }
    return dropped;
}

SimulatedRemoteAccess::Traffic SimulatedRemoteAccess::traffic(std::uint64_t handle) {
    expireDropped();
    const TimePoint now = clock_.now();
    Traffic t;
    for (const Connection& c : connections_) {
        if (handle != 0 && c.info.handle != handle) {
            continue;
        }
        const std::int64_t ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(now - c.since).count();
        const std::int64_t in = bytesAfter(c.bytesInPerSecond, ms);
        const std::int64_t out = bytesAfter(c.bytesOutPerSecond, ms);
        t.bytesIn = addSaturating(t.bytesIn, in);
        t.bytesOut = addSaturating(t.bytesOut, out);
        t.framesIn = addSaturating(t.framesIn, in / script_.frameSize);
        t.framesOut = addSaturating(t.framesOut, out / script_.frameSize);
    }
    return t;
}

ConnectionOrigin SimulatedRemoteAccess::connectionOrigin(std::uint64_t handle) {
    expireDropped();
    ConnectionOrigin origin;
    for (const Connection& c : connections_) {
        if (c.info.handle == handle) {
            origin.upSince =
                std::chrono::duration_cast<std::chrono::seconds>(c.since.time_since_epoch())
                    .count();
        }
    }
    return origin;
}

std::string SimulatedRemoteAccess::errorText(int code) {
    return rasErrorText(code);
}

bool SimulatedRemoteAccess::listEntries(std::vector<std::string>& out) {
    if (script_.phonebookFails) {
        return false;
    }
    out.clear();
    for (const SimulatedEntry& e : script_.entries) {
        out.push_back(e.name);
    }
    return true;
}

int SimulatedRemoteAccess::createEntry() {
    return entryEditor_ ? entryEditor_(std::string()) : ERROR_NOT_SUPPORTED;
}

int SimulatedRemoteAccess::editEntry(const std::string& name) {
    if (!findEntry(name) || name.empty()) {
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    }
    return entryEditor_ ? entryEditor_(name) : ERROR_NOT_SUPPORTED;
}

bool SimulatedRemoteAccess::addEntry(const std::string& name, std::string& error) {
    const std::string_view trimmed = trim(name);
    if (trimmed.empty() || trimmed.size() > kMaxEntryName || hasControlCharacter(trimmed)) {
        error = "An entry needs a name of 1 to " + std::to_string(kMaxEntryName) +
                " characters without control characters.";
        return false;
    }
    if (findEntry(trimmed)) {
        error = "There is already an entry named " + std::string(trimmed) + ".";
        return false;
    }
    SimulatedEntry entry;
    entry.name = trimmed;
    entry.outcomes = {SimulatedOutcome{}};
    script_.entries.push_back(std::move(entry));
    attempts_.push_back(0);
    return true;
}

bool SimulatedRemoteAccess::setOutcomes(const std::string& name, std::string_view outcomes,
                                        std::string& error) {
    const auto index = findEntry(name);
    if (!index) {
        error = "There is no entry named " + name + ".";
        return false;
    }
    std::vector<SimulatedOutcome> parsed;
    if (!parseOutcomes(outcomes, parsed, error)) {
        return false;
    }
    script_.entries[*index].outcomes = std::move(parsed);
    attempts_[*index] = 0;
    return true;
}

std::string SimulatedRemoteAccess::outcomesText(const std::string& name) const {
    const auto index = findEntry(name);
    if (!index) {
        return {};
    }
    std::string text;
    for (const SimulatedOutcome& o : script_.entries[*index].outcomes) {
        if (!text.empty()) {
            text += ", ";
        }
        const auto named = std::find_if(kOutcomes.begin(), kOutcomes.end(),
                                        [&](const NamedOutcome& n) { return n.outcome == o; });
        text += named != kOutcomes.end() ? std::string(named->name) : std::to_string(o.error);
    }
    return text;
}

int SimulatedRemoteAccess::deleteEntry(const std::string& name) {
    const auto index = findEntry(name);
    if (!index) {
        return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
    }
    script_.entries.erase(script_.entries.begin() + static_cast<std::ptrdiff_t>(*index));
    attempts_.erase(attempts_.begin() + static_cast<std::ptrdiff_t>(*index));
    return kRasOk;
}

bool SimulatedCounters::read(CounterValues& out) {
    return readOf(0, {}, out);
}

bool SimulatedCounters::readOf(std::uint64_t handle, std::string_view, CounterValues& out) {
    const SimulatedRemoteAccess::Traffic t = service_.traffic(handle);
    out.fill(0);
    out[BytesReceived] = t.bytesIn;
    out[BytesTransmitted] = t.bytesOut;
    out[FramesReceived] = t.framesIn;
    out[FramesTransmitted] = t.framesOut;
    return true;
}

}  // namespace tavu::platform
