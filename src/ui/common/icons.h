#pragma once

#include <QIcon>
#include <QPixmap>

namespace tavu {

// The pictures of the tray icons, numbered as the icons are known throughout the program.
enum class TrayPicture {
    Idle = 128,       // an outlined eye: waiting for a connection (also the main window's icon)
    Connected = 298,  // an eye with brow and lashes: connected
    NewMail = 193,    // a mailbox with a letter
    MailError = 194,  // a red exclamation mark
};

// The sizes every icon is drawn at.
inline constexpr int kIconSizes[] = {16, 22, 32, 48};

// One picture drawn at one size (width and height), on a transparent background.
QPixmap trayPixmap(TrayPicture picture, int size);

// The picture at all sizes of kIconSizes.
QIcon trayIcon(TrayPicture picture);

// The splash window's picture: the program's title and version on a dark panel.
QPixmap splashPixmap();

}  // namespace tavu
