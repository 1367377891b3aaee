#pragma once

#include <string>

namespace tavu::net {

// What a lookup found: the text to show and whether it is an answer or "Can't resolve ...".
struct LookupResult {
    bool ok = false;
    std::string text;
};

// A host name to its first address: the first IPv4 address in dotted form, or, for a name that
// has only IPv6 addresses, the first of those. Blocks for as long as the resolver takes.
LookupResult hostToAddress(const std::string& host);

// A dotted IPv4 address to the host's official name. Text that is not a dotted address fails
// like an address without a name.
LookupResult addressToHost(const std::string& address);

// The name the address points back to, empty when it has none.
std::string reverseName(const std::string& dottedAddress);

}  // namespace tavu::net
