#include "net/lookup.h"

#include <gtest/gtest.h>

#include "net/netns_support.h"
#include "support/temp_dir.h"

namespace tavu::net {
namespace {

TEST(Lookup, NamesOfAPrivateHostsFile) {
    test::TempDir dir;
    test::writeFile(dir.file("hosts"),
                    "127.0.0.1 localhost\n"
                    "10.15.0.1 tavu15-host.example tavu15-alias\n"
                    "fd00::15 tavu15-v6only.example\n");
    LookupResult byName, byAlias, v6only, byAddress, missing, unnamed, notDotted;
    const std::string why = test::runInLoopbackNetns(
        [&] {
            byName = hostToAddress("tavu15-host.example");
            byAlias = hostToAddress("tavu15-alias");
            v6only = hostToAddress("tavu15-v6only.example");
            byAddress = addressToHost("10.15.0.1");
            missing = hostToAddress("tavu15-missing.invalid");
            unnamed = addressToHost("10.15.0.99");
            notDotted = addressToHost("tavu15-host.example");
        },
        dir.file("hosts"));
    if (!why.empty()) {
        GTEST_SKIP() << why;
    }
    EXPECT_TRUE(byName.ok);
    EXPECT_EQ(byName.text, "10.15.0.1");
    EXPECT_EQ(byAlias.text, "10.15.0.1");
    EXPECT_TRUE(v6only.ok) << "a name with only IPv6 addresses shows the first of them";
    EXPECT_EQ(v6only.text, "fd00::15");
    EXPECT_TRUE(byAddress.ok);
    EXPECT_EQ(byAddress.text, "tavu15-host.example");
    EXPECT_FALSE(missing.ok);
    EXPECT_EQ(missing.text, "Can't resolve tavu15-missing.invalid");
    EXPECT_EQ(unnamed.text, "Can't resolve 10.15.0.99");
    EXPECT_FALSE(notDotted.ok);
    EXPECT_EQ(notDotted.text, "Can't resolve tavu15-host.example");
}

TEST(Lookup, LocalhostOfTheSystem) {
    EXPECT_EQ(hostToAddress("localhost").text, "127.0.0.1");
    EXPECT_EQ(hostToAddress("127.0.0.1").text, "127.0.0.1");
    EXPECT_EQ(addressToHost("127.0.0.1").text, "localhost");
    EXPECT_EQ(addressToHost("").text, "Can't resolve ");
    EXPECT_EQ(addressToHost("1.2.3").text, "Can't resolve 1.2.3");
}

}  // namespace
}  // namespace tavu::net
