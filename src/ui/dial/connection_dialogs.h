#pragma once

#include <QString>
#include <functional>
#include <string>

#include "ui/common/app_context.h"
#include "ui/common/dark_dialog.h"

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace tavu {

inline constexpr const char* kSeveralConnections = "SeveralConnections";

// The phone-book entries: dial, add, delete, edit, choose the default entry and give an entry's
// user name and password.
class CConnectionsDlg : public DarkDialog {
    Q_OBJECT

  public:
    explicit CConnectionsDlg(AppContext context, QWidget* parent = nullptr);
    // Opens the manager modally, past the configuration password when protection asks for it.
    // choosingDefault: opened from the login dialog to pick the entry to dial.
    static void runManager(const AppContext& context, QWidget* parent,
                           bool choosingDefault = false);

    // The entry of the last item whose selection changed; never cleared.
    const std::string& selectedEntry() const { return selectedEntry_; }
    // The entry selected in the list now, or empty.
    std::string currentEntry() const;
    // The entry Dial dials: the selected one, else the default one; empty when neither is.
    std::string entryToDial() const;
    // Opened to choose the default entry: a double-click offers to make its entry the default.
    bool choosingDefault = false;
    QTreeWidget* list() const { return list_; }
    QStringList entries() const;
    // The buttons, by their labels: "Dial", "Add", "Delete", "Edit", "Set as default",
    // "Advanced", "Help", "Hide".
    QPushButton* button(const QString& label) const;

    void dial();
    void add();
    void edit();
    void remove();
    void setAsDefault();
    void advanced();
    void help();
    // A double-click on an entry: dials it, or (while the default is being chosen, or when
    // there is none) asks "Set ENTRY as the default connection?".
    void doubleClicked(const std::string& entry);
    void refill();

    // The rows' colours; the selected row wears the desktop's selection colours.
    static QColor listBackground() { return QColor(150, 150, 150); }
    static QColor listText() { return QColor(0, 40, 0); }

  private:
    void say(const char* text);
    void dialEntry(const std::string& entry);
    void markDefault();

    AppContext ctx_;
    QTreeWidget* list_;
    std::string selectedEntry_;
    std::vector<QPushButton*> buttons_;
};

// The user name and password of an entry, asked before every dial.
class CConnectionLoginDlg : public DarkDialog {
    Q_OBJECT

  public:
    explicit CConnectionLoginDlg(AppContext context, QWidget* parent = nullptr);

    std::string givenEntry;
    bool skipWhenStored = false;

    // The opening steps, then the dialog, modal. 1 (OK) when the user name and password were
    // given or were stored and skipping is allowed; otherwise another value.
    int run();

    const std::string& entryName() const { return entryName_; }
    // The title names entryName(); the window is made wide enough to show all of it.
    void showEntryInTitle();
    void setEntryName(std::string name) { entryName_ = std::move(name); }
    QLineEdit* userEdit() const { return user_; }
    QLineEdit* passwordEdit() const { return password_; }
    QCheckBox* rememberBox() const { return remember_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    void accept() override;

  private:
    void openManager();

    AppContext ctx_;
    std::string entryName_;
    QLineEdit* user_;
    QLineEdit* password_;
    QCheckBox* remember_;
    QPushButton* ok_;
    QPushButton* cancel_;
};

// The dial command: the login dialog of the default entry (closing at once when a user name
// and password are stored), "Connecting..." through statusLine, then the progress window;
// when that closes, the dial has ended one way or the other and clearStatus takes the line back.
void runDialCommand(const AppContext& context, QWidget* parent,
                    const std::function<void(const std::string&)>& statusLine,
                    const std::function<void(const std::string&)>& clearStatus = {});

}  // namespace tavu
