#pragma once

#include <string>

#include "ui/common/dark_dialog.h"

class QLineEdit;
class QPushButton;

namespace tavu {

class Prompter;
namespace platform {
class SimulatedRemoteAccess;
}

// The entry editor of the simulated line: a new entry's name, and the outcomes of its dials
// ("busy, connected"), as a script gives them.
class CSimulatedEntryDlg : public DarkDialog {
    Q_OBJECT

  public:
    // name empty: a new entry.
    CSimulatedEntryDlg(platform::SimulatedRemoteAccess& line, Prompter& prompter,
                       const std::string& name, QWidget* parent = nullptr);

    // The editor the simulated line opens for createEntry and editEntry: the dialog, modal.
    // Returns 0 (also when cancelled, as the system's entry dialog does).
    static int edit(platform::SimulatedRemoteAccess& line, Prompter& prompter,
                    const std::string& name, QWidget* parent = nullptr);

    QLineEdit* nameEdit() const { return name_; }
    QLineEdit* outcomesEdit() const { return outcomes_; }
    QPushButton* okButton() const { return ok_; }

    void accept() override;

  private:
    platform::SimulatedRemoteAccess& line_;
    Prompter& prompter_;
    bool creating_;
    QLineEdit* name_;
    QLineEdit* outcomes_;
    QPushButton* ok_;
};

}  // namespace tavu
