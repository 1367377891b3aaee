#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tavu::platform {

// 3GPP registration states, numbered as ModemManager numbers them.
inline constexpr int kRegistrationIdle = 0;
inline constexpr int kRegistrationHome = 1;
inline constexpr int kRegistrationSearching = 2;
inline constexpr int kRegistrationDenied = 3;
inline constexpr int kRegistrationUnknown = 4;
inline constexpr int kRegistrationRoaming = 5;
inline constexpr int kRegistrationHomeSmsOnly = 6;
inline constexpr int kRegistrationRoamingSmsOnly = 7;
inline constexpr int kRegistrationRoamingCsfbNotPreferred = 10;

// Whether a registration state means a foreign network: plain roaming, and its SMS-only and
// CSFB-not-preferred forms.
bool isRoamingRegistration(int registration);

// What the user is told when no modem can send the balance code.
inline constexpr const char* kNoUssdModemText = "No modem that can ask for the balance.";

// The longest text a modem's reply or message keeps, in bytes; more is cut at a character.
inline constexpr std::size_t kModemTextMax = 4096;

// A text from the modem daemon made fit to show and store: printable (control characters but
// tabs and line ends become '?'), valid UTF-8 (other bytes become '?'), at most maxBytes bytes,
// cut at a whole character.
std::string cleanModemText(std::string_view raw, std::size_t maxBytes = kModemTextMax);

// The name of the best access technology in ModemManager's bitmask of them ("5G", "LTE",
// "UMTS", "GSM", ...); empty when none is known.
std::string accessTechnologyName(std::uint32_t bits);

// One modem the daemon knows.
struct ModemInfo {
    std::string id;                  // the daemon's object path; what the other calls take
    int index = -1;                  // the number the path ends with; what --modem N names
    std::string model;               // cleaned, for messages
    std::vector<std::string> ports;  // its devices: "ttyUSB2", "cdc-wdm0", "wwan0", ...
};

// Which modem a connection uses: the one numbered index when index >= 0 (none when no modem has
// that number); else the one whose id or one of whose ports is device; else the only modem
// present. Empty when there is no such modem, or several and none fits.
std::string chooseModemFrom(const std::vector<ModemInfo>& modems, const std::string& device,
                            int index);

struct ModemStatus {
    bool present = false;  // the modem is there and the daemon answered for it
    int registration = kRegistrationUnknown;
    bool roaming = false;          // isRoamingRegistration(registration)
    std::string accessTechnology;  // "GSM", "UMTS", "LTE", "5G", ...; empty when unknown
    int signalPercent = -1;        // -1 when unknown
};

// One text message kept in a modem. Texts are cleaned (cleanModemText).
struct ModemMessage {
    std::string id;  // the daemon's object path of the message
    std::string sender;
    std::string text;
    std::int64_t timestamp = 0;  // seconds since the epoch as the network stamped it; 0 unknown
};

// The outcome of a USSD request. The text is cleaned (cleanModemText): the operator's reply for
// Reply and NeedsResponse, a reason for Failed, empty otherwise.
struct UssdResult {
    enum Kind {
        Reply,          // the network's final answer
        NeedsResponse,  // the network asked for more; the session was cancelled
        NoModem,        // no such modem, or one that cannot do USSD
        Failed,         // the daemon or the network refused
        TimedOut        // no answer before the deadline
    };
    Kind kind = Failed;
    std::string text;
};

// The modems of the system, their text messages, their registration and signal, and USSD
// requests to the operator. Every call is made on the user-interface thread; the callbacks and
// the listener are called there too, later, from the event loop, never from within the call.
// Each callback is called exactly once.
class ModemService {
  public:
    virtual ~ModemService() = default;

    // Whether the modem daemon is on the bus now.
    virtual bool available() = 0;
    // The modems present; empty when there are none or the daemon cannot be asked.
    virtual std::vector<ModemInfo> modems() = 0;
    // chooseModemFrom over modems().
    virtual std::string chooseModem(const std::string& device, int index) {
        return chooseModemFrom(modems(), device, index);
    }

    // Sends a USSD code ("*100#") and hands back the answer, or TimedOut once deadlineMs have
    // passed without one.
    using UssdFn = std::function<void(const UssdResult&)>;
    virtual void initiateUssd(const std::string& modem, const std::string& code, int deadlineMs,
                              UssdFn done) = 0;

    // The messages received and kept in the modem, oldest first; ok is false when they could
    // not be read (error says why, cleaned).
    using MessagesFn = std::function<void(bool ok, const std::vector<ModemMessage>& messages,
                                          const std::string& error)>;
    virtual void listMessages(const std::string& modem, MessagesFn done) = 0;
    // Removes a message from the modem.
    using DoneFn = std::function<void(bool ok, const std::string& error)>;
    virtual void deleteMessage(const std::string& modem, const std::string& id, DoneFn done) = 0;

    // The last known registration and signal of a modem; present is false for an unknown one.
    virtual ModemStatus status(const std::string& modem) = 0;

    // What the service reports as it happens: a message that has arrived whole in a modem, once
    // each; a modem's registration, technology or signal that changed.
    struct Listener {
        std::function<void(const std::string& modem, const ModemMessage& message)> messageAdded;
        std::function<void(const std::string& modem, const ModemStatus& status)> statusChanged;
    };
    void setListener(Listener listener) { listener_ = std::move(listener); }

  protected:
    void notifyMessageAdded(const std::string& modem, const ModemMessage& message) {
        if (listener_.messageAdded)
            listener_.messageAdded(modem, message);
    }
    void notifyStatusChanged(const std::string& modem, const ModemStatus& status) {
        if (listener_.statusChanged)
            listener_.statusChanged(modem, status);
    }

    Listener listener_;
};

}  // namespace tavu::platform
