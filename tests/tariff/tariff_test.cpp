#include "tariff/tariff.h"

#include <gtest/gtest.h>

#include "core/settings_store.h"
#include "support/local_zone.h"
#include "support/temp_dir.h"

namespace tavu {
namespace {

// A Monday, so no weekend rule applies unless a test asks for one.
constexpr const char* kMonday = "07-12-2026";

Pricing price(const char* start, const char* end, const Tariff& t = {}, const BillingRules& r = {},
              const char* date = kMonday, const char* endDate = nullptr) {
    return priceRecord(date, start, endDate ? endDate : date, end, t, r);
}

BillingRules rules(const char* minLength, const char* block) {
    return BillingRules{tariffTimeSeconds(minLength), std::string_view(block) != "00:00",
                        tariffTimeSeconds(block)};
}

TEST(TariffReading, TimeTexts) {
    EXPECT_EQ(tariffTimeSeconds("00:00"), 0);
    EXPECT_EQ(tariffTimeSeconds("01:30"), 5400);
    EXPECT_EQ(tariffTimeSeconds("23:00"), 82800);
    EXPECT_EQ(tariffTimeSeconds("0:00"), 0);
    EXPECT_EQ(tariffTimeSeconds("1:05"), 3900);
    EXPECT_EQ(tariffTimeSeconds(""), 0);
    // A text without a colon counts minutes: "5" typed into a minutes field is 5 minutes.
    EXPECT_EQ(tariffTimeSeconds("5"), 300);
    EXPECT_EQ(tariffTimeSeconds("90"), 5400);
    EXPECT_EQ(tariffTimeSeconds("abc"), 0);

    EXPECT_EQ(clockSeconds("21:14:07"), 21 * 3600 + 14 * 60 + 7);
    EXPECT_EQ(clockSeconds("00:00:00"), 0);
    EXPECT_EQ(clockSeconds(""), 0);
    EXPECT_EQ(clockSeconds("garbage"), 0);

    const LogDate d = parseLogDate("05-06-1999");
    EXPECT_EQ(d.day, 5);
    EXPECT_EQ(d.month, 6);
    EXPECT_EQ(d.year, 1999);
    EXPECT_TRUE(d.valid());
    EXPECT_EQ(d.weekday(), 6);  // a Saturday
    EXPECT_FALSE(parseLogDate("31-02-2026").valid());
    EXPECT_TRUE(parseLogDate("29-02-2024").valid());
    EXPECT_FALSE(parseLogDate("29-02-2100").valid());
    EXPECT_FALSE(parseLogDate("\x01\xff-zz").valid());
}

TEST(TariffReading, FromTheSettingsFile) {
    test::TempDir dir;
    SettingsStore s(dir.file("tavu.ini"));
    const Tariff none = Tariff::read(s);
    EXPECT_EQ(none.pricePerDial, 0);
    EXPECT_EQ(none.cheapStart, 0);
    const BillingRules noRules = BillingRules::read(s);
    EXPECT_EQ(noRules.minLength, 0);
    EXPECT_FALSE(noRules.blocks);

    s.writeString("Price", "PricePerDial", "0.5000000000");
    s.writeString("Price", "CostPerMinute", "0.1000000000");
    s.writeString("Price", "CheapCostPerMinute", "junk");
    s.writeString("Price", "CheapTimeStart", "23:00");
    s.writeString("Price", "CheapTimeEnd", "05:59");
    s.writeString("Price", "ConnectionBlock", "0:00");
    s.writeInt("Settings", "CheapInSat", 1);
    s.writeInt("Settings", "CheapInSun", 2);  // only 1 switches a flag on
    const Tariff t = Tariff::read(s);
    EXPECT_DOUBLE_EQ(t.pricePerDial, 0.5);
    EXPECT_DOUBLE_EQ(t.costPerMinute, 0.1);
    EXPECT_DOUBLE_EQ(t.cheapCostPerMinute, 0);
    EXPECT_EQ(t.cheapStart, 82800);
    EXPECT_EQ(t.cheapEnd, 5 * 3600 + 59 * 60);
    EXPECT_TRUE(t.cheapSaturday);
    EXPECT_FALSE(t.cheapSunday);
    const BillingRules r = BillingRules::read(s);
    EXPECT_TRUE(r.blocks);  // "0:00" is not exactly "00:00" ...
    EXPECT_EQ(r.block, 0);  // ... but reads as zero and changes nothing
    EXPECT_EQ(price("10:00:00", "10:01:01", t, r).billed, 61);
}

TEST(Pricing, Durations) {
    EXPECT_EQ(price("10:00:00", "10:00:00").duration, 0);
    EXPECT_EQ(price("10:00:00", "10:20:30").duration, 1230);
    // Over midnight by the clock times alone (the end date is the next day here).
    EXPECT_EQ(price("23:50:00", "00:10:00", {}, {}, "07-12-2026", "08-12-2026").duration, 1200);
    // The same with an end date that is no date: the clock times decide.
    EXPECT_EQ(price("23:50:00", "00:10:00", {}, {}, "07-12-2026", "??").duration, 1200);
    // A 25-hour connection costs 25 hours.
    EXPECT_EQ(price("10:00:00", "11:00:00", {}, {}, "07-12-2026", "08-12-2026").duration,
              25 * 3600);
    // Dates across a month and a year end.
    EXPECT_EQ(price("23:00:00", "01:00:00", {}, {}, "31-12-2026", "01-01-2027").duration, 7200);
    // An end before the start by the dates falls back to the clock-time rule.
    EXPECT_EQ(price("10:00:00", "10:30:00", {}, {}, "08-12-2026", "07-12-2026").duration, 1800);
    // Junk times never give a negative duration.
    EXPECT_GE(priceRecord("x", "99:99:99", "y", "-5", {}, {}).duration, 0);
}

// The log holds local clock times: a span across a change to or from summer time counts the
// time that passed, and a time in the repeated hour is read as the shortest span allows.
TEST(Pricing, DurationsAcrossSummerTimeChanges) {
    ASSERT_TRUE(test::LocalZone::known("Europe/Helsinki")) << "the tzdata package is missing";
    test::LocalZone zone("Europe/Helsinki");
    Tariff t;
    t.costPerMinute = 1;
    // Back to winter time at 04:00 summer time, 25-10-2026: 03:30 summer to 03:20 winter time.
    const Pricing back = price("03:30:00", "03:20:00", t, {}, "25-10-2026");
    EXPECT_EQ(back.duration, 50 * 60);
    EXPECT_DOUBLE_EQ(back.cost, 50);
    EXPECT_EQ(price("03:10:00", "03:40:00", t, {}, "25-10-2026").duration, 30 * 60);
    EXPECT_EQ(price("02:00:00", "05:00:00", t, {}, "25-10-2026").duration, 4 * 3600);
    EXPECT_EQ(price("23:00:00", "23:00:00", t, {}, "24-10-2026", "25-10-2026").duration, 25 * 3600);
    // On to summer time at 03:00, 29-03-2026: the hour from 03:00 to 04:00 never happens.
    EXPECT_EQ(price("02:30:00", "04:30:00", t, {}, "29-03-2026").duration, 3600);
    EXPECT_EQ(price("23:30:00", "23:30:00", t, {}, "28-03-2026", "29-03-2026").duration, 23 * 3600);
    // An ordinary midnight is untouched.
    EXPECT_EQ(price("23:50:00", "00:10:00", t, {}, "07-12-2026", "08-12-2026").duration, 1200);
}

TEST(Pricing, MinimalLengthAndBlocks) {
    Tariff t;
    t.pricePerDial = 0.25;
    // Equal start and end, no minimum, no blocks: billed 0, cost = dial price.
    Pricing p = price("12:00:00", "12:00:00", t, rules("00:00", "00:00"));
    EXPECT_EQ(p.billed, 0);
    EXPECT_DOUBLE_EQ(p.cost, 0.25);

    EXPECT_EQ(price("12:00:00", "12:01:01", t, rules("00:00", "00:01")).billed, 120);
    EXPECT_EQ(price("12:00:00", "12:02:00", t, rules("00:00", "00:01")).billed, 120);
    p = price("12:00:00", "12:01:00", t, rules("00:05", "00:02"));
    EXPECT_EQ(p.minBilled, 300);
    EXPECT_EQ(p.billed, 360);
    // "5" typed into the minimal length is five minutes.
    EXPECT_EQ(price("12:00:00", "12:00:10", t, rules("5", "00:00")).billed, 300);
    // A minimal length bigger than the connection is billed whole.
    EXPECT_EQ(price("12:00:00", "12:00:10", t, rules("01:00", "00:00")).billed, 3600);
}

TEST(Pricing, BlockTestEqualsTheTenDecimalRatioTest) {
    for (std::int64_t block = 60; block <= 7200; block += 60) {
        for (std::int64_t billed = 0; billed <= 20000; billed += 7) {
            const bool whole =
                ratioIsWhole(static_cast<double>(billed) / static_cast<double>(block));
            const Pricing p = price("00:00:00", "00:00:00", {}, BillingRules{billed, true, block});
            EXPECT_EQ(p.billed == billed, whole) << billed << " / " << block;
        }
    }
}

TEST(Pricing, CheapWindowAcrossMidnight) {
    Tariff t;
    t.costPerMinute = 1;
    t.cheapCostPerMinute = 0.5;
    t.cheapStart = tariffTimeSeconds("23:00");
    t.cheapEnd = tariffTimeSeconds("05:59");
    EXPECT_FALSE(price("23:00:00", "23:10:00", t).cheap);
    EXPECT_TRUE(price("23:00:01", "23:10:00", t).cheap);
    EXPECT_TRUE(price("05:58:59", "06:10:00", t).cheap);
    EXPECT_FALSE(price("05:59:00", "06:10:00", t).cheap);
    // The whole call at the rate of its start.
    const Pricing normal = price("22:59:59", "02:00:00", t, {}, "07-12-2026", "08-12-2026");
    EXPECT_FALSE(normal.cheap);
    EXPECT_DOUBLE_EQ(normal.cost, 1.0 / 60.0 * normal.billed);
    const Pricing cheap = price("23:00:01", "23:10:00", t);
    EXPECT_DOUBLE_EQ(cheap.cost, 0.5 * (1.0 / 60.0) * 599);
}

TEST(Pricing, CheapWindowWithinOneDay) {
    Tariff t;
    t.cheapStart = tariffTimeSeconds("08:00");
    t.cheapEnd = tariffTimeSeconds("17:59");
    EXPECT_FALSE(price("08:00:00", "09:00:00", t).cheap);
    EXPECT_TRUE(price("08:00:01", "09:00:00", t).cheap);
    EXPECT_TRUE(price("17:58:59", "18:00:00", t).cheap);
    EXPECT_FALSE(price("17:59:00", "18:00:00", t).cheap);
    EXPECT_FALSE(price("20:00:00", "21:00:00", t).cheap);
    EXPECT_FALSE(price("03:00:00", "04:00:00", t).cheap);
}

TEST(Pricing, EqualOrAbsentWindowIsNeverCheap) {
    Tariff t;  // both absent
    EXPECT_FALSE(price("12:00:00", "13:00:00", t).cheap);
    EXPECT_FALSE(price("00:00:00", "01:00:00", t).cheap);
    t.cheapStart = t.cheapEnd = tariffTimeSeconds("10:00");
    EXPECT_FALSE(price("12:00:00", "13:00:00", t).cheap);
}

TEST(Pricing, Weekends) {
    Tariff t;
    t.cheapSaturday = true;
    EXPECT_TRUE(price("12:00:00", "13:00:00", t, {}, "05-12-2026").cheap);   // Saturday
    EXPECT_FALSE(price("12:00:00", "13:00:00", t, {}, "06-12-2026").cheap);  // Sunday
    t.cheapSunday = true;
    EXPECT_TRUE(price("12:00:00", "13:00:00", t, {}, "06-12-2026").cheap);
    // A date that is no date counts as a weekday.
    EXPECT_FALSE(price("12:00:00", "13:00:00", t, {}, "99-99-2026").cheap);
}

}  // namespace
}  // namespace tavu
