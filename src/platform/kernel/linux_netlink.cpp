#include "platform/kernel/linux_netlink.h"

#include <linux/if_link.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace tavu::platform::netlink {

namespace {

// Reads a plain structure from a byte position that need not be aligned.
template <typename T>
T load(const unsigned char* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

std::string attrString(const unsigned char* p, std::size_t len) {
    const void* nul = std::memchr(p, 0, len);
    std::size_t n = nul ? static_cast<const unsigned char*>(nul) - p : len;
    return std::string(reinterpret_cast<const char*>(p), n);
}

// Calls fn(type, payload, payloadLength) for every well-formed attribute in [p, p + len).
template <typename Fn>
void forEachAttr(const unsigned char* p, std::size_t len, Fn fn) {
    std::size_t off = 0;
    while (len - off >= sizeof(rtattr)) {
        const auto attr = load<rtattr>(p + off);
        if (attr.rta_len < sizeof(rtattr) || attr.rta_len > len - off) {
            return;
        }
        fn(attr.rta_type & NLA_TYPE_MASK, p + off + RTA_LENGTH(0), attr.rta_len - RTA_LENGTH(0));
        const std::size_t step = RTA_ALIGN(attr.rta_len);
        if (step > len - off) {
            return;
        }
        off += step;
    }
}

void applyStats64(LinkStats& s, const unsigned char* p, std::size_t len) {
    rtnl_link_stats64 k{};
    std::memcpy(&k, p, std::min(len, sizeof k));
    s = {k.rx_packets, k.tx_packets,     k.rx_bytes,      k.tx_bytes,        k.rx_errors,
         k.tx_errors,  k.rx_over_errors, k.rx_crc_errors, k.rx_frame_errors, k.rx_fifo_errors};
}

void applyStats32(LinkStats& s, const unsigned char* p, std::size_t len) {
    rtnl_link_stats k{};
    std::memcpy(&k, p, std::min(len, sizeof k));
    s = {k.rx_packets, k.tx_packets,     k.rx_bytes,      k.tx_bytes,        k.rx_errors,
         k.tx_errors,  k.rx_over_errors, k.rx_crc_errors, k.rx_frame_errors, k.rx_fifo_errors};
}

bool parseLink(const unsigned char* p, std::size_t len, LinkInfo& link) {
    if (len < NLMSG_ALIGN(sizeof(ifinfomsg))) {
        return false;
    }
    const auto ifi = load<ifinfomsg>(p);
    link.index = ifi.ifi_index;
    link.flags = ifi.ifi_flags;
    link.type = ifi.ifi_type;
    bool have64 = false;
    const std::size_t head = NLMSG_ALIGN(sizeof(ifinfomsg));
    forEachAttr(p + head, len - head, [&](unsigned type, const unsigned char* v, std::size_t n) {
        switch (type) {
            case IFLA_IFNAME:
                link.name = attrString(v, n);
                break;
            case IFLA_LINKINFO:
                forEachAttr(v, n, [&](unsigned t, const unsigned char* w, std::size_t m) {
                    if (t == IFLA_INFO_KIND) {
                        link.kind = attrString(w, m);
                    }
                });
                break;
            case IFLA_STATS64:
                applyStats64(link.stats, v, n);
                link.hasStats = have64 = true;
                break;
            case IFLA_STATS:
                if (!have64) {
                    applyStats32(link.stats, v, n);
                    link.hasStats = true;
                }
                break;
            default:
                break;
        }
    });
    return link.index > 0 && !link.name.empty();
}

std::uint32_t nextSeq() {
    static std::atomic<std::uint32_t> seq{1};
    std::uint32_t s = seq.fetch_add(1);
    return s ? s : seq.fetch_add(1);
}

// A route netlink socket of the calling thread's network namespace, closed on scope exit.
class Socket {
  public:
    Socket() {
        fd_ = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
        if (fd_ < 0) {
            return;
        }
        timeval tv{2, 0};  // never let a poll hang on a silent kernel
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        sockaddr_nl local{};
        local.nl_family = AF_NETLINK;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~Socket() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_ = -1;
};

struct LinkRequest {
    nlmsghdr header;
    ifinfomsg ifi;
};

// Sends one request and collects the answer: links, until NLMSG_DONE for a dump, the first link
// or an acknowledgement otherwise. Returns 0 or an errno value.
int transact(const LinkRequest& request, std::vector<LinkInfo>& out) {
    Socket sock;
    if (sock.fd() < 0) {
        return errno ? errno : EIO;
    }
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    if (::sendto(sock.fd(), &request, request.header.nlmsg_len, 0,
                 reinterpret_cast<sockaddr*>(&kernel), sizeof kernel) < 0) {
        return errno;
    }
    const bool dump = request.header.nlmsg_flags & NLM_F_DUMP;
    std::vector<unsigned char> buf(32768);
    for (int rounds = 0; rounds < 100000; ++rounds) {
        // Learn the size of the next datagram first so that nothing is cut off.
        ssize_t size = ::recv(sock.fd(), nullptr, 0, MSG_PEEK | MSG_TRUNC);
        if (size < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (static_cast<std::size_t>(size) > buf.size()) {
            buf.resize(size);
        }
        sockaddr_nl from{};
        socklen_t fromLen = sizeof from;
        ssize_t n = ::recvfrom(sock.fd(), buf.data(), buf.size(), 0,
                               reinterpret_cast<sockaddr*>(&from), &fromLen);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (from.nl_pid != 0) {
            continue;  // only the kernel answers this socket
        }
        const std::size_t before = out.size();
        bool done = false;
        int error = 0;
        if (!parseLinkMessages(buf.data(), n, request.header.nlmsg_seq, out, done, error)) {
            return error ? error : EIO;
        }
        if (done || (!dump && out.size() > before)) {
            return 0;
        }
    }
    return EIO;
}

LinkRequest makeRequest(std::uint16_t type, std::uint16_t flags, int index) {
    LinkRequest r{};
    r.header.nlmsg_len = NLMSG_LENGTH(sizeof(ifinfomsg));
    r.header.nlmsg_type = type;
    r.header.nlmsg_flags = NLM_F_REQUEST | flags;
    r.header.nlmsg_seq = nextSeq();
    r.ifi.ifi_family = AF_UNSPEC;
    r.ifi.ifi_index = index;
    return r;
}

}  // namespace

bool isDialupLink(const LinkInfo& link, std::string_view patterns) {
    return (link.flags & IFF_UP) &&
           (link.type == ARPHRD_PPP || nameMatchesPatterns(link.name, patterns));
}

bool parseLinkMessages(const void* data, std::size_t length, std::uint32_t seq,
                       std::vector<LinkInfo>& out, bool& done, int& error) {
    const auto* p = static_cast<const unsigned char*>(data);
    std::size_t off = 0;
    while (length - off >= sizeof(nlmsghdr)) {
        const auto h = load<nlmsghdr>(p + off);
        if (h.nlmsg_len < sizeof(nlmsghdr) || h.nlmsg_len > length - off) {
            break;
        }
        const unsigned char* payload = p + off + NLMSG_HDRLEN;
        const std::size_t payloadLen = h.nlmsg_len > NLMSG_HDRLEN ? h.nlmsg_len - NLMSG_HDRLEN : 0;
        if (seq == 0 || h.nlmsg_seq == seq) {
            if (h.nlmsg_type == NLMSG_DONE) {
                done = true;
                return true;
            }
            if (h.nlmsg_type == NLMSG_ERROR) {
                if (payloadLen < sizeof(int)) {
                    error = EIO;
                    return false;
                }
                const int code = load<int>(payload);
                if (code == 0) {
                    done = true;  // acknowledgement
                    return true;
                }
                error = code < 0 && code > -4096 ? -code : EIO;
                return false;
            }
            if (h.nlmsg_type == RTM_NEWLINK) {
                LinkInfo link;
                if (parseLink(payload, payloadLen, link)) {
                    out.push_back(std::move(link));
                }
            }
        }
        const std::size_t step = NLMSG_ALIGN(h.nlmsg_len);
        if (step > length - off) {
            break;
        }
        off += step;
    }
    return true;
}

bool dumpLinks(std::vector<LinkInfo>& out, int* error) {
    out.clear();
    const int e = transact(makeRequest(RTM_GETLINK, NLM_F_DUMP, 0), out);
    if (error) {
        *error = e;
    }
    if (e != 0) {
        out.clear();
    }
    return e == 0;
}

bool getLink(int index, LinkInfo& out, int* error) {
    if (index <= 0) {
        if (error) {
            *error = ENODEV;
        }
        return false;
    }
    std::vector<LinkInfo> links;
    int e = transact(makeRequest(RTM_GETLINK, 0, index), links);
    if (e == 0 && (links.empty() || links.front().index != index)) {
        e = ENODEV;
    }
    if (error) {
        *error = e;
    }
    if (e != 0) {
        return false;
    }
    out = std::move(links.front());
    return true;
}

int setLinkUp(int index, bool up) {
    if (index <= 0) {
        return ENODEV;
    }
    LinkRequest r = makeRequest(RTM_NEWLINK, NLM_F_ACK, index);
    r.ifi.ifi_change = IFF_UP;
    r.ifi.ifi_flags = up ? IFF_UP : 0;
    std::vector<LinkInfo> ignored;
    return transact(r, ignored);
}

int openLinkEvents(int* error) {
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    if (fd < 0) {
        if (error) {
            *error = errno;
        }
        return -1;
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_LINK;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        if (error) {
            *error = errno;
        }
        ::close(fd);
        return -1;
    }
    return fd;
}

bool drainLinkEvents(int fd) {
    bool changed = false;
    alignas(nlmsghdr) unsigned char buf[16384];
    for (;;) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            // Events were lost when the socket's buffer ran over: something may have changed.
            return changed || errno == ENOBUFS;
        }
        if (n == 0) {
            return changed;
        }
        auto len = static_cast<std::size_t>(n);
        for (const auto* h = reinterpret_cast<const nlmsghdr*>(buf); NLMSG_OK(h, len);
             h = NLMSG_NEXT(h, len)) {
            if (h->nlmsg_type == RTM_NEWLINK || h->nlmsg_type == RTM_DELLINK) {
                changed = true;
            }
        }
    }
}

}  // namespace tavu::platform::netlink
