#pragma once

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>

class QMenu;

namespace tavu {

// One icon in the desktop's notification area with its tooltip, its context menu (shown by a
// right click) and a default command that a click or double click delivers. Picture and tooltip set
// while the icon is hidden are kept and appear when it is shown again. The icon leaves the
// notification area when the object goes.
class CSystemTray : public QObject {
    Q_OBJECT

  public:
    // Tooltips are cut to this many characters.
    static constexpr int kMaxTooltip = 63;

    // trayAvailable answers whether the desktop has a notification area; by default the
    // desktop is asked.
    explicit CSystemTray(QObject* parent = nullptr, std::function<bool()> trayAvailable = {});
    ~CSystemTray() override;

    CSystemTray(const CSystemTray&) = delete;
    CSystemTray& operator=(const CSystemTray&) = delete;

    // Puts the icon into the notification area. False when the desktop has none; every other
    // operation then does nothing. The menu stays the caller's and must outlive the icon.
    bool create(const QString& tooltip, const QIcon& icon, int identifier, QMenu* menu,
                int defaultCommandId);
    // Takes the icon out for good.
    void remove();

    // The notification area came or went after create (a panel that starts late or restarts):
    // attach puts the icon in, with the picture, tooltip and hidden state it has now; detach
    // takes it out and keeps them for the next attach. False when nothing changed.
    bool attach();
    bool detach();
    bool isAttachable() const { return created_ && !enabled_; }
    // Whether the desktop has a notification area now.
    bool areaAvailable() const { return trayAvailable_(); }

    // Take the icon out of the notification area and put it back; false when not enabled or
    // already in that state.
    bool hide();
    bool show();

    // Store the picture or tooltip and show it; false when not enabled (a detached icon still
    // keeps them for its next attach).
    bool setIcon(const QIcon& icon);
    bool setTooltip(const QString& tooltip);

    void setDefaultCommand(int id) { defaultCommand_ = id; }
    int defaultCommand() const { return defaultCommand_; }

    // What a click or double click does: emits command() with the default command. The running copy
    // also calls it when a second copy of the program asks it to come forward.
    void activate();

    bool isEnabled() const { return enabled_; }
    bool isHidden() const { return hidden_; }
    int identifier() const { return identifier_; }
    QString tooltip() const { return tooltip_; }
    QIcon icon() const { return icon_; }
    QSystemTrayIcon* trayIcon() const { return tray_; }

    // The first kMaxTooltip characters of a text (a character pair is never split).
    static QString cutTooltip(const QString& text);

  signals:
    void command(int id);

  private:
    void onActivated(QSystemTrayIcon::ActivationReason reason);

    std::function<bool()> trayAvailable_;
    QPointer<QSystemTrayIcon> tray_;
    QPointer<QMenu> menu_;
    QString tooltip_;
    QIcon icon_;
    int identifier_ = 0;
    int defaultCommand_ = 0;
    bool enabled_ = false;
    bool hidden_ = false;
    bool created_ = false;  // create was called; the icon follows the notification area
};

}  // namespace tavu
