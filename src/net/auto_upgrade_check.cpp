#include "net/auto_upgrade_check.h"

#include <QCoreApplication>
#include <QPointer>
#include <thread>

#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "net/upgrade_query.h"

namespace tavu {

inline constexpr const char* kAutoUpgradeCaption = "Tavu";

AutoUpgradeCheck::AutoUpgradeCheck(const SettingsStore& settings, Prompter& prompter,
                                   std::function<UpgradeQueryJob()> makeJob, QObject* parent)
    : QObject(parent), settings_(settings), prompter_(prompter), makeJob_(std::move(makeJob)) {}

AutoUpgradeCheck::AutoUpgradeCheck(const SettingsStore& settings, Prompter& prompter,
                                   QObject* parent)
    : AutoUpgradeCheck(
          settings, prompter, [&settings] { return net::makeUpgradeQueryJob(settings); }, parent) {}

bool AutoUpgradeCheck::start() {
    if (settings_.readInt(keys::kSettings, keys::kDisableUpgrade, 0) == 1) {
        return false;
    }
    UpgradeQueryJob job = makeJob_();
    QPointer<AutoUpgradeCheck> self(this);
    // The worker owns its job; the answer comes back to this object's thread, and is dropped
    // when the object has gone meanwhile.
    std::thread([job = std::move(job), self] {
        const std::string answer = job();
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                app,
                [self, answer] {
                    if (self) {
                        self->answered(answer);
                    }
                },
                Qt::QueuedConnection);
        }
    }).detach();
    return true;
}

void AutoUpgradeCheck::answered(const std::string& answer) {
    if (answer != upgrade::kNothingNew && answer != kUpgradeConnectFailureText) {
        prompter_.show(Message{answer, kAutoUpgradeCaption, Buttons::Ok, Icon::None});
    }
    emit finished(QString::fromStdString(answer));
}

}  // namespace tavu
