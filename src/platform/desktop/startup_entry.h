#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavu::platform {

// The entry that starts the program when the user logs on.
class StartupEntry {
  public:
    virtual ~StartupEntry() = default;
    // Creates or replaces the entry; false when it could not be written.
    virtual bool create() = 0;
    // Removes the entry; true when it is gone afterwards (also when there was none).
    virtual bool remove() = 0;
    virtual bool exists() = 0;
};

// The user's XDG autostart entry "tavu.desktop" in $XDG_CONFIG_HOME/autostart (default
// ~/.config/autostart), which runs "tavu" from the given folder.
class XdgAutostartEntry : public StartupEntry {
  public:
    // exeDir: the folder of the executable, absolute; args: what the program is to be started
    // with (the settings folder it was given).
    explicit XdgAutostartEntry(std::string exeDir, std::vector<std::string> args = {});

    bool create() override;
    bool remove() override;
    bool exists() override;

    // The entry's file; empty when neither $XDG_CONFIG_HOME nor $HOME gives a place for it.
    static std::string entryPath();
    // The entry's text for a program at the given absolute path, started with args.
    static std::string entryText(const std::string& program,
                                 const std::vector<std::string>& args = {});

  private:
    std::string exeDir_;
    std::vector<std::string> args_;
};

inline constexpr const char* kAutostartFileName = "tavu.desktop";
inline constexpr const char* kProgramFileName = "tavu";

// One argument of a desktop entry's Exec key as it is written in the file: quoted when it holds
// a reserved character, with '"', '`', '$' and '\' escaped inside the quotes, '%' doubled, and
// the escapes of string values applied on top. Empty when the argument holds a control character
// that the Exec key cannot carry (anything below 0x20 other than tab and newline, and DEL) or
// is not UTF-8.
std::string desktopExecArgument(std::string_view arg);

}  // namespace tavu::platform
