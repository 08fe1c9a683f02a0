#include "app/EventPump.h"

#include <QCoreApplication>

namespace vantor::app {

void EventPump::pump()
{
    if (!since_.isValid())
        since_.start();
    if (since_.elapsed() < sliceMs)
        return;
    QCoreApplication::processEvents();
    since_.restart();
}

} // namespace vantor::app
