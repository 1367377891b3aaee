#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tavu {

// Command identifiers of the main window. The menus deliver them as commands; the skin's menu
// bar delivers them as numbered messages (those marked in kCommands).
enum CommandId : int {
    CmdExit = 1052,
    CmdAbout = 32774,
    CmdHelpContents = 32780,
    CmdReport = 32781,
    CmdHide = 32782,
    CmdMinimize = 32800,
    CmdHangup = 32812,
    CmdMailPreferences = 32813,
    CmdShow = 32815,
    CmdMailHide = 32820,
    CmdSummary = 32823,
    CmdConnections = 32834,
    CmdCheckMail = 32835,
    CmdCheckUpdate = 32836,
    CmdPrefGeneral = 32838,
    CmdPrefConnection = 32839,
    CmdPrefEmail = 32840,
    CmdPrefWarnings = 32841,
    CmdPrefPrice = 32842,
    CmdPrefSounds = 32843,
    CmdPrefUpgrade = 32845,
    CmdSecurity = 32846,
    CmdTimer = 32847,
    CmdConnect = 32848,
    CmdInetTools = 32852,
    CmdSkin = 32854,
    CmdPerformance = 32856,
    CmdCheckBalance = 32860,
    CmdMessages = 32861,
};

// What a command does.
enum class Action {
    Dial,
    Hangup,
    CheckMail,
    CheckUpdate,
    InetTools,
    Performance,
    Preferences,            // at the page given in the entry
    PreferencesWithTimers,  // the mail icon's Preferences: page 0, then timers and cost checks
    Connections,
    Security,
    Timer,
    Skin,
    Report,
    Summary,
    HelpContents,
    About,
    Hide,
    Minimize,
    Exit,
    Show,
    MailHide,
    CheckBalance,  // asks the operator for the balance
    Messages,      // the operator's text messages kept in the modems
};

struct CommandEntry {
    int id;
    std::string_view skinMenuText;  // empty: not in the skin's menu
    std::string_view trayMenuText;  // empty: not in the main tray menu
    bool asMessage;                 // also accepted as a window message of that number
    Action action;
    int page;  // Preferences page, 0 for none
};

inline constexpr std::array<CommandEntry, 29> kCommands = {{
    {CmdConnect, "Connect", "&Connect", true, Action::Dial, 0},
    {CmdHangup, "Hangup", "&Hangup", true, Action::Hangup, 0},
    {CmdCheckMail, "Check email", "Check for new mail", true, Action::CheckMail, 0},
    {CmdCheckUpdate, "Check update", "Check for TAVU update", true, Action::CheckUpdate, 0},
    {CmdInetTools, "Inet Tools", "Inet Tools", true, Action::InetTools, 0},
    {CmdPerformance, "Performance", "Performance", true, Action::Performance, 0},
    {CmdCheckBalance, "Check balance", "Check balance", true, Action::CheckBalance, 0},
    {CmdMessages, "Messages", "Messages", true, Action::Messages, 0},
    {CmdPrefGeneral, "Preferences", "Configuration - General", true, Action::Preferences, 1},
    {CmdPrefConnection, "", "Configuration - Connection", true, Action::Preferences, 2},
    {CmdPrefEmail, "", "Configuration - Email Watch", true, Action::Preferences, 3},
    {CmdPrefWarnings, "", "Configuration - Warnings", true, Action::Preferences, 4},
    {CmdPrefPrice, "", "Configuration - Price", true, Action::Preferences, 5},
    {CmdPrefSounds, "", "Configuration - Sounds", true, Action::Preferences, 6},
    {CmdPrefUpgrade, "", "Configuration - Upgrade", true, Action::Preferences, 7},
    {CmdConnections, "Connections", "Configuration - Connections", true, Action::Connections, 0},
    {CmdSecurity, "Security", "Configuration - Security", true, Action::Security, 0},
    {CmdTimer, "Timer", "Configuration - Timer", true, Action::Timer, 0},
    {CmdSkin, "Skin", "Configuration - Skins", true, Action::Skin, 0},
    {CmdReport, "Report", "&Report", true, Action::Report, 0},
    {CmdSummary, "Summary", "&Summary", true, Action::Summary, 0},
    {CmdHelpContents, "&Contents", "&Contents", true, Action::HelpContents, 0},
    {CmdAbout, "&About", "&About", true, Action::About, 0},
    {CmdHide, "Hide", "", true, Action::Hide, 0},
    {CmdMinimize, "Minimize", "", true, Action::Minimize, 0},
    {CmdExit, "Exit", "&Exit", true, Action::Exit, 0},
    {CmdShow, "", "&Show TAVU", true, Action::Show, 0},
    {CmdMailHide, "", "", false, Action::MailHide, 0},
    {CmdMailPreferences, "", "", true, Action::PreferencesWithTimers, 0},
}};

