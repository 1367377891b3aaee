#include "core/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace tavu {

std::string joinPath(std::string_view dir, std::string_view name) {
    std::string out(dir);
    while (out.size() > 1 && out.back() == '/') {
        out.pop_back();
    }
    while (!name.empty() && name.front() == '/') {
        name.remove_prefix(1);
    }
    if (out.empty()) {
        return std::string(name);
    }
    if (out.back() != '/') {
        out.push_back('/');
    }
    out += name;
    return out;
}

std::string executableDir() {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) {
        return ".";
    }
    std::string path(buf, static_cast<std::size_t>(n));
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool makeDirs(const std::string& dir) {
    if (dir.empty()) {
        return false;
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) {
        return S_ISDIR(st.st_mode);
    }
    const auto slash = dir.find_last_not_of('/');
    const auto parentEnd = dir.rfind('/', slash);
    if (parentEnd != std::string::npos && parentEnd > 0) {
        makeDirs(dir.substr(0, parentEnd));
    }
    return ::mkdir(dir.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string configDirFor(const std::optional<std::string>& override, const std::string& exeDir) {
    if (override) {
        return *override;
    }
    // An installed program's folder (/usr/bin) may be writable for root, but it is no place for
    // settings: only a portable folder (no installed data beside it) keeps them.
    if (installedDataDir(exeDir).empty() && ::access(exeDir.c_str(), W_OK) == 0) {
        return exeDir;
    }
    return joinPath(xdgBaseDir("XDG_CONFIG_HOME", ".config"), "tavu");
}

std::string resolveConfigDir(const std::optional<std::string>& override,
                             const std::string& exeDir) {
    std::string dir = configDirFor(override, exeDir);
    makeDirs(dir);
    return dir;
}

std::string xdgBaseDir(const char* variable, const char* homeRelative) {
    if (const char* xdg = std::getenv(variable); xdg != nullptr && xdg[0] == '/') {
        return xdg;
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return joinPath(home, homeRelative);
    }
    return "/tmp";
}

namespace {

// The folder above `dir`: the installation prefix of a program in `prefix/bin`.
std::string parentDir(std::string dir) {
    while (dir.size() > 1 && dir.back() == '/') {
        dir.pop_back();
    }
    const auto slash = dir.rfind('/');
    if (slash == std::string::npos) {
        return dir + "/..";
    }
    return slash == 0 ? std::string("/") : dir.substr(0, slash);
}

}  // namespace

std::string installedDataDir(const std::string& exeDir) {
    const std::string dir = joinPath(parentDir(exeDir), "share/tavu");
    return isDirectory(dir) ? dir : std::string();
}

std::string userDataDir() {
    return joinPath(xdgBaseDir("XDG_DATA_HOME", ".local/share"), "tavu");
}

std::string helpIndexPath(const std::string& exeDir) {
    const std::string beside = joinPath(exeDir, "help/index.htm");
    const std::string installed = joinPath(parentDir(exeDir), "share/doc/tavu/help/index.htm");
    struct stat st {};
    if (::stat(beside.c_str(), &st) != 0 && ::stat(installed.c_str(), &st) == 0) {
        return installed;
    }
    return beside;
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace tavu
