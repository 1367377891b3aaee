#include "metrics/exposition.h"

#include <gtest/gtest.h>

#include <sstream>

namespace tavu {
namespace {

MetricsFigures sample() {
    MetricsFigures f;
    f.version = "1.1 BETA";
    f.connections.push_back({"Provider", "ppp0", true, 120, 1000, 2000, 1.5});
    PeriodFigures p;
    p.plan = "Default";
    p.start = 1796083200;
    p.end = 1798761600;
    p.bytes = 3000;
    f.periods.push_back(p);
    return f;
}

// The lines of the text that start with the prefix.
std::vector<std::string> linesStarting(const std::string& text, const std::string& prefix) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) {
            out.push_back(line);
        }
    }
    return out;
}

TEST(Exposition, EveryFamilyHasOneHelpAndOneTypeLineBeforeItsSamples) {
    const std::string text = expositionText(sample());
    const char* families[] = {"tavu_up",
                              "tavu_build_info",
                              "tavu_connection_active",
                              "tavu_connection_seconds_total",
                              "tavu_transmit_bytes_total",
                              "tavu_receive_bytes_total",
                              "tavu_cost_total",
                              "tavu_period_start_timestamp_seconds",
                              "tavu_period_end_timestamp_seconds",
                              "tavu_period_bytes",
                              "tavu_period_seconds",
                              "tavu_period_cost",
                              "tavu_period_projected_bytes",
                              "tavu_period_projected_cost"};
    for (const std::string name : families) {
        EXPECT_EQ(linesStarting(text, "# HELP " + name + " ").size(), 1u) << name;
        const auto type = linesStarting(text, "# TYPE " + name + " ");
        ASSERT_EQ(type.size(), 1u) << name;
        const bool counter = name.size() > 6 && name.substr(name.size() - 6) == "_total";
        EXPECT_EQ(type[0], "# TYPE " + name + (counter ? " counter" : " gauge"));
        const auto typeAt = text.find("# TYPE " + name + " ");
        const auto sampleAt = text.find("\n" + name + (name == "tavu_up" ? " " : ""), typeAt);
        ASSERT_NE(sampleAt, std::string::npos) << name;
    }
    EXPECT_EQ(text.back(), '\n');
    EXPECT_NE(text.find("tavu_connection_active{connection=\"Provider\",device=\"ppp0\"} 1\n"),
              std::string::npos);
    EXPECT_NE(text.find("tavu_build_info{version=\"1.1 BETA\"} 1\n"), std::string::npos);
    EXPECT_NE(text.find("\ntavu_period_bytes{plan=\"Default\"} 3000\n"), std::string::npos);
}

TEST(Exposition, CapsAppearOnlyForThePlansThatSetThem) {
    MetricsFigures f = sample();
    EXPECT_EQ(expositionText(f).find("tavu_data_cap_bytes"), std::string::npos)
        << "no cap set: no family at all";
    PeriodFigures modem = f.periods[0];
    modem.plan = "Modem";
    f.periods.push_back(modem);
    f.periods[1].warnCapBytes = 1e9;
    const std::string text = expositionText(f);
    EXPECT_EQ(linesStarting(text, "tavu_data_cap_bytes{"),
              std::vector<std::string>{"tavu_data_cap_bytes{kind=\"warn\",plan=\"Modem\"} 1e+09"});
    EXPECT_EQ(linesStarting(text, "# TYPE tavu_data_cap_bytes ").size(), 1u);
}

TEST(Exposition, EveryPeriodFamilyHasOneSampleForEachPlanInOrder) {
    MetricsFigures f = sample();
    PeriodFigures modem = f.periods[0];
    modem.plan = "Modem";
    modem.bytes = 7;
    f.periods.push_back(modem);
    const std::string text = expositionText(f);
    for (const std::string name :
         {"tavu_period_start_timestamp_seconds", "tavu_period_end_timestamp_seconds",
          "tavu_period_bytes", "tavu_period_seconds", "tavu_period_cost",
          "tavu_period_projected_bytes", "tavu_period_projected_cost"}) {
        const auto samples = linesStarting(text, name + "{");
        ASSERT_EQ(samples.size(), 2u) << name;
        EXPECT_EQ(samples[0].rfind(name + "{plan=\"Default\"} ", 0), 0u) << samples[0];
        EXPECT_EQ(samples[1].rfind(name + "{plan=\"Modem\"} ", 0), 0u) << samples[1];
        EXPECT_TRUE(linesStarting(text, name + " ").empty()) << "never without the label";
    }
    EXPECT_NE(text.find("\ntavu_period_bytes{plan=\"Modem\"} 7\n"), std::string::npos);
}

