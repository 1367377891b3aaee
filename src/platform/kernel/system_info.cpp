#include "platform/kernel/system_info.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace tavu::platform {

namespace {

// Reads a decimal number of at most 9 digits at pos; false when there is none or it is longer.
bool readNumber(std::string_view text, std::size_t& pos, long& out) {
    const std::size_t start = pos;
    long value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (pos - start >= 9) {
            return false;
        }
        value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    if (pos == start) {
        return false;
    }
    out = value;
    return true;
}

}  // namespace

std::string pickUserName(const char* accountName, const char* userVar, const char* lognameVar) {
    for (const char* candidate : {accountName, userVar, lognameVar}) {
        if (candidate == nullptr) {
            continue;
        }
        const std::size_t len = std::strlen(candidate);
        if (len > 0 && len <= kMaxUserNameLength) {
            return std::string(candidate, len);
        }
    }
    return {};
}

std::string versionFromRelease(std::string_view release) {
    std::size_t pos = 0;
    long major = 0;
    long minor = 0;
    if (!readNumber(release, pos, major)) {
        return "0.0";
    }
    if (pos < release.size() && release[pos] == '.') {
        ++pos;
        if (!readNumber(release, pos, minor)) {
            minor = 0;
        }
    }
    return std::to_string(major) + "." + std::to_string(minor);
}

std::string LinuxSystemInfo::userName() {
    std::string account;
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size <= 0 || size > 65536) {
        size = 16384;
    }
    std::vector<char> buf(static_cast<std::size_t>(size));
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr) {
        account = found->pw_name;
    }
    return pickUserName(account.empty() ? nullptr : account.c_str(), std::getenv("USER"),
                        std::getenv("LOGNAME"));
}

std::string LinuxSystemInfo::versionText() {
    utsname names{};
    if (::uname(&names) != 0) {
        return "0.0";
    }
    return versionFromRelease(
        std::string_view(names.release, ::strnlen(names.release, sizeof names.release)));
}

}  // namespace tavu::platform
