#include "ui/skin/skin_face.h"

#include "ui/skin/skin_chooser_dlg.h"

#include <QApplication>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <QPainter>
#include <QRegion>
#include <QTreeView>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <iostream>
#include <vector>

#include "core/paths.h"
#include "core/prompter.h"
#include "core/settings_keys.h"
#include "core/settings_store.h"
#include "core/version.h"
#include "ui/skin/skin_bitmap.h"
#include "ui/skin/skin_menu.h"
#include "ui/skin/skin_region.h"

namespace tavu {

namespace {

QColor color(const skin::Rgb& c) {
    return QColor(c.r, c.g, c.b);
}

QRect qrect(const skin::Rect& r) {
    return QRect(r.x, r.y, r.w, r.h);
}

std::optional<QString> askForSkin(QWidget* parent, const QString& folder, const QString& current) {
    // The program's skins and the user's own (created, ready for new skins), by name.
    const QString own = QString::fromStdString(skin::userSkinsFolder());
    makeDirs(own.toStdString());
    CSkinChooserDlg dialog({folder, own}, current, parent);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedPath().isEmpty()) {
        return std::nullopt;
    }
    return dialog.selectedPath();
}

QRegion regionOf(const QImage& up) {
    const auto rects = skin::windowRegionRects(reinterpret_cast<const std::uint32_t*>(up.bits()),
                                               up.width(), up.height(), up.bytesPerLine() / 4);
    std::vector<QRect> q;
    q.reserve(rects.size());
    for (const skin::Rect& r : rects) {
        q.push_back(qrect(r));
    }
    QRegion region;
    region.setRects(q.data(), static_cast<int>(q.size()));
    return region;
}

}  // namespace

bool fontFaceInstalled(const QString& face) {
    return !face.isEmpty() && QFontDatabase::hasFamily(face);
}

SkinFace::SkinFace(QWidget& window, QWidget* statusList)
    : chooseFile([this](QWidget* parent, const QString& folder) {
          return askForSkin(parent, folder, path_);
      }),
      window_(window),
      statusList_(statusList) {}

SkinFace::~SkinFace() = default;

bool SkinFace::load(const std::string& path, Prompter& prompter) {
    window_.hide();
    const skin::SkinDescription desc = skin::readSkinDescription(path);
    const QString folder = QString::fromStdString(skin::skinFolder(path));
    CSkinBitmap up;
    CSkinBitmap down;
    if (!up.load(folder + "MainUp.bmp") || !down.load(folder + "MainDown.bmp") ||
        up.image().size() != down.image().size()) {
        // Also on the terminal, for whoever started the program from one.
        std::cerr << "tavu: Can't change to this skin : " << path << '\n';
        prompter.show(
            Message{"Can't change to this skin : " + path, kAppTitle, Buttons::Ok, Icon::None});
        window_.show();
        return false;
    }

    desc_ = desc;
    path_ = QString::fromStdString(path);
    up_ = up.image();
    down_ = down.image();
    pressed_ = -1;
    menu_.reset();
    if (desc_.showMenu) {
        const SkinMenuColors colors{color(desc_.menuText), color(desc_.menuBackground),
                                    color(desc_.menuEdgeLU), color(desc_.menuEdgeRD)};
        menu_ = CSkinMenu::mainMenu(&window_, QPoint(desc_.menuX, desc_.menuY), colors,
                                    QApplication::font(), [this](int number) {
                                        if (menuMessage) {
                                            menuMessage(number);
                                        }
                                    });
        menu_->draw();
    }
    placeStatusList();

    const QRegion region = regionOf(up_);
    if (region.isEmpty()) {
        window_.clearMask();
    } else {
        window_.setMask(region);
    }
    window_.resize(up_.size());
    window_.update();
    fontReady_ = fontFaceInstalled(QString::fromStdString(desc_.displayFont));
    window_.show();
    return true;
}

