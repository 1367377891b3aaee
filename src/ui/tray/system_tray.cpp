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
    if (!trayAvailable_()) {
        return false;
    }
    tray_ = new QSystemTrayIcon(icon_, this);
    tray_->setToolTip(tooltip_);
    if (menu) {
        tray_->setContextMenu(menu);
    }
    connect(tray_, &QSystemTrayIcon::activated, this, &CSystemTray::onActivated);
    tray_->show();
    enabled_ = true;
    return true;
}

void CSystemTray::remove() {
    if (!enabled_) {
        return;
    }
    enabled_ = false;
    hidden_ = false;
    if (tray_) {
        tray_->hide();
        delete tray_.data();
    }
}

bool CSystemTray::hide() {
    if (!enabled_ || hidden_) {
        return false;
    }
    tray_->hide();
    hidden_ = true;
    return true;
}

bool CSystemTray::show() {
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
    if (!enabled_) {
        return false;
    }
    icon_ = icon;
    if (!hidden_) {
        tray_->setIcon(icon_);
    }
    return true;
}

bool CSystemTray::setTooltip(const QString& tooltip) {
    if (!enabled_) {
        return false;
    }
    tooltip_ = cutTooltip(tooltip);
    if (!hidden_) {
        tray_->setToolTip(tooltip_);
    }
    return true;
}

void CSystemTray::activate() {
    emit command(defaultCommand_);
}

void CSystemTray::onActivated(QSystemTrayIcon::ActivationReason reason) {
    if (enabled_ && reason == QSystemTrayIcon::DoubleClick) {
        activate();
    }
}

}  // namespace tavu
