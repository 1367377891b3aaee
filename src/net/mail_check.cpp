#include "net/mail_check.h"

#include <limits>

#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/text.h"

namespace tavu {

MailCheckSettings MailCheckSettings::read(const SettingsStore& settings) {
    MailCheckSettings s;
    s.server = settings.readString(keys::kSettings, keys::kMServer);
    s.user = settings.readString(keys::kSettings, keys::kMUser);
    s.password = settings.readString(keys::kSettings, keys::kMPassword);
    s.security = parseMailSecurity(settings.readString(keys::kSettings, keys::kMSecurity));
    return s;
}

MailCheckResult mailResultFromCount(std::int64_t count) {
    MailCheckResult r;
    if (count <= 0) {
        r.kind = MailCheckResult::Kind::NoMail;
        return r;
    }
    constexpr std::int64_t kLargest = std::numeric_limits<std::uint32_t>::max();
    r.kind = MailCheckResult::Kind::Count;
    r.count = static_cast<std::uint32_t>(count > kLargest ? kLargest : count);
    return r;
}

MailCheckResult runMailCheck(const MailCheckSettings& settings) {
    if (trim(settings.server).empty()) {
        return MailCheckResult{MailCheckResult::Kind::NoServer, 0};
    }
    CPop3Client client(settings.security, settings.timeout);
    if (client.Login(settings.server, settings.user, settings.password) && client.Stat()) {
        return mailResultFromCount(client.GetMessageCount());
    }
    return MailCheckResult{};  // a failure
}

MailCheckJob makeMailCheckJob(const SettingsStore& settings) {
    return [s = MailCheckSettings::read(settings)] { return runMailCheck(s); };
}

}  // namespace tavu
