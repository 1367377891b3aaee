#pragma once

// Section and key names of the settings file, spelled as the file stores them.
namespace tavu::keys {

// Sections.
inline constexpr const char* kSettings = "Settings";
inline constexpr const char* kPrice = "Price";
inline constexpr const char* kSecurity = "Security";
inline constexpr const char* kConnections = "Connections";
inline constexpr const char* kInet = "Inet";
inline constexpr const char* kSkin = "Skin";
inline constexpr const char* kDialup = "Dialup";
inline constexpr const char* kWarnings = "Warnings";

// Settings: application and main window.
inline constexpr const char* kIniPath = "IniPath";
inline constexpr const char* kStartWhenWindows = "StartWhenWindows";
inline constexpr const char* kConfirmHangup = "ConfirmHangup";
inline constexpr const char* kConfirmExit = "ConfirmExit";
inline constexpr const char* kHideOnStart = "HideOnStart";
inline constexpr const char* kShowSplash = "ShowSplash";
inline constexpr const char* kShowWhenConnected = "ShowWhenConnected";
inline constexpr const char* kShowTime = "ShowTime";
inline constexpr const char* kGalvWindowPosl = "GalvWindowPosl";
inline constexpr const char* kGalvWindowPost = "GalvWindowPost";
inline constexpr const char* kGalvWindowPosr = "GalvWindowPosr";
inline constexpr const char* kGalvWindowPosb = "GalvWindowPosb";
inline constexpr const char* kGalvWindowMinimized = "GalvWindowMinimized";
inline constexpr const char* kDefaultCon = "DefaultCon";
inline constexpr const char* kCheckMailSuccessed = "CheckMailSuccessed";
inline constexpr const char* kSummaryWhen = "SummaryWhen";
inline constexpr const char* kSummaryUsers = "SummaryUsers";
// The first day of the billing period, 1 to 28.
inline constexpr const char* kBillingDay = "BillingDay";
// "ADDRESS:PORT" where the usage is served as metrics; empty: nothing listens.
inline constexpr const char* kMetricsListen = "MetricsListen";

// Settings: connection behaviour.
inline constexpr const char* kHangupComboState = "HangupComboState";
inline constexpr const char* kHangupInterval = "HangupInterval";
inline constexpr const char* kRedial = "Redial";
inline constexpr const char* kLaunchBrowser = "LaunchBrowser";
inline constexpr const char* kUrlToLaunch = "UrlToLaunch";
inline constexpr const char* kRedialWhenBusy = "RedialWhenBusy";
inline constexpr const char* kRedialTimes = "RedialTimes";

// Settings: sounds.
inline constexpr const char* kActionWhenConMade = "ActionWhenConMade";
inline constexpr const char* kSoundWhenConMade = "SoundWhenConMade";
inline constexpr const char* kActionWhenConDropped = "ActionWhenConDropped";
inline constexpr const char* kSoundWhenConDropped = "SoundWhenConDropped";

// Settings: e-mail.
inline constexpr const char* kCheckMail = "CheckMail";
inline constexpr const char* kCMailTime = "CMailTime";
inline constexpr const char* kCheckMailOnCon = "CheckMailOnCon";
inline constexpr const char* kMUser = "MUser";
inline constexpr const char* kMPassword = "MPassword";
inline constexpr const char* kMServer = "MServer";
inline constexpr const char* kMSecurity = "MSecurity";

// Settings: cost limits.
inline constexpr const char* kWarnWhenMonth = "WarnWhenMonth";
inline constexpr const char* kWarnWhenCall = "WarnWhenCall";
inline constexpr const char* kDisWhenMonth = "DisWhenMonth";
inline constexpr const char* kDisWhenCall = "DisWhenCall";
inline constexpr const char* kWarnWhenMonthInterval = "WarnWhenMonthInterval";
inline constexpr const char* kWarnWhenCallInterval = "WarnWhenCallInterval";
inline constexpr const char* kDisWhenMonthInterval = "DisWhenMonthInterval";
inline constexpr const char* kDisWhenCallInterval = "DisWhenCallInterval";

// Warnings: the data caps of the billing period, whole megabytes, 0 for none.
inline constexpr const char* kDataWarnMB = "DataWarnMB";
inline constexpr const char* kDataHangupMB = "DataHangupMB";
// Warnings: hang up a connection as soon as its modem starts to roam (0 or 1).
inline constexpr const char* kHangupWhenRoaming = "HangupWhenRoaming";

// Settings: the operator's own figures, asked of the modem. The USSD code ("*100#"), how often
// to ask by itself (hours, 0 = only by hand), the regular expressions whose first group is the
// data or the money left, and what the data number counts ("MB" or "GB").
inline constexpr const char* kBalanceUSSD = "BalanceUSSD";
inline constexpr const char* kBalanceEveryHours = "BalanceEveryHours";
inline constexpr const char* kBalanceDataPattern = "BalanceDataPattern";
inline constexpr const char* kBalanceMoneyPattern = "BalanceMoneyPattern";
inline constexpr const char* kBalanceDataUnit = "BalanceDataUnit";

// Settings: weekend flags and upgrade.
inline constexpr const char* kCheapInSat = "CheapInSat";
inline constexpr const char* kCheapInSun = "CheapInSun";
inline constexpr const char* kDisableUpgrade = "DisableUpgrade";
// The upgrade server, host or host:port.
inline constexpr const char* kUpgradeServer = "UpgradeServer";

// Settings: scheduled dial and hang-up.
inline constexpr const char* kDialSequenceComboState = "DialSequenceComboState";
inline constexpr const char* kDialTimerInterval = "DialTimerInterval";
inline constexpr const char* kDialTime = "DialTime";
inline constexpr const char* kDAtTime = "DAtTime";
inline constexpr const char* kDAfterTime = "DAfterTime";
inline constexpr const char* kDialSecsToDial = "DialSecsToDial";
inline constexpr const char* kDialTimerStatus = "DialTimerStatus";
inline constexpr const char* kHangupSequenceComboState = "HangupSequenceComboState";
inline constexpr const char* kHangupTimerInterval = "HangupTimerInterval";
inline constexpr const char* kHangupTime = "HangupTime";
inline constexpr const char* kHAtTime = "HAtTime";
inline constexpr const char* kHAfterTime = "HAfterTime";
inline constexpr const char* kHangupSecsToHangup = "HangupSecsToHangup";
inline constexpr const char* kHangupTimerStatus = "HangupTimerStatus";

// Price.
inline constexpr const char* kPricePerDial = "PricePerDial";
inline constexpr const char* kCostPerMinute = "CostPerMinute";
inline constexpr const char* kCheapCostPerMinute = "CheapCostPerMinute";
inline constexpr const char* kCheapTimeStart = "CheapTimeStart";
inline constexpr const char* kCheapTimeEnd = "CheapTimeEnd";
inline constexpr const char* kCheapTimeFromComboState = "CheapTimeFromComboState";
inline constexpr const char* kCheapTimeToComboState = "CheapTimeToComboState";
inline constexpr const char* kMinConTime = "MinConTime";
inline constexpr const char* kConnectionBlock = "ConnectionBlock";
inline constexpr const char* kFreeMonthTime = "FreeMonthTime";
// The price of a megabyte (1,000,000 bytes) sent or received, and the free megabytes of a period.
inline constexpr const char* kCostPerMB = "CostPerMB";
inline constexpr const char* kFreeMonthMB = "FreeMonthMB";
// The price of a megabyte used while roaming, in place of CostPerMB.
inline constexpr const char* kRoamingCostPerMB = "RoamingCostPerMB";

// Security.
inline constexpr const char* kEnabled = "Enabled";
inline constexpr const char* kWhenStarted = "WhenStarted";
inline constexpr const char* kWhenConfigured = "WhenConfigured";
inline constexpr const char* kPassword = "Password";

// Connections: RememberPassword; per entry, the entry name followed by these words.
inline constexpr const char* kRememberPassword = "RememberPassword";
inline constexpr const char* kEntryUserSuffix = "User";
inline constexpr const char* kEntryPasswordSuffix = "Password";

// Inet.
inline constexpr const char* kTimeServer = "TimeServer";
inline constexpr const char* kRemoteTime = "RemoteTime";

// Dialup: the names of the interfaces that count as dial-up connections besides those of link
// type PPP, as space-separated shell patterns.
inline constexpr const char* kInterfaces = "Interfaces";
// Dialup: where pppd's peer files, the chat scripts and the two programs are.
inline constexpr const char* kPeersDir = "PeersDir";
inline constexpr const char* kChatDir = "ChatDir";
inline constexpr const char* kPppd = "Pppd";
inline constexpr const char* kChat = "Chat";
// Dialup: the setuid helper through which a member of group dip who is not root dials and hangs
// up.
inline constexpr const char* kDialHelper = "DialHelper";
// Dialup: which service dials and lists the connections: auto, networkmanager or pppd.
inline constexpr const char* kBackend = "Backend";

// Skin (the key has the section's name).
inline constexpr const char* kSkinPath = "Skin";

}  // namespace tavu::keys
