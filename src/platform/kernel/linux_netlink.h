#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kernel/dialup_interfaces.h"

namespace tavu::platform::netlink {

// The kernel's statistics of one interface, as far as the program uses them.
struct LinkStats {
    std::uint64_t rxPackets = 0;
    std::uint64_t txPackets = 0;
    std::uint64_t rxBytes = 0;
    std::uint64_t txBytes = 0;
    std::uint64_t rxErrors = 0;
    std::uint64_t txErrors = 0;
    std::uint64_t rxOverErrors = 0;
    std::uint64_t rxCrcErrors = 0;
    std::uint64_t rxFrameErrors = 0;
    std::uint64_t rxFifoErrors = 0;
};

// One network interface as the kernel reports it.
struct LinkInfo {
    int index = 0;
    std::string name;
    unsigned flags = 0;       // IFF_*
    unsigned short type = 0;  // ARPHRD_*
    std::string kind;         // IFLA_INFO_KIND, empty when the driver names none
    bool hasStats = false;
    LinkStats stats;
};

// What the program counts as a dial-up connection: an interface that is up and either of link
// type PPP or named after one of the patterns. Other tunnels (VPNs) are not dial-up lines.
bool isDialupLink(const LinkInfo& link, std::string_view patterns = kDefaultDialupInterfaces);

// Parses a buffer of RTM_NEWLINK messages (one receive of a link dump) and appends the links.
// Returns false on an error message; sets done at NLMSG_DONE. Malformed messages are skipped.
bool parseLinkMessages(const void* data, std::size_t length, std::uint32_t seq,
                       std::vector<LinkInfo>& out, bool& done, int& error);

// All interfaces of the calling thread's network namespace; false when the kernel cannot be
// asked (error holds the errno).
bool dumpLinks(std::vector<LinkInfo>& out, int* error = nullptr);

// One interface by index; false when it does not exist or the kernel cannot be asked.
bool getLink(int index, LinkInfo& out, int* error = nullptr);

// Sets an interface up or down by index; 0 or an errno value.
int setLinkUp(int index, bool up);

// A route netlink socket that receives the kernel's link events (the group RTNLGRP_LINK) of the
// calling thread's network namespace; it does not block. -1 when it cannot be opened (error
// holds the errno).
int openLinkEvents(int* error = nullptr);

// Reads every message waiting on such a socket. True when one of them tells of a link that came,
// changed or went, or when the kernel had to drop some.
bool drainLinkEvents(int fd);

}  // namespace tavu::platform::netlink
