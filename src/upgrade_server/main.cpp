// tavu-upgrade-server: the reference server of the program's upgrade check.

#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "core/version.h"
#include "upgrade_server/upgrade_server.h"

namespace {

constexpr const char* kUsage =
    "Usage: tavu-upgrade-server [OPTIONS]\n"
    "Answers the upgrade question of TAVU: \"OK\" to clients of the current version, the\n"
    "message to all others.\n"
    "Options take their value after a blank or an equals sign.\n"
    "  --port N            TCP port to listen on (default 4444; 0 picks a free one)\n"
    "  --bind ADDRESS      IPv4 address to listen on (default 0.0.0.0)\n"
    "  --current VERSION   the current version text (default \"1.1 BETA\")\n"
    "  --message TEXT      the answer for other versions\n"
    "  --message-file FILE read that answer from a file\n"
    "  --timeout SECONDS   how long a client may take to send its request, and again to\n"
    "                      take the answer (default 10)\n"
    "  --max-clients N     clients served at once (default 64)\n";

constexpr const char* kDefaultMessage =
    "A new version of TAVU is available. Please visit the TAVU home page to download it.";

bool toInt(const std::string& text, int low, int high, int& value) {
    const char* end = text.data() + text.size();
    auto [p, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && p == end && value >= low && value <= high;
}

void announce(const std::string& address, int port) {
    std::printf("tavu-upgrade-server listening on %s:%d\n", address.c_str(), port);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    tavu::upgrade::ServerOptions options;
    options.currentVersion = tavu::kVersionText;
    options.message = kDefaultMessage;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        }
        // "--option VALUE" or "--option=VALUE".
        std::string v;
        if (const auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            v = a.substr(eq + 1);
            a.resize(eq);
        } else if (i + 1 < argc) {
            v = argv[++i];
        } else {
            std::cerr << "tavu-upgrade-server: " << a << " needs a value (or is unknown)\n"
                      << kUsage;
            return 2;
        }
        int n = 0;
        if (a == "--port" && toInt(v, 0, 65535, n)) {
            options.port = n;
        } else if (a == "--bind") {
            options.bind = v;
        } else if (a == "--current") {
            options.currentVersion = v;
        } else if (a == "--message") {
            options.message = v;
        } else if (a == "--message-file") {
            std::ifstream in(v, std::ios::binary);
            if (!in) {
                std::cerr << "tavu-upgrade-server: cannot read " << v << "\n";
                return 2;
            }
            std::ostringstream ss;
            ss << in.rdbuf();
            options.message = ss.str();
        } else if (a == "--timeout" && toInt(v, 1, 3600, n)) {
            options.timeout = std::chrono::seconds(n);
        } else if (a == "--max-clients" && toInt(v, 1, 10000, n)) {
            options.maxClients = n;
        } else {
            std::cerr << "tavu-upgrade-server: bad option " << a << " " << v << "\n" << kUsage;
            return 2;
        }
    }
    if (options.message.empty() || options.message.find('\0') != std::string::npos) {
        std::cerr << "tavu-upgrade-server: the message must be a text without zero bytes\n";
        return 2;
    }
    return tavu::upgrade::runServer(options, announce);
}
