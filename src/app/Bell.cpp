#include "app/Bell.h"

#include <QApplication>

namespace vantor::app {

namespace {
std::function<void()>& handler()
{
    static std::function<void()> h;
    return h;
}
} // namespace

void Bell::ring()
{
    if (handler())
        handler()();
    else
        QApplication::beep();
}

void Bell::setHandler(std::function<void()> h)
{
    handler() = std::move(h);
}

} // namespace vantor::app
