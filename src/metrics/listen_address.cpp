#include "metrics/listen_address.h"

#include <arpa/inet.h>

#include "core/text.h"

namespace tavu {

namespace {

bool isDigits(std::string_view s) {
    if (s.empty()) {
        return false;
    }
    for (const char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<ListenAddress> parseListenAddress(std::string_view text, std::string& error) {
    text = trim(text);
    const std::string shown = printableText(text);
    const auto refuse = [&](const std::string& why) -> std::optional<ListenAddress> {
        error = "\"" + shown + "\" is no address to serve the metrics at: " + why;
        return std::nullopt;
    };
    ListenAddress a;
    std::string_view port;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            return refuse("write an IPv6 address as [ADDRESS]:PORT, for example [::1]:9817");
        }
        a.host = std::string(text.substr(1, close - 1));
        a.ipv6 = true;
        port = text.substr(close + 2);
        in6_addr v6{};
        if (::inet_pton(AF_INET6, a.host.c_str(), &v6) != 1) {
            return refuse("the part in brackets is not an IPv6 address");
        }
    } else {
        const std::size_t colon = text.rfind(':');
        if (colon == std::string_view::npos) {
            return refuse("it needs a port, as in 127.0.0.1:9817");
        }
        a.host = std::string(text.substr(0, colon));
        port = text.substr(colon + 1);
        in_addr v4{};
        if (a.host.find(':') != std::string::npos) {
            return refuse("write an IPv6 address in brackets, as in [::1]:9817");
        }
        if (::inet_pton(AF_INET, a.host.c_str(), &v4) != 1) {
            return refuse("the address must be an IPv4 address such as 127.0.0.1");
        }
    }
    if (!isDigits(port) || port.size() > 5 || leadingInt(port) < 1 || leadingInt(port) > 65535) {
        return refuse("the port must be a number from 1 to 65535");
    }
    a.port = static_cast<std::uint16_t>(leadingInt(port));
    return a;
}

std::string formatListenAddress(const ListenAddress& a) {
    return (a.ipv6 ? "[" + a.host + "]" : a.host) + ":" + std::to_string(a.port);
}

}  // namespace tavu
