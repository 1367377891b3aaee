#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "support/temp_dir.h"
#include "ui/skin/skin_bitmap.h"

namespace tavu {
namespace {

QByteArray bmpOf(const QImage& image) {
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "BMP"));
    return data;
}

QImage picture(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.setPixel(x, y, qRgb(x * 40 % 256, y * 60 % 256, 99));
        }
    }
    return image;
}

void put32(QByteArray& data, int at, quint32 value) {
    for (int i = 0; i < 4; ++i) {
        data[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

TEST(SkinBitmap, ReadsBmpFilesIntoRgbPixels) {
    test::TempDir dir;
    const QImage image = picture(5, 3);
    test::writeFile(dir.file("MainUp.bmp"), bmpOf(image).toStdString());
    CSkinBitmap bitmap;
    ASSERT_TRUE(bitmap.load(QString::fromStdString(dir.file("MainUp.bmp"))))
        << bitmap.error().toStdString();
    EXPECT_EQ(bitmap.width(), 5);
    EXPECT_EQ(bitmap.height(), 3);
    EXPECT_EQ(bitmap.image().format(), QImage::Format_RGB32);
    EXPECT_EQ(bitmap.image().pixel(4, 2), image.pixel(4, 2));
    EXPECT_EQ(bitmap.image().pixel(0, 0), image.pixel(0, 0));

    // Paletted pictures are read too, at the largest size allowed.
    const QImage wide = picture(CSkinBitmap::kMaxSide, 2).convertToFormat(QImage::Format_Indexed8);
    ASSERT_TRUE(bitmap.loadData(bmpOf(wide))) << bitmap.error().toStdString();
    EXPECT_EQ(bitmap.width(), CSkinBitmap::kMaxSide);
}

// Every refusal leaves the picture loaded before in place.
TEST(SkinBitmap, RefusesWhatIsNotAWholeBmpOfASaneSize) {
    CSkinBitmap bitmap;
    ASSERT_TRUE(bitmap.loadData(bmpOf(picture(4, 4))));
    const QImage before = bitmap.image();
    const QByteArray good = bmpOf(picture(6, 5));

    std::vector<std::pair<std::string, QByteArray>> bad;
    bad.emplace_back("empty", QByteArray());
    bad.emplace_back("text", QByteArray("[Coordinates]\nAbout=1,2,3,4\n"));
    bad.emplace_back("header only", good.left(30));
    bad.emplace_back("cut short", good.left(good.size() - 7));
    QByteArray tooWide = good;
    put32(tooWide, 18, CSkinBitmap::kMaxSide + 1);
    bad.emplace_back("too wide", tooWide);
    QByteArray tooTall = good;
    put32(tooTall, 22, static_cast<quint32>(-(CSkinBitmap::kMaxSide + 1)));
    bad.emplace_back("too tall, top-down", tooTall);
    QByteArray huge = good;
    put32(huge, 18, 0x7FFFFFFF);
    put32(huge, 22, 0x7FFFFFFF);
    bad.emplace_back("enormous", huge);
    QByteArray zero = good;
    put32(zero, 18, 0);
    bad.emplace_back("no width", zero);
    QByteArray offset = good;
    put32(offset, 10, 0xFFFFFFF0);
    bad.emplace_back("pixels past the end", offset);
    QByteArray depth = good;
    depth[28] = 7;
    bad.emplace_back("seven bits per pixel", depth);
    QByteArray header = good;
    put32(header, 14, 1000);
    bad.emplace_back("unknown header", header);
    QByteArray compression = good;
    put32(compression, 30, 4);  // JPEG inside a BMP
    bad.emplace_back("compressed", compression);

    for (const auto& [what, data] : bad) {
        EXPECT_FALSE(bitmap.loadData(data)) << what;
        EXPECT_FALSE(bitmap.error().isEmpty()) << what;
        EXPECT_EQ(bitmap.image(), before) << what;
    }
    EXPECT_FALSE(bitmap.load("/nonexistent/MainUp.bmp"));
    EXPECT_FALSE(bitmap.load("/proc/self"));
    EXPECT_EQ(bitmap.image(), before);
}

}  // namespace
}  // namespace tavu
