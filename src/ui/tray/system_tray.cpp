#include "ui/tray/system_tray.h"

#include <QMenu>
#include <utility>

namespace tavu {

CSystemTray::CSystemTray(QObject* parent, std::function<bool()> trayAvailable)
    : QObject(parent), trayAvailable_(std::move(trayAvailable)) {
    if (!trayAvailable_) {
        trayAvailable_ = [] { return QSystemTrayIcon::isSystemTrayAvailable(); };
    }
}

CSystemTray::~CSystemTray() {
    remove();
}

QString CSystemTray::cutTooltip(const QString& text) {
    if (text.size() <= kMaxTooltip) {
        return text;
    }
    int length = kMaxTooltip;
    if (text.at(length - 1).isHighSurrogate()) {
        --length;
    }
    return text.left(length);
}

bool CSystemTray::create(const QString& tooltip, const QIcon& icon, int identifier, QMenu* menu,
                         int defaultCommandId) {
    remove();
    identifier_ = identifier;
    defaultCommand_ = defaultCommandId;
    tooltip_ = cutTooltip(tooltip);
    icon_ = icon;
    menu_ = menu;
    hidden_ = false;
    created_ = true;
    return attach();
}

bool CSystemTray::attach() {
    if (!created_ || enabled_ || !trayAvailable_()) {
        return false;
    }
    tray_ = new QSystemTrayIcon(icon_, this);
    tray_->setToolTip(tooltip_);
    if (menu_) {
        tray_->setContextMenu(menu_);
    }
    connect(tray_, &QSystemTrayIcon::activated, this, &CSystemTray::onActivated);
    if (!hidden_) {
        tray_->show();
    }
    enabled_ = true;
    return true;
}

bool CSystemTray::detach() {
    if (!enabled_) {
        return false;
    }
    enabled_ = false;
    if (tray_) {
        tray_->hide();
        delete tray_.data();
    }
    return true;
}

void CSystemTray::remove() {
    created_ = false;
    detach();
    hidden_ = false;
}

bool CSystemTray::hide() {
    if (created_ && !enabled_) {
        hidden_ = true;  // stays out when the notification area comes
        return false;
    }
    if (!enabled_ || hidden_) {
        return false;
    }
    tray_->hide();
    hidden_ = true;
    return true;
}

bool CSystemTray::show() {
    if (created_ && !enabled_) {
        hidden_ = false;
        return false;
    }
    if (!enabled_ || !hidden_) {
        return false;
    }
    tray_->setIcon(icon_);
    tray_->setToolTip(tooltip_);
    tray_->show();
    hidden_ = false;
    return true;
}

bool CSystemTray::setIcon(const QIcon& icon) {
    if (created_) {
        icon_ = icon;
    }
    if (!enabled_) {
        return false;
    }
    if (!hidden_) {
        tray_->setIcon(icon_);
    }
    return true;
}

bool CSystemTray::setTooltip(const QString& tooltip) {
    if (created_) {
        tooltip_ = cutTooltip(tooltip);
    }
    if (!enabled_) {
        return false;
    }
    if (!hidden_) {
        tray_->setToolTip(tooltip_);
    }
    return true;
}

void CSystemTray::activate() {
    emit command(defaultCommand_);
}

void CSystemTray::onActivated(QSystemTrayIcon::ActivationReason reason) {
    // A single click acts like the double click, as on every Linux desktop; the context menu
    // has a reason of its own.
    if (enabled_ &&
        (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)) {
        activate();
    }
}

}  // namespace tavu
