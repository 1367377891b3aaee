#include "core/text.h"

#include <gtest/gtest.h>

#include <clocale>

namespace tavu {
namespace {

TEST(Text, LeadingNumbers) {
    EXPECT_EQ(leadingInt("  42abc"), 42);
    EXPECT_EQ(leadingInt("-7"), -7);
    EXPECT_EQ(leadingInt("+3"), 3);
    EXPECT_EQ(leadingInt("x1"), 0);
    EXPECT_EQ(leadingInt(""), 0);
    EXPECT_EQ(leadingInt("99999999999999999999999"), INT64_MAX);
    EXPECT_EQ(leadingInt32("99999999999"), INT32_MAX);
    EXPECT_EQ(leadingInt32("-99999999999"), INT32_MIN);

    EXPECT_DOUBLE_EQ(leadingDouble("0.1000000000"), 0.1);
    EXPECT_DOUBLE_EQ(leadingDouble(" 2.5 EUR"), 2.5);
    EXPECT_DOUBLE_EQ(leadingDouble("-1.5"), -1.5);
    EXPECT_DOUBLE_EQ(leadingDouble(".5"), 0.5);
    EXPECT_DOUBLE_EQ(leadingDouble("3."), 3.0);
    EXPECT_DOUBLE_EQ(leadingDouble("1e3x"), 1000.0);
    EXPECT_DOUBLE_EQ(leadingDouble("1e"), 1.0);
    EXPECT_DOUBLE_EQ(leadingDouble("0,5"), 0.0);  // "." is the only separator
    EXPECT_DOUBLE_EQ(leadingDouble("abc"), 0.0);
    EXPECT_DOUBLE_EQ(leadingDouble("nan"), 0.0);
    EXPECT_DOUBLE_EQ(leadingDouble("inf"), 0.0);
    EXPECT_DOUBLE_EQ(leadingDouble("1e999"), 0.0);
}

TEST(Text, Formats) {
    EXPECT_EQ(formatHms(0), "00:00:00");
    EXPECT_EQ(formatHms(3661), "01:01:01");
    EXPECT_EQ(formatHms(25 * 3600), "25:00:00");
    EXPECT_EQ(formatHms(-5), "00:00:00");
    EXPECT_EQ(formatFixed(6.5, 2), "6.50");
    EXPECT_EQ(formatFixed(-1.5, 2), "-1.50");
    EXPECT_EQ(formatFixed(0.005, 2), "0.01");
    EXPECT_EQ(formatFixed(1234567.4, 0), "1234567");
    EXPECT_EQ(formatFixed(0.1, 10), "0.1000000000");
    EXPECT_EQ(formatDate(5, 6, 1999), "05-06-1999");
    EXPECT_EQ(formatClock(21, 4, 7), "21:04:07");
}

TEST(Text, NumbersIgnoreTheUsersLocale) {
    if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
        GTEST_SKIP() << "no German locale on this machine";
    }
    EXPECT_EQ(formatFixed(2.25, 2), "2.25");
    EXPECT_DOUBLE_EQ(leadingDouble("2.25"), 2.25);
    std::setlocale(LC_ALL, "C");
}

TEST(Text, TrimAndCase) {
    EXPECT_EQ(trim("  a b \t\r"), "a b");
    EXPECT_EQ(trim("   "), "");
    EXPECT_TRUE(equalsIgnoreCase("Settings", "sETTINGS"));
    EXPECT_FALSE(equalsIgnoreCase("Settings", "Setting"));
}

// Terminal output: C1 and the controls that turn the text around become "?", letters of
// right-to-left scripts and other characters beyond ASCII stay.
TEST(Text, PrintableTextRemovesDirectionControls) {
    EXPECT_EQ(printableText("txt.\xE2\x80\xAE"
                            "exe"),
              "txt.?exe");
    EXPECT_EQ(printableText("\xE2\x80\xAA\xE2\x80\xAB\xE2\x80\xAC\xE2\x80\xAD"), "????");
    EXPECT_EQ(printableText("\xE2\x81\xA6\xE2\x81\xA7\xE2\x81\xA8\xE2\x81\xA9"), "????");
    EXPECT_EQ(printableText("\xE2\x80\x8E\xE2\x80\x8F\xD8\x9C\xC2\x9B"), "????");
    // Neighbours of the controls are ordinary characters.
    EXPECT_EQ(printableText("\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA\xD7\x90\xC2\xA0"),
              "\xE2\x80\xA9\xE2\x80\xAF\xE2\x81\xA5\xE2\x81\xAA\xD7\x90\xC2\xA0");
}

}  // namespace
}  // namespace tavu
