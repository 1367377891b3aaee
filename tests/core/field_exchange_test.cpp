#include "core/field_exchange.h"

#include <gtest/gtest.h>

#include <clocale>

#include "core/prompter.h"

namespace tavu {
namespace {

TEST(FieldExchange, IntegerFieldsTakeBlanksAndOneSignOnly) {
    EXPECT_EQ(parseIntegerField(" 42 "), 42);
    EXPECT_EQ(parseIntegerField("+7"), 7);
    EXPECT_EQ(parseIntegerField("-3"), -3);
    EXPECT_EQ(parseIntegerField("2147483647"), 2147483647);
    for (const char* bad : {"", "  ", "4x", "1.5", "x4", "+-1", "- 1", "--1", "2147483648"}) {
        EXPECT_FALSE(parseIntegerField(bad).has_value()) << bad;
    }
}

TEST(FieldExchange, NumberFieldsUseThePointWhateverTheLocale) {
    const bool german = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    EXPECT_DOUBLE_EQ(*parseNumberField("0.15"), 0.15);
    EXPECT_DOUBLE_EQ(*parseNumberField(" +2 "), 2.0);
    EXPECT_DOUBLE_EQ(*parseNumberField(".5"), 0.5);
    EXPECT_DOUBLE_EQ(*parseNumberField("-1e3"), -1000.0);
    for (const char* bad : {"", "0,15", "abc", "1.5x", "inf", "nan", "1e999", "0x10", "1 2"}) {
        EXPECT_FALSE(parseNumberField(bad).has_value()) << bad;
    }
    // The shortest form, as the field shows a stored price.
    EXPECT_EQ(formatNumberField(0.15), "0.15");
    EXPECT_EQ(formatNumberField(0.0), "0");
    EXPECT_EQ(formatNumberField(2.0), "2");
    EXPECT_EQ(formatNumberField(0.1 + 0.2), "0.3");
    EXPECT_EQ(formatNumberField(1234.5678), "1234.5678");
    std::setlocale(LC_ALL, "C");
    if (!german) {
        GTEST_SKIP() << "no German locale on this machine: checked in the C locale only";
    }
}

TEST(FieldExchange, TheFirstBadFieldAndAllAfterItKeepTheirValues) {
    ScriptedPrompter prompter;
    FieldExchange fields(prompter, "Caption");
    int a = 1, b = 2, c = 3;
    double d = 4.5;
    std::string e = "old";
    fields.integer("10", a);
    fields.text("new", e);
    EXPECT_FALSE(fields.failed());
    fields.integerInRange("100001", b, 1, 100000);
    fields.integer("30", c);
    fields.number("7.5", d);
    fields.text("newer", e);
    EXPECT_TRUE(fields.failed());
    EXPECT_EQ(a, 10);
    EXPECT_EQ(b, 2);
    EXPECT_EQ(c, 3);
    EXPECT_EQ(d, 4.5);
    EXPECT_EQ(e, "new");
    ASSERT_EQ(prompter.shown.size(), 1u);  // one message, for the first failure only
    EXPECT_EQ(prompter.shown[0].text, "Please enter an integer between 1 and 100000.");
    EXPECT_EQ(prompter.shown[0].caption, "Caption");
}

}  // namespace
}  // namespace tavu
