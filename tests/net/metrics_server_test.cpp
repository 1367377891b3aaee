#include "net/metrics_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>
#include <vector>

#include "metrics/http_request.h"

namespace tavu {
namespace {

using namespace std::chrono_literals;

// Runs the event loop until `done` or the time is up; returns done().
bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limit.count()) {
        QCoreApplication::processEvents();
        QThread::usleep(500);
    }
    return done();
}

// A client of our own on a plain non-blocking socket, so that the server's event loop runs on
// the test's thread while the client waits.
class Client {
  public:
    explicit Client(std::uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
    }
    ~Client() { close(); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    void close() {
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    // Sends what the socket takes now; the rest is dropped.
    void send(std::string_view bytes) {
        ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }
    // Reads what has come; true once the server has closed (end of stream or reset).
    bool poll() {
        char buf[4096];
        for (;;) {
            const ssize_t n = ::recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
            if (n > 0) {
                got.append(buf, static_cast<std::size_t>(n));
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINPROGRESS &&
                           errno != ENOTCONN)) {
                closed = true;
            }
            return closed;
        }
    }

    std::string got;
    bool closed = false;

  private:
    int fd_ = -1;
};

// One whole exchange: the request, then everything until the server closes.
std::string exchange(std::uint16_t port, std::string_view request) {
    Client c(port);
    pumpUntil([&] {
        c.send(request);
        return true;
    });
    pumpUntil([&] { return c.poll(); });
    return c.got;
}

class Server : public testing::Test {
  protected:
    void start(MetricsServer::Limits limits = {}) {
        server = std::make_unique<MetricsServer>(
            [this] {
                ++scrapes;
                return std::string("tavu_up 1\n");
            },
            limits);
        std::string error;
        ASSERT_TRUE(server->listen("127.0.0.1", 0, error)) << error;
        port = server->port();
    }
    std::string goodScrape() { return exchange(port, "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n"); }

    std::unique_ptr<MetricsServer> server;
    std::uint16_t port = 0;
    int scrapes = 0;
};

bool served(const std::string& answer) {
    return answer.rfind("HTTP/1.1 200 OK\r\n", 0) == 0 &&
           answer.find("\r\n\r\ntavu_up 1\n") != std::string::npos;
}

TEST_F(Server, AnswersAScrapeAndClosesAndRefusesOtherMethods) {
    start();
    EXPECT_TRUE(served(goodScrape()));
    EXPECT_EQ(exchange(port, "POST /metrics HTTP/1.1\r\n\r\n").substr(0, 12), "HTTP/1.1 405");
    EXPECT_EQ(exchange(port, "GET /tavu.ini HTTP/1.1\r\n\r\n").substr(0, 12), "HTTP/1.1 404");
    EXPECT_EQ(scrapes, 1);
    EXPECT_TRUE(pumpUntil([&] { return server->openConnections() == 0; }));
}

TEST_F(Server, ASlowClientIsClosedAtTheDeadlineWhileScrapesGoOn) {
    start(MetricsServer::Limits{16, 400ms});
    std::vector<std::unique_ptr<Client>> slow;
    for (int i = 0; i < 4; ++i) {
        slow.push_back(std::make_unique<Client>(port));
    }
    const std::string request = "GET /metrics HTTP/1.1\r\nX-Slow: " + std::string(200, 'z');
    QElapsedTimer t;
    t.start();
    std::size_t sent = 0;
    int answered = 0;
    // A byte every 10 ms from each slow client, and a scrape between.
    while (t.elapsed() < 1000 && sent < request.size()) {
        for (auto& c : slow) {
            c->send(request.substr(sent, 1));
        }
        ++sent;
        pumpUntil([] { return false; }, 10ms);
        if (sent % 10 == 0) {
            answered += served(goodScrape()) ? 1 : 0;
        }
    }
    EXPECT_GE(answered, 5);
    for (auto& c : slow) {
        EXPECT_TRUE(pumpUntil([&] { return c->poll(); }, 1s)) << "the deadline closes it";
        EXPECT_EQ(c->got, "") << "no answer to a request that never ended";
    }
    EXPECT_TRUE(pumpUntil([&] { return server->openConnections() == 0; }));
}

TEST_F(Server, AnAddressInUseIsRefusedWithAReason) {
    start();
    MetricsServer second([] { return std::string(); });
    std::string error;
    EXPECT_FALSE(second.listen("127.0.0.1", port, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(second.listen("not an address", 1, error));
}

}  // namespace
}  // namespace tavu
