// Draws the program's icon for the desktop's icon theme: the waiting-eye picture of the tray at
// every size the theme asks for. Run as: tavu_icon_maker <icons folder>; it writes
// hicolor/NxN/apps/tavu.png below that folder.

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <cstdio>

#include "ui/common/icons.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavu_icon_maker <icons folder>\n");
        return 2;
    }
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/hicolor/%2x%2/apps").arg(argv[1]).arg(size);
        const QPixmap picture = tavu::trayPixmap(tavu::TrayPicture::Idle, size);
        if (!QDir().mkpath(dir) || !picture.save(dir + "/tavu.png", "PNG")) {
            std::fprintf(stderr, "tavu_icon_maker: cannot write %s/tavu.png\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
