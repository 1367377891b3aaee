#pragma once

#include <array>

#include "ui/common/dark_dialog.h"
#include "ui/prefs/option_pages.h"

class QFrame;
class QPushButton;
class QStackedWidget;
class QTreeWidgetItem;

namespace tavu {

class CMyTreeCtrl;

// The Preferences dialog: a tree of eight page names on the left, the selected page on the
// right. Every page loads when the dialog opens; OK saves all eight in tree order, shown or not,
// once every field of every page is valid. Cancel saves nothing.
class CPreferencesDlg : public DarkDialog {
    Q_OBJECT

  public:
    static constexpr int kPageCount = 8;

    // Opens on page 1 to 8 (General .. Upgrade, Plans), or on 0: no page until one is picked.
    CPreferencesDlg(PreferencesContext context, int initialPage, QWidget* parent = nullptr);
    ~CPreferencesDlg() override;

    // The command: the configuration password first (refused: nothing opens and nothing is
    // written), then the dialog, modal. True when it closed with OK.
    static bool run(PreferencesContext context, int initialPage, QWidget* parent);

    // The pickers of the desktop, for a context that has none of its own.
    static void useDesktopPickers(PreferencesContext& context);

    CMyTreeCtrl* tree() const { return tree_; }
    QFrame* frame() const { return frame_; }
    // Page 1 to 8; the page shown now (null when none is).
    OptionPage* page(int index) const;
    OptionPage* currentPage() const;
    // Shows page 1 to 8 as if picked in the tree; any other number changes nothing.
    void showPage(int index);
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    void accept() override;

  private:
    void showPageOf(QTreeWidgetItem* item);

    PreferencesContext ctx_;
    CMyTreeCtrl* tree_;
    QFrame* frame_;
    QStackedWidget* stack_;
    QWidget* blank_;
    std::array<OptionPage*, kPageCount> pages_{};
    QPushButton* ok_;
    QPushButton* cancel_;
};

}  // namespace tavu
