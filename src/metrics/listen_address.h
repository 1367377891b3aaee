#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavu {

// Where the metrics are served: an IPv4 address or an IPv6 address in brackets, and a port.
struct ListenAddress {
    std::string host;  // "127.0.0.1", "::1" (without the brackets)
    std::uint16_t port = 0;
    bool ipv6 = false;
};

// "ADDRESS:PORT" (127.0.0.1:9817, 0.0.0.0:9817, [::1]:9817, [::]:9817), port 1 to 65535.
// Blanks around the text are ignored. Empty when the text is none of these; `error` then says
// why, in a sentence for the user.
std::optional<ListenAddress> parseListenAddress(std::string_view text, std::string& error);

// The address as the settings write it.
std::string formatListenAddress(const ListenAddress& address);

}  // namespace tavu
