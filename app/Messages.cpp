#include "Messages.h"

#include <QCoreApplication>

void PostMessage(QObject* receiver, int message)
{
    if (receiver)
        QCoreApplication::postEvent(receiver, new QEvent(MessageEventType(message)));
}
