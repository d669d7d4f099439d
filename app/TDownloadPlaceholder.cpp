#include "TDownloadPlaceholder.h"

#include "AppResources.h"

#include <QPainter>

TDownloadPlaceholder::TDownloadPlaceholder(QWidget* parent) : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
}

void TDownloadPlaceholder::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QPixmap logo = AppPicture("Logo");
    const QRect area = rect().adjusted(24, 24, -24, -24);
    const int top = std::max(area.top(), area.center().y() - 70);
    p.drawPixmap(area.center().x() - logo.width() / 2, top, logo);
    QFont f = font();
    f.setBold(true);
    f.setPixelSize(15);
    p.setFont(f);
    p.setPen(QColor(20, 44, 92));
    p.drawText(QRect(area.left(), top + logo.height() + 16, area.width(), 22), Qt::AlignHCenter,
               "No case server is connected");
    f.setBold(false);
    f.setPixelSize(12);
    p.setFont(f);
    p.setPen(QColor(80, 90, 110));
    p.drawText(QRect(area.left(), top + logo.height() + 44, area.width(), 40), Qt::AlignHCenter | Qt::TextWordWrap,
               "Cases on this computer open from the command line: caldris FOLDER");
}
