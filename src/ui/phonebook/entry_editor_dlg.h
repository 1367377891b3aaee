#pragma once

#include <string>

#include "core/prompter.h"
#include "platform/ras/pppd/linux_peers.h"
#include "platform/ras/remote_access.h"
#include "ui/common/dark_dialog.h"

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tavu {

namespace platform {
class LinuxRemoteAccess;
}

// Creates or edits one dial-up entry: its name, telephone number, modem device, speed, modem
// init string and user name. OK writes the peer file and the chat script; what cannot be
// written is said in a message and the dialog stays open with nothing lost.
class EntryEditorDlg : public DarkDialog {
    Q_OBJECT

  public:
    // name empty: a new entry. devDir: where the serial devices are looked for.
    EntryEditorDlg(platform::DialupPaths paths, std::string name, Prompter& prompter,
                   QWidget* parent = nullptr, const std::string& devDir = "/dev");

    // False (after a message) when the entry to edit could not be read.
    bool loaded() const { return loaded_; }

    QLineEdit* nameEdit() const { return name_; }
    QLineEdit* numberEdit() const { return number_; }
    QComboBox* deviceBox() const { return device_; }
    QComboBox* speedBox() const { return speed_; }
    QLineEdit* initEdit() const { return init_; }
    QLineEdit* userEdit() const { return user_; }
    QPushButton* okButton() const { return ok_; }

    void accept() override;

  private:
    void tell(const std::string& text);

    platform::DialupPaths paths_;
    std::string oldName_;
    Prompter& prompter_;
    bool loaded_ = true;
    QLineEdit* name_;
    QLineEdit* number_;
    QComboBox* device_;
    QComboBox* speed_;
    QLineEdit* init_;
    QLineEdit* user_;
    QPushButton* ok_;
};

// The editor the Linux service opens for createEntry (empty name) and editEntry: 0 when the
// entry was written or the user cancelled, else an error code.
platform::RemoteAccess::EntryEditorFn makeEntryEditor(platform::LinuxRemoteAccess& ras,
                                                      Prompter& prompter);

}  // namespace tavu
