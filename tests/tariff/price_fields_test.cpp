#include "tariff/price_fields.h"

#include <gtest/gtest.h>

#include <string>

#include "tariff/tariff.h"

namespace tavu {
namespace {

TEST(PriceFields, TheCheapTimeListsHoldQuarterHoursAndTheMinuteBefore) {
    EXPECT_EQ(cheapStartText(0), "00:00");
    EXPECT_EQ(cheapStartText(1), "00:15");
    EXPECT_EQ(cheapStartText(kCheapStartDefaultIndex), "23:00");
    EXPECT_EQ(cheapStartText(95), "23:45");
    EXPECT_EQ(cheapEndText(0), "00:14");
    EXPECT_EQ(cheapEndText(kCheapEndDefaultIndex), "05:59");
    EXPECT_EQ(cheapEndText(95), "23:59");
    for (const int outside : {-1, 96, 1000}) {
        EXPECT_EQ(cheapStartText(outside), "");
        EXPECT_EQ(cheapEndText(outside), "");
    }
    // Every entry is read by the tariff as the minute it names.
    for (int i = 0; i < kCheapListSize; ++i) {
        EXPECT_EQ(tariffTimeSeconds(cheapStartText(i)), i * 15 * 60);
        EXPECT_EQ(tariffTimeSeconds(cheapEndText(i)), (i * 15 + 14) * 60);
    }
}

TEST(PriceFields, AcceptedTimeTextsReadAsTheyLook) {
    struct Case {
        const char* text;
        long long minutes;
    };
    for (const Case& c :
         {Case{"00:00", 0}, Case{"01:30", 90}, Case{"1:30", 90}, Case{"99:59", 99 * 60 + 59},
          Case{"0", 0}, Case{"90", 90}, Case{"7200", 7200}, Case{"9999999", 9999999}}) {
        EXPECT_TRUE(isTariffTimeText(c.text)) << c.text;
        EXPECT_EQ(tariffTimeSeconds(c.text), c.minutes * 60) << c.text;
    }
    // What the tariff would misread, and what is no time at all.
    for (const char* bad : {"", "1:5", "100:00", "1:60", "01:30:00", "abc", "1h30", "-5", "+5",
                            "12345678", ":30", "1:", "1 30", "1.5"}) {
        EXPECT_FALSE(isTariffTimeText(bad)) << bad;
    }
}

}  // namespace
}  // namespace tavu
