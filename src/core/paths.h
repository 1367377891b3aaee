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
// else the executable's folder when it is writable (a portable install, the build tree); else
// $XDG_CONFIG_HOME/tavu (default ~/.config/tavu). The folder is created when missing.
std::string resolveConfigDir(const std::optional<std::string>& override,
                             const std::string& exeDir = executableDir());

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
