#include "tariff/plan.h"

#include <gtest/gtest.h>

#include "core/settings_store.h"
#include "support/local_zone.h"
#include "support/temp_dir.h"
#include "tariff/billing_period.h"
#include "tariff/price_fields.h"
#include "tariff/tariff.h"

namespace tavu {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

Plan plan(std::string name, std::string match) {
    return Plan{name, parseMatch(match), "Plan " + name};
}

TEST(PlanReading, SectionsInFileOrderAndBadOnesNamed) {
    TempDir dir;
    const std::string path = dir.file("tavu.ini");
    std::string umlauts;  // forty characters of two bytes each
    for (int i = 0; i < 40; ++i) {
        umlauts += "\xc3\xa4";
    }
    const std::string file =
        "[Price]\nCostPerMinute=1\n"
        "[Plan Modem]\nMatch= ppp* , Modem ,,\n"
        "[Planet]\nMatch=x\n"  // not a plan
        "[Plan]\nMatch=y\n"
        "[Plan a,b]\nMatch=z\n"
        "[Plan Bell\x07here]\n"
        "[Plan a]b]\n"
        "[Plan default]\n"
        "[Plan \xff\xfe]\n"
        "[Plan " +
        std::string(41, 'x') +
        "]\n"
        "[plan MODEM]\nMatch=usb0\n"
        "[Plan   Travel SIM=2]\nMatch=wwan0\n"
        "[Plan " +
        umlauts + "]\n";
    writeFile(path, file);
    SettingsStore s(path);

    const PlanSet set = readPlans(s);
    ASSERT_EQ(set.plans.size(), 3u);
    EXPECT_EQ(set.plans[0].name, "Modem");
    EXPECT_EQ(set.plans[0].match, (std::vector<std::string>{"ppp*", "Modem"}));
    EXPECT_EQ(set.plans[1].name, "Travel SIM=2");
    EXPECT_EQ(set.plans[1].match, std::vector<std::string>{"wwan0"});
    EXPECT_EQ(set.plans[2].name, umlauts);
    EXPECT_TRUE(set.plans[2].match.empty());

    ASSERT_EQ(set.problems.size(), 8u);
    EXPECT_EQ(set.problems[0],
              "Settings section [Plan] is left out: a plan name is 1 to 40 "
              "characters.");
    EXPECT_NE(set.problems[1].find("[Plan a,b]"), std::string::npos);
    EXPECT_NE(set.problems[1].find("control character"), std::string::npos);
    EXPECT_NE(set.problems[2].find("[Plan Bell?here]"), std::string::npos);  // shown safely
    EXPECT_NE(set.problems[3].find("[Plan a]b]"), std::string::npos);
    EXPECT_NE(set.problems[4].find("default plan"), std::string::npos);
    EXPECT_NE(set.problems[5].find("not UTF-8"), std::string::npos);
    EXPECT_NE(set.problems[6].find("1 to 40"), std::string::npos);
    EXPECT_EQ(set.problems[7],
              "Settings section [plan MODEM] is left out: the plan \"Modem\" "
              "comes before it, and plan names match without regard to case.");

    // The plan names compare as section names do; the file is only read.
    EXPECT_EQ(set.find("modem"), &set.plans[0]);
    EXPECT_EQ(set.find("Default"), nullptr);
    EXPECT_EQ(readFile(path), file);
}

TEST(PlanMatching, FirstPlanThatCoversNameOrDeviceWins) {
    PlanSet set;
    set.plans = {plan("Home", "Home DSL, eth*"), plan("Modem", "ppp*,ttyUSB0"), plan("Any", "*")};
    EXPECT_EQ(planIndexFor(set, "Home DSL", "ppp0"), 0);  // by name, before Modem's device
    EXPECT_EQ(planIndexFor(set, "Provider", "ppp0"), 1);  // by device
    EXPECT_EQ(planIndexFor(set, "ttyUSB0", "x"), 1);      // a device name in the name field
    EXPECT_EQ(planIndexFor(set, "Provider", "ppp"), 1);   // "*" matches an empty ending
    EXPECT_EQ(planIndexFor(set, "home dsl", "PPP0"), 2);  // case counts
    EXPECT_EQ(planIndexFor(set, "", ""), 2);
    set.plans.pop_back();
    EXPECT_EQ(planIndexFor(set, "home dsl", "PPP0"), -1);
    EXPECT_EQ(planFor(set, "home dsl", "PPP0"), nullptr);
    EXPECT_EQ(planFor(set, "x", "eth1"), &set.plans[0]);
    EXPECT_EQ(planIndexFor(PlanSet{}, "Home DSL", "ppp0"), -1);

    // Only a "*" at the end is a wildcard; blanks inside a name count.
    EXPECT_TRUE(matchesName("a*b", "a*b"));
    EXPECT_FALSE(matchesName("a*b", "axb"));
    EXPECT_FALSE(matchesName("*b", "ab"));
    EXPECT_FALSE(matchesName("Home DSL", "Home  DSL"));
    EXPECT_EQ(parseMatch(" , ,"), std::vector<std::string>{});
}

TEST(PlanKeysReading, APlanReadsOnlyItsOwnSection) {
    TempDir dir;
    SettingsStore s(dir.file("tavu.ini"));
    s.writeString("Price", "CostPerMinute", "1");
    s.writeString("Price", "FreeMonthTime", "01:00");
    s.writeInt("Price", "FreeMonthMB", 7);
    s.writeString("Price", "MinConTime", "00:05");
    s.writeInt("Settings", "CheapInSat", 1);
    s.writeInt("Settings", "BillingDay", 15);
    s.writeInt("Settings", "WarnWhenMonth", 1);
    s.writeString("Settings", "WarnWhenMonthInterval", "2.5");
    s.writeInt("Settings", "DataWarnMB", 100);  // an old file's place of the cap
    s.writeString("Plan Modem", "Match", "ppp*");
    s.writeString("Plan Modem", "CostPerMB", "0.02");
    s.writeInt("Plan Modem", "CheapInSun", 1);
    s.writeString("Plan Modem", "ConnectionBlock", "00:01");
    s.writeInt("Plan Modem", "BillingDay", 29);  // out of range: the first
    s.writeInt("Plan Modem", "FreeMonthMB", -3);
    s.writeInt("Plan Modem", "DisWhenCall", 1);
    s.writeInt("Plan Modem", "DisWhenCallInterval", -1);
    s.writeInt("Plan Modem", "DataHangupMB", 500);
    s.writeInt("Plan SIM", "BillingDay", 28);

    const PlanSet set = readPlans(s);
    ASSERT_EQ(set.plans.size(), 2u);
    const PlanKeys modem(set.plans[0]);
    const PlanKeys sim(set.plans[1]);
    const PlanKeys none;

    // The default plan reads where it always did.
    const Tariff d = Tariff::read(s, none);
    EXPECT_EQ(d.costPerMinute, 1);
    EXPECT_TRUE(d.cheapSaturday);
    EXPECT_EQ(BillingRules::read(s).minLength, 300);
    EXPECT_EQ(freeMonthTimeText(s), "01:00");
    EXPECT_EQ(freeMonthMB(s), 7);
    EXPECT_EQ(billingDay(s), 15);
    EXPECT_TRUE(moneyLimitOn(s, "WarnWhenMonth"));
    EXPECT_EQ(readMoneyLimit(s, "WarnWhenMonthInterval"), 2.5);
    EXPECT_EQ(dataCapMB(s, "DataWarnMB"), 100);

    // A plan takes nothing from the default plan's sections.
    const Tariff m = Tariff::read(s, modem);
    EXPECT_EQ(m.costPerMinute, 0);
    EXPECT_EQ(m.costPerMB, 0.02);
    EXPECT_FALSE(m.cheapSaturday);
    EXPECT_TRUE(m.cheapSunday);
    const BillingRules mr = BillingRules::read(s, modem);
    EXPECT_EQ(mr.minLength, 0);
    EXPECT_TRUE(mr.blocks);
    EXPECT_EQ(mr.block, 60);
    EXPECT_EQ(freeMonthTimeText(s, modem), "00:00");
    EXPECT_EQ(freeMonthMB(s, modem), 0);
    EXPECT_EQ(billingDay(s, modem), 1);
    EXPECT_EQ(billingDay(s, sim), 28);
    EXPECT_FALSE(moneyLimitOn(s, "WarnWhenMonth", modem));
    EXPECT_TRUE(moneyLimitOn(s, "DisWhenCall", modem));
    EXPECT_EQ(readMoneyLimit(s, "WarnWhenMonthInterval", modem), 1);
    EXPECT_EQ(readMoneyLimit(s, "DisWhenCallInterval", modem), 4294967295.0);
    EXPECT_EQ(dataCapMB(s, "DataWarnMB", modem), 0);
    EXPECT_EQ(dataCapMB(s, "DataHangupMB", modem), 500);
    EXPECT_EQ(dataCapMB(s, "DataHangupMB"), 0);

    // Each plan has its own billing period: on 20 March 2024 the SIM's began on 28 February.
    const test::LocalZone utc("UTC");
    LocalDateTime now;
    now.year = 2024;
    now.month = 3;
    now.day = 20;
    const BillingPeriod p = currentBillingPeriod(s, now, sim);
    EXPECT_EQ(p.month, 2);
    EXPECT_EQ(p.day, 28);
    EXPECT_EQ(p.lengthSeconds(), 29 * 86400);  // 28 Feb to 28 Mar, the leap day included
    EXPECT_EQ(currentBillingPeriod(s, now).day, 15);
    EXPECT_EQ(currentBillingPeriod(s, now).month, 3);
    EXPECT_STREQ(periodFilterCaption(s, modem), "Only this month");
    EXPECT_STREQ(periodFilterCaption(s), "Only this period");
}

}  // namespace
}  // namespace tavu
