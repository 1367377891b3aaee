#pragma once

#include <chrono>
#include <string>

namespace tavu::upgrade {

struct ServerOptions {
    std::string bind = "0.0.0.0";              // the address to listen on
    int port = 4444;                           // 0: any free port
    std::string currentVersion;                // clients with this version hear "OK"
    std::string message;                       // what the other clients hear
    std::chrono::milliseconds timeout{10000};  // for a request, and for taking the answer
    int maxClients = 64;                       // served at once; more are turned away
};

// Answers the upgrade question of each client that connects: "OK" for the current version,
// the message otherwise, each followed by a zero byte. Every client is served on a thread of
// its own, with the time-out for its request and again for taking the answer, so a silent or
// a non-reading one holds nobody else up. A client whose thread cannot start is turned away;
// when the system runs out of descriptors, accepting pauses instead of spinning. Runs until
// the process ends; returns 1 when it cannot listen. `ready` gets the address and port once it
// listens.
int runServer(const ServerOptions& options, void (*ready)(const std::string& address, int port));

// The answer to one request's bytes, or nothing (empty) when they are not a request.
std::string answerFor(const std::string& requestBytes, const ServerOptions& options);

}  // namespace tavu::upgrade
