#include "TIconGraphic.h"

#include <QPainter>
#include <QPixmap>

void TIconGraphic::LoadFromIcon(const QIcon& icon, int size)
{
    NewImage(size, size, ifTrueColor, nullptr, 0, 0);
    PaintOnCanvas([&](QPainter& p) {
        p.fillRect(0, 0, size, size, Qt::black);
        p.drawPixmap(0, 0, icon.pixmap(size, size));
    });
}

QIcon TIconGraphic::ToIcon() const
{
    if (GetEmpty())
        return QIcon();
    return QIcon(QPixmap::fromImage(SaveToClipboardFormat()));
}
