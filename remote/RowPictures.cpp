#include "RowPictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <array>

namespace {

constexpr int kSize = 18;

QPixmap Light(QColor base)
{
    QPixmap p(kSize, kSize);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    const QRectF ball(2.5, 2.5, 13, 13);
    QRadialGradient shade(QPointF(7, 6.5), 9);
    shade.setColorAt(0, base.lighter(175));
    shade.setColorAt(0.45, base);
    shade.setColorAt(1, base.darker(170));
    g.setPen(QPen(base.darker(230), 1));
    g.setBrush(shade);
    g.drawEllipse(ball);
    g.setPen(Qt::NoPen);
    g.setBrush(QColor(255, 255, 255, 170));
    g.drawEllipse(QRectF(5.5, 4.5, 5, 3.2)); // highlight
    return p;
}

QPixmap Arrow(QColor base, bool down)
{
    QPixmap p(kSize, kSize);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    // Pointing right; turned for down.
    path.moveTo(3, 6.5);
    path.lineTo(9, 6.5);
    path.lineTo(9, 2.5);
    path.lineTo(15.5, 9);
    path.lineTo(9, 15.5);
    path.lineTo(9, 11.5);
    path.lineTo(3, 11.5);
    path.closeSubpath();
    if (down) {
        g.translate(kSize, 0);
        g.rotate(90);
    }
    QLinearGradient shade(0, 2, 0, 16);
    shade.setColorAt(0, base.lighter(150));
    shade.setColorAt(1, base.darker(140));
    g.setPen(QPen(base.darker(220), 1));
    g.setBrush(shade);
    g.drawPath(path);
    return p;
}

} // namespace

const QPixmap& LightPicture(int light)
{
    static const std::array<QPixmap, 5> lights = {Light(QColor(40, 190, 60)), Light(QColor(215, 40, 35)),
                                                  Light(QColor(240, 200, 30)), Light(QColor(240, 200, 30)),
                                                  Light(QColor(240, 200, 30))};
    static const QPixmap none;
    return light >= 0 && light < 5 ? lights[size_t(light)] : none;
}

const QPixmap& MarkPicture(int mark)
{
    static const QPixmap queued = Arrow(QColor(40, 100, 220), true);
    static const QPixmap active = Arrow(QColor(40, 170, 60), false);
    static const QPixmap none;
    return mark == 0 ? queued : mark == 1 ? active : none;
}
