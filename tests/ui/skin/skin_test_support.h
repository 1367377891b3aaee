#pragma once

#include <QImage>
#include <QString>
#include <string>

#include "support/temp_dir.h"

namespace tavu::test {

// A picture of one colour with a magenta border one pixel wide: the border is cut away.
inline QImage framedPicture(int w, int h, QRgb inside) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(255, 0, 255));
    for (int y = 1; y < h - 1; ++y) {
        for (int x = 1; x < w - 1; ++x) {
            image.setPixel(x, y, inside);
        }
    }
    return image;
}

// Writes Skin.ini and the two pictures into `folder` (created); returns the Skin.ini path.
inline std::string writeSkin(const std::string& folder, const std::string& ini, const QImage& up,
                             const QImage& down) {
    std::filesystem::create_directories(folder);
    writeFile(folder + "/Skin.ini", ini);
    if (!up.isNull()) {
        up.save(QString::fromStdString(folder + "/MainUp.bmp"), "BMP");
    }
    if (!down.isNull()) {
        down.save(QString::fromStdString(folder + "/MainDown.bmp"), "BMP");
    }
    return folder + "/Skin.ini";
}

}  // namespace tavu::test
