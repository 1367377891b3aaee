#pragma once

// A modem service the tests script: its modems, their messages and status, and the answers to
// USSD requests. Callbacks and listener calls wait in a queue until deliver(), as a real
// service's wait for the event loop.

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "platform/modem/modem_service.h"

namespace tavu::platform {

class FakeModemService : public ModemService {
  public:
    struct UssdRequest {
        std::string modem;
        std::string code;
        int deadlineMs = 0;
    };

    bool available() override { return daemonRunning; }
    std::vector<ModemInfo> modems() override {
        return daemonRunning ? modemList : std::vector<ModemInfo>{};
    }

    void initiateUssd(const std::string& modem, const std::string& code, int deadlineMs,
                      UssdFn done) override {
        ussdRequests.push_back({modem, code, deadlineMs});
        UssdResult result = ussdResult;
        if (!known(modem))
            result = {UssdResult::NoModem, {}};
        later([done = std::move(done), result] { done(result); });
    }

    void listMessages(const std::string& modem, MessagesFn done) override {
        const bool ok = known(modem) && !failMessages;
        std::vector<ModemMessage> list = ok ? messages[modem] : std::vector<ModemMessage>{};
        later([done = std::move(done), ok, list] {
            done(ok, list,
                 ok ? std::string() : std::string("The modem's messages cannot be read."));
        });
    }

    void deleteMessage(const std::string& modem, const std::string& id, DoneFn done) override {
        deleted.push_back(id);
        auto& list = messages[modem];
        const auto it = std::find_if(list.begin(), list.end(),
                                     [&](const ModemMessage& m) { return m.id == id; });
        const bool ok = known(modem) && it != list.end() && !failDelete;
        if (ok)
            list.erase(it);
        later([done = std::move(done), ok] {
            done(ok, ok ? std::string() : std::string("The message cannot be deleted."));
        });
    }

    ModemStatus status(const std::string& modem) override {
        const auto it = statuses.find(modem);
        return known(modem) && it != statuses.end() ? it->second : ModemStatus{};
    }

    // Script: a modem at /org/freedesktop/ModemManager1/Modem/INDEX with these ports, present and
    // registered at home.
    std::string addModem(int index, std::vector<std::string> ports = {}) {
        ModemInfo info;
        info.id = "/org/freedesktop/ModemManager1/Modem/" + std::to_string(index);
        info.index = index;
        info.model = "Fake modem";
        info.ports = std::move(ports);
        modemList.push_back(info);
        ModemStatus home;
        home.present = true;
        home.registration = kRegistrationHome;
        home.accessTechnology = "LTE";
        home.signalPercent = 60;
        statuses[info.id] = home;
        return info.id;
    }
    // Script: a message arrives; it is kept and reported at the next deliver().
    void receiveMessage(const std::string& modem, const ModemMessage& message) {
        messages[modem].push_back(message);
        later([this, modem, message] { notifyMessageAdded(modem, message); });
    }
    // Script: the registration or signal changes; reported at the next deliver().
    void changeStatus(const std::string& modem, ModemStatus next) {
        next.present = true;
        next.roaming = isRoamingRegistration(next.registration);
        statuses[modem] = next;
        later([this, modem, next] { notifyStatusChanged(modem, next); });
    }

    // Runs what waits, including what those calls queue; returns how many ran.
    int deliver() {
        int ran = 0;
        while (!pending.empty()) {
            auto next = std::move(pending.front());
            pending.erase(pending.begin());
            next();
            ++ran;
        }
        return ran;
    }

    bool daemonRunning = true;
    std::vector<ModemInfo> modemList;
    std::map<std::string, ModemStatus> statuses;
    std::map<std::string, std::vector<ModemMessage>> messages;
    UssdResult ussdResult{UssdResult::Reply, "Your balance is 1.5 GB left"};
    bool failMessages = false;
    bool failDelete = false;

    std::vector<UssdRequest> ussdRequests;
    std::vector<std::string> deleted;
    std::vector<std::function<void()>> pending;

  private:
    bool known(const std::string& modem) const {
        return daemonRunning && std::any_of(modemList.begin(), modemList.end(),
                                            [&](const ModemInfo& m) { return m.id == modem; });
    }
    void later(std::function<void()> call) { pending.push_back(std::move(call)); }
};

}  // namespace tavu::platform
