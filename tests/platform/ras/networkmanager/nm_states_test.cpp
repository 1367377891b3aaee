#include "platform/ras/networkmanager/nm_states.h"

#include <gtest/gtest.h>

#include "platform/ras/networkmanager/nm_remote_access.h"
#include "platform/ras/ras_codes.h"
#include "platform/ras/remote_access.h"

namespace tavu::platform {
namespace {

TEST(NmStates, DeviceStatesGiveDialStates) {
    EXPECT_EQ(nmDialState(40), RASCS_OpenPort);
    EXPECT_EQ(nmDialState(50), RASCS_ConnectDevice);
    EXPECT_EQ(nmDialState(60), RASCS_Authenticate);
    EXPECT_EQ(nmDialState(70), RASCS_AuthProject);
    EXPECT_EQ(nmDialState(80), RASCS_LogonNetwork);
    EXPECT_EQ(nmDialState(90), RASCS_LogonNetwork);
    EXPECT_EQ(nmDialState(100), RASCS_Connected);
    // Disconnected, deactivating and failed are not steps of a dial.
    EXPECT_EQ(nmDialState(30), -1);
    EXPECT_EQ(nmDialState(110), -1);
    EXPECT_EQ(nmDialState(120), -1);
}

TEST(NmStates, WhichConnectionsCount) {
    EXPECT_TRUE(nmConnectionCounts("gsm", 0, 0, false));
    EXPECT_TRUE(nmConnectionCounts("pppoe", 0, 0, false));
    EXPECT_FALSE(nmConnectionCounts("802-3-ethernet", 0, 0, false));
    EXPECT_TRUE(nmConnectionCounts("802-3-ethernet", 1, 0, false));    // metered: yes
    EXPECT_FALSE(nmConnectionCounts("802-3-ethernet", 2, 0, false));   // metered: no
    EXPECT_TRUE(nmConnectionCounts("802-11-wireless", 0, 3, false));   // guess yes
    EXPECT_FALSE(nmConnectionCounts("802-11-wireless", 0, 4, false));  // guess no
    EXPECT_FALSE(nmConnectionCounts("gsm", 1, 1, true));               // over a VPN
    EXPECT_FALSE(nmConnectionCounts("wireguard", 1, 1, false));
}

TEST(NmStates, DeviceReasonsWithCodesOfTheirOwn) {
    EXPECT_EQ(nmDeviceFailure(23).code, ERROR_LINE_BUSY);
    EXPECT_EQ(nmDeviceFailure(24).code, ERROR_NO_DIALTONE);
    EXPECT_EQ(nmDeviceFailure(25).code, ERROR_NO_CARRIER);
    EXPECT_EQ(nmDeviceFailure(26).code, ERROR_NO_ANSWER);
    EXPECT_EQ(nmDeviceFailure(27).code, ERROR_FROM_DEVICE);
    EXPECT_EQ(nmDeviceFailure(7).code, ERROR_AUTHENTICATION_FAILURE);
    EXPECT_EQ(nmDeviceFailure(14).code, ERROR_AUTHENTICATION_FAILURE);
    EXPECT_EQ(nmDeviceFailure(43).code, ERROR_PORT_NOT_AVAILABLE);
    EXPECT_EQ(nmDeviceFailure(52).code, ERROR_PORT_NOT_AVAILABLE);
    EXPECT_EQ(nmDeviceFailure(23).detail, "");
}

// A link that went down is not a refused password.
TEST(NmStates, PppDisconnectIsNotARefusedPassword) {
    EXPECT_EQ(nmDeviceFailure(13).code, ERROR_REMOTE_DISCONNECTION);
    EXPECT_NE(nmDeviceFailure(12).code, ERROR_AUTHENTICATION_FAILURE);
}

// SIM card and registration reasons show what NetworkManager means, not its number.
TEST(NmStates, SimAndRegistrationReasonsAreDescribed) {
    const NmFailure noSim = nmDeviceFailure(45);
    EXPECT_EQ(noSim.code, ERROR_FROM_DEVICE);
    EXPECT_EQ(noSim.detail, "the SIM card is not inserted");
    EXPECT_EQ(nmDeviceFailure(46).detail, "the SIM card needs its PIN");
    EXPECT_EQ(nmDeviceFailure(47).detail, "the SIM card needs its PUK");
    EXPECT_EQ(nmDeviceFailure(48).detail, "the SIM card is not the right one");
    EXPECT_EQ(nmDeviceFailure(30).detail, "the modem is not searching for a mobile network");
    EXPECT_EQ(nmDeviceFailure(31).detail, "the mobile network denied the registration");
    EXPECT_EQ(nmDeviceFailure(32).detail, "the registration with the mobile network timed out");
    EXPECT_EQ(nmDeviceFailure(33).detail, "the registration with the mobile network failed");
    for (const unsigned reason : {28u, 29u, 30u, 31u, 32u, 33u, 34u, 45u, 46u, 47u, 48u, 59u}) {
        EXPECT_EQ(nmDeviceFailure(reason).code, ERROR_FROM_DEVICE) << reason;
        EXPECT_EQ(nmDeviceFailure(reason).detail.find("reason"), std::string::npos) << reason;
    }
    // Not the modem's: the program does not know it, but says what it was.
    EXPECT_EQ(nmDeviceFailure(12).code, ERROR_UNKNOWN);
    EXPECT_EQ(nmDeviceFailure(12).detail, "PPP could not be started");
}

TEST(NmStates, UnknownReasonsKeepTheirNumber) {
    EXPECT_EQ(nmDeviceFailure(0).code, ERROR_UNKNOWN);
    EXPECT_EQ(nmDeviceFailure(999).detail, "NetworkManager's reason 999");
    EXPECT_EQ(nmActivationEnd(13).code, ERROR_UNKNOWN);
    EXPECT_EQ(nmActivationEnd(13).detail,
              "NetworkManager's reason 13 for the end of the activation");
}

TEST(NmStates, ActivationEnds) {
    EXPECT_EQ(nmActivationEnd(2).code, ERROR_USER_DISCONNECTION);
    EXPECT_EQ(nmActivationEnd(6).code, ERROR_NO_ANSWER);
    EXPECT_EQ(nmActivationEnd(9).code, ERROR_AUTHENTICATION_FAILURE);
    EXPECT_EQ(nmActivationEnd(10).code, ERROR_AUTHENTICATION_FAILURE);
    EXPECT_EQ(nmActivationEnd(2).detail, "");
}

// Without NetworkManager on the bus a dial fails with the modem's text and the reason in
// brackets, ending in one full stop.
TEST(NmStates, ServiceShowsTextWithDetail) {
    NetworkManagerRemoteAccess nm(QDBusConnection(QStringLiteral("tavu-no-bus")));
    std::uint64_t handle = 0;
    DialRequest request;
    request.entry = "Mobile";
    const int code = nm.dial(request, nullptr, handle);
    EXPECT_EQ(code, ERROR_PORT_NOT_AVAILABLE);
    EXPECT_EQ(nm.errorText(code),
              "The modem is not available: it is missing or used by another program "
              "(NetworkManager does not answer).");
}

}  // namespace
}  // namespace tavu::platform
