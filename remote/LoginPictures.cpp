#include "LoginPictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace {

QPixmap Transparent(int w, int h)
{
    QPixmap p(w, h);
    p.fill(Qt::transparent);
    return p;
}

QPainterPath Pill(const QRectF& r)
{
    QPainterPath path;
    path.addRoundedRect(r, r.height() / 2, r.height() / 2);
    return path;
}

// A pill with a vertical gradient, a thin rim and a soft highlight on its upper half.
void PaintPill(QPainter& g, const QRectF& r, const QColor& top, const QColor& bottom, const QColor& rim)
{
    g.setRenderHint(QPainter::Antialiasing);
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    g.setPen(QPen(rim, 1));
    g.setBrush(fill);
    g.drawPath(Pill(r));
    QRectF shine(r.left() + 3, r.top() + 1.5, r.width() - 6, r.height() / 2 - 1);
    QLinearGradient gloss(shine.topLeft(), shine.bottomLeft());
    gloss.setColorAt(0, QColor(255, 255, 255, 150));
    gloss.setColorAt(1, QColor(255, 255, 255, 20));
    g.setPen(Qt::NoPen);
    g.setBrush(gloss);
    g.drawPath(Pill(shine));
}

} // namespace

QPixmap BackgroundPattern()
{
    static const QPixmap pattern = [] {
        QPixmap p(16, 16);
        p.fill(Qt::white);
        QPainter g(&p);
        // Fine diagonal hatching in a pale blue, light enough to read over.
        g.setPen(QColor(232, 238, 246));
        for (int i = -16; i < 16; i += 4)
            g.drawLine(i, 16, i + 16, 0);
        g.setPen(QColor(220, 229, 241));
        g.drawPoint(0, 0);
        g.drawPoint(8, 8);
        return p;
    }();
    return pattern;
}

QPixmap LoginEmblem()
{
    static const QPixmap emblem = [] {
        QPixmap p = Transparent(32, 32);
        QPainter g(&p);
        g.setRenderHint(QPainter::Antialiasing);
        QRadialGradient disc(QPointF(12, 10), 22);
        disc.setColorAt(0, QColor(96, 160, 230));
        disc.setColorAt(1, QColor(20, 70, 150));
        g.setPen(QPen(QColor(14, 50, 110), 1));
        g.setBrush(disc);
        g.drawEllipse(QRectF(1.5, 1.5, 29, 29));
        // A white cross with a darker outline: the centre's sign.
        QPainterPath cross;
        cross.addRoundedRect(QRectF(13, 7, 6, 18), 1.5, 1.5);
        cross.addRoundedRect(QRectF(7, 13, 18, 6), 1.5, 1.5);
        cross.setFillRule(Qt::WindingFill);
        g.setPen(QPen(QColor(14, 50, 110, 160), 1));
        g.setBrush(Qt::white);
        g.drawPath(cross.simplified());
        return p;
    }();
    return emblem;
}

QPixmap LoginOkPicture()
{
    static const QPixmap ok = [] {
        QPixmap p = Transparent(72, 21);
        QPainter g(&p);
        PaintPill(g, QRectF(0.5, 0.5, 71, 20), QColor(88, 150, 226), QColor(22, 78, 170), QColor(16, 56, 124));
        QFont f("Verdana", 8, QFont::Bold);
        f.setPixelSize(11);
        g.setFont(f);
        g.setPen(QColor(10, 40, 90, 140));
        g.drawText(QRectF(0, 1, 72, 21), Qt::AlignCenter, "OK");
        g.setPen(Qt::white);
        g.drawText(QRectF(0, 0, 72, 21), Qt::AlignCenter, "OK");
        return p;
    }();
    return ok;
}

QPixmap LoginCancelPicture()
{
    static const QPixmap cancel = [] {
        QPixmap p = Transparent(74, 23);
        QPainter g(&p);
        PaintPill(g, QRectF(0.5, 0.5, 73, 22), QColor(255, 255, 255), QColor(214, 220, 230), QColor(140, 150, 165));
        return p;
    }();
    return cancel;
}
