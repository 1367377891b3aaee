#pragma once

#include <string>
#include <string_view>

namespace tavu::platform {

// Facts about the running system that the connection monitor reads once at start.
class SystemInfo {
  public:
    virtual ~SystemInfo() = default;
    // The name of the user logged on; empty when it cannot be read.
    virtual std::string userName() = 0;
    // The system's version as "major.minor", each number in decimal ("6.1").
    virtual std::string versionText() = 0;
};

// Reads the password database and the running kernel.
class LinuxSystemInfo : public SystemInfo {
  public:
    std::string userName() override;
    std::string versionText() override;
};

// Longest user name kept; a longer one counts as unreadable.
inline constexpr std::size_t kMaxUserNameLength = 255;

// The first of the candidates that is usable: the account name of the real user id, then $USER,
// then $LOGNAME. Null, empty or overlong candidates are passed over; empty when none is usable.
std::string pickUserName(const char* accountName, const char* userVar, const char* lognameVar);

// "major.minor" from a kernel release such as "6.1.0-13-amd64"; numbers are written without
// leading zeros. A release that does not start with a number gives "0.0"; a missing minor is 0.
std::string versionFromRelease(std::string_view release);

}  // namespace tavu::platform
