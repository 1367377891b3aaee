#include "platform/modem/modem_service.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavu::platform {
namespace {

TEST(AccessTechnology, NewestGenerationOfTheMaskWins) {
    EXPECT_EQ(accessTechnologyName(0), "");
    EXPECT_EQ(accessTechnologyName(1u << 1), "GSM");   // GSM
    EXPECT_EQ(accessTechnologyName(1u << 4), "GSM");   // EDGE
    EXPECT_EQ(accessTechnologyName(1u << 9), "UMTS");  // HSPA+
    EXPECT_EQ(accessTechnologyName(1u << 14), "LTE");
    EXPECT_EQ(accessTechnologyName(1u << 17), "LTE");  // NB-IoT
    // A non-standalone 5G cell reports LTE and 5G together.
    EXPECT_EQ(accessTechnologyName((1u << 14) | (1u << 15)), "5G");
    EXPECT_EQ(accessTechnologyName((1u << 3) | (1u << 5)), "UMTS");
    // Bits the daemon may add later name nothing rather than something wrong.
    EXPECT_EQ(accessTechnologyName(1u << 30), "");
    // "Any" sets every bit.
    EXPECT_EQ(accessTechnologyName(0xffffffffu), "5G");
}

TEST(Registration, RoamingStatesAreTheForeignOnes) {
    EXPECT_TRUE(isRoamingRegistration(kRegistrationRoaming));
    EXPECT_TRUE(isRoamingRegistration(kRegistrationRoamingSmsOnly));
    EXPECT_TRUE(isRoamingRegistration(kRegistrationRoamingCsfbNotPreferred));
    EXPECT_FALSE(isRoamingRegistration(kRegistrationHome));
    EXPECT_FALSE(isRoamingRegistration(kRegistrationHomeSmsOnly));
    EXPECT_FALSE(isRoamingRegistration(kRegistrationUnknown));
    EXPECT_FALSE(isRoamingRegistration(-5));
}

TEST(ModemText, ControlsAndBrokenBytesBecomeQuestionMarks) {
    EXPECT_EQ(cleanModemText("1.5 GB\x1b[31m left\x07"), "1.5 GB?[31m left?");
    EXPECT_EQ(cleanModemText("bad \xff\xfe end"), "bad ?? end");
    EXPECT_EQ(cleanModemText("Saldo 2,50 \xe2\x82\xac\nOK"), "Saldo 2,50 \xe2\x82\xac\nOK");
    EXPECT_EQ(cleanModemText(std::string("a\0b", 3)), "a?b");
}

TEST(ModemText, LongTextIsCutAtAWholeCharacter) {
    std::string huge(64 * 1024, 'x');
    EXPECT_EQ(cleanModemText(huge).size(), kModemTextMax);
    // A euro sign (three bytes) across the limit goes whole.
    const std::string text = "ab\xe2\x82\xac";
    EXPECT_EQ(cleanModemText(text, 4), "ab");
    EXPECT_EQ(cleanModemText(text, 5), text);
    EXPECT_EQ(cleanModemText(text, 0), "");
}

std::vector<ModemInfo> twoModems() {
    return {{"/org/freedesktop/ModemManager1/Modem/0", 0, "A", {"ttyUSB0", "ttyUSB2"}},
            {"/org/freedesktop/ModemManager1/Modem/3", 3, "B", {"cdc-wdm0", "wwan0"}}};
}

TEST(ModemChoice, IndexThenDeviceThenTheOnlyOne) {
    const auto modems = twoModems();
    EXPECT_EQ(chooseModemFrom(modems, "ttyUSB0", 3), modems[1].id);
    // A number no modem has chooses none, not another modem.
    EXPECT_EQ(chooseModemFrom(modems, "ttyUSB0", 1), "");
    EXPECT_EQ(chooseModemFrom(modems, "wwan0", -1), modems[1].id);
    EXPECT_EQ(chooseModemFrom(modems, "/dev/ttyUSB2", -1), modems[0].id);
    EXPECT_EQ(chooseModemFrom(modems, modems[1].id, -1), modems[1].id);
    // Two modems and no way to tell: none.
    EXPECT_EQ(chooseModemFrom(modems, "ppp0", -1), "");
    EXPECT_EQ(chooseModemFrom(modems, "", -1), "");
    EXPECT_EQ(chooseModemFrom({modems[1]}, "ppp0", -1), modems[1].id);
    EXPECT_EQ(chooseModemFrom({}, "", -1), "");
}

}  // namespace
}  // namespace tavu::platform
