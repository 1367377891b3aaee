// Any file given as a skin picture is either refused or read at a size within the limit.
#include <QByteArray>
#include <cstdint>
#include <cstdlib>

#include "ui/skin/skin_bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavu::CSkinBitmap bitmap;
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (bitmap.loadData(bytes)) {
        if (bitmap.width() <= 0 || bitmap.height() <= 0 ||
            bitmap.width() > tavu::CSkinBitmap::kMaxSide ||
            bitmap.height() > tavu::CSkinBitmap::kMaxSide ||
            bitmap.image().format() != QImage::Format_RGB32) {
            std::abort();
        }
    }
    return 0;
}
