#include "app/InputBlocker.h"

#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QWidget>

namespace vantor::app {

InputBlocker::InputBlocker(QWidget* stopButton, std::function<void()> onEscape)
    : stopButton_(stopButton), onEscape_(std::move(onEscape))
{
    QCoreApplication::instance()->installEventFilter(this);
}

InputBlocker::~InputBlocker()
{
    QCoreApplication::instance()->removeEventFilter(this);
}

bool InputBlocker::letThrough(QObject* watched, QEvent* event) const
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        if (onEscape_ && !static_cast<QKeyEvent*>(event)->isAutoRepeat())
            onEscape_();
        return false;
    }
    const bool mouse = event->type() == QEvent::MouseButtonPress ||
                       event->type() == QEvent::MouseButtonRelease || event->type() == QEvent::MouseMove;
    return mouse && stopButton_ && watched == stopButton_ && stopButton_->isVisible();
}

bool InputBlocker::eventFilter(QObject* watched, QEvent* event)
{
    if (letThrough(watched, event))
        return QObject::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}

} // namespace vantor::app
