#include "platform/desktop/shell.h"

#include <QProcess>
#include <QStringList>

namespace tavu::platform {

DesktopShell::DesktopShell(QString launcher) : launcher_(std::move(launcher)) {}

bool DesktopShell::open(const std::string& target) {
    if (target.empty() || launcher_.isEmpty()) {
        return false;
    }
    QString argument = QString::fromStdString(target);
    // A relative file name starting with "-" would be read as an option by the opener.
    if (argument.startsWith(QLatin1Char('-'))) {
        argument.prepend(QStringLiteral("./"));
    }
    return QProcess::startDetached(launcher_, QStringList{argument});
}

}  // namespace tavu::platform
