#include "net/net_jobs.h"

namespace tavu {

std::string mailResultText(const MailCheckResult& result) {
    switch (result.kind) {
        case MailCheckResult::Kind::Count:
            return "You have " + std::to_string(result.count) + " new email(s)";
        case MailCheckResult::Kind::NoMail:
            return kNoNewMailText;
        case MailCheckResult::Kind::NoServer:
            return kNoMailServerText;
        case MailCheckResult::Kind::Failure:
            break;
    }
    return kMailFailureText;
}

}  // namespace tavu
