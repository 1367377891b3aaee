#include "platform/kernel/system_info.h"

#include <gtest/gtest.h>

#include <string>

namespace tavu::platform {
namespace {

TEST(SystemInfo, VersionTextFromKernelRelease) {
    EXPECT_EQ(versionFromRelease("6.1.0-13-amd64"), "6.1");
    EXPECT_EQ(versionFromRelease("5.15.133.1-microsoft-standard-WSL2"), "5.15");
    EXPECT_EQ(versionFromRelease("4.10"), "4.10");
    EXPECT_EQ(versionFromRelease("4.09.1"), "4.9");
    EXPECT_EQ(versionFromRelease("6"), "6.0");
    EXPECT_EQ(versionFromRelease("6.rc1"), "6.0");
    EXPECT_EQ(versionFromRelease(""), "0.0");
    EXPECT_EQ(versionFromRelease("linux-6.1"), "0.0");
    EXPECT_EQ(versionFromRelease("99999999999.1"), "0.0");
}

TEST(SystemInfo, UserNameFallsBackInOrder) {
    EXPECT_EQ(pickUserName("alice", "bob", "carol"), "alice");
    EXPECT_EQ(pickUserName(nullptr, "bob", "carol"), "bob");
    EXPECT_EQ(pickUserName("", "", "carol"), "carol");
    EXPECT_EQ(pickUserName(nullptr, nullptr, nullptr), "");
    const std::string overlong(kMaxUserNameLength + 1, 'x');
    EXPECT_EQ(pickUserName(overlong.c_str(), nullptr, "carol"), "carol");
}

TEST(SystemInfo, ReadsTheRunningSystem) {
    LinuxSystemInfo info;
    const std::string version = info.versionText();
    EXPECT_NE(version, "0.0");
    EXPECT_NE(version.find('.'), std::string::npos);
    EXPECT_FALSE(info.userName().empty());
}

}  // namespace
}  // namespace tavu::platform
