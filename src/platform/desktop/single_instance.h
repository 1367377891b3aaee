#pragma once

#include <QObject>
#include <QString>
#include <chrono>

class QLocalServer;
class QLocalSocket;

namespace tavu::platform {

// The rule of one running copy per user. The running copy listens on a local socket in a folder
// only its user can enter; a second copy connects there and sends the activation message, which
// the running copy answers before it reports activated().
class SingleInstance : public QObject {
    Q_OBJECT

  public:
    static constexpr int kActivationMessage = 12345;
    static constexpr std::chrono::milliseconds kDefaultTimeout{2000};

    // dir: the private folder for the socket; defaultDir() unless a test chooses another.
    explicit SingleInstance(QString dir = defaultDir(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // Starts taking activations. A socket left by a copy that died is taken over; false when
    // another copy answers there or the folder is not private.
    bool listen();
    bool isListening() const;

    // Asks the running copy to come forward; true when it confirmed the message.
    bool activateRunning(std::chrono::milliseconds timeout = kDefaultTimeout);
    // Asks the running copy to run one command of its table, by name (letters, digits, '-' and
    // ':', at most kMaxCommandName characters); true when it accepted the request.
    bool sendCommand(const QString& name, std::chrono::milliseconds timeout = kDefaultTimeout);
    static constexpr int kMaxCommandName = 24;
    static bool isCommandName(const QString& name);

    QString socketPath() const;

    // $XDG_RUNTIME_DIR/tavu, or without a runtime folder tavu in the user's cache folder
    // ($XDG_CACHE_HOME, or ~/.cache, made when it is missing).
    static QString defaultDir();

    // True when the folder is (or could be made) a folder of the user's own with mode 0700.
    // When it is not, another user could pose as the running copy: the program must not start.
    bool placeIsPrivate() const;
    // What the user is told then.
    QString notPrivateText() const;

  signals:
    void activated();
    // A second copy asked for a command; it has been told that the request arrived.
    void commandRequested(const QString& name);

  private:
    void acceptConnections();
    void readMessage(QLocalSocket* socket);
    bool exchange(const QByteArray& request, std::chrono::milliseconds timeout);

    QString dir_;
    QLocalServer* server_ = nullptr;
    int openConnections_ = 0;
};

// Creates dir with mode 0700, or accepts an existing one that is a real folder (not a symbolic
// link) owned by the current user, tightening its mode to 0700. The parent must exist.
bool preparePrivateDir(const QString& dir);

}  // namespace tavu::platform
