#include <gtest/gtest.h>

#include "platform/ras/networkmanager/nm_remote_access.h"

namespace tavu::platform {
namespace {

// NetworkManager's metered states: 0 unknown, 1 yes, 2 no, 3 guess yes, 4 guess no.
TEST(NmMetered, ADeviceGuessedMeteredCounts) {
    EXPECT_TRUE(nmConnectionCounts("802-3-ethernet", 0, 3, false)) << "guess yes";
    EXPECT_TRUE(nmConnectionCounts("802-11-wireless", 0, 1, false)) << "yes";
    EXPECT_FALSE(nmConnectionCounts("802-11-wireless", 0, 4, false)) << "guess no";
    EXPECT_FALSE(nmConnectionCounts("802-3-ethernet", 0, 2, false)) << "no";
    EXPECT_FALSE(nmConnectionCounts("802-3-ethernet", 0, 0, false)) << "unknown";
    EXPECT_FALSE(nmConnectionCounts("vpn", 0, 3, true)) << "a VPN never counts";
}

}  // namespace
}  // namespace tavu::platform
