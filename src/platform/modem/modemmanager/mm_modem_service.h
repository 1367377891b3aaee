#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <QDBusConnection>
#include <QString>

#include "platform/modem/modem_service.h"

class QDBusMessage;
class QObject;

namespace tavu::platform {

class MmSignals;

// The modems of ModemManager on the system bus: its modem objects, their USSD, messaging and
// 3GPP interfaces, and their properties as they change. Every reply is checked for its type and
// every text cleaned (cleanModemText) before it leaves; a call that gets no reply gives up after
// its time-out.
class ModemManagerService : public ModemService {
  public:
    explicit ModemManagerService(QDBusConnection bus = QDBusConnection::systemBus());
    ~ModemManagerService() override;

    bool available() override;
    std::vector<ModemInfo> modems() override;
    void initiateUssd(const std::string& modem, const std::string& code, int deadlineMs,
                      UssdFn done) override;
    void listMessages(const std::string& modem, MessagesFn done) override;
    void deleteMessage(const std::string& modem, const std::string& id, DoneFn done) override;
    ModemStatus status(const std::string& modem) override;

    // A message's time stamp as ModemManager writes it ("2024-05-01T12:40:00+02:00", "...Z",
    // "...+02"), in seconds since the epoch; 0 when it is none of these.
    static std::int64_t parseTimestamp(const QString& text);

    // Every synchronous call gives up after this long; asynchronous ones have their own.
    static constexpr int kCallTimeoutMs = 3000;

  private:
    friend class MmSignals;
    struct Modem {
        ModemInfo info;
        ModemStatus status;
        bool ussd = false;       // offers the USSD interface
        bool messaging = false;  // offers the messaging interface
    };
    // Reads every modem and its properties again; false when the daemon could not be asked.
    bool refresh();
    // The modem of that id, refreshed when it is not known yet; null when there is none.
    const Modem* find(const std::string& id);
    void propertiesChanged(const QDBusMessage& message);
    void messageAdded(const QDBusMessage& message);
    // Reads a message that arrived and reports it once it is whole.
    void reportWhenReceived(const QString& modem, const QString& sms);
    void ownerChanged();
    // Calls fn from the event loop, unless the service is gone by then.
    void later(std::function<void()> fn);

    QDBusConnection bus_;
    QString owner_;  // the daemon's unique name on the bus; empty while it is not there
    std::unique_ptr<MmSignals> signals_;
    std::map<std::string, Modem> modems_;
    bool known_ = false;                          // modems_ holds what the daemon said last
    std::set<std::string> reported_;              // messages told to the listener
    std::map<std::string, std::string> awaited_;  // messages still being received: their modem
};

}  // namespace tavu::platform
