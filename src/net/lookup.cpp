#include "net/lookup.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include "net/net_socket.h"

namespace tavu::net {

namespace {

LookupResult cannotResolve(const std::string& text) {
    return {false, "Can't resolve " + text};
}

}  // namespace

LookupResult hostToAddress(const std::string& host) {
    const std::vector<Address> addresses = resolve(host, true);
    if (addresses.empty()) {
        return cannotResolve(host);
    }
    return {true, numericText(addresses.front())};
}

std::string reverseName(const std::string& dottedAddress) {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    if (::inet_pton(AF_INET, dottedAddress.c_str(), &sin.sin_addr) != 1) {
        return {};
    }
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<const sockaddr*>(&sin), sizeof sin, host, sizeof host,
                      nullptr, 0, NI_NAMEREQD) != 0) {
        return {};
    }
    return host;
}

LookupResult addressToHost(const std::string& address) {
    const std::string name = reverseName(address);
    if (name.empty()) {
        return cannotResolve(address);
    }
    return {true, name};
}

}  // namespace tavu::net
