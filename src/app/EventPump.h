#pragma once

#include <QElapsedTimer>

namespace vantor::app {

// Lets the window system's events through during a wait that blocks the window's thread (an upload,
// a console exchange): repaints, the window manager's pings, a close request. The user's input is
// dropped meanwhile by an InputBlocker. GUI thread only.
class EventPump
{
public:
    // How often: often enough to repaint and answer the window manager, rarely enough to cost nothing
    // against the exchanges.
    static constexpr qint64 sliceMs = 20;

    // A wait begins: the first events go through one slice from now.
    void start() { since_.start(); }
    // Lets the events through when a slice has passed since start() or the last time.
    void pump();

private:
    QElapsedTimer since_;
};

} // namespace vantor::app
