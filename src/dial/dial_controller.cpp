#include "dial/dial_controller.h"

#include <array>
#include <utility>

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "platform/ras/remote_access.h"

namespace tavu {

namespace {

constexpr int kLineBusy = 676;

struct StateText {
    int state;
    const char* text;
};

constexpr std::array<StateText, 30> kStateTexts = {{
    {0, "Opening the port..."},
    {1, "Port has been opened successfully"},
    {2, "Connecting to the device..."},
    {3, "The device has connected successfully."},
    {4, "All devices in the device chain have successfully connected."},
    {5, "Verifying the user name and password..."},
    {6, "Authentication...\nPlease wait..."},
    {7, "Requested another validation attempt with a new user."},
    {8, "Server has requested a callback number."},
    {9, "The client has requested to change the password"},
    {10, "Registering your computer on the network..."},
    {11, "The link-speed calculation phase is starting..."},
    {12, "An authentication request is being acknowledged."},
    {13, "Reauthentication (after callback) is starting. "},
    {14, "The client has successfully completed authentication."},
    {15, "The line is about to disconnect for callback."},
    {16, "Delaying to give the modem time to reset for callback."},
    {17, "Waiting for an incoming call from server."},
    {18, "Projection result information is available."},
    {19, "User authentication is being initiated or retried."},
    {20, "Client has been called back and is about to resume authentication."},
    {21, "Logging on to the network..."},
    {22, "Subentry has been connected"},
    {23, "Subentry has been disconnected"},
    {4096, "Terminal state supported by RASPHONE.EXE."},
    {4097, "Retry authentication state supported by RASPHONE.EXE."},
    {4098, "Callback state supported by RASPHONE.EXE."},
    {4099, "Change password state supported by RASPHONE.EXE."},
    {8192, "Connected to remote server successfully!"},
    {8193, "Disconnected"},
}};

// Process-wide, as the service's notifier knows no window: where events go, and the last text.
DialController* gEventTarget = nullptr;

std::string& lastText() {
    static std::string text;
    return text;
}

}  // namespace

const char* dialStateText(int state) {
    for (const StateText& s : kStateTexts) {
        if (s.state == state) {
            return s.text;
        }
    }
    return nullptr;
}

bool redialAfterBusy(int rule, int times, int busyCount) {
    return rule == 2 || (rule == 1 && busyCount < times);
}

DialController::DialController(int mode, SettingsStore& settings, platform::RemoteAccess& ras,
                               View& view, std::function<void(const std::string&)> openUrl)
    : mode_(mode), settings_(settings), ras_(ras), view_(view), openUrl_(std::move(openUrl)) {}

DialController::~DialController() {
    if (gEventTarget == this) {
        gEventTarget = nullptr;
    }
}

const std::string& DialController::lastStatusText() {
    return lastText();
}

void DialController::resetLastStatusText() {
    lastText().clear();
}

DialController* DialController::eventTarget() {
    return gEventTarget;
}

void DialController::claimEvents() {
    // Only a window that dials follows a dial: a mail or upgrade window opened meanwhile
    // leaves the events to the dial window.
    if (!closed_ && mode_ == Dial) {
        gEventTarget = this;
    }
}

void DialController::open(const std::string& entry) {
    claimEvents();
    entryName_ = entry.empty() ? settings_.readString(keys::kSettings, keys::kDefaultCon) : entry;
    if (mode_ == Dial) {
        view_.setStatusText("Connecting to " + entryName_ + "...");
        view_.setButtonText(kCancelCaption);
        view_.startTimer(kDialTimer, kFirstAttemptMs);
    }
}

void DialController::timerFired(int id) {
    claimEvents();
    if (id == kDialTimer && !closed_) {
        view_.stopTimer(kDialTimer);  // each attempt is armed once
        attempt();
    }
}

void DialController::attempt() {
    const std::string userKey = entryName_ + keys::kEntryUserSuffix;
    const std::string passwordKey = entryName_ + keys::kEntryPasswordSuffix;
    platform::DialRequest request{entryName_, settings_.readString(keys::kConnections, userKey),
                                  settings_.readString(keys::kConnections, passwordKey)};
    // The attempt that ended busy is released before the next one, so no handle is left over.
    if (handle_ != 0) {
        ras_.hangUp(handle_);
    }
    handle_ = 0;
    // The service calls back on this thread; the events go to whichever window claimed them.
    const int rc = ras_.dial(
        request,
        [](int state, int error) {
            if (gEventTarget != nullptr) {
                gEventTarget->dialEvent(state, error);
            }
        },
        handle_);
    if (rc != 0) {
        showError(rc, true);
        applyBusyRule(rc);
    }
    if (settings_.readInt(keys::kConnections, keys::kRememberPassword, 1) == 0) {
        settings_.writeMany(
            {{keys::kConnections, userKey, ""}, {keys::kConnections, passwordKey, ""}});
    }
}

void DialController::showError(int code, bool atOnce) {
    std::string text = ras_.errorText(code);
    if (text.empty()) {
        text = atOnce ? "Undefined RAS Dial Error (" + std::to_string(code) + ")."
                      : "Undefined RAS Dial Error.";
    }
    view_.setStatusText(text);
    view_.setButtonText(kOkCaption);
}

void DialController::applyBusyRule(int code) {
    if (code != kLineBusy) {
        return;
    }
    ++busyCount_;
    const int rule = settings_.readInt(keys::kSettings, keys::kRedialWhenBusy, 0);
    const int times = settings_.readInt(keys::kSettings, keys::kRedialTimes, 0);
    if (redialAfterBusy(rule, times, busyCount_)) {
        view_.setStatusText(kLineBusyRedialText);
        view_.setButtonText(kCancelCaption);
        view_.startTimer(kDialTimer, kRedialMs);
    }
}

void DialController::dialEvent(int state, int error) {
    if (closed_ || mode_ != Dial) {
        return;
    }
    if (const char* text = dialStateText(state)) {
        lastText() = text;
    }
    view_.setStatusText(lastText());
    if (error != 0) {
        showError(error, false);
        applyBusyRule(error);
    }
    if (state == platform::RASCS_Connected) {
        const std::string url = settings_.readString(keys::kSettings, keys::kUrlToLaunch);
        if (settings_.readInt(keys::kSettings, keys::kLaunchBrowser, 0) == 1 && !url.empty() &&
            openUrl_) {
            openUrl_(url);
        }
    }
    if (state == platform::RASCS_Connected || state == platform::RASCS_Disconnected) {
        closed_ = true;
        if (gEventTarget == this) {
            gEventTarget = nullptr;
        }
        view_.finish();
    }
}

void DialController::cancel() {
    if (closed_) {
        return;
    }
    closed_ = true;
    if (gEventTarget == this) {
        gEventTarget = nullptr;
    }
    view_.stopTimer(kDialTimer);
    if (mode_ == Dial && handle_ != 0) {
        ras_.hangUp(handle_);
    }
    view_.finish();
}

}  // namespace tavu
