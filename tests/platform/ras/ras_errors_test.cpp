#include "platform/ras/ras_errors.h"

#include <gtest/gtest.h>

#include "platform/ras/ras_codes.h"
#include "platform/ras/remote_access.h"

namespace tavu::platform {
namespace {

// A detail that brings its own full stop, as a D-Bus message or a file's error often does, is
// shown with one full stop at the end, by every service.
TEST(RasErrors, DetailEndingInFullStopGivesOneFullStopFromEveryService) {
    for (const RasBackend backend :
         {RasBackend::Simulated, RasBackend::Pppd, RasBackend::NetworkManager}) {
        const std::string text = rasErrorText(ERROR_LINE_BUSY, backend);
        EXPECT_EQ(rasTextWithDetail(text, "The modem said BUSY."),
                  "The line is busy (The modem said BUSY).");
        EXPECT_EQ(rasTextWithDetail(text, "NetworkManager: No such device..."),
                  "The line is busy (NetworkManager: No such device).");
        EXPECT_EQ(rasTextWithDetail(text, ""), "The line is busy.");
    }
}

// A detail without a text of its own, or one that is the whole message, ends in one full stop
// whether it brought one or not.
TEST(RasErrors, DetailAloneEndsInOneFullStop) {
    EXPECT_EQ(rasTextWithDetail("", "NetworkManager refused"), "NetworkManager refused.");
    EXPECT_EQ(rasTextWithDetail("", "NetworkManager refused."), "NetworkManager refused.");
    EXPECT_EQ(rasTextWithDetail("Access is denied.", "Ask the administrator.", true),
              "Ask the administrator.");
    EXPECT_EQ(rasTextWithDetail("", "Really?"), "Really?");
}

// The codes only the real dial-up services report have texts there and none on the simulated
// line, whose dial window then shows its own "Undefined RAS Dial Error" text.
TEST(RasErrors, TextsOfEachService) {
    EXPECT_EQ(rasErrorText(ERROR_FROM_DEVICE, RasBackend::Pppd), "The modem reported an error.");
    EXPECT_EQ(rasErrorText(ERROR_FROM_DEVICE, RasBackend::NetworkManager),
              "The modem reported an error.");
    EXPECT_EQ(rasErrorText(ERROR_UNKNOWN, RasBackend::NetworkManager),
              rasErrorText(ERROR_UNKNOWN, RasBackend::Pppd));
    EXPECT_EQ(rasErrorText(ERROR_FROM_DEVICE, RasBackend::Simulated), "");
    EXPECT_EQ(rasErrorText(ERROR_UNKNOWN, RasBackend::Simulated), "");
    EXPECT_EQ(rasErrorText(ERROR_PPP_TIMEOUT, RasBackend::NetworkManager), "");
    EXPECT_NE(rasErrorText(ERROR_CANNOT_OPEN_PHONEBOOK, RasBackend::Pppd),
              rasErrorText(ERROR_CANNOT_OPEN_PHONEBOOK, RasBackend::NetworkManager));
    EXPECT_EQ(rasErrorText(ERROR_AUTHENTICATION_FAILURE, RasBackend::Simulated),
              rasErrorText(ERROR_AUTHENTICATION_FAILURE, RasBackend::Pppd));
    EXPECT_EQ(rasErrorText(12345, RasBackend::Pppd), "");
}

}  // namespace
}  // namespace tavu::platform
