#include "AppResources.h"

#include <QFile>

// Static libraries register their resources explicitly; outside any namespace.
void InitAppResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(app);
        return true;
    }();
    (void)done;
}

QPixmap AppPicture(const QString& name)
{
    InitAppResources();
    return QPixmap(":/" + name);
}

QCursor AppCursor(int slot)
{
    InitAppResources();
    switch (slot) {
    case crHand:
        return QCursor(QPixmap(":/Hand"), 15, 12);
    case crCross:
        return QCursor(QPixmap(":/Cross"), 15, 15);
    default:
        return QCursor(Qt::ArrowCursor);
    }
}

QString HelpDocument()
{
    InitAppResources();
    QFile file(":/102");
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}
