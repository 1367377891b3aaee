#include "platform/desktop/startup_entry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <cerrno>
#include <cstdlib>

#include "core/paths.h"

namespace tavu::platform {

std::string desktopExecArgument(std::string_view arg) {
    static constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
    if (arg.empty()) {
        return "\"\"";
    }
    // Desktop entries are UTF-8 text.
    const QByteArray raw(arg.data(), static_cast<qsizetype>(arg.size()));
    if (QString::fromUtf8(raw).toUtf8() != raw) {
        return {};
    }
    bool needsQuotes = false;
    for (const char c : arg) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t' && c != '\n') || u == 0x7f) {
            return {};
        }
        if (kReserved.find(c) != std::string_view::npos) {
            needsQuotes = true;
        }
    }
    // First the quoting of the Exec key, then the escapes of a string value.
    std::string quoted;
    if (needsQuotes) {
        quoted.push_back('"');
    }
    for (const char c : arg) {
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\')) {
            quoted.push_back('\\');
        }
        quoted.push_back(c);
        if (c == '%') {
            quoted.push_back('%');
        }
    }
    if (needsQuotes) {
        quoted.push_back('"');
    }
    std::string out;
    for (const char c : quoted) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out.push_back(c);
        }
    }
    return out;
}

XdgAutostartEntry::XdgAutostartEntry(std::string exeDir, std::vector<std::string> args)
    : exeDir_(std::move(exeDir)), args_(std::move(args)) {}

std::string XdgAutostartEntry::entryPath() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        base = joinPath(home, ".config");
    } else {
        return {};
    }
    return joinPath(joinPath(base, "autostart"), kAutostartFileName);
}

std::string XdgAutostartEntry::entryText(const std::string& program,
                                         const std::vector<std::string>& args) {
    std::string exec = desktopExecArgument(program);
    if (exec.empty()) {
        return {};
    }
    for (const std::string& arg : args) {
        const std::string written = desktopExecArgument(arg);
        if (written.empty()) {
            return {};
        }
        exec += " " + written;
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=TAVU\n"
           "Comment=Online timer for dial-up connections\n"
           "Exec=" +
           exec +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

bool XdgAutostartEntry::create() {
    if (exeDir_.empty() || exeDir_.front() != '/') {
        return false;
    }
    const std::string path = entryPath();
    if (path.empty()) {
        return false;
    }
    const std::string text = entryText(joinPath(exeDir_, kProgramFileName), args_);
    if (text.empty() || !makeDirs(path.substr(0, path.rfind('/')))) {
        return false;
    }
    // Written beside the old entry and renamed over it, so a failed write leaves the old one.
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    const QByteArray bytes = QByteArray::fromStdString(text);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool XdgAutostartEntry::remove() {
    const std::string path = entryPath();
    if (path.empty()) {
        return false;
    }
    return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

bool XdgAutostartEntry::exists() {
    const std::string path = entryPath();
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace tavu::platform
