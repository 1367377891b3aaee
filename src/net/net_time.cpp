#include "net/net_time.h"

#include <ctime>

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "net/net_socket.h"

namespace tavu::net {

std::int64_t timeProtocolToUnix(std::uint32_t seconds) {
    std::int64_t s = seconds;
    if (s < kTimeProtocolOffset) {
        s += std::int64_t{1} << 32;
    }
    return s - kTimeProtocolOffset;
}

std::string formatUtc(std::int64_t unixSeconds) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    static_assert(sizeof(std::time_t) >= 8, "dates after 2038 need a 64-bit time");
    const std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    if (!::gmtime_r(&t, &tm)) {
        return kTimeNoAnswer;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s %s %02d %02d:%02d:%02d %d", kDays[tm.tm_wday % 7],
                  kMonths[tm.tm_mon % 12], tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  tm.tm_year + 1900);
    return buf;
}

TimeQueryResult queryTime(const std::string& server, std::chrono::milliseconds timeout) {
    const auto target = parseHostPort(server);
    const std::vector<Address> addresses = target ? resolve(target->host) : std::vector<Address>{};
    if (addresses.empty()) {
        return {false, kTimeCannotResolve};
    }
    TcpConnection conn;
    if (!conn.connect(addresses.front(), target->port ? target->port : kTimePort, timeout)) {
        return {false, kTimeCannotConnect};
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string bytes;
    while (bytes.size() < 4) {
        const std::string piece = conn.receiveSome(4 - bytes.size(), deadline);
        if (piece.empty()) {
            return {false, kTimeNoAnswer};
        }
        bytes += piece;
    }
    std::uint32_t value = 0;
    for (unsigned char c : bytes) {
        value = (value << 8) | c;
    }
    return {true, formatUtc(timeProtocolToUnix(value))};
}

std::string configuredTimeServer(const SettingsStore& settings) {
    return settings.readString(keys::kInet, keys::kTimeServer, kDefaultTimeServer);
}

}  // namespace tavu::net
