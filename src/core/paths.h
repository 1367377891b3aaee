#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavu {

// "a/b" with exactly one "/" between the two parts.
std::string joinPath(std::string_view dir, std::string_view name);

// The folder that holds the running executable, without a trailing "/".
std::string executableDir();

// Where the settings file and the default log folder live: the folder given on the command line;
// else the executable's folder when it is writable and not an installed program's (a portable
// install, the build tree); else $XDG_CONFIG_HOME/tavu (default ~/.config/tavu). The folder is
// created when missing.
std::string resolveConfigDir(const std::optional<std::string>& override,
                             const std::string& exeDir = executableDir());

// $VARIABLE when it holds an absolute path, else $HOME/homeRelative (/tmp without a home).
std::string xdgBaseDir(const char* variable, const char* homeRelative);

// The shared data of an installed program, `exeDir/../share/tavu`, when that folder exists;
// else empty (a portable program or the build tree).
std::string installedDataDir(const std::string& exeDir);

// The user's own data folder, $XDG_DATA_HOME/tavu (default ~/.local/share/tavu); not created.
std::string userDataDir();

// The manual's first page: help/index.htm beside the executable, else the installed
// `../share/doc/tavu/help/index.htm` when that exists.
std::string helpIndexPath(const std::string& exeDir);
// The folder resolveConfigDir would give, without creating it: for the commands that only read.
std::string configDirFor(const std::optional<std::string>& override,
                         const std::string& exeDir = executableDir());

// Whether the path names an existing folder.
bool isDirectory(const std::string& path);

// Creates a folder and its parents (mode 0700 for new ones); true when it exists afterwards.
bool makeDirs(const std::string& dir);

inline constexpr const char* kSettingsFileName = "tavu.ini";
inline constexpr const char* kLogFileName = "logfile.log";

}  // namespace tavu
