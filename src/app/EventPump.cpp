#include "app/EventPump.h"

#include <QCoreApplication>

namespace vantor::app {

bool EventPump::due()
{
    if (!since_.isValid())
        since_.start();
    return since_.elapsed() >= sliceMs;
}

void EventPump::pump()
{
    if (!due())
        return;
    QCoreApplication::processEvents();
    since_.restart();
}

} // namespace vantor::app
