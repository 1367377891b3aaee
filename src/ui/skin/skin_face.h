#pragma once

#include <QImage>
#include <QObject>
#include <QRect>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "monitor/monitor_core.h"
#include "ui/skin/skin_file.h"

class QPainter;
class QWidget;

namespace tavu {

class CSkinMenu;
class Prompter;
class SettingsStore;

// The skin of the main window: its item table, display look, up and down pictures, built-in
// menu and the placing of the status list. The window keeps painting and the mouse; this
// class tells it what to draw and what a click means.
class SkinFace {
  public:
    // `window` takes the skin's shape; `statusList` is placed by the skin or hidden.
    SkinFace(QWidget& window, QWidget* statusList);
    ~SkinFace();

    // Loads the skin described by `path`. When a picture cannot be loaded, says "Can't change to
    // this skin : " and the path, and keeps the skin shown before as it was.
    bool load(const std::string& path, Prompter& prompter);

    // The skin chooser: the skins of `folder` and of the user's own folder by name with their
    // previews (or any Skin.ini through "Other..."); the chosen skin is loaded and its
    // path stored as Skin/Skin whether the load succeeded or not.
    void choose(const std::string& folder, SettingsStore& settings, Prompter& prompter);
    // Asks for a description file, offering the folder's skins; nothing when cancelled. Tests
    // replace it.
    std::function<std::optional<QString>(QWidget* parent, const QString& folder)> chooseFile;

    // Where a command chosen in the built-in menu goes (as a numbered message).
    std::function<void(int number)> menuMessage;

    bool installed() const { return !up_.isNull(); }
    // Whether the display face is installed, so that the display texts are drawn.
    bool fontReady() const { return fontReady_; }
    const skin::SkinDescription& description() const { return desc_; }
    const QString& path() const { return path_; }
    CSkinMenu* menu() const { return menu_.get(); }
    const QImage& upImage() const { return up_; }
    const QImage& downImage() const { return down_; }

    // Paints the part of the face that needs it, the pressed item down, then the display texts.
    void paint(QPainter& painter, const QRect& area, const DisplayTexts& texts) const;
    // One display text drawn over the up picture of its item, as it goes to the window.
    QImage displayImage(skin::Item item, const std::string& text) const;

    // A left press: the clickable item hit (drawn down from now on), or -1 when the press is
    // outside every item and the window is to be dragged.
    int press(QPoint at);
    // The release: the item whose action is to run, or -1. The face is repainted in any case.
    int release(QPoint at);
    int pressedItem() const { return pressed_; }

    // The first clickable item, in table order, that holds the point; -1 for none.
    int itemAt(QPoint at) const;

  private:
    void placeStatusList();

    QWidget& window_;
    QWidget* statusList_;
    skin::SkinDescription desc_;
    QString path_;
    QImage up_;
    QImage down_;
    std::unique_ptr<CSkinMenu> menu_;
    bool fontReady_ = false;
    int pressed_ = -1;
};

// Whether a font face is installed, the system's own aliases for it included.
bool fontFaceInstalled(const QString& face);

}  // namespace tavu
