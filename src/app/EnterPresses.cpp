#include "app/EnterPresses.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace vantor::app {

void EnterPresses::install(QAbstractButton* button)
{
    button->installEventFilter(new EnterPresses(button));
}

bool EnterPresses::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers others = key->modifiers() & ~Qt::KeypadModifier;
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) || others != Qt::NoModifier)
        return false;
    auto* button = static_cast<QAbstractButton*>(watched);
    if (!key->isAutoRepeat() && button->isEnabled())
        button->click();
    return true;
}

} // namespace vantor::app
