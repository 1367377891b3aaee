#include "net/metrics_server.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include "metrics/http_request.h"

namespace tavu {

struct MetricsServer::Client {
    std::string received;
    bool answered = false;
};

MetricsServer::MetricsServer(std::function<std::string()> text, Limits limits)
    : text_(std::move(text)), limits_(limits), server_(std::make_unique<QTcpServer>()) {
    // Connections wait in the kernel's queue only briefly: each is taken or closed at once.
    server_->setMaxPendingConnections(limits_.maxConnections + 1);
    connect(server_.get(), &QTcpServer::newConnection, this, [this] { accept(); });
}

MetricsServer::~MetricsServer() {
    for (auto& [socket, client] : clients_) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

bool MetricsServer::listen(const std::string& host, std::uint16_t port, std::string& error) {
    QHostAddress address;
    if (!address.setAddress(QString::fromStdString(host))) {
        error = "\"" + host + "\" is not an IP address";
        return false;
    }
    if (!server_->listen(address, port)) {
        error = server_->errorString().toStdString();
        return false;
    }
    return true;
}

std::uint16_t MetricsServer::port() const {
    return server_->serverPort();
}

void MetricsServer::accept() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (static_cast<int>(clients_.size()) >= limits_.maxConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto client = std::make_unique<Client>();
        // Qt reads no more than this from the kernel ahead of us.
        socket->setReadBufferSize(static_cast<qint64>(kMaxRequestBytes));
        // The deadline belongs to the socket, so that it goes with it, never within its own
        // signal.
        auto* deadline = new QTimer(socket);
        deadline->setSingleShot(true);
        connect(deadline, &QTimer::timeout, this, [this, socket] { drop(socket); });
        deadline->start(limits_.deadline);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { drop(socket); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] { drop(socket); });
        clients_.emplace(socket, std::move(client));
        read(socket);  // bytes may have come with the connection
    }
}

void MetricsServer::read(QTcpSocket* socket) {
    const auto it = clients_.find(socket);
    if (it == clients_.end()) {
        return;
    }
    Client& c = *it->second;
    if (c.answered) {
        socket->skip(socket->bytesAvailable());  // nothing more is read after the answer
        return;
    }
    const qint64 room = static_cast<qint64>(kMaxRequestBytes - c.received.size());
    if (room > 0) {
        const QByteArray got = socket->read(room);
        c.received.append(got.constData(), static_cast<std::size_t>(got.size()));
    }
    const HttpRequest request = parseRequest(c.received);
    if (request.state == HttpRequest::State::Incomplete) {
        return;
    }
    c.answered = true;
    const std::string answer = answerRequest(request, text_);
    socket->write(answer.data(), static_cast<qint64>(answer.size()));
    // The answer goes out, then the connection closes; the deadline still bounds a client
    // that does not take it.
    socket->disconnectFromHost();
}

void MetricsServer::drop(QTcpSocket* socket) {
    const auto it = clients_.find(socket);
    if (it == clients_.end()) {
        return;
    }
    clients_.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

}  // namespace tavu
