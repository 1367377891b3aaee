#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tavu::platform {

// Connection states of the remote-access service, numbered as the dial progress reports them.
inline constexpr int RASCS_OpenPort = 0;
inline constexpr int RASCS_PortOpened = 1;
inline constexpr int RASCS_ConnectDevice = 2;
inline constexpr int RASCS_DeviceConnected = 3;
inline constexpr int RASCS_AllDevicesConnected = 4;
inline constexpr int RASCS_Authenticate = 5;
inline constexpr int RASCS_AuthNotify = 6;
inline constexpr int RASCS_AuthProject = 10;
inline constexpr int RASCS_Authenticated = 14;
inline constexpr int RASCS_Projected = 18;
inline constexpr int RASCS_LogonNetwork = 21;
inline constexpr int RASCS_Connected = 8192;
inline constexpr int RASCS_Disconnected = 8193;

// Error codes of the remote-access service that the program acts on or reports.
inline constexpr int kRasOk = 0;
inline constexpr int ERROR_INVALID_HANDLE = 6;
inline constexpr int ERROR_ACCESS_DENIED = 5;
inline constexpr int ERROR_CANNOT_FIND_PHONEBOOK_ENTRY = 623;
inline constexpr int ERROR_PORT_NOT_AVAILABLE = 633;
inline constexpr int ERROR_NO_CARRIER = 679;
inline constexpr int ERROR_LINE_BUSY = 676;
inline constexpr int ERROR_NO_ANSWER = 678;
inline constexpr int ERROR_NO_DIALTONE = 680;
inline constexpr int ERROR_AUTHENTICATION_FAILURE = 691;
inline constexpr int ERROR_USER_DISCONNECTION = 631;
inline constexpr int ERROR_REMOTE_DISCONNECTION = 629;
inline constexpr int ERROR_HARDWARE_FAILURE = 630;
inline constexpr int ERROR_NOT_SUPPORTED = 50;

// One listed connection.
struct RasConnection {
    std::uint64_t handle = 0;
    std::string entryName;   // phone-book entry name
    std::string deviceType;  // "modem", ...
    std::string deviceName;  // the serial device or interface
};

// Where a connection comes from, so that a program started again can tell whether a connection it
// finds listed is the one it timed before: a mark of the process that owns the link (empty when
// there is none to name) and the moment the connection came up, in seconds since the epoch (0
// when the service cannot tell).
struct ConnectionOrigin {
    std::string mark;
    std::int64_t upSince = 0;
};

struct DialRequest {
    std::string entry;
    std::string user;
    std::string password;
};

// One step of a dial: the state reached and the error code of that step (0 for none).
using DialEventFn = std::function<void(int state, int error)>;

// The remote-access service: dial-up connections, their states, dialling and the phone book.
// Every call is made on the user-interface thread, and dial events are delivered there, in the
// order they happen.
class RemoteAccess {
  public:
    static constexpr std::size_t kMaxConnections = 20;

    virtual ~RemoteAccess() = default;

    // The active connections, at most kMaxConnections; false when the listing failed.
    virtual bool listConnections(std::vector<RasConnection>& out) = 0;
    // The RASCS_ state of one connection; RASCS_Disconnected for an unknown handle.
    virtual int connectionState(std::uint64_t handle) = 0;
    // 0, or an error code.
    virtual int hangUp(std::uint64_t handle) = 0;
    // Starts dialling; returns 0 (events follow through onEvent, handle is set) or an error code.
    virtual int dial(const DialRequest& request, DialEventFn onEvent, std::uint64_t& handle) = 0;
    // The text for an error code; empty when the service has none.
    virtual std::string errorText(int code) = 0;

    // What tells a listed connection from a later one that has the same handle; see
    // ConnectionOrigin. The default knows nothing more than the handle.
    virtual ConnectionOrigin connectionOrigin(std::uint64_t /*handle*/) { return {}; }

    // Phone book. listEntries fails when it cannot be read.
    virtual bool listEntries(std::vector<std::string>& out) = 0;
    virtual int createEntry() = 0;
    virtual int editEntry(const std::string& name) = 0;
    virtual int deleteEntry(const std::string& name) = 0;
    // The program that keeps an entry when it is not the service's own phone book
    // ("NetworkManager"); empty otherwise.
    virtual std::string entrySource(const std::string& /*name*/) { return {}; }

    // The entry editor is a window, which the service cannot open itself: the window program
    // hands each service the editor that fits it, and createEntry (with an empty name) and
    // editEntry open it through this. The editor returns 0 or an error code.
    using EntryEditorFn = std::function<int(const std::string& name)>;
    void setEntryEditor(EntryEditorFn editor) { entryEditor_ = std::move(editor); }

    // Called by the service, on the user-interface thread, when it learns that a connection may
    // have come up or gone down (a link event of the kernel, a signal of a network daemon), so
    // that the monitor looks at once instead of at its next poll. A service without such events
    // never calls it; the poll stays the fallback either way.
    using ChangeFn = std::function<void()>;
    void setChangeListener(ChangeFn listener) { changed_ = std::move(listener); }

  protected:
    void notifyChanged() {
        if (changed_)
            changed_();
    }

    EntryEditorFn entryEditor_;
    ChangeFn changed_;
};

}  // namespace tavu::platform
