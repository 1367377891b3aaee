#pragma once

#include <QString>
#include <string>

namespace tavu::platform {

// Opens a document or an address with the handler the desktop has chosen for it.
class Shell {
  public:
    virtual ~Shell() = default;
    // True when the handler was started; whether it managed to open the target is its own affair.
    virtual bool open(const std::string& target) = 0;
};

// Starts the desktop's opener (xdg-open) as a detached process with the target as its only
// argument; nothing passes through a command interpreter.
class DesktopShell : public Shell {
  public:
    explicit DesktopShell(QString launcher = QStringLiteral("xdg-open"));
    bool open(const std::string& target) override;

  private:
    QString launcher_;
};

}  // namespace tavu::platform
