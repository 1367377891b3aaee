#include "platform/kernel/linux_counters.h"

#include <gtest/gtest.h>

#include <net/if_arp.h>

#include <linux/if_link.h>
#include <linux/rtnetlink.h>
#include <net/if.h>

#include <cstring>
#include <random>

#include "platform/linux_netns.h"

namespace tavu::platform {
namespace {

using Bytes = std::vector<unsigned char>;

void append(Bytes& b, const void* p, std::size_t n) {
    b.insert(b.end(), static_cast<const unsigned char*>(p),
             static_cast<const unsigned char*>(p) + n);
    b.resize(NLMSG_ALIGN(b.size()));
}

void appendAttr(Bytes& b, unsigned short type, const void* p, std::size_t n) {
    const rtattr a{static_cast<unsigned short>(RTA_LENGTH(n)), type};
    append(b, &a, sizeof a);
    append(b, p, n);
}

Bytes message(unsigned short type, std::uint32_t seq, const Bytes& payload) {
    const nlmsghdr h{static_cast<std::uint32_t>(NLMSG_HDRLEN + payload.size()), type, 0, seq, 0};
    Bytes b;
    append(b, &h, sizeof h);
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

// An RTM_NEWLINK message as the kernel sends it in a link dump.
Bytes linkMessage(std::uint32_t seq, int index, const char* name, std::uint64_t rxBytes) {
    ifinfomsg ifi{};
    ifi.ifi_index = index;
    ifi.ifi_flags = IFF_UP | IFF_POINTOPOINT;
    rtnl_link_stats64 stats{};
    stats.rx_bytes = rxBytes;
    Bytes p, info;
    append(p, &ifi, sizeof ifi);
    appendAttr(p, IFLA_IFNAME, name, std::strlen(name) + 1);
    appendAttr(info, IFLA_INFO_KIND, "ppp", 3);
    appendAttr(p, IFLA_LINKINFO | NLA_F_NESTED, info.data(), info.size());
    appendAttr(p, IFLA_STATS64, &stats, sizeof stats);
    return message(RTM_NEWLINK, seq, p);
}

netlink::LinkInfo link(unsigned flags, std::uint64_t base, const char* name = "ppp0",
                       unsigned short type = ARPHRD_NONE) {
    netlink::LinkInfo l{1, name, flags, type, "", true, {}};
    std::uint64_t n = base;
    for (std::uint64_t* f :
         {&l.stats.rxPackets, &l.stats.txPackets, &l.stats.rxBytes, &l.stats.txBytes,
          &l.stats.rxErrors, &l.stats.txErrors, &l.stats.rxOverErrors, &l.stats.rxCrcErrors,
          &l.stats.rxFrameErrors, &l.stats.rxFifoErrors}) {
        *f = ++n;
    }
    return l;
}

TEST(LinuxCounters, EachCounterSumsItsKernelStatisticOverUpDialupLinks) {
    constexpr unsigned kDialup = IFF_UP | IFF_POINTOPOINT;
    // Up and named ppp*, or up and of link type PPP whatever the name; not a link that is down,
    // nor a VPN tunnel.
    std::vector<netlink::LinkInfo> links = {link(kDialup, 100),
                                            link(IFF_UP, 200, "isp", ARPHRD_PPP),
                                            link(IFF_POINTOPOINT, 300), link(kDialup, 400, "tun0")};
    links.push_back(link(kDialup, 500));
    links.back().hasStats = false;
    // rx packets, tx packets, rx bytes, tx bytes, rx errors, tx errors, rx over, crc, frame, fifo
    // are 1..10 above each link's base.
    const CounterValues expected = {303 + 3, 304 + 4, 301 + 1,  302 + 2, 0,       0,
                                    308 + 8, 0,       310 + 10, 307 + 7, 309 + 9, 611 + 11};
    EXPECT_EQ(sumDialupCounters(links), expected);

    links = {link(kDialup, 0), link(kDialup, 0)};
    links[0].stats.rxBytes = links[1].stats.rxBytes = ~0ull;
    EXPECT_EQ(sumDialupCounters(links)[BytesReceived], INT64_MAX);
}

TEST(LinuxCounters, LinkDumpParsing) {
    Bytes dump = linkMessage(42, 3, "ppp0", 1000);
    for (const Bytes& m : {linkMessage(41, 4, "stale", 1), linkMessage(42, 5, "ppp1", 2000),
                           message(NLMSG_DONE, 42, Bytes(4, 0))}) {
        dump.insert(dump.end(), m.begin(), m.end());
    }
    std::vector<netlink::LinkInfo> links;
    bool done = false;
    int error = 0;
    ASSERT_TRUE(netlink::parseLinkMessages(dump.data(), dump.size(), 42, links, done, error));
    EXPECT_TRUE(done);
    ASSERT_EQ(links.size(), 2u);  // not the answer to another request
    EXPECT_EQ(links[0].index, 3);
    EXPECT_EQ(links[0].name, "ppp0");
    EXPECT_EQ(links[0].kind, "ppp");
    EXPECT_TRUE(netlink::isDialupLink(links[0]));
    EXPECT_EQ(links[1].stats.rxBytes, 2000u);

    int code = -EPERM;
    Bytes err = message(NLMSG_ERROR, 9, Bytes(4, 0));
    std::memcpy(&err[NLMSG_HDRLEN], &code, 4);
    EXPECT_FALSE(netlink::parseLinkMessages(err.data(), err.size(), 9, links, done, error));
    EXPECT_EQ(error, EPERM);

    // Cut short or scrambled answers yield well-formed links or none, never a crash.
    std::mt19937 rng(1234);
    for (int round = 0; round < 3000; ++round) {
        Bytes b(dump.begin(), dump.begin() + rng() % (dump.size() + 1));
        for (int flips = rng() % 8; flips > 0 && !b.empty(); --flips) {
            b[rng() % b.size()] = static_cast<unsigned char>(rng());
        }
        links.clear();
        netlink::parseLinkMessages(b.data(), b.size(), 0, links, done, error);
        for (const auto& l : links) {
            EXPECT_TRUE(l.index > 0 && !l.name.empty());
        }
    }
}

TEST(LinuxCountersKernel, SumsTheTrafficOfUpPointToPointInterfaces) {
    if (const std::string why = test::netnsUnavailableReason(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    const std::string failure = test::runInNewNetns([] {
        LinuxDialupCounters counters([] { return std::string("ppp* dsl*"); });
        CounterValues v{};
        v.fill(-1);
        ASSERT_TRUE(counters.read(v));  // only loopback so far
        EXPECT_EQ(v, CounterValues{});

        test::TunDevice ppp0("ppp0", false), dsl1("dsl1", false), tap("tap9", true);
        ASSERT_TRUE(ppp0.ok() && dsl1.ok() && tap.ok());
        ASSERT_TRUE(ppp0.setAddresses("10.9.0.1", "10.9.0.2") &&
                    dsl1.setAddresses("10.9.1.1", "10.9.1.2"));
        ASSERT_TRUE(ppp0.setUp(true) && dsl1.setUp(true) && tap.setUp(true));

        // Received: what is written into the devices, delivered to a local socket.
        const int rx = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(5000);
        ASSERT_EQ(::bind(rx, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        ASSERT_TRUE(ppp0.inject(test::udpPacket("10.9.0.2", "10.9.0.1", 5000, 20)));
        ASSERT_TRUE(ppp0.inject(test::udpPacket("10.9.0.2", "10.9.0.1", 5000, 20)));
        ASSERT_TRUE(dsl1.inject(test::udpPacket("10.9.1.2", "10.9.1.1", 5000, 32)));
        ASSERT_TRUE(tap.inject(Bytes(60, 0xff)));  // a broadcast frame on the Ethernet device
        char buf[64];
        for (int i = 0; i < 3; ++i) {
            pollfd p{rx, POLLIN, 0};
            ASSERT_EQ(::poll(&p, 1, 1000), 1);
            ASSERT_GT(::recv(rx, buf, sizeof buf, 0), 0);
        }
        ::close(rx);

        // Transmitted: a datagram to ppp0's peer, counted when it leaves through the device.
        const int tx = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        ::inet_pton(AF_INET, "10.9.0.2", &addr.sin_addr);
        ASSERT_EQ(
            ::sendto(tx, "0123456789", 10, 0, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 10);
        ::close(tx);
        EXPECT_EQ(ppp0.readPacket().size(), 38u);

        ASSERT_TRUE(counters.read(v));
        EXPECT_EQ(v[BytesReceived], 48 + 48 + 60);
        EXPECT_EQ(v[FramesReceived], 3);
        EXPECT_EQ(v[BytesTransmitted], 38);
        EXPECT_EQ(v[FramesTransmitted], 1);
        EXPECT_EQ(v[TotalErrors], 0);

        // A connection that goes down leaves the sum.
        ASSERT_TRUE(dsl1.setUp(false));
        ASSERT_TRUE(counters.read(v));
        EXPECT_EQ(v[BytesReceived], 96);
        EXPECT_EQ(v[FramesReceived], 2);
    });
    if (!failure.empty()) {
        GTEST_SKIP() << failure;
    }
}

}  // namespace
}  // namespace tavu::platform
