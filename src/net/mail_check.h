#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "net/net_jobs.h"
#include "net/pop3_client.h"

namespace tavu {

class SettingsStore;

// What one mailbox check needs, copied from the settings when the check is made.
struct MailCheckSettings {
    std::string server;                                            // MServer: host or host:port
    std::string user;                                              // MUser
    std::string password;                                          // MPassword
    MailSecurity security = MailSecurity::StartTls;                // MSecurity
    std::chrono::milliseconds timeout = std::chrono::seconds(60);  // the whole exchange

    static MailCheckSettings read(const SettingsStore& settings);
};

// The result of a finished exchange with its message count: counts of 0 or less are no mail,
// counts beyond 32 bits read as the largest.
MailCheckResult mailResultFromCount(std::int64_t count);

// One check: log in, STAT, and the result (NoServer at once when no server is set). It blocks
// for up to the time-out in all.
MailCheckResult runMailCheck(const MailCheckSettings& settings);

// A check with the settings as stored now (MServer, MUser, MPassword, MSecurity). The job owns
// copies of them, so it may run on any thread and outlive the store.
MailCheckJob makeMailCheckJob(const SettingsStore& settings);

}  // namespace tavu
