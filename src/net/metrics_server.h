#pragma once

#include <QObject>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

class QTcpServer;
class QTcpSocket;

namespace tavu {

// How much a metrics server allows its clients.
struct MetricsServerLimits {
    int maxConnections = 16;
    std::chrono::milliseconds deadline{10000};  // from the connection to the answer
};

// Serves the metrics over HTTP in the event loop: GET (and HEAD) /metrics, one request a
// connection, answered and closed. It reads at most kMaxRequestBytes of a request, holds at most
// maxConnections at once (a further one is closed at once) and closes a connection whose request
// has not been answered within the deadline, however slowly its bytes come in.
class MetricsServer : public QObject {
    Q_OBJECT

  public:
    using Limits = MetricsServerLimits;

    // text: the exposition text of the figures kept, asked once per answered scrape.
    explicit MetricsServer(std::function<std::string()> text, Limits limits = Limits());
    MetricsServer(const MetricsServer&) = delete;
    MetricsServer& operator=(const MetricsServer&) = delete;
    ~MetricsServer() override;

    // Listens at the address (IPv4 or IPv6 text) and port (0: one the system picks); false, with
    // `error` saying why in words, when it cannot.
    bool listen(const std::string& host, std::uint16_t port, std::string& error);
    std::uint16_t port() const;
    // Connections held now.
    int openConnections() const { return static_cast<int>(clients_.size()); }

  private:
    struct Client;
    void accept();
    void read(QTcpSocket* socket);
    void drop(QTcpSocket* socket);

    std::function<std::string()> text_;
    Limits limits_;
    std::unique_ptr<QTcpServer> server_;
    std::map<QTcpSocket*, std::unique_ptr<Client>> clients_;
};

}  // namespace tavu
