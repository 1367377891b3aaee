#include "platform/desktop/shell.h"

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>
#include <memory>

namespace tavu::platform {

namespace {

// A relative file name starting with "-" would be read as an option by the opener.
QString openerArgument(const std::string& target) {
    QString argument = QString::fromStdString(target);
    if (argument.startsWith(QLatin1Char('-'))) {
        argument.prepend(QStringLiteral("./"));
    }
    return argument;
}

}  // namespace

DesktopShell::DesktopShell(QString launcher) : launcher_(std::move(launcher)) {}

bool DesktopShell::open(const std::string& target) {
    if (target.empty() || launcher_.isEmpty()) {
        return false;
    }
    return QProcess::startDetached(launcher_, QStringList{openerArgument(target)});
}

void DesktopShell::open(const std::string& target, std::function<void(bool opened)> done) {
    if (target.empty() || launcher_.isEmpty()) {
        done(false);
        return;
    }
    // The process has no parent, so that closing the program does not end the opener (or the
    // browser it waits for); it deletes itself once it has ended.
    auto* process = new QProcess;
    process->setProgram(launcher_);
    process->setArguments(QStringList{openerArgument(target)});
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    auto answer = std::make_shared<std::function<void(bool)>>(std::move(done));
    const auto reply = [answer](bool opened) {
        if (*answer) {
            auto once = std::move(*answer);
            *answer = nullptr;
            once(opened);
        }
    };
    QObject::connect(process, &QProcess::finished, process,
                     [process, reply](int code, QProcess::ExitStatus status) {
                         reply(status == QProcess::NormalExit && code == 0);
                         process->deleteLater();
                     });
    QObject::connect(process, &QProcess::errorOccurred, process,
                     [process, reply](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart) {
                             reply(false);
                             process->deleteLater();
                         }
                     });
    QTimer::singleShot(kAnswerMs, process, [reply] { reply(true); });
    process->start();
}

}  // namespace tavu::platform
