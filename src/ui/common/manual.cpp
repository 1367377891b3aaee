#include "ui/common/manual.h"

#include "core/prompter.h"
#include "platform/desktop/shell.h"

namespace tavu {

std::string noBrowserText(const std::string& path) {
    return "No web browser could be started to show the manual. It is the file " + path + ".";
}

void openManual(platform::Shell& shell, Prompter& prompter, const std::string& path) {
    // The opener's answer comes later; the prompter lives as long as the program.
    shell.open(path, [&prompter, path](bool opened) {
        if (!opened) {
            prompter.show(Message{noBrowserText(path), "TAVU", Buttons::Ok, Icon::Information});
        }
    });
}

}  // namespace tavu
