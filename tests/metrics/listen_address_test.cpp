#include "metrics/listen_address.h"

#include <gtest/gtest.h>

namespace tavu {
namespace {

TEST(ListenAddress, ReadsIpv4AndBracketedIpv6) {
    std::string error;
    auto a = parseListenAddress(" 127.0.0.1:9817 ", error);
    ASSERT_TRUE(a) << error;
    EXPECT_EQ(a->host, "127.0.0.1");
    EXPECT_EQ(a->port, 9817);
    EXPECT_FALSE(a->ipv6);
    a = parseListenAddress("[::1]:65535", error);
    ASSERT_TRUE(a) << error;
    EXPECT_EQ(a->host, "::1");
    EXPECT_EQ(a->port, 65535);
    EXPECT_EQ(formatListenAddress(*a), "[::1]:65535");
    EXPECT_TRUE(parseListenAddress("0.0.0.0:1", error));
    EXPECT_TRUE(parseListenAddress("[::]:9817", error));
}

TEST(ListenAddress, RefusesWhatIsNotAnAddressAndPortWithAReason) {
    for (const char* bad :
         {"", "127.0.0.1", "127.0.0.1:", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:99999999999",
          "127.0.0.1:+80", "127.0.0.1:80x", "localhost:9817", "256.0.0.1:80", "::1:9817",
          "[::1]9817", "[::1]", "[127.0.0.1]:80", "[::1:80", "1.2.3:80", ":9817"}) {
        std::string error;
        EXPECT_FALSE(parseListenAddress(bad, error)) << bad;
        EXPECT_NE(error.find("is no address to serve the metrics at"), std::string::npos) << bad;
    }
}

TEST(ListenAddress, AControlCharacterInTheTextIsNotEchoed) {
    std::string error;
    EXPECT_FALSE(parseListenAddress("\x1b[2J:80", error));
    EXPECT_EQ(error.find('\x1b'), std::string::npos);
}

}  // namespace
}  // namespace tavu
