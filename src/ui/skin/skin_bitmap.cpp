#include "ui/skin/skin_bitmap.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <cstdint>
#include <cstdlib>

namespace tavu {

namespace {

// Largest file worth reading: the largest picture at 32 bits per pixel with room for headers
// and a colour table.
constexpr qint64 kMaxFileSize =
    qint64(CSkinBitmap::kMaxSide) * CSkinBitmap::kMaxSide * 4 + (1 << 16);

std::uint32_t le(const QByteArray& d, int at, int bytes) {
    std::uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | static_cast<std::uint8_t>(d[at + i]);
    }
    return v;
}

}  // namespace

bool CSkinBitmap::fail(const QString& why) {
    error_ = why;
    return false;
}

bool CSkinBitmap::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return fail("cannot open " + path);
    }
    if (!file.isSequential() && file.size() > kMaxFileSize) {
        return fail("file too large");
    }
    // A device that never ends (a pipe, a device file) is read no further than the limit.
    const QByteArray data = file.read(kMaxFileSize + 1);
    if (data.size() > kMaxFileSize) {
        return fail("file too large");
    }
    return loadData(data);
}

bool CSkinBitmap::loadData(const QByteArray& data) {
    // File header (14 bytes) and the start of the picture header.
    if (data.size() < 26 || data[0] != 'B' || data[1] != 'M') {
        return fail("not a BMP file");
    }
    const std::uint32_t offset = le(data, 10, 4);
    const std::uint32_t headerSize = le(data, 14, 4);
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t bpp = 0;
    std::uint32_t compression = 0;
    if (headerSize == 12) {  // the old OS/2 header
        width = static_cast<std::int16_t>(le(data, 18, 2));
        height = static_cast<std::int16_t>(le(data, 20, 2));
        bpp = le(data, 24, 2);
    } else if (headerSize >= 40 && headerSize <= 124) {
        if (data.size() < 14 + 40) {
            return fail("header cut short");
        }
        width = static_cast<std::int32_t>(le(data, 18, 4));
        height = static_cast<std::int32_t>(le(data, 22, 4));
        bpp = le(data, 28, 2);
        compression = le(data, 30, 4);
    } else {
        return fail("unknown picture header");
    }
    const std::int64_t rows = std::llabs(height);
    if (width <= 0 || rows == 0 || width > kMaxSide || rows > kMaxSide) {
        return fail("picture size out of range");
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        return fail("unsupported bits per pixel");
    }
    if (offset < 14 + headerSize || offset > static_cast<std::uint32_t>(data.size())) {
        return fail("pixel data outside the file");
    }
    if (compression == 0 || compression == 3) {
        // Uncompressed rows are padded to four bytes; all of them must be there.
        const std::int64_t stride = (width * bpp + 31) / 32 * 4;
        if (offset + stride * rows > data.size()) {
            return fail("pixel data cut short");
        }
    } else if (!((compression == 1 && bpp == 8) || (compression == 2 && bpp == 4))) {
        return fail("unsupported compression");
    }

    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAutoTransform(false);
    QImage image;
    if (!reader.read(&image) || image.width() != width || image.height() != rows) {
        return fail("unreadable BMP: " + reader.errorString());
    }
    image_ = image.convertToFormat(QImage::Format_RGB32);
    error_.clear();
    return true;
}

}  // namespace tavu
