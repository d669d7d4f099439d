// Renders the program's bitmaps, cursors and pictures to PNG files:
//   caldris-art IMAGING_RES_DIR APP_RES_DIR
// Run by hand after a change of the artwork; the PNGs are committed. The
// skinned-control bitmaps keep a fully transparent bottom-left pixel, which
// the controls use as their transparent colour.
#include "ToolOptions.h"

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <cstdio>

namespace {

QString g_imagingDir;
QString g_appDir;

QImage Blank(int w, int h)
{
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void Save(const QImage& img, const QString& dir, const QString& name)
{
    QImage out = img.convertToFormat(QImage::Format_ARGB32);
    const QString path = QDir(dir).filePath(name);
    if (!out.save(path, "PNG"))
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

// A glossy gel disc: base gradient, dark rim, top highlight and a soft glow below.
void GelDisc(QPainter& p, const QRectF& r, QColor base, QColor dark)
{
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient body(r.center().x(), r.bottom() - r.height() * 0.15, r.width() * 0.75);
    body.setColorAt(0.0, base.lighter(150));
    body.setColorAt(0.55, base);
    body.setColorAt(1.0, dark);
    p.setPen(QPen(dark.darker(130), 1.0));
    p.setBrush(body);
    p.drawEllipse(r.adjusted(0.5, 0.5, -0.5, -0.5));
    QRectF hi(r.left() + r.width() * 0.2, r.top() + r.height() * 0.08, r.width() * 0.6, r.height() * 0.42);
    QLinearGradient shine(hi.topLeft(), hi.bottomLeft());
    shine.setColorAt(0.0, QColor(255, 255, 255, 235));
    shine.setColorAt(1.0, QColor(255, 255, 255, 20));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawEllipse(hi);
}

const QColor kAqua(50, 130, 220);
const QColor kAquaDark(16, 60, 140);
const QColor kGraphite(150, 158, 170);
const QColor kGraphiteDark(80, 86, 98);

// A thumb whose tip points at the ticks: down for a horizontal slider,
// right for a vertical one.
QImage Thumb(int w, int h, bool pointsDown)
{
    QImage img = Blank(w, h);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    if (pointsDown) {
        const qreal r = 4;
        path.moveTo(1.5 + r, 0.5);
        path.lineTo(w - 1.5 - r, 0.5);
        path.quadTo(w - 1.5, 0.5, w - 1.5, 0.5 + r);
        path.lineTo(w - 1.5, h - 8.5);
        path.lineTo(w / 2.0, h - 1.0);
        path.lineTo(1.5, h - 8.5);
        path.lineTo(1.5, 0.5 + r);
        path.quadTo(1.5, 0.5, 1.5 + r, 0.5);
    } else {
        const qreal r = 4;
        path.moveTo(0.5, 1.5 + r);
        path.quadTo(0.5, 1.5, 0.5 + r, 1.5);
        path.lineTo(w - 9.0, 1.5);
        path.lineTo(w - 1.0, h / 2.0);
        path.lineTo(w - 9.0, h - 1.5);
        path.lineTo(0.5 + r, h - 1.5);
        path.quadTo(0.5, h - 1.5, 0.5, h - 1.5 - r);
    }
    path.closeSubpath();
    QLinearGradient body(0, 0, pointsDown ? w : 0, pointsDown ? 0 : h);
    body.setColorAt(0.0, kAqua.lighter(140));
    body.setColorAt(0.5, kAqua);
    body.setColorAt(1.0, kAquaDark);
    p.setPen(QPen(kAquaDark.darker(120), 1.0));
    p.setBrush(body);
    p.drawPath(path);
    // gloss on the upper half
    p.setClipPath(path);
    QLinearGradient shine(0, 0, 0, h * 0.5);
    shine.setColorAt(0.0, QColor(255, 255, 255, 220));
    shine.setColorAt(1.0, QColor(255, 255, 255, 30));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawRoundedRect(QRectF(2.5, 1.5, w - 5.0 - (pointsDown ? 0 : 8), h * 0.42), 3, 3);
    // grip lines
    p.setClipping(false);
    p.setPen(QPen(QColor(255, 255, 255, 150), 1.0));
    if (pointsDown) {
        for (int i = -1; i <= 1; ++i)
            p.drawLine(QPointF(w / 2.0 + i * 3, 5.5), QPointF(w / 2.0 + i * 3, h - 10.5));
    } else {
        for (int i = -1; i <= 1; ++i)
            p.drawLine(QPointF(4.5, h / 2.0 + i * 3), QPointF(w - 11.5, h / 2.0 + i * 3));
    }
    p.end();
    img.setPixel(0, h - 1, 0); // the transparent key
    return img;
}

QImage Ball()
{
    QImage img = Blank(17, 16);
    QPainter p(&img);
    GelDisc(p, QRectF(0.5, 0, 16, 16), kAqua, kAquaDark);
    p.end();
    img.setPixel(0, 15, 0);
    return img;
}

// Radio glyph: a recessed white well, a gel dot when checked, a pressed dark well.
QImage Radio(int kind) // 0 off, 1 on, 2 pressed
{
    QImage img = Blank(16, 16);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r(0.5, 0.5, 15, 15);
    if (kind == 1) {
        GelDisc(p, r, kAqua, kAquaDark);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(10, 30, 70));
        p.drawEllipse(QPointF(8, 8.5), 2.6, 2.6);
    } else {
        QLinearGradient well(0, 0, 0, 16);
        if (kind == 0) {
            well.setColorAt(0.0, QColor(200, 204, 210));
            well.setColorAt(0.35, QColor(250, 250, 252));
            well.setColorAt(1.0, QColor(255, 255, 255));
            p.setPen(QPen(QColor(120, 126, 136), 1.0));
        } else {
            well.setColorAt(0.0, QColor(70, 90, 130));
            well.setColorAt(1.0, QColor(140, 165, 210));
            p.setPen(QPen(kAquaDark.darker(140), 1.0));
        }
        p.setBrush(well);
        p.drawEllipse(r);
        if (kind == 2) {
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(20, 40, 90));
            p.drawEllipse(QPointF(8, 8.5), 2.6, 2.6);
        }
    }
    p.end();
    img.setPixel(0, 15, 0);
    return img;
}

// The background tile: fine horizontal pinstripes.
QImage Tile()
{
    QImage img(16, 16, QImage::Format_RGB32);
    for (int y = 0; y < 16; ++y) {
        const QRgb c = (y % 2 == 0) ? qRgb(244, 246, 249) : qRgb(234, 237, 242);
        for (int x = 0; x < 16; ++x)
            img.setPixel(x, y, c);
    }
    return img;
}

QFont Font(int pixelSize, bool bold)
{
    QFont f("DejaVu Sans");
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

// The emblem: a ring of slices around a lit core, like stacked cross-sections.
void Emblem(QPainter& p, QPointF c, qreal radius)
{
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient halo(c, radius);
    halo.setColorAt(0.0, QColor(120, 200, 255));
    halo.setColorAt(0.6, kAqua);
    halo.setColorAt(1.0, kAquaDark);
    p.setPen(QPen(kAquaDark.darker(130), 1.0));
    p.setBrush(halo);
    p.drawEllipse(c, radius, radius);
    p.setPen(QPen(QColor(255, 255, 255, 200), radius * 0.12));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 3; ++i) {
        const qreal rr = radius * (0.35 + 0.2 * i);
        p.drawArc(QRectF(c.x() - rr, c.y() - rr, 2 * rr, 2 * rr), (30 + 40 * i) * 16, 200 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(c, radius * 0.16, radius * 0.16);
}

QImage Logo()
{
    QImage img = Blank(119, 38);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    Emblem(p, QPointF(18, 19), 16);
    p.setFont(Font(20, true));
    p.setPen(QColor(20, 44, 92));
    p.drawText(QRectF(38, 0, 81, 27), Qt::AlignLeft | Qt::AlignBottom, "Caldris");
    p.setFont(Font(9, false));
    p.setPen(QColor(70, 90, 120));
    p.drawText(QRectF(39, 26, 75, 12), Qt::AlignLeft | Qt::AlignTop, "CASE VIEWER");
    return img;
}

// The program's icon for the desktop: the emblem on a rounded tile, drawn
// at each size from the 128-pixel design.
QImage AppIcon(int size = 128)
{
    QImage img = Blank(size, size);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 128.0, size / 128.0);
    QLinearGradient back(0, 0, 0, 128);
    back.setColorAt(0, QColor(236, 242, 250));
    back.setColorAt(1, QColor(196, 210, 230));
    p.setPen(QPen(QColor(120, 140, 170), 2));
    p.setBrush(back);
    p.drawRoundedRect(QRectF(4, 4, 120, 120), 22, 22);
    Emblem(p, QPointF(64, 64), 50);
    return img;
}

QPainterPath HandPath()
{
    // An open hand, palm towards the viewer, drawn in a 32 x 32 box.
    QPainterPath hand;
    auto finger = [&](qreal x, qreal top, qreal w) {
        hand.addRoundedRect(QRectF(x, top, w, 17 - top + 4), w / 2, w / 2);
    };
    finger(8.5, 4.5, 4);
    finger(12.5, 2.5, 4);
    finger(16.5, 3.5, 4);
    finger(20.5, 6.5, 4);
    QPainterPath palm;
    palm.addRoundedRect(QRectF(8.5, 13.5, 16, 13), 5, 5);
    QPainterPath thumb;
    thumb.moveTo(9.5, 22);
    thumb.lineTo(4.0, 15.5);
    thumb.cubicTo(2.5, 13.5, 5.5, 11.5, 7.0, 13.5);
    thumb.lineTo(11.5, 18.5);
    thumb.closeSubpath();
    return hand.united(palm).united(thumb).simplified();
}

QImage HandCursor()
{
    QImage img = Blank(32, 32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const QPainterPath path = HandPath();
    p.setPen(QPen(Qt::black, 1.0));
    p.setBrush(Qt::white);
    p.drawPath(path);
    p.setPen(QPen(QColor(0, 0, 0, 140), 0.8));
    for (qreal x : {12.5, 16.5, 20.5})
        p.drawLine(QPointF(x, 9), QPointF(x, 16));
    return img;
}

QImage CrossCursor()
{
    // Crosshair with a half-dark, half-light disc at its centre: window and level.
    QImage img = Blank(32, 32);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    const int c = 15;
    p.setPen(QPen(Qt::white, 3));
    p.drawLine(c, 1, c, 11);
    p.drawLine(c, 19, c, 29);
    p.drawLine(1, c, 11, c);
    p.drawLine(19, c, 29, c);
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(c, 1, c, 11);
    p.drawLine(c, 19, c, 29);
    p.drawLine(1, c, 11, c);
    p.drawLine(19, c, 29, c);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF disc(c - 4.5, c - 4.5, 10, 10);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPie(disc, 90 * 16, 180 * 16);
    p.setBrush(Qt::white);
    p.drawPie(disc, 270 * 16, 180 * 16);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(disc);
    return img;
}

// A square glossy tile button with a white symbol drawn by symbol().
template <class F>
QImage TileButton(int size, QColor base, F symbol)
{
    QImage img = Blank(size, size);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r(1.5, 1.5, size - 3, size - 3);
    QLinearGradient body(0, 0, 0, size);
    body.setColorAt(0.0, base.lighter(160));
    body.setColorAt(0.5, base);
    body.setColorAt(1.0, base.darker(160));
    p.setPen(QPen(base.darker(220), 1.0));
    p.setBrush(body);
    p.drawRoundedRect(r, size * 0.22, size * 0.22);
    QLinearGradient shine(0, 0, 0, size * 0.5);
    shine.setColorAt(0.0, QColor(255, 255, 255, 200));
    shine.setColorAt(1.0, QColor(255, 255, 255, 25));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawRoundedRect(QRectF(3, 2.5, size - 6, size * 0.45), size * 0.18, size * 0.18);
    symbol(p);
    return img;
}

QImage ManagerButton()
{
    return TileButton(32, QColor(40, 150, 90), [](QPainter& p) {
        // a tray with a downward arrow
        p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        QPainterPath tray;
        tray.moveTo(8, 18);
        tray.lineTo(8, 24);
        tray.lineTo(24, 24);
        tray.lineTo(24, 18);
        p.drawPath(tray);
        p.drawLine(QPointF(16, 6.5), QPointF(16, 19));
        QPainterPath head;
        head.moveTo(11, 14.5);
        head.lineTo(16, 19.5);
        head.lineTo(21, 14.5);
        p.drawPath(head);
    });
}

QImage HelpButton()
{
    QImage img = Blank(32, 32);
    QPainter p(&img);
    GelDisc(p, QRectF(2, 2, 28, 28), kAqua, kAquaDark);
    p.setFont(Font(20, true));
    p.setPen(Qt::white);
    p.drawText(QRectF(2, 3, 28, 28), Qt::AlignCenter, "?");
    return img;
}

QImage SaveButton()
{
    return TileButton(32, QColor(60, 110, 200), [](QPainter& p) {
        // a floppy disk
        p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        QPainterPath disk;
        disk.moveTo(8, 7);
        disk.lineTo(21, 7);
        disk.lineTo(25, 11);
        disk.lineTo(25, 25);
        disk.lineTo(8, 25);
        disk.closeSubpath();
        p.drawPath(disk);
        p.drawRect(QRectF(11.5, 7, 8, 5.5));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(11, 17, 11, 8));
    });
}

QImage LoadingMarker()
{
    // A small orange arrow pointing left, at the series being loaded.
    QImage img = Blank(16, 16);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath a;
    a.moveTo(1.5, 8);
    a.lineTo(8.5, 1.5);
    a.lineTo(8.5, 5.5);
    a.lineTo(14.5, 5.5);
    a.lineTo(14.5, 10.5);
    a.lineTo(8.5, 10.5);
    a.lineTo(8.5, 14.5);
    a.closeSubpath();
    QLinearGradient g(0, 0, 0, 16);
    g.setColorAt(0.0, QColor(255, 200, 90));
    g.setColorAt(1.0, QColor(230, 120, 10));
    p.setPen(QPen(QColor(150, 70, 0), 1.0));
    p.setBrush(g);
    p.drawPath(a);
    return img;
}

QImage OkButton()
{
    QImage img = Blank(72, 21);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r(0.5, 0.5, 71, 20);
    QLinearGradient body(0, 0, 0, 21);
    body.setColorAt(0.0, kAqua.lighter(150));
    body.setColorAt(0.5, kAqua);
    body.setColorAt(1.0, kAqua.lighter(130));
    p.setPen(QPen(kAquaDark, 1.0));
    p.setBrush(body);
    p.drawRoundedRect(r, 10, 10);
    QLinearGradient shine(0, 0, 0, 10);
    shine.setColorAt(0.0, QColor(255, 255, 255, 230));
    shine.setColorAt(1.0, QColor(255, 255, 255, 40));
    p.setPen(Qt::NoPen);
    p.setBrush(shine);
    p.drawRoundedRect(QRectF(5, 1.5, 62, 8.5), 4, 4);
    p.setFont(Font(12, true));
    p.setPen(QColor(10, 30, 70));
    p.drawText(r, Qt::AlignCenter, "OK");
    return img;
}

QImage AboutPicture()
{
    const int w = 675, h = 430;
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    // deep blue band with soft light
    QLinearGradient band(0, 0, 0, 210);
    band.setColorAt(0.0, QColor(14, 42, 96));
    band.setColorAt(1.0, QColor(30, 96, 180));
    p.fillRect(QRect(0, 0, w, 210), band);
    QRadialGradient glow(w * 0.78, 40, 320);
    glow.setColorAt(0.0, QColor(140, 210, 255, 120));
    glow.setColorAt(1.0, QColor(140, 210, 255, 0));
    p.fillRect(QRect(0, 0, w, 210), glow);
    // faint concentric arcs, like slices of a scan
    p.setPen(QPen(QColor(255, 255, 255, 28), 2));
    for (int i = 1; i < 9; ++i)
        p.drawEllipse(QPointF(w - 110, 105), 22.0 * i, 22.0 * i);
    // curved transition into white
    QPainterPath wave;
    wave.moveTo(0, 190);
    wave.cubicTo(w * 0.3, 240, w * 0.6, 160, w, 205);
    wave.lineTo(w, 230);
    wave.lineTo(0, 230);
    wave.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(wave);
    Emblem(p, QPointF(92, 100), 48);
    p.setPen(Qt::white);
    p.setFont(Font(54, true));
    p.drawText(QRectF(160, 42, 420, 70), Qt::AlignLeft | Qt::AlignVCenter, "Caldris");
    p.setFont(Font(17, false));
    p.setPen(QColor(200, 225, 255));
    p.drawText(QRectF(164, 112, 440, 26), Qt::AlignLeft | Qt::AlignVCenter, "Case viewer for referring physicians");
    p.setFont(Font(14, true));
    p.setPen(Qt::white);
    p.drawText(QRectF(164, 140, 300, 22), Qt::AlignLeft | Qt::AlignVCenter, "Version 1.5");
    p.setFont(Font(13, false));
    p.setPen(QColor(60, 70, 90));
    p.drawText(QRectF(40, 242, w - 80, 22), Qt::AlignLeft, "DICOM, TIFF and PDF case viewing with case download from the imaging centre.");
    return img;
}

// A contact sheet of the small pictures at four times their size, for review.
void Sheet(const QString& path)
{
    const QStringList small = {"ball", "hthumb", "vthumb", "off", "on", "pressed"};
    const QStringList appSmall = {"hand", "cross", "tile", "manager", "help", "save", "loading", "ok", "logo"};
    QImage sheet(1400, 420, QImage::Format_RGB32);
    sheet.fill(QColor(238, 241, 245));
    QPainter p(&sheet);
    int x = 8, y = 8, rowH = 0;
    auto place = [&](const QString& file) {
        QImage img(file);
        const QSize s = img.size() * 4;
        if (x + s.width() > sheet.width()) {
            x = 8;
            y += rowH + 8;
            rowH = 0;
        }
        p.drawImage(QRect(QPoint(x, y), s), img);
        x += s.width() + 8;
        rowH = std::max(rowH, s.height());
    };
    for (const QString& n : small)
        place(QDir(g_imagingDir).filePath(n + ".png"));
    for (const QString& n : appSmall)
        place(QDir(g_appDir).filePath(n + ".png"));
    p.end();
    sheet.save(path);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const char* usage = "usage: caldris-art IMAGING_RES_DIR APP_RES_DIR [SHEET.png]\n"
                        "Draws the program's pictures into the two resource folders.\n";
    if (const int status = AnswerToolOptions(argc, argv, usage); status >= 0)
        return status;
    if (argc != 3 && argc != 4) {
        std::fputs(usage, stderr);
        return 2;
    }
    g_imagingDir = argv[1];
    g_appDir = argv[2];
    QDir().mkpath(g_imagingDir);
    QDir().mkpath(g_appDir);

    Save(Ball(), g_imagingDir, "ball.png");
    Save(Thumb(17, 22, true), g_imagingDir, "hthumb.png");
    Save(Thumb(20, 19, false), g_imagingDir, "vthumb.png");
    Save(Radio(0), g_imagingDir, "off.png");
    Save(Radio(1), g_imagingDir, "on.png");
    Save(Radio(2), g_imagingDir, "pressed.png");

    Save(Logo(), g_appDir, "logo.png");
    Save(HandCursor(), g_appDir, "hand.png");
    Save(CrossCursor(), g_appDir, "cross.png");
    Save(Tile(), g_appDir, "tile.png");
    Save(ManagerButton(), g_appDir, "manager.png");
    Save(HelpButton(), g_appDir, "help.png");
    Save(SaveButton(), g_appDir, "save.png");
    Save(LoadingMarker(), g_appDir, "loading.png");
    Save(OkButton(), g_appDir, "ok.png");
    Save(AboutPicture(), g_appDir, "about.png");
    Save(AppIcon(), g_appDir, "caldris.png");
    Save(AppIcon(48), g_appDir, "caldris-48.png");
    if (argc == 4)
        Sheet(argv[3]);
    return 0;
}
