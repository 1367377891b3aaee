#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace tavu {

// One picture of a skin, read from a BMP file into 32-bit RGB pixels. Skin files come from
// anywhere: a file that is not a well-formed BMP, is cut short, or is larger than
// kMaxSide x kMaxSide pixels is refused and leaves the bitmap as it was.
class CSkinBitmap {
  public:
    static constexpr int kMaxSide = 4096;

    bool load(const QString& path);
    bool loadData(const QByteArray& data);

    bool isNull() const { return image_.isNull(); }
    int width() const { return image_.width(); }
    int height() const { return image_.height(); }
    const QImage& image() const { return image_; }

    // Why the last load failed, for the tests and the curious.
    const QString& error() const { return error_; }

  private:
    bool fail(const QString& why);

    QImage image_;
    QString error_;
};

}  // namespace tavu
