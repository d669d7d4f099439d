#include "TNotificationHold.h"

#include "TThreadSync.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>

#include <vector>

namespace {

int g_depth = 0;

// Swallows the worker-call events of every TThreadSync and re-posts them when
// the hold ends.
class Filter : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() < QEvent::User || !dynamic_cast<TThreadSync*>(watched))
            return false;
        held.push_back({QPointer<QObject>(watched), event->type()});
        return true;
    }
    struct Held {
        QPointer<QObject> receiver;
        QEvent::Type type;
    };
    std::vector<Held> held;
};

Filter* g_filter = nullptr;

} // namespace

TNotificationHold::TNotificationHold()
{
    if (g_depth++ == 0) {
        g_filter = new Filter;
        QCoreApplication::instance()->installEventFilter(g_filter);
    }
}

TNotificationHold::~TNotificationHold()
{
    if (--g_depth > 0)
        return;
    QCoreApplication::instance()->removeEventFilter(g_filter);
    for (const Filter::Held& h : g_filter->held)
        if (h.receiver)
            QCoreApplication::postEvent(h.receiver, new QEvent(h.type));
    delete g_filter;
    g_filter = nullptr;
}

bool TNotificationHold::Active() { return g_depth > 0; }
