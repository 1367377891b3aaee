// A busy dial-up line for the end-to-end tests: makes the point-to-point interface NAME with the
// two addresses, brings it up and keeps traffic flowing both ways (a packet in and a packet out
// every 100 ms) until it is killed; the interface goes with it.
//
//   tavu_tun_line NAME LOCAL PEER

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/linux_netns.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s NAME LOCAL PEER\n", argv[0]);
        return 2;
    }
    const char* local = argv[2];
    const char* peer = argv[3];
    tavu::test::TunDevice line(argv[1], false);
    if (!line.ok() || !line.setAddresses(local, peer) || !line.setUp(true)) {
        std::perror("cannot make the interface");
        return 1;
    }
    const int out = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(9);
    ::inet_pton(AF_INET, peer, &to.sin_addr);
    const std::vector<unsigned char> in = tavu::test::udpPacket(peer, local, 9, 200);
    const char payload[300] = {};
    std::puts("ready");
    std::fflush(stdout);
    for (;;) {
        // Sends fail while the interface is down; the line goes on when it comes up again.
        line.inject(in);
        ::sendto(out, payload, sizeof payload, 0, reinterpret_cast<const sockaddr*>(&to),
                 sizeof to);
        unsigned char buf[2048];
        while (::read(line.fd(), buf, sizeof buf) > 0) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}