TEST(Exposition, APlanNameCannotBreakOutOfItsLabel) {
    // Plan names come from the settings file: quotes and backslashes are allowed in them, and a
    // file edited by hand may hold bytes that are no UTF-8.
    MetricsFigures f = sample();
    f.periods[0].plan = "Bob's \"best\" \\ plan\xff";
    f.periods[0].hangupCapBytes = 5e9;
    const std::string text = expositionText(f);
    const std::string label = "plan=\"Bob's \\\"best\\\" \\\\ plan\xEF\xBF\xBD\"";
    EXPECT_NE(text.find("\ntavu_period_bytes{" + label + "} 3000\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\ntavu_data_cap_bytes{kind=\"hangup\"," + label + "} 5e+09\n"),
              std::string::npos);
}

TEST(LabelValue, EscapesBackslashQuoteAndLineFeedAndDropsOtherControls) {
    EXPECT_EQ(labelValue("a\\b\"c\nd"), "a\\\\b\\\"c\\nd");
    using namespace std::string_literals;
    EXPECT_EQ(labelValue("a\rb\tc\x1b[31md\x7f"
                         "e\0f"s),
              "abc[31mdef");
    EXPECT_EQ(labelValue("a\xC2\x85z"), "az") << "C1 control";
    EXPECT_EQ(labelValue("a\xE2\x80\xAEz"), "az") << "right-to-left override";
    EXPECT_EQ(labelValue("Café Ω"), "Café Ω");
}

TEST(LabelValue, InvalidUtf8BecomesReplacementCharacters) {
    // A lone continuation byte, a cut sequence, an overlong slash and a surrogate.
    EXPECT_EQ(labelValue("a\x80z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(labelValue("a\xE2\x82"), "a\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(labelValue("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(labelValue("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    // A quote right after a bad byte is still escaped: the value cannot end early.
    EXPECT_EQ(labelValue("\xC3\""), "\xEF\xBF\xBD\\\"");
}

TEST(SampleValue, ReadsBackExactlyAndSpellsTheSpecialValuesAsTheFormatDoes) {
    EXPECT_EQ(sampleValue(0), "0");
    EXPECT_EQ(sampleValue(-0.0), "0");
    EXPECT_EQ(sampleValue(3000), "3000");
    EXPECT_EQ(sampleValue(0.1), "0.1");
    EXPECT_EQ(std::stod(sampleValue(123456789.123)), 123456789.123);
    EXPECT_EQ(std::stod(sampleValue(9007199254740993.0)), 9007199254740993.0);
    EXPECT_EQ(sampleValue(std::numeric_limits<double>::infinity()), "+Inf");
    EXPECT_EQ(sampleValue(-std::numeric_limits<double>::infinity()), "-Inf");
    EXPECT_EQ(sampleValue(std::numeric_limits<double>::quiet_NaN()), "NaN");
}

TEST(CounterFloor, CountersNeverGoDownAndANameThatLeftTheLogStays) {
    CounterFloor floor;
    std::vector<ConnectionFigures> first{{"B", "ppp0", true, 100, 10, 20, 2.5},
                                         {"A", "ppp1", false, 50, 5, 6, 1}};
    floor.apply(first);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].name, "A") << "sorted by name";

    // The log was cut down by hand: B counts less, A is gone.
    std::vector<ConnectionFigures> second{{"B", "ppp0", false, 40, 11, 3, 0.5}};
    floor.apply(second);
    ASSERT_EQ(second.size(), 2u);
    const ConnectionFigures& a = second[0];
    const ConnectionFigures& b = second[1];
    EXPECT_EQ(a.name, "A");
    EXPECT_EQ(a.seconds, 50);
    EXPECT_FALSE(a.active);
    EXPECT_EQ(b.seconds, 100);
    EXPECT_EQ(b.sent, 11) << "a counter that grew is served as it is";
    EXPECT_EQ(b.received, 20);
    EXPECT_EQ(b.cost, 2.5);
    EXPECT_FALSE(b.active) << "the gauge is not held";

    // The raised value is what the next count is held to.
    std::vector<ConnectionFigures> third{{"B", "ppp0", false, 0, 0, 0, 0}};
    floor.apply(third);
    EXPECT_EQ(third[1].sent, 11);
}

}  // namespace
}  // namespace tavu
