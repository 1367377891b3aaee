// Reading a log line's fields for the count.

#include "ledger/ledger_count.h"

#include <gtest/gtest.h>

#include <string>

#include "core/text.h"

namespace tavu {
namespace {

// Byte counts read eight digits at a time are those leadingDouble reads: every length up to
// sixteen digits, digits next to junk, signs, blanks and fractions, and fields at the line's
// very start where fewer than eight bytes lie before their end.
TEST(ByteCount, IsWhatLeadingDoubleReads) {
    std::vector<std::string> fields = {"",
                                       "0",
                                       "7",
                                       "12",
                                       "00000042",
                                       "99999999",
                                       "100000000",
                                       "123456789012345",
                                       "1234567890123456",
                                       "999999999999999",
                                       "-5",
                                       "+5",
                                       " 5",
                                       "5 ",
                                       "5x",
                                       "x5",
                                       "1.5",
                                       "1e3",
                                       "12345678a",
                                       "a2345678",
                                       "1234567/",
                                       "1234567:",
                                       "123456789012:45",
                                       "000000000000000",
                                       "9007199254740993"};
    for (int n = 1; n <= 16; ++n) {
        fields.push_back(std::string(static_cast<std::size_t>(n), '9'));
        fields.push_back(std::string(static_cast<std::size_t>(n - 1), '1') + "/");
        fields.push_back("/" + std::string(static_cast<std::size_t>(n - 1), '1'));
    }
    for (const std::string& field : fields) {
        for (const std::string before : {"", "1|", "01-01-2026|10:00:00|01-01-2026|", "||||||||"}) {
            const std::string line = before + field + "|";
            const std::string_view f(line.data() + before.size(), field.size());
            const double got = byteCount(f, line.data());
            const double want = leadingDouble(f);
            EXPECT_EQ(got, want) << "\"" << field << "\" after \"" << before << "\"";
            EXPECT_EQ(std::signbit(got), std::signbit(want)) << field;
        }
    }
}

}  // namespace
}  // namespace tavu
