#pragma once

#include <QPointer>
#include <string>
#include <vector>

#include "platform/modem/modem_service.h"
#include "ui/common/dark_dialog.h"

class QLabel;
class QPushButton;
class QTreeWidget;

namespace tavu {

class Prompter;

// The text messages kept in the modems: date, sender and text, oldest first. Delete removes the
// selected one from its modem after asking. Texts are shown as plain text.
class CMessagesDlg : public DarkDialog {
    Q_OBJECT

  public:
    CMessagesDlg(platform::ModemService& modem, Prompter& prompter, QWidget* parent = nullptr);

    // Opens the window modally; returns when it closes.
    static void run(platform::ModemService& modem, Prompter& prompter, QWidget* parent = nullptr);

    // Asks every modem for its messages again; the list fills as they answer.
    void reload();
    // Deletes the selected message after asking; nothing when none is selected.
    void deleteSelected();

    QTreeWidget* list() const { return list_; }
    QLabel* note() const { return note_; }
    QPushButton* deleteButton() const { return delete_; }

  private:
    void addMessages(const std::string& modem, const std::vector<platform::ModemMessage>& list);

    platform::ModemService& modem_;
    Prompter& prompter_;
    QTreeWidget* list_ = nullptr;
    QLabel* note_ = nullptr;
    QPushButton* delete_ = nullptr;
    int generation_ = 0;  // answers to an earlier reload are dropped
};

}  // namespace tavu
