// `tavu mail`: one mailbox check with the stored settings, printed as the progress window
// shows it.

#include <memory>
#include <ostream>

#include "app/cli.h"
#include "app/core_application.h"
#include "core/paths.h"
#include "core/settings_store.h"
#include "core/text.h"
#include "net/mail_check.h"

namespace tavu {

int runMailCommand(CliContext& context, const std::vector<std::string>& args) {
    if (!args.empty()) {
        context.err << "tavu: mail takes no arguments, not \"" << args.front()
                    << "\" (see tavu --help)\n";
        return 2;
    }
    // The network classes need an application object; the command line has none of its own.
    const auto app = ensureCoreApplication();
    const SettingsStore settings(joinPath(context.configDir, kSettingsFileName));
    const MailCheckResult result = makeMailCheckJob(settings)();
    context.out << printableText(mailResultText(result)) << '\n';
    const bool answered =
        result.kind == MailCheckResult::Kind::Count || result.kind == MailCheckResult::Kind::NoMail;
    return answered ? 0 : 1;
}

}  // namespace tavu
