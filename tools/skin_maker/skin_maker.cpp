// Draws the skins that ship with TAVU: for each, MainUp.bmp, MainDown.bmp (every button pressed)
// and Skin.ini. Run as: tavu_skin_maker <Skins folder>. The pictures use DejaVu Sans so that the
// labels look the same wherever the skins are rebuilt.

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>
#include <cstdio>
#include <vector>

namespace {

const QColor kCut(255, 0, 255);  // the transparent colour: cut away from the window

struct Button {
    const char* key;
    QRect rect;
    QString label;
    bool round = false;
};

struct Field {
    const char* key;
    QRect rect;
    QString label;  // drawn left of the field; empty for none
};

struct Palette {
    QColor bodyTop, bodyBottom, rim, panel, panelEdge, label;
    QColor buttonTop, buttonBottom, buttonText, pressedTop, pressedBottom, pressedText, accent;
};

struct Skin {
    QString folder;
    QSize size;
    QPainterPath outline;
    Palette pal;
    QString title;
    QPoint titleAt;
    std::vector<QRect> panels;
    std::vector<Button> buttons;
    std::vector<Field> fields;
    QString displayColor;
    QString extraIni;  // [Menu] and [List]
};

QString rectText(const QRect& r) {
    return QString("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

QFont face(int pixels, bool bold) {
    QFont f("DejaVu Sans");
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

void drawButton(QPainter& p, const Skin& s, const Button& b, bool pressed) {
    const QRectF r = QRectF(b.rect).adjusted(0.5, 0.5, -0.5, -0.5);
    QLinearGradient g(r.topLeft(), r.bottomLeft());
    g.setColorAt(0, pressed ? s.pal.pressedTop : s.pal.buttonTop);
    g.setColorAt(1, pressed ? s.pal.pressedBottom : s.pal.buttonBottom);
    p.setBrush(g);
    p.setPen(QPen(pressed ? s.pal.accent : s.pal.rim, 1));
    const double radius = b.round ? r.height() / 2 : 5;
    p.drawRoundedRect(r, radius, radius);
    if (!pressed) {  // a light line along the top edge: the button stands out
        p.setPen(QPen(s.pal.buttonTop.lighter(140), 1));
        p.drawLine(QPointF(r.left() + radius, r.top() + 1.5),
                   QPointF(r.right() - radius, r.top() + 1.5));
    }
    p.setPen(pressed ? s.pal.pressedText : s.pal.buttonText);
    p.setFont(face(b.round ? 14 : 12, true));
    p.drawText(QRectF(b.rect).translated(pressed ? 1 : 0, pressed ? 1 : 0), Qt::AlignCenter,
               b.label);
}

QImage draw(const Skin& s, bool pressed) {
    QImage image(s.size, QImage::Format_RGB32);
    image.fill(kCut);
    QPainter p(&image);
    // The outline without smoothing: every pixel is either the cut colour or the face.
    QLinearGradient body(0, 0, 0, s.size.height());
    body.setColorAt(0, s.pal.bodyTop);
    body.setColorAt(1, s.pal.bodyBottom);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(s.pal.rim);
    p.drawPath(s.outline);
    p.setBrush(body);
    p.translate(0, 0);
    QPainterPath inner = s.outline;
    p.save();
    p.setClipPath(s.outline);
    p.fillRect(QRect(QPoint(0, 0), s.size), body);
    p.restore();
    p.setPen(QPen(s.pal.rim, 2));
    p.setBrush(Qt::NoBrush);
    p.drawPath(inner);

    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    p.setPen(s.pal.accent);
    p.setFont(face(18, true));
    p.drawText(s.titleAt, s.title);

    for (const QRect& panel : s.panels) {
        p.setPen(QPen(s.pal.panelEdge, 1));
        p.setBrush(s.pal.panel);
        p.drawRoundedRect(QRectF(panel).adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    }
    p.setFont(face(11, false));
    for (const Field& f : s.fields) {
        if (!f.label.isEmpty()) {
            p.setPen(s.pal.label);
            p.drawText(QRect(f.rect.x() - 78, f.rect.y(), 72, f.rect.height()),
                       Qt::AlignRight | Qt::AlignVCenter, f.label);
        }
    }
    for (const Button& b : s.buttons) {
        drawButton(p, s, b, pressed);
    }
    p.end();
    return image.convertToFormat(QImage::Format_RGB888);
}

bool write(const Skin& s, const QString& root) {
    const QString dir = root + "/" + s.folder;
    QDir().mkpath(dir);
    if (!draw(s, false).save(dir + "/MainUp.bmp", "BMP") ||
        !draw(s, true).save(dir + "/MainDown.bmp", "BMP")) {
        return false;
    }
    QFile ini(dir + "/Skin.ini");
    if (!ini.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return false;
    }
    QTextStream out(&ini);
    out << "; " << s.folder << " skin for TAVU, drawn by tools/skin_maker\n";
    out << "[Coordinates]\n";
    for (const Button& b : s.buttons) {
        out << b.key << "=" << rectText(b.rect) << "\n";
    }
    for (const Field& f : s.fields) {
        out << f.key << "=" << rectText(f.rect) << "\n";
    }
    out << "DisplayFont=DejaVu Sans\n";
    out << "DisplayColor=" << s.displayColor << "\n";
    out << s.extraIni;
    return true;
}

Skin velvora() {
    Skin s;
    s.folder = "Velvora";
    s.size = QSize(400, 340);
    QPainterPath body;
    body.addRoundedRect(QRectF(0, 14, 400, 326), 22, 22);
    QPainterPath tab;
    tab.addRoundedRect(QRectF(18, 0, 176, 40), 12, 12);
    s.outline = body.united(tab).simplified();
    s.pal = Palette{QColor(70, 36, 96),   QColor(26, 12, 38),  QColor(150, 96, 200),
                    QColor(14, 8, 22),    QColor(96, 60, 130), QColor(190, 170, 225),
                    QColor(104, 62, 140), QColor(52, 26, 74),  QColor(238, 228, 255),
                    QColor(24, 10, 36),   QColor(60, 30, 86),  QColor(255, 190, 255),
                    QColor(214, 150, 255)};
    s.title = "TAVU";
    s.titleAt = QPoint(34, 30);
    s.panels = {QRect(12, 54, 130, 146), QRect(150, 54, 238, 146), QRect(12, 270, 376, 60)};
    s.buttons = {
        {"About", QRect(300, 22, 26, 24), "?", true},
        {"Minimize", QRect(330, 22, 26, 24), "\u2013", true},
        {"Quit", QRect(360, 22, 26, 24), "\u00d7", true},
        {"Connect", QRect(12, 208, 91, 26), "Connect"},
        {"Hangup", QRect(107, 208, 91, 26), "Hang up"},
        {"Checkmail", QRect(202, 208, 91, 26), "Check mail"},
        {"Timer", QRect(297, 208, 91, 26), "Timer"},
        {"Summary", QRect(12, 238, 72, 26), "Summary"},
        {"Settings", QRect(88, 238, 72, 26), "Settings"},
        {"Security", QRect(164, 238, 72, 26), "Security"},
        {"Help", QRect(240, 238, 72, 26), "Help"},
        {"Other", QRect(316, 238, 72, 26), "More \u25be"},
    };
    s.fields = {
        {"ConTime", QRect(240, 62, 140, 32), "Online"},
        {"BytesIn", QRect(240, 102, 140, 18), "Received"},
        {"BytesOut", QRect(240, 124, 140, 18), "Sent"},
        {"UserName", QRect(240, 146, 140, 18), "User"},
        {"EmailCount", QRect(240, 168, 140, 18), "Mail"},
    };
    s.displayColor = "150,255,200";
    s.extraIni =
        "[Menu]\nShowBuiltinMenu=1\nMenuLocation=18,60\nMenuTextColor=238,228,255\n"
        "MenuBackgroundColor=58,30,80\nMenuEdgeLUColor=170,120,220\nMenuEdgeRDColor=16,6,26\n"
        "[List]\nShowBuiltinList=1\nListLocation=16,274,368,52\n"
        "ListBackgroundColor=14,8,22\nListTextColor=200,180,240\n";
    return s;
}

Skin pebble() {
    Skin s;
    s.folder = "Pebble";
    s.size = QSize(260, 100);
    s.outline.addRoundedRect(QRectF(0, 0, 260, 100), 48, 48);
    s.pal = Palette{QColor(40, 78, 92),   QColor(14, 32, 40),   QColor(90, 170, 190),
                    QColor(6, 18, 24),    QColor(60, 120, 140), QColor(150, 200, 210),
                    QColor(50, 110, 128), QColor(22, 56, 68),   QColor(225, 245, 250),
                    QColor(8, 24, 30),    QColor(26, 64, 78),   QColor(160, 255, 255),
                    QColor(110, 220, 235)};
    s.title = "";
    s.panels = {QRect(34, 14, 150, 44)};
    s.buttons = {
        {"About", QRect(196, 12, 20, 20), "?", true},
        {"Minimize", QRect(220, 12, 20, 20), "\u2013", true},
        {"Quit", QRect(208, 36, 20, 20), "\u00d7", true},
        {"Connect", QRect(40, 66, 58, 22), "Dial"},
        {"Hangup", QRect(102, 66, 58, 22), "Hang up"},
        {"Other", QRect(164, 66, 58, 22), "More"},
    };
    s.fields = {
        {"ConTime", QRect(44, 16, 136, 26), ""},
        {"BytesIn", QRect(44, 42, 64, 14), ""},
        {"BytesOut", QRect(112, 42, 64, 14), ""},
    };
    s.displayColor = "160,255,255";
    s.extraIni = "[Menu]\nShowBuiltinMenu=0\n[List]\nShowBuiltinList=0\n";
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavu_skin_maker <Skins folder>\n");
        return 2;
    }
    for (const Skin& s : {velvora(), pebble()}) {
        if (!write(s, QString::fromLocal8Bit(argv[1]))) {
            std::fprintf(stderr, "tavu_skin_maker: cannot write %s\n", qPrintable(s.folder));
            return 1;
        }
    }
    return 0;
}