void SkinFace::placeStatusList() {
    if (!statusList_) {
        return;
    }
    if (!desc_.showList) {
        statusList_->hide();
        return;
    }
    const skin::Rect& r = desc_.listLocation;
    const QColor bg = color(desc_.listBackground);
    const QColor fg = color(desc_.listText);
    const QColor handle((fg.red() + bg.red()) / 2, (fg.green() + bg.green()) / 2,
                        (fg.blue() + bg.blue()) / 2);
    // A log, not a choice: no selection, no hover, and a scroll bar in the list's own colours.
    statusList_->setStyleSheet(
        QString("QTreeView { background: %1; color: %2; border: none; }"
                "QTreeView::item, QTreeView::item:selected, QTreeView::item:hover {"
                " background: %1; color: %2; border: none; }"
                "QHeaderView::section { background: %1; color: %2; border: none;"
                " border-bottom: 1px solid %2; padding-left: 4px; }"
                "QScrollBar:vertical { background: %1; width: 8px; margin: 0; border: none; }"
                "QScrollBar::handle:vertical { background: %3; min-height: 10px;"
                " border-radius: 3px; }"
                "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical {"
                " height: 0; border: none; background: none; }"
                "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical {"
                " background: none; }")
            .arg(bg.name(), fg.name(), handle.name()));
    int height = std::max(0, r.h);
    if (auto* view = qobject_cast<QTreeView*>(statusList_)) {
        view->setSelectionMode(QAbstractItemView::NoSelection);
        view->setFocusPolicy(Qt::NoFocus);
        view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        view->setUniformRowHeights(true);
        view->ensurePolished();
        view->header()->ensurePolished();
        // Whole lines only: the rows share the height below the heading, and the list ends
        // with the last whole row.
        const int heading = view->isHeaderHidden() ? 0 : view->header()->sizeHint().height();
        const int natural = view->fontMetrics().height() + 4;
        const int room = height - heading;
        if (room > 0) {
            const int rows = std::max(1, room / natural);
            const int row = std::max(1, room / rows);
            view->setStyleSheet(view->styleSheet() +
                                QString("QTreeView::item { height: %1px; }").arg(row));
            height = heading + rows * row;
        }
    }
    statusList_->setGeometry(r.x, r.y, std::max(0, r.w), height);
    statusList_->update();
    statusList_->show();
    statusList_->raise();
}

void SkinFace::choose(const std::string& folder, SettingsStore& settings, Prompter& prompter) {
    if (!chooseFile) {
        return;
    }
    const auto file = chooseFile(&window_, QString::fromStdString(folder));
    if (!file || file->isEmpty()) {
        return;
    }
    const std::string path = file->toStdString();
    load(path, prompter);
    settings.writeString(keys::kSkin, keys::kSkinPath, path);
}

int SkinFace::itemAt(QPoint at) const {
    for (int i = 0; i < skin::kItemCount; ++i) {
        if (skin::kItems[static_cast<std::size_t>(i)].clickable &&
            desc_.items[static_cast<std::size_t>(i)].contains(at.x(), at.y())) {
            return i;
        }
    }
    return -1;
}

int SkinFace::press(QPoint at) {
    pressed_ = installed() ? itemAt(at) : -1;
    if (pressed_ >= 0) {
        window_.update(qrect(desc_.items[static_cast<std::size_t>(pressed_)]) & window_.rect());
    }
    return pressed_;
}

int SkinFace::release(QPoint at) {
    const int item = pressed_;
    pressed_ = -1;
    window_.update();
    if (item >= 0 && desc_.items[static_cast<std::size_t>(item)].contains(at.x(), at.y())) {
        return item;
    }
    return -1;
}

QImage SkinFace::displayImage(skin::Item item, const std::string& text) const {
    const skin::Rect& r = desc_.item(item);
    const QRect box = qrect(r) & up_.rect();
    if (!fontReady_ || box.isEmpty()) {
        return QImage();
    }
    QImage image = up_.copy(box);
    QFont font(QString::fromStdString(desc_.displayFont));
    font.setWeight(QFont::Bold);
    // The item's height is the height of the text's line; no bigger than the picture can be.
    const int height = std::min(r.h, CSkinBitmap::kMaxSide);
    font.setPixelSize(height);
    const int line = QFontMetrics(font).height();
    if (line > height) {
        font.setPixelSize(std::max(1, height * height / line));
    }
    QPainter p(&image);
    p.setFont(font);
    p.setPen(color(desc_.displayColor));
    p.translate(r.x - box.x(), r.y - box.y());
    p.drawText(QRect(0, 0, std::min(r.w, 2 * CSkinBitmap::kMaxSide), height),
               Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, QString::fromStdString(text));
    return image;
}

void SkinFace::paint(QPainter& painter, const QRect& area, const DisplayTexts& texts) const {
    if (!installed()) {
        return;
    }
    const QRect part = area.adjusted(0, 0, 1, 1) & up_.rect();
    painter.drawImage(part.topLeft(), up_, part);
    if (pressed_ >= 0) {
        const QRect down = qrect(desc_.items[static_cast<std::size_t>(pressed_)]) & down_.rect();
        painter.drawImage(down.topLeft(), down_, down);
    }
    if (!fontReady_) {
        return;
    }
    for (const skin::Item item : skin::kDisplayItems) {
        const std::string* text = nullptr;
        switch (item) {
            case skin::ConTime:
                text = &texts.elapsed;
                break;
            case skin::BytesIn:
                text = &texts.bytesReceived;
                break;
            case skin::BytesOut:
                text = &texts.bytesTransmitted;
                break;
            case skin::UserName:
                text = &texts.userName;
                break;
            default:
                text = &texts.mailCount;
                break;
        }
        const QImage image = displayImage(item, *text);
        if (!image.isNull()) {
            const skin::Rect& r = desc_.item(item);
            painter.drawImage((QRect(r.x, r.y, r.w, r.h) & up_.rect()).topLeft(), image);
        }
    }
}

}  // namespace tavu
