#pragma once

// The upgrade question between the program and its upgrade server. Shared by both ends, so it
// uses nothing but the standard library.
//
// The client connects to TCP port 4444 and sends one request of two lines, each ended by a line
// feed: the program's version text, then the question ("1.1 BETA\nIsUpgradeAvaible?\n"). The
// server answers with one text followed by a zero byte and closes the connection: "OK" when
// the version is the current one, otherwise the text the user is to read.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavu::upgrade {

inline constexpr int kPort = 4444;
inline constexpr const char* kQuestion = "IsUpgradeAvaible?";
inline constexpr const char* kNothingNew = "OK";
// The client reads at most this much of an answer.
inline constexpr std::size_t kMaxAnswer = 1000;
// A request longer than this is not one.
inline constexpr std::size_t kMaxRequest = 512;

inline std::string request(std::string_view version, std::string_view question) {
    std::string r;
    r.append(version).append("\n").append(question).append("\n");
    return r;
}

struct Request {
    std::string version;
    std::string question;
};

// The request held by the bytes read so far; nullopt while its second line has not ended.
// A carriage return before a line feed is dropped.
inline std::optional<Request> parseRequest(std::string_view bytes) {
    const auto first = bytes.find('\n');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const auto second = bytes.find('\n', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    auto line = [](std::string_view s) {
        if (!s.empty() && s.back() == '\r') {
            s.remove_suffix(1);
        }
        return std::string(s);
    };
    return Request{line(bytes.substr(0, first)), line(bytes.substr(first + 1, second - first - 1))};
}

}  // namespace tavu::upgrade
