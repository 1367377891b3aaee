#pragma once

#include "ui/common/dark_dialog.h"

class QFrame;
class QPushButton;
class QTreeWidgetItem;

namespace tavu {

class CHostToIP;
class CMyTreeCtrl;
class CNetTime;
class CNetTrace;
class Clock;
class Prompter;
class SettingsStore;

// The "NetTools" window: a tree picks one of three pages (host and address lookups, internet
// time, ping) shown over a frame; OK and Cancel close it, OK also forgets the last internet
// time. Dragged by its face.
class CNetToolsDlg : public DarkDialog {
    Q_OBJECT

  public:
    CNetToolsDlg(SettingsStore& settings, Prompter& prompter, const Clock& clock,
                 QWidget* parent = nullptr);

    // The Inet Tools command: the window, modally.
    static void run(SettingsStore& settings, Prompter& prompter, const Clock& clock,
                    QWidget* parent);

    CMyTreeCtrl* tree() const { return tree_; }
    CHostToIP* hostPage() const { return hostPage_; }
    CNetTime* timePage() const { return timePage_; }
    CNetTrace* pingPage() const { return pingPage_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    void accept() override;

  private:
    void selectionChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);

    CMyTreeCtrl* tree_;
    QFrame* frame_;
    CHostToIP* hostPage_;
    CNetTime* timePage_;
    CNetTrace* pingPage_;
    QPushButton* ok_;
    QPushButton* cancel_;
    bool ready_ = false;
};

}  // namespace tavu
