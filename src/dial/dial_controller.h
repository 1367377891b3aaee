#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tavu {

class SettingsStore;
namespace platform {
class RemoteAccess;
}

// Texts of the progress window.
inline constexpr const char* kConnectingToServerText = "Connecting to server...";
inline constexpr const char* kLineBusyRedialText = "Line is busy.\nRedialing, please wait...";
inline constexpr const char* kCancelCaption = "Cancel";
inline constexpr const char* kOkCaption = "OK";

// The text of a dial state, or null for a state without a text of its own.
const char* dialStateText(int state);

// The busy rule: whether the busy result number busyCount (counted from 1) is redialled under
// RedialWhenBusy `rule` (1: at most `times`, 2: always, anything else: never).
bool redialAfterBusy(int rule, int times, int busyCount);

// The dialling work of the progress window, without the window. The window gives it a view: the
// status text, the action button's caption, its one-shot timers (by number) and its closing.
// Dial events of the remote-access service go to the dial-mode controller that claimed them
// last, as one process-wide target, so a second dial window opened while one is shown takes them
// over; mail and upgrade windows never take them, and their Cancel never hangs up.
class DialController {
  public:
    class View {
      public:
        virtual ~View() = default;
        virtual void setStatusText(const std::string& text) = 0;
        virtual void setButtonText(const std::string& text) = 0;
        virtual void startTimer(int id, int periodMs) = 0;
        virtual void stopTimer(int id) = 0;
        // Closes the window with OK.
        virtual void finish() = 0;
    };

    enum Mode { UpgradeCheck = 1, MailCheck = 2, Dial = 3 };
    static constexpr int kDialTimer = 3;
    static constexpr int kFirstAttemptMs = 1000;
    static constexpr int kRedialMs = 1500;

    // openUrl: opens an address in the browser (the success step).
    DialController(int mode, SettingsStore& settings, platform::RemoteAccess& ras, View& view,
                   std::function<void(const std::string&)> openUrl);
    ~DialController();
    DialController(const DialController&) = delete;
    DialController& operator=(const DialController&) = delete;

    // Opening: reads the entry (the one given, else the default); in dial mode also claims the
    // dial events, shows "Connecting to ENTRY..." and arms the first attempt.
    void open(const std::string& entry = {});
    // The window's timer `id` fired: in dial mode the events are claimed again and timer 3
    // runs an attempt.
    void timerFired(int id);
    // A dial event: the state reached and that step's error code.
    void dialEvent(int state, int error);
    // The action button and Escape: hangs up an attempt that was started (dial mode), then
    // closes the window.
    void cancel();

    int mode() const { return mode_; }
    const std::string& entryName() const { return entryName_; }
    int busyCount() const { return busyCount_; }
    std::uint64_t connectionHandle() const { return handle_; }

    // The text of the last dial event that had one, for the whole process.
    static const std::string& lastStatusText();
    static void resetLastStatusText();
    // The controller that gets the dial events now, or null.
    static DialController* eventTarget();

  private:
    void attempt();
    void showError(int code, bool atOnce);
    void applyBusyRule(int code);
    void claimEvents();

    int mode_;
    SettingsStore& settings_;
    platform::RemoteAccess& ras_;
    View& view_;
    std::function<void(const std::string&)> openUrl_;
    std::string entryName_;
    int busyCount_ = 0;
    std::uint64_t handle_ = 0;
    bool closed_ = false;
};

}  // namespace tavu
