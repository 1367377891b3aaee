#pragma once

#include <QString>
#include <functional>
#include <string>

namespace tavu::platform {

// Opens a document or an address with the handler the desktop has chosen for it.
class Shell {
  public:
    virtual ~Shell() = default;
    // True when the handler was started; whether it managed to open the target is its own affair.
    virtual bool open(const std::string& target) = 0;
    // Starts the handler and later calls done with whether it opened the target: false when it
    // could not be started, crashed or ended with a status other than 0. done runs on the
    // caller's thread from its event loop, or at once when the answer is already known.
    virtual void open(const std::string& target, std::function<void(bool opened)> done) {
        done(open(target));
    }
};

// Starts the desktop's opener (xdg-open) with the target as its only argument; nothing passes
// through a command interpreter.
class DesktopShell : public Shell {
  public:
    explicit DesktopShell(QString launcher = QStringLiteral("xdg-open"));
    // Detached: the opener's outcome is not waited for.
    bool open(const std::string& target) override;
    // The opener's exit status is waited for without blocking: 0 is success. An opener still
    // running after a while counts as success (some wait for the browser to close); it is left
    // running, and its answer is then ignored.
    void open(const std::string& target, std::function<void(bool opened)> done) override;

    static constexpr int kAnswerMs = 10000;

  private:
    QString launcher_;
};

}  // namespace tavu::platform
