#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace tavu {

// What one mailbox check found.
struct MailCheckResult {
    enum class Kind { Count, NoMail, Failure, NoServer };
    Kind kind = Kind::Failure;
    std::uint32_t count = 0;  // Kind::Count: the number of messages waiting
};

inline constexpr const char* kNoNewMailText = "There are no new emails.";
inline constexpr const char* kMailFailureText =
    "Error connecting to the server.\nCheck your email settings!";
inline constexpr const char* kNoMailServerText = "No mail server is set: see Preferences, Email.";

// "You have 3 new email(s)", "There are no new emails.", the two-line failure text, or
// kNoMailServerText when no server is set.
std::string mailResultText(const MailCheckResult& result);

// A mailbox check with the stored settings. It blocks, so the progress window and the
// background check run it off the window's thread.
using MailCheckJob = std::function<MailCheckResult()>;

inline constexpr const char* kUpgradeConnectFailureText = "Error - can't connect to the server !!!";

// The upgrade query. It blocks and runs off the window's thread; it returns the server's answer
// ("OK" or a text) or kUpgradeConnectFailureText.
using UpgradeQueryJob = std::function<std::string()>;

}  // namespace tavu
