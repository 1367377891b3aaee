#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <vector>

class QLabel;
class QListWidget;
class QPushButton;

namespace tavu {

// The skin chooser: the skins of the given folders by name, each with a preview of its
// picture. "Other..." picks a Skin.ini elsewhere with a file dialog.
class CSkinChooserDlg : public QDialog {
    Q_OBJECT

  public:
    struct Skin {
        QString name;  // its folder's name
        QString path;  // its Skin.ini
    };

    // folders: where skins lie, one folder each with its Skin.ini; current: the skin shown now.
    CSkinChooserDlg(const QStringList& folders, const QString& current, QWidget* parent = nullptr);

    // The skins of the folders, in the folders' order, each folder's by name.
    static std::vector<Skin> findSkins(const QStringList& folders);

    // The chosen Skin.ini; empty when none is.
    QString selectedPath() const;

    QListWidget* list() const { return list_; }
    QLabel* preview() const { return preview_; }
    QPushButton* okButton() const { return ok_; }

  private:
    void showPreview();
    void pickOther();

    std::vector<Skin> skins_;
    QListWidget* list_;
    QLabel* preview_;
    QPushButton* ok_;
    QString other_;
};

}  // namespace tavu
