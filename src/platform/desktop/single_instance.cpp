#include "platform/desktop/single_instance.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QVariant>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace tavu::platform {

namespace {

constexpr const char* kSocketName = "instance";
const QByteArray kRequest = QByteArray::number(SingleInstance::kActivationMessage) + '\n';
const QByteArray kReply = "ok\n";
const QByteArray kCommandPrefix = "command ";
// A client that has not sent its message by then is dropped.
constexpr int kConnectionTimeoutMs = 2000;
constexpr int kMaxOpenConnections = 8;
constexpr qsizetype kMaxMessageBytes = 40;
constexpr int kProbeTimeoutMs = 500;

}  // namespace

bool preparePrivateDir(const QString& dir) {
    const QByteArray path = dir.toLocal8Bit();
    if (path.isEmpty()) {
        return false;
    }
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid()) {
        return false;
    }
    if ((st.st_mode & 0077) != 0 && ::chmod(path.constData(), 0700) != 0) {
        return false;
    }
    return true;
}

SingleInstance::SingleInstance(QString dir, QObject* parent)
    : QObject(parent), dir_(std::move(dir)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultDir() {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && runtime[0] == '/') {
        return QString::fromLocal8Bit(runtime) + QStringLiteral("/tavu");
    }
    // Without a runtime folder (cron, a login over ssh): a folder in the user's own cache folder,
    // never a name in /tmp that another user could take first.
    std::string cache;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/') {
        cache = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            const passwd* pw = ::getpwuid(::geteuid());
            home = pw != nullptr ? pw->pw_dir : nullptr;
        }
        if (home == nullptr || home[0] != '/') {
            return {};  // no place of the user's own: preparePrivateDir refuses the empty name
        }
        cache = std::string(home) + "/.cache";
    }
    ::mkdir(cache.c_str(), 0700);  // usually there already
    return QString::fromStdString(cache) + QStringLiteral("/tavu");
}

bool SingleInstance::placeIsPrivate() const {
    return preparePrivateDir(dir_);
}

QString SingleInstance::notPrivateText() const {
    return QStringLiteral(
               "TAVU cannot start: the folder %1 must be the user's own folder with "
               "mode 0700, so that no other user can pose as the running copy.")
        .arg(dir_.isEmpty() ? QStringLiteral("for the running copy") : dir_);
}

QString SingleInstance::socketPath() const {
    return dir_ + QLatin1Char('/') + QLatin1String(kSocketName);
}

bool SingleInstance::isListening() const {
    return server_ != nullptr && server_->isListening();
}

bool SingleInstance::listen() {
    if (isListening()) {
        return true;
    }
    if (!preparePrivateDir(dir_)) {
        return false;
    }
    if (server_ == nullptr) {
        server_ = new QLocalServer(this);
        connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    }
    const QString path = socketPath();
    if (server_->listen(path)) {
        return true;
    }
    if (server_->serverError() != QAbstractSocket::AddressInUseError) {
        return false;
    }
    // Something is there already: a running copy, which we leave alone, or the socket of a copy
    // that ended without cleaning up, which refuses connections and is replaced.
    QLocalSocket probe;
    probe.connectToServer(path);
    if (probe.waitForConnected(kProbeTimeoutMs)) {
        probe.abort();
        return false;
    }
    if (probe.error() != QLocalSocket::ConnectionRefusedError) {
        return false;
    }
    QLocalServer::removeServer(path);
    return server_->listen(path);
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        if (openConnections_ >= kMaxOpenConnections) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        ++openConnections_;
        connect(socket, &QObject::destroyed, this, [this] { --openConnections_; });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readMessage(socket); });
        QTimer::singleShot(kConnectionTimeoutMs, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        if (socket->bytesAvailable() > 0) {
            readMessage(socket);
        }
    }
}

void SingleInstance::readMessage(QLocalSocket* socket) {
    QByteArray buffer = socket->property("tavuMessage").toByteArray();
    buffer += socket->read(kMaxMessageBytes + 1 - buffer.size());
    const qsizetype newline = buffer.indexOf('\n');
    if (newline < 0) {
        if (buffer.size() > kMaxMessageBytes) {
            socket->abort();
            socket->deleteLater();
        } else {
            socket->setProperty("tavuMessage", buffer);
        }
        return;
    }
    const QByteArray message = buffer.left(newline + 1);
    QString command;
    if (message != kRequest) {
        const QByteArray line = message.chopped(1);
        if (line.startsWith(kCommandPrefix)) {
            command = QString::fromLatin1(line.mid(kCommandPrefix.size()));
        }
        if (!isCommandName(command)) {
            socket->abort();
            socket->deleteLater();
            return;
        }
    }
    socket->write(kReply);
    socket->flush();
    socket->disconnectFromServer();
    if (command.isEmpty()) {
        emit activated();
    } else {
        emit commandRequested(command);
    }
}

bool SingleInstance::isCommandName(const QString& name) {
    if (name.isEmpty() || name.size() > kMaxCommandName) {
        return false;
    }
    for (const QChar c : name) {
        const bool allowed = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                             (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                             (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                             c == QLatin1Char('-') || c == QLatin1Char(':');
        if (!allowed) {
            return false;
        }
    }
    return true;
}

bool SingleInstance::sendCommand(const QString& name, std::chrono::milliseconds timeout) {
    if (!isCommandName(name)) {
        return false;
    }
    return exchange(kCommandPrefix + name.toLatin1() + '\n', timeout);
}

bool SingleInstance::activateRunning(std::chrono::milliseconds timeout) {
    return exchange(kRequest, timeout);
}

bool SingleInstance::exchange(const QByteArray& request, std::chrono::milliseconds timeout) {
    if (!preparePrivateDir(dir_)) {
        return false;
    }
    QLocalSocket socket;
    QEventLoop loop;
    QByteArray reply;
    bool done = false;
    bool confirmed = false;
    const auto finish = [&](bool ok) {
        confirmed = ok;
        done = true;
        loop.quit();
    };
    connect(&socket, &QLocalSocket::connected, &loop, [&] { socket.write(request); });
    // The reply may still be waiting to be read when the running copy has already closed.
    const auto takeReply = [&] {
        if (socket.isOpen()) {
            reply += socket.read(kReply.size() - reply.size());
        }
        if (reply.size() >= kReply.size()) {
            finish(reply == kReply);
        }
    };
    connect(&socket, &QLocalSocket::readyRead, &loop, [&] {
        if (!done) {
            takeReply();
        }
    });
    const auto ended = [&] {
        if (!done) {
            takeReply();
        }
        if (!done) {
            finish(false);
        }
    };
    connect(&socket, &QLocalSocket::errorOccurred, &loop, ended);
    connect(&socket, &QLocalSocket::disconnected, &loop, ended);
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, [&] { finish(false); });
    deadline.start(timeout);
    socket.connectToServer(socketPath());
    if (!done) {
        loop.exec();
    }
    socket.abort();
    return confirmed;
}

}  // namespace tavu::platform