// The entry of a command identifier, if there is one.
constexpr std::optional<CommandEntry> findCommand(int id) {
    for (const CommandEntry& e : kCommands) {
        if (e.id == id) {
            return e;
        }
    }
    return std::nullopt;
}

// The entry of a numbered window message: only commands marked as messages answer to one.
constexpr std::optional<CommandEntry> findMessageCommand(int message) {
    const auto e = findCommand(message);
    return e && e->asMessage ? e : std::nullopt;
}

// Actions of the skin's buttons 0 to 11; button 11 pops up the tray menu instead.
enum class ButtonAction {
    About,
    Minimize,
    HideOnly,
    Dial,
    Hangup,
    CheckMailWithStatus,
    Timer,
    Summary,
    PreferencesGeneral,
    Security,
    HelpContents,
    TrayMenu
};
inline constexpr int kSkinButtonActions = 12;

// The tray menu's layout: a command, a separator (0) or the start (-1) and end (-2) of a popup
// whose title follows in kTrayPopupTitles.
inline constexpr int kMenuSeparator = 0;
inline constexpr int kMenuPopupStart = -1;
inline constexpr int kMenuPopupEnd = -2;

inline constexpr std::array<int, 37> kTrayMenuLayout = {
    CmdShow,           kMenuSeparator,  kMenuPopupStart, CmdConnect,     CmdHangup,
    CmdInetTools,      CmdPerformance,  kMenuPopupEnd,   kMenuSeparator, CmdCheckMail,
    CmdCheckUpdate,    CmdCheckBalance, CmdMessages,     kMenuSeparator, CmdPrefGeneral,
    CmdPrefConnection, CmdPrefEmail,    CmdPrefWarnings, CmdPrefPrice,   CmdPrefSounds,
    CmdPrefUpgrade,    kMenuSeparator,  CmdConnections,  CmdSecurity,    CmdTimer,
    CmdSkin,           kMenuSeparator,  kMenuPopupStart, CmdReport,      CmdSummary,
    kMenuPopupEnd,     kMenuPopupStart, CmdHelpContents, CmdAbout,       kMenuPopupEnd,
    kMenuSeparator,    CmdExit,
};
inline constexpr std::array<std::string_view, 3> kTrayPopupTitles = {"Connection", "&Report",
                                                                     "&Help"};

// The skin's built-in menu (161), in the same form: its top level holds the popups "Connection",
// "Preferences", "Report", "Help" and "View" and the item "Exit". It has no separators.
inline constexpr std::array<int, 30> kSkinMenuLayout = {
    kMenuPopupStart, CmdConnect,      CmdHangup,       CmdCheckMail,  CmdCheckUpdate,
    CmdInetTools,    CmdPerformance,  CmdCheckBalance, CmdMessages,   kMenuPopupEnd,
    kMenuPopupStart, CmdPrefGeneral,  CmdConnections,  CmdSecurity,   CmdTimer,
    CmdSkin,         kMenuPopupEnd,   kMenuPopupStart, CmdReport,     CmdSummary,
    kMenuPopupEnd,   kMenuPopupStart, CmdHelpContents, CmdAbout,      kMenuPopupEnd,
    kMenuPopupStart, CmdHide,         CmdMinimize,     kMenuPopupEnd, CmdExit,
};
inline constexpr std::array<std::string_view, 5> kSkinPopupTitles = {"Connection", "Preferences",
                                                                     "Report", "Help", "View"};

}  // namespace tavu
