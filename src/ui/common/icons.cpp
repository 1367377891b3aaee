#include "ui/common/icons.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>

#include "core/version.h"

namespace tavu {

namespace {

// Every picture is drawn on a 48-unit grid scaled to the pixmap; pen widths are kept at one
// device pixel or more so that the small sizes stay sharp.
struct Canvas {
    QPainter& p;
    double scale;  // device pixels per unit

    QPen pen(const QColor& colour, double units) const {
        QPen pen(colour, std::max(1.0, units * scale) / scale);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        return pen;
    }
};

const QColor kOutline(34, 46, 72);
const QColor kEyeWhite(250, 250, 252);

QPainterPath eyeShape(double top, double bottom, double mid) {
    QPainterPath path;
    path.moveTo(3, mid);
    path.quadTo(24, top, 45, mid);
    path.quadTo(24, bottom, 3, mid);
    path.closeSubpath();
    return path;
}

void drawIdleEye(Canvas& c) {
    const QPainterPath eye = eyeShape(-2, 50, 24);
    c.p.setPen(c.pen(kOutline, 3.5));
    c.p.setBrush(kEyeWhite);
    c.p.drawPath(eye);
    c.p.setBrush(Qt::NoBrush);
    c.p.setPen(c.pen(kOutline, 3));
    c.p.drawEllipse(QPointF(24, 24), 8.5, 8.5);
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(kOutline);
    c.p.drawEllipse(QPointF(24, 24), 3.5, 3.5);
}

void drawConnectedEye(Canvas& c) {
    // Brow.
    QPainterPath brow;
    brow.moveTo(6, 12);
    brow.quadTo(24, 1, 42, 10);
    c.p.setPen(c.pen(QColor(70, 45, 25), 4));
    c.p.setBrush(Qt::NoBrush);
    c.p.drawPath(brow);

    // Lashes on the upper lid, then the eye itself.
    c.p.setPen(c.pen(kOutline, 2.5));
    const QPointF lashes[][2] = {
        {{12, 21}, {9, 16}}, {{19, 18.5}, {18, 13}}, {{29, 18.5}, {30, 13}}, {{36, 21}, {39, 16}}};
    for (const auto& lash : lashes) {
        c.p.drawLine(lash[0], lash[1]);
    }
    const QPainterPath eye = eyeShape(12, 48, 30);
    c.p.setPen(c.pen(kOutline, 3.5));
    c.p.setBrush(kEyeWhite);
    c.p.drawPath(eye);

    QRadialGradient iris(QPointF(22, 28), 10);
    iris.setColorAt(0, QColor(110, 200, 120));
    iris.setColorAt(1, QColor(25, 120, 60));
    c.p.setPen(c.pen(kOutline, 1.5));
    c.p.setBrush(iris);
    c.p.drawEllipse(QPointF(24, 30), 9, 9);
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(QColor(15, 20, 30));
    c.p.drawEllipse(QPointF(24, 30), 4, 4);
    c.p.setBrush(Qt::white);
    c.p.drawEllipse(QPointF(21.5, 27.5), 1.6, 1.6);
}

void drawMailbox(Canvas& c) {
    // Post.
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(QColor(120, 80, 45));
    c.p.drawRect(QRectF(20, 30, 8, 17));

    // Body: a box with a rounded top.
    QPainterPath body;
    body.moveTo(4, 32);
    body.lineTo(4, 18);
    body.arcTo(QRectF(4, 6, 40, 24), 180, -180);
    body.lineTo(44, 32);
    body.closeSubpath();
    QLinearGradient blue(0, 6, 0, 32);
    blue.setColorAt(0, QColor(80, 140, 220));
    blue.setColorAt(1, QColor(30, 80, 160));
    c.p.setPen(c.pen(QColor(20, 40, 90), 2.5));
    c.p.setBrush(blue);
    c.p.drawPath(body);

    // Slot with the letter sticking out of it.
    c.p.setPen(Qt::NoPen);
    c.p.setBrush(QColor(15, 25, 50));
    c.p.drawRect(QRectF(10, 16, 22, 3.5));
    const QRectF letter(12, 3, 18, 15);
    c.p.setPen(c.pen(QColor(90, 90, 90), 2));
    c.p.setBrush(kEyeWhite);
    c.p.drawRect(letter);
    c.p.setPen(c.pen(QColor(200, 40, 40), 2));
    c.p.drawLine(letter.topLeft(), QPointF(21, 11));
    c.p.drawLine(QPointF(21, 11), letter.topRight());

    // Raised flag.
    c.p.setPen(c.pen(QColor(110, 20, 20), 1.5));
    c.p.setBrush(QColor(225, 35, 35));
    c.p.drawRect(QRectF(37, 7, 7, 6));
    c.p.setPen(c.pen(QColor(60, 60, 60), 2.5));
    c.p.drawLine(QPointF(37, 7), QPointF(37, 22));
}

void drawExclamation(Canvas& c) {
    QPainterPath bar;
    bar.moveTo(17, 4);
    bar.lineTo(31, 4);
    bar.lineTo(27.5, 32);
    bar.lineTo(20.5, 32);
    bar.closeSubpath();
    QLinearGradient red(0, 0, 48, 0);
    red.setColorAt(0, QColor(240, 60, 50));
    red.setColorAt(1, QColor(190, 20, 20));
    c.p.setPen(c.pen(QColor(110, 0, 0), 2));
    c.p.setBrush(red);
    c.p.drawPath(bar);
    c.p.drawEllipse(QPointF(24, 40.5), 5.5, 5.5);
}

}  // namespace

QPixmap trayPixmap(TrayPicture picture, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double scale = size / 48.0;
    painter.scale(scale, scale);
    Canvas canvas{painter, scale};
    switch (picture) {
        case TrayPicture::Idle:
            drawIdleEye(canvas);
            break;
        case TrayPicture::Connected:
            drawConnectedEye(canvas);
            break;
        case TrayPicture::NewMail:
            drawMailbox(canvas);
            break;
        case TrayPicture::MailError:
            drawExclamation(canvas);
            break;
    }
    return pixmap;
}

QIcon trayIcon(TrayPicture picture) {
    QIcon icon;
    for (const int size : kIconSizes) {
        icon.addPixmap(trayPixmap(picture, size));
    }
    return icon;
}

QPixmap splashPixmap() {
    constexpr int kWidth = 440;
    constexpr int kHeight = 200;
    QPixmap pixmap(kWidth, kHeight);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    // Panel: a dark slate gradient with a thin light rim.
    const QRectF panel(0.5, 0.5, kWidth - 1, kHeight - 1);
    QLinearGradient shade(0, 0, 0, kHeight);
    shade.setColorAt(0, QColor(46, 54, 70));
    shade.setColorAt(1, QColor(20, 24, 32));
    p.setPen(QPen(QColor(95, 110, 135), 1));
    p.setBrush(shade);
    p.drawRoundedRect(panel, 10, 10);

    // The eye of the tray icon, large, on the left.
    const QPixmap eye = trayPixmap(TrayPicture::Connected, 96);
    p.drawPixmap(24, (kHeight - eye.height()) / 2 - 10, eye);

    QFont title("DejaVu Sans");
    title.setPixelSize(24);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(235, 240, 248));
    const QRectF textArea(136, 40, kWidth - 136 - 20, 70);
    // The application title ends with the version, which gets a line of its own here.
    QString name = QString::fromLatin1(kAppTitle);
    const QString versionText = QString::fromLatin1(kVersionText);
    if (name.endsWith(versionText)) {
        name = name.chopped(versionText.size()).trimmed();
    }
    p.drawText(textArea, Qt::AlignLeft | Qt::AlignBottom | Qt::TextWordWrap, name);

    // An accent line between the title and the version.
    p.setPen(QPen(QColor(90, 180, 110), 2));
    p.drawLine(QPointF(138, 120), QPointF(kWidth - 24, 120));

    QFont version("DejaVu Sans");
    version.setPixelSize(16);
    p.setFont(version);
    p.setPen(QColor(165, 180, 200));
    p.drawText(QRectF(138, 128, kWidth - 162, 24), Qt::AlignLeft | Qt::AlignVCenter, versionText);
    return pixmap;
}

}  // namespace tavu
